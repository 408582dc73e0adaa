// The rastcmp binary on BIL and GeoTIFF pairs: verdicts against other
// formats and the exit status for files that cannot be read.
#include <gdal.h>  // GDALDataType
#include <gtest/gtest.h>
#include <unistd.h>  // truncate

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_support.hpp"

namespace {

using testsupport::Geo;
using testsupport::lines;
using testsupport::read_file;
using testsupport::run_rastcmp;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::write_asc;
using testsupport::write_file;
using testsupport::write_raster;

constexpr int kCols = 23, kRows = 17, kCells = kCols * kRows;

// Elevations in metres with a few nodata cells.
std::vector<double> terrain(double nodata) {
  std::vector<double> v(kCells);
  for (int i = 0; i < kCells; i++) v[i] = 250.0 + 0.37 * (i % kCols) - 0.11 * (i / kCols) + 0.001 * (i % 7);
  v[0] = v[40] = v[kCells - 1] = nodata;
  return v;
}

class BilTifE2E : public ::testing::Test {
 protected:
  // Expects the three lines of a finished pair comparison and status 0.
  static void expect_verdict(const RunResult& r, const std::string& first, const std::string& verdict) {
    EXPECT_EQ(r.status, 0) << r.err;
    const auto all = lines(r.err);
    ASSERT_EQ(all.size(), 3u) << r.err;
    EXPECT_EQ(all[0], verdict);
    EXPECT_EQ(all[1].rfind("done with '" + first + "'. total time ", 0), 0u) << all[1];
    EXPECT_EQ(all[2].rfind("done with all files. total time for 2 files ", 0), 0u) << all[2];
  }
  TempDir dir;
};

TEST_F(BilTifE2E, FloatGeoTiffEqualsAscGridOfTheSameValues) {
  const double nd = -9999;
  const std::vector<double> v = terrain(nd);
  const std::string tif = dir.file("dem.tif"), asc = dir.file("dem.asc");
  ASSERT_TRUE(write_raster("GTiff", tif, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd,
                           {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}));
  // the grid holds the float values the GeoTIFF stores, printed in full
  std::vector<std::string> text(kCells);
  char buf[64];
  for (int i = 0; i < kCells; i++) {
    snprintf(buf, sizeof(buf), "%.17g", static_cast<double>(static_cast<float>(v[i])));
    text[i] = buf;
  }
  write_asc(asc, kCols, kRows, 1000.0, 2000.0 - kRows, 1.0, text);
  expect_verdict(run_rastcmp({"-i", tif, "-i", asc}), tif,
                 "rasters are identical. both have 388 value and 3 nodata cells.");
}

TEST_F(BilTifE2E, GdalBilEqualsGeoTiffIncludingUnsignedSamples) {
  const double nd = 65535;
  std::vector<double> v(kCells);
  for (int i = 0; i < kCells; i++) v[i] = 30000 + 97 * i;  // up to 67924: past the signed range
  v[5] = v[6] = nd;
  for (double& x : v)
    if (x > 65534) x = nd;
  const std::string bil = dir.file("u16.bil"), tif = dir.file("u16.tif");
  ASSERT_TRUE(write_raster("EHdr", bil, kCols, kRows, 1, GDT_UInt16, v, Geo(), &nd));
  ASSERT_TRUE(write_raster("GTiff", tif, kCols, kRows, 1, GDT_UInt16, v, Geo(), &nd, {"BLOCKYSIZE=1"}));
  int nodata = 0;
  for (double x : v) nodata += x == nd;
  expect_verdict(run_rastcmp({"-i", bil, "-i", tif}), bil,
                 "rasters are identical. both have " + std::to_string(kCells - nodata) + " value and " +
                     std::to_string(nodata) + " nodata cells.");
}

TEST_F(BilTifE2E, BilAgainstGeoTiffWithThreeDifferentCells) {
  const double nd = -9999;
  std::vector<double> a = terrain(nd);
  std::vector<double> b = a;
  b[1] += 0.02;             // two hundredths: a different value cell
  b[kCols * 8 + 11] -= 5;   // a cell in the middle
  b[kCells - 2] = 0.0;      // the cell before the last
  const std::string bil = dir.file("a.bil"), tif = dir.file("b.tif");
  ASSERT_TRUE(write_raster("EHdr", bil, kCols, kRows, 1, GDT_Float32, a, Geo(), &nd));
  ASSERT_TRUE(write_raster("GTiff", tif, kCols, kRows, 1, GDT_Float32, b, Geo(), &nd, {"BLOCKYSIZE=4"}));
  expect_verdict(run_rastcmp({"-i", bil, "-i", tif}), bil,
                 "rasters are not identical. rasters have 3 different and 385 identical value cells. but both "
                 "have 3 nodata cells");
}

TEST_F(BilTifE2E, TruncatedGeoTiffIsAnErrorNotAVerdict) {
  const double nd = -9999;
  const std::vector<double> v = terrain(nd);
  const std::string a = dir.file("a.tif"), b = dir.file("b.tif");
  ASSERT_TRUE(write_raster("GTiff", a, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd, {"BLOCKYSIZE=1"}));
  ASSERT_TRUE(write_raster("GTiff", b, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd, {"BLOCKYSIZE=1"}));
  // cut the last five rows off the second file; its directory stays intact
  const long size = static_cast<long>(read_file(b).size());
  ASSERT_EQ(truncate(b.c_str(), size - kCols * 4 * 5), 0);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("failure in ReadScanline"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("failed to read raster2 at "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("identical"), std::string::npos) << r.err;
}

TEST_F(BilTifE2E, CorruptTilesOfTheFirstRasterAreAnError) {
  const double nd = -9999;
  const std::vector<double> v = terrain(nd);
  const std::string a = dir.file("a.tif"), b = dir.file("b.tif");
  ASSERT_TRUE(write_raster("GTiff", a, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd,
                           {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16", "COMPRESS=DEFLATE"}));
  ASSERT_TRUE(write_raster("GTiff", b, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd));
  std::string bytes = read_file(a);
  for (size_t i = bytes.size() - 200; i < bytes.size() - 8; i++) bytes[i] = static_cast<char>(i * 31);
  write_file(a, bytes);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("failed to read raster1 at "), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("identical"), std::string::npos) << r.err;
}

TEST_F(BilTifE2E, TruncatedBilIsAnErrorNotAVerdict) {
  const double nd = -9999;
  const std::vector<double> v = terrain(nd);
  const std::string a = dir.file("a.bil"), b = dir.file("b.tif");
  ASSERT_TRUE(write_raster("EHdr", a, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd));
  ASSERT_TRUE(write_raster("GTiff", b, kCols, kRows, 1, GDT_Float32, v, Geo(), &nd));
  ASSERT_EQ(truncate(a.c_str(), kCells * 4 - 10), 0);
  const RunResult r = run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("ERROR in SRreader_bil::open(" + a + "): file has " + std::to_string(kCells * 4 - 10) +
                       " bytes but 17 rows of 23 cells need " + std::to_string(kCells * 4) + "\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("identical"), std::string::npos) << r.err;
}

}  // namespace
