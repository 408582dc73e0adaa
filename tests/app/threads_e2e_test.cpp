// The programs give the same output, messages and exit status for any
// "-threads" count, on a good RasterPTC copy and on damaged ones.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "lasio/lasreaderlas.hpp"
#include "ptcomp/lasreadpoint.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::RunResult;

enum class Damage { NONE, CORRUPT_CHUNK, TRUNCATED };

struct Case {
  const char* name;
  Damage damage;
};

// Timings are the one thing that may differ between runs.
RunResult without_times(RunResult r) {
  const std::regex time("total time( for [0-9]+ files)? [0-9.e+-]+ sec");
  r.err = std::regex_replace(r.err, time, "total time T sec");
  return r;
}

class ThreadsE2E : public ::testing::TestWithParam<Case> {};

TEST_P(ThreadsE2E, EveryThreadCountRunsAsOneThread) {
  testsupport::TempDir dir;
  // 400 x 400 cells: four chunks of points, the last one short.
  const int side = 400;
  const double nodata = -9999.0;
  std::vector<double> values(size_t(side) * side);
  for (size_t i = 0; i < values.size(); i++) values[i] = i % 997 == 0 ? nodata : 100.0 + 0.01 * double(i % 5003);
  const std::string tif = dir.file("dem.tif"), ptc = dir.file("dem.ptc");
  ASSERT_TRUE(testsupport::write_dem(tif, side, side, GDT_Float32, values, {}, &nodata));
  ASSERT_EQ(testsupport::run(RAST2PTC_EXE, {"-i", tif}).status, 0);

  std::vector<int64_t> starts;
  {
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open(ptc.c_str()));
    while (reader.read_point()) {
    }
    starts = reader.get_point_reader()->get_chunk_starts();
    ASSERT_EQ(reader.get_point_reader()->get_known_chunks(), 5u);
  }
  std::vector<unsigned char> bytes = lastest::read_bytes(ptc);
  if (GetParam().damage == Damage::CORRUPT_CHUNK) {
    for (int b = 100; b < 110; b++) bytes[size_t(starts[1] + b)] ^= 0xA5;
  }
  if (GetParam().damage == Damage::TRUNCATED) bytes.resize(size_t(starts[2] + 1000));
  lastest::write_bytes(ptc, bytes);

  struct Program {
    const char* exe;
    std::vector<std::string> args;
    std::string output;  // a file the run writes, compared byte for byte
  };
  const std::string las = dir.file("points.las"), again = dir.file("again.ptc");
  const std::vector<Program> programs = {{RASTCMP_EXE, {"-i", tif, "-v"}, ""},
                                         {PTCINFO_EXE, {"-check", ptc}, ""},
                                         {PTCCONV_EXE, {"-i", ptc, "-o", las}, las},
                                         {PTCCONV_EXE, {"-i", ptc, "-o", again, "-chunk_size", "7000"}, again}};
  for (const Program& p : programs) {
    SCOPED_TRACE(p.exe);
    RunResult one;
    std::string written;
    for (const char* threads : {"1", "2", "7"}) {
      std::vector<std::string> args = p.args;
      args.insert(args.end(), {"-threads", threads});
      const RunResult r = without_times(testsupport::run(p.exe, args));
      const std::string file = p.output.empty() ? "" : testsupport::read_file(p.output);
      if (threads[0] == '1') {
        one = r;
        written = file;
        if (GetParam().damage == Damage::NONE) {
          EXPECT_EQ(r.status, 0) << r.err;
        } else {
          EXPECT_GE(r.status, 3) << r.err;
        }
        continue;
      }
      SCOPED_TRACE(threads);
      EXPECT_EQ(r.status, one.status);
      EXPECT_EQ(r.out, one.out);
      EXPECT_EQ(r.err, one.err);
      EXPECT_TRUE(file == written);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Copies, ThreadsE2E,
                         ::testing::Values(Case{"Good", Damage::NONE}, Case{"CorruptChunk", Damage::CORRUPT_CHUNK},
                                           Case{"Truncated", Damage::TRUNCATED}),
                         testsupport::CaseName());

}  // namespace
