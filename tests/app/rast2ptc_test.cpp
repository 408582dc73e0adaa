// The rast2ptc tool: output names, the rasters it refuses, several inputs,
// -o, -odir and -lof, and its exit statuses.
#include <gdal.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/rast2ptc.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::Geo;
using testsupport::lines;
using testsupport::run;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_file;
using testsupport::write_raster;
using Strings = std::vector<std::string>;

RunResult run_rast2ptc(const Strings& args) { return run(RAST2PTC_EXE, args); }

bool exists(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

const Strings kCells = {"1.5", "2.25", "-9999", "4", "5.75", "6"};

// ---------------------------------------------------------------------------
// Output names

struct NameCase {
  const char* input;
  const char* directory;
  const char* expected;
};

class OutputName : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputName, ReplacesTheExtensionAndPlacesTheName) {
  EXPECT_EQ(rast2ptc_output_name(GetParam().input, GetParam().directory), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Names, OutputName,
                         ::testing::Values(NameCase{"dem.tif", "", "dem.ptc"},
                                           NameCase{"dir/dem.TIF", "", "dir/dem.ptc"},
                                           NameCase{"a.b/dem", "", "a.b/dem.ptc"},
                                           NameCase{"dem.tile.asc", "", "dem.tile.ptc"},
                                           NameCase{"x/.hidden", "", "x/.hidden.ptc"},
                                           NameCase{"C:dem.img", "", "C:dem.ptc"},
                                           NameCase{"in/dem.bil", "out", "out/dem.ptc"},
                                           NameCase{"in/dem.bil", "out/", "out/dem.ptc"},
                                           NameCase{"dem.png", "/tmp", "/tmp/dem.ptc"}));

// ---------------------------------------------------------------------------
// Rasters a copy cannot represent

class Rast2ptcTool : public ::testing::Test {
 protected:
  std::string grid(const std::string& name) {
    const std::string path = dir.file(name);
    write_asc(path, 3, 2, 100.0, 200.0, 0.5, kCells);
    return path;
  }
  TempDir dir;
};

TEST_F(Rast2ptcTool, TwoBandsAreRefusedAndNoCopyIsLeft) {
  const std::string tif = dir.file("two.tif");
  ASSERT_TRUE(write_raster("GTiff", tif, 4, 3, 2, GDT_Int16, std::vector<double>(24, 7.0)));
  const RunResult r = run_rast2ptc({"-i", tif});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(lines(r.err).back(), "ERROR: raster '" + tif + "' has 2 bands. a RasterPTC copy holds one band only.");
  EXPECT_FALSE(exists(dir.file("two.ptc")));
}

TEST_F(Rast2ptcTool, RotationTermsAreRefused) {
  const std::string png = dir.file("rot.png");
  ASSERT_TRUE(write_raster("PNG", png, 4, 3, 1, GDT_Byte, std::vector<double>(12, 9.0)));
  write_file(dir.file("rot.pgw"), "1\n0.5\n0.25\n-1\n0.5\n9.5\n");
  const RunResult r = run_rast2ptc({"-i", png});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(r.err, "ERROR: raster '" + png +
                       "' has rotation terms (stepx_y 0.5, stepy_x 0.25). a RasterPTC copy cannot hold them.\n");
  EXPECT_FALSE(exists(dir.file("rot.ptc")));
}

TEST_F(Rast2ptcTool, ConversionInProcessReportsAndLeavesNoFile) {
  lastest::Messages messages;  // halting off: failures come back as results
  const std::string png = dir.file("rot.png");
  ASSERT_TRUE(write_raster("PNG", png, 4, 3, 1, GDT_Byte, std::vector<double>(12, 9.0)));
  write_file(dir.file("rot.pgw"), "1\n0\n0.25\n-1\n0.5\n9.5\n");
  EXPECT_FALSE(rast2ptc_convert(png.c_str(), "png", dir.file("rot.ptc").c_str()));
  EXPECT_TRUE(messages.has(LAS_ERROR, "raster '" + png +
                                          "' has rotation terms (stepx_y 0, stepy_x 0.25). a RasterPTC copy cannot "
                                          "hold them."))
      << messages.dump();
  EXPECT_FALSE(exists(dir.file("rot.ptc")));

  const std::string asc = grid("g.asc");
  Rast2ptcResult result;
  ASSERT_TRUE(rast2ptc_convert(asc.c_str(), "asc", dir.file("g.ptc").c_str(), &result)) << messages.dump();
  EXPECT_EQ(result.value_cells, 5);
  EXPECT_EQ(result.nodata_cells, 1);
}

TEST_F(Rast2ptcTool, UnreadableInputEndsWithStatusThree) {
  const std::string missing = dir.file("missing.asc");
  const RunResult r = run_rast2ptc({"-i", missing});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(lines(r.err).back(), "ERROR: cannot open raster '" + missing + "'.");
  EXPECT_FALSE(exists(dir.file("missing.ptc")));
}

// ---------------------------------------------------------------------------
// Several inputs and the output options

TEST_F(Rast2ptcTool, EveryInputGetsItsCopyBesideIt) {
  const Strings in = {grid("a.asc"), grid("b.asc"), grid("c.asc")};
  const RunResult r = run_rast2ptc({"-i", in[0], in[1], in[2]});
  EXPECT_EQ(r.status, 0) << r.err;
  const Strings all = lines(r.err);
  ASSERT_EQ(all.size(), 4u) << r.err;
  EXPECT_EQ(all[1].rfind("wrote '" + dir.file("b.ptc") + "' with 5 value and 1 nodata cells. total time ", 0), 0u);
  EXPECT_EQ(all[3].rfind("done with all files. total time for 3 files ", 0), 0u) << all[3];
  const RunResult cmp = run_rastcmp({"-i", in[0], in[1], in[2]});
  EXPECT_EQ(cmp.status, 0) << cmp.err;
  int identical = 0;
  for (const auto& l : lines(cmp.err)) identical += l == "rasters are identical. both have 5 value and 1 nodata cells.";
  EXPECT_EQ(identical, 3) << cmp.err;
}

TEST_F(Rast2ptcTool, OdirAndListOfFiles) {
  const Strings in = {grid("a.asc"), grid("b.asc")};
  const std::string out = dir.file("out");
  ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
  write_file(dir.file("list.txt"), in[0] + "\n" + in[1] + "\n");
  const RunResult r = run_rast2ptc({"-lof", dir.file("list.txt"), "-odir", out});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(exists(out + "/a.ptc"));
  EXPECT_TRUE(exists(out + "/b.ptc"));
  EXPECT_FALSE(exists(dir.file("a.ptc")));
  const RunResult cmp = run_rastcmp({"-i", in[1], "-i", out + "/b.ptc"});
  EXPECT_EQ(cmp.status, 0) << cmp.err;
  EXPECT_EQ(lines(cmp.err)[0], "rasters are identical. both have 5 value and 1 nodata cells.");
}

TEST_F(Rast2ptcTool, CopyOfACopyWithDashO) {
  const std::string asc = grid("a.asc");
  ASSERT_EQ(run_rast2ptc({"-i", asc}).status, 0);
  const RunResult r = run_rast2ptc({"-i", dir.file("a.ptc"), "-o", dir.file("again.ptc")});
  EXPECT_EQ(r.status, 0) << r.err;
  const RunResult cmp = run_rastcmp({"-i", dir.file("again.ptc"), "-i", dir.file("a.ptc")});
  EXPECT_EQ(cmp.status, 0) << cmp.err;
  EXPECT_EQ(lines(cmp.err)[0], "rasters are identical. both have 5 value and 1 nodata cells.");
}

struct UsageCase {
  const char* name;
  Strings args;  // "@" stands for the test's grid
  std::string last_line;
};

class Rast2ptcUsage : public Rast2ptcTool, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(Rast2ptcUsage, IsRefusedWithStatusThree) {
  const std::string asc = grid("a.asc");
  ASSERT_EQ(run_rast2ptc({"-i", asc, "-o", dir.file("a.ptc")}).status, 0);
  Strings args;
  std::string expected = GetParam().last_line;
  for (const auto& a : GetParam().args) args.push_back(a == "@" ? asc : a == "@ptc" ? dir.file("a.ptc") : a);
  const size_t at = expected.find('@');
  if (at != std::string::npos) expected.replace(at, 1, dir.file("a.ptc"));
  const RunResult r = run_rast2ptc(args);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(lines(r.err).back(), expected) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Rast2ptcUsage,
    ::testing::Values(
        UsageCase{"NoArguments", {}, "ERROR: no input specified"},
        UsageCase{"UnknownOption", {"-i", "@", "-bogus"}, "ERROR: cannot understand argument '-bogus'"},
        UsageCase{"DashOWithTwoInputs",
                  {"-i", "@", "@", "-o", "x.ptc"},
                  "ERROR: '-o' names one output but there are 2 inputs. use '-odir' for several ..."},
        UsageCase{"DashOWithoutName", {"-i", "@", "-o"}, "ERROR: '-o' needs 1 argument: file name"},
        UsageCase{"OutputIsTheInput",
                  {"-i", "@ptc"},
                  "ERROR: output '@' is the input itself. name another output with '-o' or '-odir'."}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

}  // namespace
