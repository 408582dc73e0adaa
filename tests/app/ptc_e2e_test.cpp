// rastcmp in batch mode against RasterPTC copies made by rast2ptc: -cores
// with a single input, a single .ptc input, and a .ptc among three inputs.
#include <gdal.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.hpp"

namespace {

using testsupport::lines;
using testsupport::run;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_raster;
using Strings = std::vector<std::string>;

class PtcBatchE2E : public ::testing::Test {
 protected:
  // A GeoTIFF of 6 x 4 float cells with one nodata cell and its copy.
  std::string tif_with_copy(const std::string& name) {
    const std::string path = dir.file(name);
    std::vector<double> v(24);
    for (int i = 0; i < 24; i++) v[i] = 10.0 + 0.25 * i;
    const double nodata = -9999.0;
    v[5] = nodata;
    EXPECT_TRUE(write_raster("GTiff", path, 6, 4, 1, GDT_Float32, v, testsupport::Geo(), &nodata));
    const RunResult made = run(RAST2PTC_EXE, {"-i", path});
    EXPECT_EQ(made.status, 0) << made.err;
    return path;
  }
  TempDir dir;
};

TEST_F(PtcBatchE2E, CoresWithASingleInputWarnsAndComparesWithTheCopy) {
  const std::string tif = tif_with_copy("dem.tif");
  const RunResult r = run_rastcmp({"-cores", "4", "-i", tif});
  EXPECT_EQ(r.status, 1) << r.err;
  const Strings all = lines(r.err);
  ASSERT_EQ(all.size(), 3u) << r.err;
  EXPECT_EQ(all[0], "WARNING: only 1 input file(s). ignoring '-cores 4' ...");
  EXPECT_EQ(all[1], "rasters are identical. both have 23 value and 1 nodata cells.");
  EXPECT_EQ(all[2].rfind("done with '" + tif + "'. total time ", 0), 0u) << all[2];
}

TEST_F(PtcBatchE2E, SingleCopyAsInputIsNotAPair) {
  tif_with_copy("dem.tif");
  const RunResult r = run_rastcmp({"-i", dir.file("dem.ptc")});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(lines(r.err).back(),
            "ERROR: if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not in PTC format");
}

TEST_F(PtcBatchE2E, ThreeInputsStopAtTheCopy) {
  const std::string a = tif_with_copy("a.tif");
  tif_with_copy("b.tif");
  const std::string c = dir.file("c.asc");
  write_asc(c, 2, 1, 0.0, 0.0, 1.0, {"1", "2"});
  const RunResult r = run_rastcmp({"-i", a, dir.file("b.ptc"), c});
  EXPECT_EQ(r.status, 3) << r.err;
  const Strings all = lines(r.err);
  ASSERT_EQ(all.size(), 3u) << r.err;
  EXPECT_EQ(all[0], "rasters are identical. both have 23 value and 1 nodata cells.");
  EXPECT_EQ(all[1].rfind("done with '" + a + "'. total time ", 0), 0u) << all[1];
  EXPECT_EQ(all[2],
            "ERROR: if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not in PTC format");
}

}  // namespace
