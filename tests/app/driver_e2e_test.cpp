// The rastcmp binary end to end on ASCII grids: verdicts, checks, options,
// exit statuses and the interactive start.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.hpp"

namespace {

using testsupport::lines;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_file;

class DriverE2E : public ::testing::Test {
 protected:
  std::string grid(const std::string& name, const std::vector<std::string>& cells, int cols = 3, int rows = 2,
                   double xll = 100.0) {
    const std::string path = dir.file(name);
    write_asc(path, cols, rows, xll, 200.0, 0.5, cells);
    return path;
  }
  TempDir dir;
};

struct VerdictCase {
  const char* name;
  std::vector<std::string> a, b;
  std::string verdict;
};

class Verdicts : public DriverE2E, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(Verdicts, ExactLineAndStatusZero) {
  const std::string a = grid("a.asc", GetParam().a);
  const std::string b = grid("b.asc", GetParam().b);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto all = lines(r.err);
  ASSERT_EQ(all.size(), 3u) << r.err;
  EXPECT_EQ(all[0], GetParam().verdict);
  EXPECT_EQ(all[1].rfind("done with '" + a + "'. total time ", 0), 0u) << all[1];
  EXPECT_EQ(all[2].rfind("done with all files. total time for 2 files ", 0), 0u) << all[2];
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Verdicts,
    ::testing::Values(
        VerdictCase{"Identical", {"1", "2.001", "-9999", "4", "5", "6"}, {"1.0", "2.004", "-9999", "4", "5", "6"},
                    "rasters are identical. both have 5 value and 1 nodata cells."},
        VerdictCase{"Nearly", {"1", "2", "-9999", "4", "5", "6"}, {"1", "-9999", "-9999", "4", "5", "-9999"},
                    "rasters are nearly identical. both have 3 identical value cells. but they have 2 different and 1 "
                    "identical nodata cells."},
        VerdictCase{"Values", {"12.3401", "2", "-9999", "4", "5", "6"}, {"12.3449", "2.01", "-9999", "4", "5", "6.5"},
                    "rasters are not identical. rasters have 2 different and 3 identical value cells. but both have 1 "
                    "nodata cells"},
        VerdictCase{"Both", {"1", "2", "-9999", "4", "5", "6"}, {"1", "3", "7", "4", "5", "6"},
                    "rasters are not identical. they have 1 different and 4 identical value cells. they have 1 "
                    "different and 0 identical nodata cells."}),
    [](const ::testing::TestParamInfo<VerdictCase>& info) { return info.param.name; });

TEST_F(DriverE2E, DifferentNcolsStops) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4"}, 2, 2);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: rasters have different ncols of 3 and 2. difference too big ... \n");
}

TEST_F(DriverE2E, DifferentNrowsStops) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3"}, 3, 1);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: rasters have different nrows of 2 and 1. difference too big ... \n");
}

struct CheckCase {
  const char* name;
  double xll;
  int cols;
  std::string message;
};

class GeometryChecks : public DriverE2E, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(GeometryChecks, FirstRasterRefused) {
  std::vector<std::string> cells(static_cast<size_t>(GetParam().cols) * 2, "1");
  const std::string a = dir.file("a.asc");
  write_asc(a, GetParam().cols, 2, GetParam().xll, 200.0, 1.0, cells);
  const std::string b = grid("b.asc", {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: " + GetParam().message + "\n");
}

INSTANTIATE_TEST_SUITE_P(Asc, GeometryChecks,
                         ::testing::Values(CheckCase{"LowerLeftX", -1.0, 3, "raster has no lower left x info"},
                                           CheckCase{"UpperRightX", -4.0, 3, "raster has no upper right x info"}),
                         [](const ::testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST_F(DriverE2E, LowerLeftYOfSecondRaster) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = dir.file("b.asc");
  write_asc(b, 3, 2, 100.0, -1.0, 0.5, {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: raster has no lower left y info\n");
}

TEST_F(DriverE2E, ErrorsIgnoreGoesOnAndExitsThree) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4"}, 2, 2);
  const RunResult r = run_rastcmp({"-errors_ignore", "-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  const auto all = lines(r.err);
  ASSERT_GE(all.size(), 2u) << r.err;
  EXPECT_EQ(all[0], "ERROR: rasters have different ncols of 3 and 2. difference too big ... ");
  // the second raster runs out of cells: its read failures are reported
  EXPECT_NE(r.err.find("ERROR: failed to read raster2 at col 2 and row 0 ..."), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("done with all files. total time for 2 files"), std::string::npos);
}

TEST_F(DriverE2E, TruncatedGridIsAReadError) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = dir.file("b.asc");
  write_file(b, "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 0.5\nNODATA_value -9999\n1 2 3\n4 5");
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: failed to read raster2 at col 2 and row 1 ...\n");
}

TEST_F(DriverE2E, MissingFileCannotBeOpened) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"-i", a, "-i", dir.file("none.asc")});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR in SRreader_asc::open(): cannot open '" + dir.file("none.asc") +
                       "'\nERROR: cannot open raster1 with file name 'none.asc'.\n");
}

TEST_F(DriverE2E, UnknownFormat) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string x = dir.file("b.xyz");
  write_file(x, "x");
  const RunResult r = run_rastcmp({"-i", a, "-i", x});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: unknown raster format 'xyz'.\n");
}

TEST_F(DriverE2E, BatchModeRefusesPtcInput) {
  const RunResult r = run_rastcmp({"-i", dir.file("dem.ptc")});
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("ERROR: "), std::string::npos);
}

TEST_F(DriverE2E, CoresWithMergedInputWarnsAndExitsOne) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"-cores", "4", "-merged", "-i", a, "-i", b});
  EXPECT_EQ(r.status, 1) << r.err;
  const auto all = lines(r.err);
  ASSERT_EQ(all.size(), 3u) << r.err;  // merged: no "done with all files"
  EXPECT_EQ(all[0], "WARNING: input files merged on-the-fly. ignoring '-cores 4' ...");
  EXPECT_EQ(all[1], "rasters are identical. both have 6 value and 0 nodata cells.");
}

TEST_F(DriverE2E, Byte150ActsAsDash) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"\x96quiet", "\x96i", a, "-i", b});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(DriverE2E, QuietKeepsExitStatus) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4"}, 2, 2);
  const RunResult r = run_rastcmp({"-quiet", "-i", a, "-i", b});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "");
}

TEST_F(DriverE2E, NoInputSpecified) {
  const RunResult r = run_rastcmp({"-v"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: no input specified\n");
}

TEST_F(DriverE2E, HelpPrintsBannerUsageAndHint) {
  const RunResult r = run_rastcmp({"-h"});
  EXPECT_EQ(r.status, 0);
  const auto all = lines(r.err);
  ASSERT_GE(all.size(), 12u) << r.err;
  EXPECT_EQ(all[0], "Kestrel rastcmp (rastcmp project) version 251128");
  EXPECT_EQ(all[1], "usage:");
  EXPECT_EQ(all[2], "rastcmp -i dem.tif -i dem.ptc");
  EXPECT_EQ(all[10], "rastcmp -i *.bil");
  EXPECT_EQ(all[11], "use '-hh' or see rastcmp_README.md to get extended help");
}

TEST_F(DriverE2E, ExtendedHelpHasNoHint) {
  const RunResult r = run_rastcmp({"-hh"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("Supported LAS Inputs\n  -i lidar.las\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("use '-hh'"), std::string::npos);
  const auto all = lines(r.err);
  ASSERT_GE(all.size(), 11u);
  EXPECT_EQ(all[all.size() - 11], "Kestrel rastcmp (rastcmp project) version 251128");
  EXPECT_EQ(all.back(), "rastcmp -i *.bil");
}

TEST_F(DriverE2E, PrintLogStats) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const RunResult r = run_rastcmp({"-print_log_stats", "-gui", "-i", a, "-i", a});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("\nLog stats: FE=0,E=0,SW=0,W=1,I=3\n"), std::string::npos) << r.err;
}

TEST_F(DriverE2E, VersionAndQuietVersion) {
  RunResult r = run_rastcmp({"-version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "Kestrel rastcmp (rastcmp project) version 251128\n");
  r = run_rastcmp({"-quiet", "-version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(DriverE2E, BadCoresValue) {
  RunResult r = run_rastcmp({"-cores", "many"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: cannot understand argument 'many' for '-cores'\n");
  r = run_rastcmp({"-cores"});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "ERROR: '-cores' needs 1 argument: number\n");
}

TEST_F(DriverE2E, InteractiveStartAsksAndWaits) {
  const std::string a = grid("a.asc", {"1", "2", "3", "4", "5", "6"});
  const std::string b = grid("b.asc", {"1", "2", "3", "4", "5", "7"});
  const RunResult r = run_rastcmp({}, a + "\n" + b + "\n\n");
  EXPECT_EQ(r.status, 0) << r.err;
  const auto all = lines(r.err);
  ASSERT_EQ(all.size(), 5u) << r.err;
  EXPECT_EQ(all[0], std::string(RASTCMP_EXE) + " is better run in the command line");
  EXPECT_EQ(all[1],
            "enter input file1: enter input file2: rasters are not identical. rasters have 1 different and 5 "
            "identical value cells. but both have 0 nodata cells");
  EXPECT_EQ(all[4], "<press ENTER>");
}

TEST_F(DriverE2E, InteractiveStartWithoutInput) {
  const RunResult r = run_rastcmp({}, "");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.err.find("<press ENTER>"), std::string::npos);
}

}  // namespace
