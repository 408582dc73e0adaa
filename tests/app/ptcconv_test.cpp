// ptcconv end to end: LAS -> PTC -> LAS gives back the point records byte
// for byte for every point format, the records carry over except those of
// the old storage, an area query recounts and rebounds the output, failures
// end with status 3 and leave no output behind.
#include <gtest/gtest.h>
#include <sys/stat.h>  // stat, mkdir

#include <cstring>  // memcmp, strncmp
#include <string>
#include <vector>

#include "lasio/lasreaderlas.hpp"            // LASreaderLAS, the outputs read back
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points, read_bytes
#include "tests/support/test_support.hpp"    // DirTest, run, with_path

namespace {

using Strings = std::vector<std::string>;
testsupport::RunResult run_ptcconv(const Strings& args) { return testsupport::run(PTCCONV_EXE, args); }

bool exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

// A LAS 1.minor file of `format` with 3 extra bytes and `count` points,
// with a VLR and (only 1.4) an EVLR to keep, a tiling record to carry over,
// and a COPC and (only 1.4) a spatial index record to drop.
void make_las(const std::string& path, int format, int count, int minor = 4) {
  LASheader h;
  lastest::make_header(h, minor, format, 3);
  unsigned char payload[28] = {7};
  ASSERT_TRUE(h.add_vlr("Raster PTC", 7113, 4, payload, false, "keep"));
  ASSERT_TRUE(h.add_vlr("copc", 10000, 4, payload, false, "drop"));
  ASSERT_TRUE(h.add_vlr("Kestrel", 10, 28, payload, false, "tile"));
  ASSERT_TRUE(minor != 4 || h.add_evlr("later", 5, 4, payload, false, "keep"));
  ASSERT_TRUE(minor != 4 || h.add_evlr("Kestrel", 30, 4, payload, false, "index"));
  ASSERT_TRUE(lastest::write_points(path, h, count));
}

// The point records of a file (its whole point data when plain).
std::vector<unsigned char> records(const std::string& path, size_t count, size_t length) {
  const std::vector<unsigned char> bytes = lastest::read_bytes(path);
  uint32_t start = 0;
  memcpy(&start, bytes.data() + lastest::AT_OFFSET_TO_POINT_DATA, 4);
  return std::vector<unsigned char>(bytes.begin() + start, bytes.begin() + start + count * length);
}

struct RoundCase {
  int format;
  int item_version;  // 0: the default
};

void PrintTo(const RoundCase& c, std::ostream* os) { *os << "format " << c.format << " v" << c.item_version; }

class PtcconvRoundTrip : public testsupport::DirTest<RoundCase> {};

TEST_P(PtcconvRoundTrip, GivesBackTheRecordsAndKeepsTheRightRecords) {
  const int format = GetParam().format, v = GetParam().item_version, count = 201;  // last chunk: one point
  const std::string las = dir.file("a.las"), ptc = dir.file("a.ptc"), back = dir.path() + "/out/a.las";
  make_las(las, format, count);
  Strings args = {"-i", las, "-odir", dir.path(), "-chunk_size", "100"};
  if (v) args.insert(args.end(), {"-item_version", std::to_string(v)});
  testsupport::RunResult r = run_ptcconv(args);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
  r = run_ptcconv({"-i", ptc, "-odir", dir.path() + "/out"});
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t length = lastest::standard_size(format) + 3;
  EXPECT_EQ(records(back, count, length), records(las, count, length));

  LASreaderLAS compressed(nullptr);
  ASSERT_TRUE(compressed.open(ptc.c_str()));
  const int kind = format >= 6 ? 3 : 2, version = format >= 6 ? std::max(v, 3) : v == 0 ? 2 : std::min(v, 2);
  ASSERT_NE(compressed.header.ptcomp, nullptr);
  EXPECT_EQ(compressed.header.ptcomp->compressor, kind);
  EXPECT_EQ(compressed.header.ptcomp->items[0].version, version);
  EXPECT_EQ(compressed.header.ptcomp->chunk_size, 100u);

  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(back.c_str()));
  const LASheader& h = reader.header;
  EXPECT_EQ(reader.get_format(), 1);
  EXPECT_EQ(h.extended_number_of_point_records, uint64_t(count));
  ASSERT_EQ(h.number_of_variable_length_records, 1u);
  EXPECT_EQ(strncmp(h.vlrs[0].user_id, "Raster PTC", 16), 0);
  ASSERT_NE(h.vlr_lastiling, nullptr);
  EXPECT_EQ(h.vlr_lastiling->level, 7u);
  ASSERT_EQ(h.number_of_extended_variable_length_records, 1u);
  EXPECT_EQ(strncmp(h.evlrs[0].user_id, "later", 16), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, PtcconvRoundTrip,
                         ::testing::Values(RoundCase{0, 0}, RoundCase{1, 0}, RoundCase{2, 0}, RoundCase{3, 0},
                                           RoundCase{4, 0}, RoundCase{5, 0}, RoundCase{6, 0}, RoundCase{7, 0},
                                           RoundCase{8, 0}, RoundCase{9, 0}, RoundCase{10, 0}, RoundCase{1, 1},
                                           RoundCase{3, 4}, RoundCase{7, 4}, RoundCase{10, 4}, RoundCase{6, 1}),
                         [](const ::testing::TestParamInfo<RoundCase>& info) {
                           return "format" + std::to_string(info.param.format) + "_v" +
                                  std::to_string(info.param.item_version);
                         });

// Only the points inside the rectangle are written; counts and box are theirs.
TEST(Ptcconv, AreaQueryRecountsAndRebounds) {
  testsupport::TempDir dir;
  make_las(dir.file("a.las"), 1, 500);
  LASreaderLAS all(nullptr);
  ASSERT_TRUE(all.open(dir.file("a.las").c_str()));
  const double min_x = all.header.min_x, max_x = (all.header.min_x + all.header.max_x) / 2;
  const double min_y = all.header.min_y, max_y = all.header.max_y + 1;
  int64_t inside = 0;
  double low_x = max_x;
  while (all.read_point()) {
    const double x = all.header.get_x(all.point.X), y = all.header.get_y(all.point.Y);
    if (min_x <= x && x < max_x && min_y <= y && y < max_y) inside++, low_x = std::min(low_x, x);
  }
  ASSERT_GT(inside, 0);
  Strings args = {"-i", dir.file("a.las"), "-o", dir.file("b.ptc"), "-inside"};
  for (double v : {min_x, min_y, max_x, max_y}) {
    char text[32];
    snprintf(text, sizeof(text), "%.17g", v);
    args.push_back(text);
  }
  const testsupport::RunResult r = run_ptcconv(args);
  ASSERT_EQ(r.status, 0) << r.err;
  LASreaderLAS part(nullptr);
  ASSERT_TRUE(part.open(dir.file("b.ptc").c_str()));
  EXPECT_EQ(part.npoints, inside);
  EXPECT_EQ(part.header.min_x, low_x);
}

struct FailCase {
  const char* name;
  Strings args;  // "%s" is the directory
  std::string error;     // a line of stderr
  const char* not_made;  // an output that must not exist afterwards
  const char* made;      // one that must (another input's), or ""
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

// good.las (LAS 1.2, format 1), six.las (LAS 1.5, format 6), their copies
// good.ptc and six.ptc, and cutgood.las, cutgood.ptc and cutsix.ptc (cut in
// the middle of their points).
class PtcconvFails : public testsupport::DirTest<FailCase> {};

TEST_P(PtcconvFails, WithStatusThreeAndNoOutput) {
  const std::string d = dir.path();
  make_las(d + "/good.las", 1, 500, 2);
  make_las(d + "/six.las", 6, 500, 5);
  ASSERT_EQ(run_ptcconv({"-i", d + "/good.las", d + "/six.las", "-chunk_size", "100"}).status, 0);
  for (const char* name : {"good.las", "good.ptc", "six.ptc"}) {
    const std::vector<unsigned char> bytes = lastest::read_bytes(d + "/" + name);
    lastest::write_bytes(d + "/cut" + name, std::vector<unsigned char>(bytes.begin(), bytes.end() - 4000));
  }
  ASSERT_EQ(mkdir((d + "/out").c_str(), 0755), 0);
  Strings args;
  for (const std::string& a : GetParam().args) args.push_back(testsupport::with_path(a, d));
  const testsupport::RunResult r = run_ptcconv(args);
  EXPECT_EQ(r.status, 3) << r.err;
  const std::string error = testsupport::with_path(testsupport::with_path(GetParam().error, d), d);
  EXPECT_NE(r.err.find(error + "\n"), std::string::npos) << r.err;
  EXPECT_FALSE(exists(d + "/" + GetParam().not_made));
  EXPECT_TRUE(GetParam().made[0] == '\0' || exists(d + "/" + GetParam().made));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PtcconvFails,
    ::testing::Values(
        FailCase{"CutPtc", {"-i", "%s/*good.ptc", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutgood.ptc': only 323 of 500 points could be read. '%s/out/cutgood.las' "
                 "not written", "out/cutgood.las", "out/good.las"},
        FailCase{"CutLayered", {"-i", "%s/cutsix.ptc", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutsix.ptc': only 300 of 500 points could be read. '%s/out/cutsix.las' "
                 "not written", "out/cutsix.las", ""},
        FailCase{"CutLas", {"-i", "%s/cutgood.las", "-olas", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutgood.las': only 370 of 500 points could be read. '%s/out/cutgood.las' "
                 "not written", "out/cutgood.las", ""},
        FailCase{"Missing", {"-i", "%s/missing.las"}, "ERROR: cannot open file '%s/missing.las' for read",
                 "missing.ptc", ""},
        FailCase{"NoMatch", {"-i", "%s/*.xyz"}, "ERROR: no file matches '%s/*.xyz'", "out/good.ptc", ""},
        FailCase{"OneOutputTwoInputs", {"-i", "%s/good.las", "%s/good.ptc", "-o", "%s/x.ptc"},
                 "ERROR: '-o' names one output but there are 2 inputs. use '-odir' for several ...", "x.ptc", ""},
        FailCase{"UnknownFormat", {"-i", "%s/good.las", "-o", "%s/x.txt"},
                 "ERROR: cannot tell the format of output '%s/x.txt'. name a file ending in '.las' or '.ptc'",
                 "x.txt", ""},
        FailCase{"ItemVersion", {"-i", "%s/good.las", "-odir", "%s/out", "-item_version", "5"},
                 "ERROR: cannot understand argument '5' for '-item_version'", "out/good.ptc", ""},
        FailCase{"ChunkSize", {"-i", "%s/good.las", "-odir", "%s/out", "-chunk_size", "0"},
                 "ERROR: cannot understand argument '0' for '-chunk_size'", "out/good.ptc", ""},
        FailCase{"OutputIsInput", {"-i", "%s/good.las", "-olas"},
                 "ERROR: output '%s/good.las' is the input itself. name another output with '-o' or '-odir'.",
                 "x.las", "good.las"}),
    testsupport::CaseName());

}  // namespace
