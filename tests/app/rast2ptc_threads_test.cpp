// rast2ptc -threads: the copy is the same file for any thread count, and
// counts it cannot use are refused with exit status 3.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.hpp"  // DirTest, write_asc, run, lines

namespace {

using testsupport::RunResult;
using Strings = std::vector<std::string>;

RunResult run_rast2ptc(const Strings& args) { return testsupport::run(RAST2PTC_EXE, args); }

struct ThreadsCase {
  const char* name;
  int point_format;
  int cols, rows;  // 50000 points per chunk
};

class Rast2ptcThreads : public testsupport::DirTest<ThreadsCase> {};

TEST_P(Rast2ptcThreads, WriteTheSameCopy) {
  const ThreadsCase& c = GetParam();
  // A grid written by hand (GDAL's locks upset the thread checker's build).
  Strings z(static_cast<size_t>(c.cols) * c.rows);
  for (size_t i = 0; i < z.size(); i++) z[i] = i % 13 == 5 ? "-9999" : std::to_string(100 + i % 977) + ".25";
  testsupport::write_asc(dir.file("dem.asc"), c.cols, c.rows, 1000.0, 2000.0, 0.5, z);
  std::string copies[2];
  for (int k = 0; k < 2; k++) {
    copies[k] = dir.file(k ? "three.ptc" : "one.ptc");
    const RunResult r = run_rast2ptc({"-i", dir.file("dem.asc"), "-o", copies[k], "-threads", k ? "3" : "1",
                                      "-point_format", std::to_string(c.point_format)});
    ASSERT_EQ(r.status, 0) << r.err;
  }
  EXPECT_TRUE(testsupport::read_file(copies[0]) == testsupport::read_file(copies[1]));
  const RunResult r = testsupport::run_rastcmp({"-i", dir.file("dem.asc"), copies[1]});
  EXPECT_EQ(r.status, 0) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Cases, Rast2ptcThreads,
                         ::testing::Values(ThreadsCase{"Format0InOneChunk", 0, 40, 30},
                                           ThreadsCase{"Format0PartialLastChunk", 0, 331, 333},
                                           ThreadsCase{"Format6PartialLastChunk", 6, 400, 300}),
                         testsupport::CaseName());

struct RefusedCase {
  const char* name;
  Strings threads;  // the arguments after "-threads"
  const char* last_line;
};

class Rast2ptcThreadsRefused : public testsupport::DirTest<RefusedCase> {};

TEST_P(Rast2ptcThreadsRefused, WithStatusThree) {
  testsupport::write_asc(dir.file("a.asc"), 2, 1, 0.0, 0.0, 1.0, {"1", "2"});
  Strings args = {"-i", dir.file("a.asc"), "-threads"};
  args.insert(args.end(), GetParam().threads.begin(), GetParam().threads.end());
  const RunResult r = run_rast2ptc(args);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(testsupport::lines(r.err).back(), GetParam().last_line) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rast2ptcThreadsRefused,
    ::testing::Values(RefusedCase{"Missing", {}, "ERROR: '-threads' needs 1 argument: number of threads"},
                      RefusedCase{"Zero", {"0"}, "ERROR: cannot understand argument '0' for '-threads'. use 1 to 64 threads"},
                      RefusedCase{"TooMany", {"65"}, "ERROR: cannot understand argument '65' for '-threads'. use 1 to 64 threads"},
                      RefusedCase{"Negative", {"-2"}, "ERROR: cannot understand argument '-2' for '-threads'. use 1 to 64 threads"},
                      RefusedCase{"Trailing", {"2x"}, "ERROR: cannot understand argument '2x' for '-threads'. use 1 to 64 threads"}),
    testsupport::CaseName());

}  // namespace
