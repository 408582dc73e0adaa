// GeoTIFF reader on files written by GDAL: sample types, nodata, strip and
// tile layouts, planar images, world files, geo keys and damaged files.
#include <cpl_conv.h>         // CPLFree
#include <gdal.h>            // GDALCreate, GDALSetProjection
#include <gtest/gtest.h>
#include <ogr_srs_api.h>     // OSRImportFromEPSG for the geo key cases
#include <unistd.h>          // truncate

#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "raster/srreader.hpp"
#include "raster/srreader_tif.hpp"
#include "tests/support/reader_cells.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::cells;
using testsupport::cells_batched;
using testsupport::Geo;
using testsupport::TempDir;
using testsupport::write_file;
using testsupport::write_raster;

constexpr int ND = testsupport::kNodataCell;  // marks an expected nodata cell
const double kNaN = std::nan("");

std::unique_ptr<SRreader_tif> open_tif(const std::string& path, bool* ok, std::string* err = nullptr,
                                       double scale = 0.0) {
  auto r = std::make_unique<SRreader_tif>();
  if (scale != 0.0) r->set_scale(scale);
  testing::internal::CaptureStderr();
  *ok = r->open(path.c_str(), nullptr);
  const std::string text = testing::internal::GetCapturedStderr();
  if (err) *err = text;
  return r;
}

// Every cell through read_raster(); nodata cells as ND.

// ---------------------------------------------------------------------------
// Sample types and nodata, on a 4 x 2 raster.

struct TypeCase {
  const char* name;
  GDALDataType type;
  std::vector<double> values;
  double nodata;  // NaN: no nodata tag
  int nbits;
  bool unsigned_values;
  bool float_values;
  int expected_nodata;
  std::vector<int> expected;
};

class TifTypes : public ::testing::TestWithParam<TypeCase> {
 protected:
  TempDir dir;
};

TEST_P(TifTypes, FieldsAndValues) {
  const TypeCase& c = GetParam();
  const std::string path = dir.file("t.tif");
  const bool tagged = !std::isnan(c.nodata);
  ASSERT_TRUE(write_raster("GTiff", path, 4, 2, 1, c.type, c.values, Geo(), tagged ? &c.nodata : nullptr));
  bool ok = false;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(r->ncols, 4);
  EXPECT_EQ(r->nrows, 2);
  EXPECT_EQ(r->nbands, 1);
  EXPECT_EQ(r->nbits, c.nbits);
  EXPECT_EQ(r->unsigned_values, c.unsigned_values);
  EXPECT_EQ(r->float_values, c.float_values);
  EXPECT_EQ(r->nodata, c.expected_nodata);
  if (tagged) {
    EXPECT_EQ(err, "");
  } else {
    EXPECT_EQ(err, "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n");
  }
  EXPECT_EQ(cells(r.get()), c.expected);
  EXPECT_EQ(r->r_count, 8);
  testing::internal::CaptureStderr();
  r->close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(r->r_count, -1);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, TifTypes,
    ::testing::Values(
        TypeCase{"Byte", GDT_Byte, {0, 1, 200, 255, 7, 8, 9, 10}, 7, 8, true, false, 7,
                 {0, 1, 200, 255, ND, 8, 9, 10}},
        TypeCase{"ByteUntagged", GDT_Byte, {0, 1, 200, 255, 7, 8, 9, 10}, kNaN, 8, true, false, -32767,
                 {0, 1, 200, 255, 7, 8, 9, 10}},
        TypeCase{"Int16", GDT_Int16, {-32768, -1, 0, 32767, -9999, 5, 6, 7}, -9999, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, 5, 6, 7}},
        TypeCase{"Int16Untagged", GDT_Int16, {-32768, -1, -32767, 32767, -9999, 5, 6, 7}, kNaN, 16, false, false,
                 -32767, {-32768, -1, ND, 32767, -9999, 5, 6, 7}},
        TypeCase{"UInt16", GDT_UInt16, {0, 40000, 65535, 1, 2, 3, 4, 5}, 2, 16, true, false, 2,
                 {0, 40000, 65535, 1, ND, 3, 4, 5}},
        TypeCase{"UInt16Untagged", GDT_UInt16, {0, 40000, 65535, 1, 2, 3, 4, 5}, kNaN, 16, true, false, -32767,
                 {0, 40000, 65535, 1, 2, 3, 4, 5}},
        TypeCase{"Int32", GDT_Int32, {-2147483647, -1, 2147483647, 100000, -9999, 0, 1, 2}, -9999, 32, false,
                 false, -9999, {-2147483647, -1, 2147483647, 100000, ND, 0, 1, 2}},
        TypeCase{"UInt32", GDT_UInt32, {0, 1, 2147483647, 100000, 9, 0, 1, 2}, 9, 32, true, false, 9,
                 {0, 1, 2147483647, 100000, ND, 0, 1, 2}},
        // float cells are hundredths by default; the integer nodata stays the
        // default marker scaled, the float nodata decides
        TypeCase{"Float32", GDT_Float32, {12.345, -0.125, 0.375, 1e10, -1e10, kNaN, -9999, -32767}, -9999, 32, false,
                 true, -3276700, {1235, -13, 38, INT_MAX, INT_MIN, ND, ND, -3276700}},
        TypeCase{"Float32Untagged", GDT_Float32, {12.345, -0.125, 0.375, 1e10, -1e10, kNaN, -9999, -32767}, kNaN, 32,
                 false, true, -3276700, {1235, -13, 38, INT_MAX, INT_MIN, ND, -999900, ND}},
        TypeCase{"Float32MaxNegativeNodata", GDT_Float32, {-3.4028234663852886e+38, 1, 2, 3, 4, 5, 6, -3.4e38},
                 -3.4028234663852886e+38, 32, false, true, -3276700, {ND, 100, 200, 300, 400, 500, 600, INT_MIN}},
        // a double nodata matches double cells exactly, not through a float
        TypeCase{"Float64", GDT_Float64, {0.1, 0.125, -2.5, 1e300, kNaN, 0.1000001, 7, 8}, 0.1, 64, false, true,
                 -3276700, {ND, 13, -250, INT_MAX, ND, 10, 700, 800}}),
    [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.name); });

class TifTest : public ::testing::Test {
 protected:
  TempDir dir;
};

TEST_F(TifTest, NanNodataTag) {
  const std::string path = dir.file("n.tif");
  const double nd = kNaN;
  ASSERT_TRUE(write_raster("GTiff", path, 3, 1, 1, GDT_Float32, {kNaN, 1.5, -9999}, Geo(), &nd));
  bool ok = false;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(cells(r.get()), (std::vector<int>{ND, 150, -999900}));
}

TEST_F(TifTest, ScaleSetBeforeOpen) {
  const std::string f = dir.file("f.tif"), s = dir.file("s.tif");
  const double nd = -9999;
  ASSERT_TRUE(write_raster("GTiff", f, 2, 1, 1, GDT_Float32, {12.345, -9999}, Geo(), &nd));
  ASSERT_TRUE(write_raster("GTiff", s, 3, 1, 1, GDT_Int16, {3, -3, -9999}, Geo(), &nd));
  bool ok = false;
  auto rf = open_tif(f, &ok, nullptr, 1.0);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cells(rf.get()), (std::vector<int>{12, ND}));
  auto rs = open_tif(s, &ok, nullptr, 0.5);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(rs->scaled);
  EXPECT_EQ(rs->nodata, -19998);
  ASSERT_TRUE(rs->read_raster());
  EXPECT_EQ(rs->value[0], 6);
  ASSERT_TRUE(rs->read_raster());
  EXPECT_EQ(rs->value[0], -6);
  ASSERT_TRUE(rs->read_raster());
  EXPECT_TRUE(rs->is_nodata());
  EXPECT_EQ(rs->value[0], -19998);
  auto rone = open_tif(s, &ok, nullptr, 1.0);
  ASSERT_TRUE(ok);
  EXPECT_FALSE(rone->scaled);
}

TEST_F(TifTest, GeometryFromTags) {
  const std::string path = dir.file("g.tif");
  Geo geo;
  geo.ulx = 100.0;
  geo.uly = 200.0;
  geo.cell = 2.0;
  ASSERT_TRUE(write_raster("GTiff", path, 3, 2, 1, GDT_Int16, std::vector<double>(6, 1.0), geo));
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  EXPECT_DOUBLE_EQ(r->llx, 100.0);
  EXPECT_DOUBLE_EQ(r->ury, 200.0);
  EXPECT_DOUBLE_EQ(r->lly, 196.0);
  EXPECT_DOUBLE_EQ(r->urx, 106.0);
  EXPECT_DOUBLE_EQ(r->stepx, 2.0);
  EXPECT_DOUBLE_EQ(r->stepy, 2.0);
  EXPECT_TRUE(r->axis_aligned);
  EXPECT_EQ(r->stepx_y, 0.0);
  EXPECT_EQ(r->stepy_x, 0.0);
}

// ---------------------------------------------------------------------------
// Layouts: a 37 x 21 raster in strips of several sizes and in tiles that do
// not divide it, each read cell by cell and in batches.

struct Layout {
  const char* name;
  std::vector<std::string> options;
  bool tiled;
  int rows_per_strip;  // 0 when tiled
};

const int kCols = 37, kRows = 21;

class TifLayouts : public ::testing::TestWithParam<std::tuple<Layout, GDALDataType>> {
 protected:
  TempDir dir;
};

TEST_P(TifLayouts, EveryCellInOrder) {
  const Layout& layout = std::get<0>(GetParam());
  const GDALDataType type = std::get<1>(GetParam());
  std::vector<double> values(kCols * kRows);
  std::vector<int> expected(values.size());
  for (int i = 0; i < kCols * kRows; i++) {
    values[i] = i - 300;  // negative and positive, distinct per cell
    expected[i] = type == GDT_Float32 ? (i - 300) * 100 : i - 300;
  }
  values[5] = -9999;  // one nodata cell in the first row
  expected[5] = ND;
  values[kCols * kRows - 1] = -9999;  // and the very last cell
  expected[kCols * kRows - 1] = ND;
  const double nd = -9999;
  const std::string path = dir.file("l.tif");
  ASSERT_TRUE(write_raster("GTiff", path, kCols, kRows, 1, type, values, Geo(), &nd, layout.options));
  bool ok = false;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(r->tiled, layout.tiled);
  if (layout.tiled) {
    EXPECT_EQ(r->tile_width, 16);
    EXPECT_EQ(r->tile_length, 16);
  } else {
    EXPECT_EQ(r->rows_per_strip, layout.rows_per_strip);
  }
  EXPECT_EQ(cells(r.get()), expected);
  r->close(true);

  for (int64_t batch : {1, 7, 37, 100000}) {
    auto rb = open_tif(path, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(cells_batched(rb.get(), batch), expected) << "batch " << batch;
    testing::internal::CaptureStderr();
    rb->close(true);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, TifLayouts,
    ::testing::Combine(
        ::testing::Values(Layout{"OneStrip", {}, false, kRows},
                          Layout{"OneRowStrips", {"BLOCKYSIZE=1"}, false, 1},
                          Layout{"FiveRowStrips", {"BLOCKYSIZE=5"}, false, 5},
                          Layout{"FiveRowStripsDeflate", {"BLOCKYSIZE=5", "COMPRESS=DEFLATE"}, false, 5},
                          Layout{"FiveRowStripsBigEndian", {"BLOCKYSIZE=5", "ENDIANNESS=BIG"}, false, 5},
                          Layout{"OneRowStripsBigEndian", {"BLOCKYSIZE=1", "ENDIANNESS=BIG"}, false, 1},
                          Layout{"TilesBigEndian", {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16", "ENDIANNESS=BIG"},
                                 true, 0},
                          Layout{"Tiles", {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}, true, 0},
                          Layout{"TilesLzw", {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16", "COMPRESS=LZW"}, true,
                                 0}),
        ::testing::Values(GDT_Int16, GDT_Float32)),
    [](const ::testing::TestParamInfo<std::tuple<Layout, GDALDataType>>& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == GDT_Int16 ? "Int16" : "Float32");
    });

// ---------------------------------------------------------------------------
// Three-band images: band b of cell i holds 1000·b + i.

class TifBands : public ::testing::TestWithParam<Layout> {
 protected:
  TempDir dir;
};

TEST_P(TifBands, EveryBandOfEveryCell) {
  const int cols = 19, rows = 11, n = cols * rows;
  std::vector<double> values(3 * n);
  for (int b = 0; b < 3; b++)
    for (int i = 0; i < n; i++) values[b * n + i] = 1000 * b + i;
  const std::string path = dir.file("b.tif");
  ASSERT_TRUE(write_raster("GTiff", path, cols, rows, 3, GDT_UInt16, values, Geo(), nullptr, GetParam().options));
  bool ok = false;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(r->nbands, 3);
  const bool planar = GetParam().options.front() == "INTERLEAVE=BAND";
  EXPECT_EQ(r->planar_separate, planar);
  for (int i = 0; i < n; i++) {
    ASSERT_TRUE(r->read_raster()) << i;
    EXPECT_EQ(r->value[0], i);
    EXPECT_EQ(r->value[1], 1000 + i);
    EXPECT_EQ(r->value[2], 2000 + i);
  }
  EXPECT_FALSE(r->read_raster());
  r->close(true);
  auto rb = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  std::vector<int> band0(n);
  for (int i = 0; i < n; i++) band0[i] = i;
  EXPECT_EQ(cells_batched(rb.get(), 23), band0);
}

INSTANTIATE_TEST_SUITE_P(
    All, TifBands,
    ::testing::Values(Layout{"PlanarOneRowStrips", {"INTERLEAVE=BAND", "BLOCKYSIZE=1"}, false, 1},
                      Layout{"PlanarFourRowStrips", {"INTERLEAVE=BAND", "BLOCKYSIZE=4"}, false, 4},
                      Layout{"PlanarTiles", {"INTERLEAVE=BAND", "TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}, true,
                             0},
                      Layout{"PixelFourRowStrips", {"INTERLEAVE=PIXEL", "BLOCKYSIZE=4"}, false, 4},
                      Layout{"PixelTiles", {"INTERLEAVE=PIXEL", "TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}, true,
                             0}),
    [](const ::testing::TestParamInfo<Layout>& info) { return std::string(info.param.name); });

TEST_F(TifTest, RgbBytesHaveNoNodata) {
  const std::string path = dir.file("rgb.tif");
  std::vector<double> values = {10, 20, 30, 40, 50, 60};  // two pixels, three bands
  ASSERT_TRUE(write_raster("GTiff", path, 2, 1, 3, GDT_Byte, values));
  bool ok = false;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_TRUE(ok);
  EXPECT_EQ(err, "");  // the nodata tag is not even looked for
  EXPECT_EQ(r->nodata, -32767);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], 10);
  EXPECT_EQ(r->value[1], 30);
  EXPECT_EQ(r->value[2], 50);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], 20);
  EXPECT_EQ(r->value[1], 40);
  EXPECT_EQ(r->value[2], 60);
}

// YCbCr images are JPEG-compressed and decoded to RGBA: the cells must be
// what GDAL decodes from the same file, give or take the rounding of two
// colour conversions.
TEST_F(TifTest, YCbCrDecodedToRgb) {
  for (const auto& layout :
       {std::vector<std::string>{"COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "BLOCKYSIZE=16"},
        std::vector<std::string>{"COMPRESS=JPEG", "PHOTOMETRIC=YCBCR", "TILED=YES", "BLOCKXSIZE=16",
                                 "BLOCKYSIZE=16"}}) {
    const int cols = 40, rows = 37, n = cols * rows;
    std::vector<double> values(3 * n);
    for (int i = 0; i < n; i++) {
      const bool top = i / cols < 16;
      values[i] = top ? 220 : 20;          // red
      values[n + i] = top ? 30 : 200;      // green
      values[2 * n + i] = top ? 120 : 10;  // blue
    }
    const std::string path = dir.file("y.tif");
    ASSERT_TRUE(write_raster("GTiff", path, cols, rows, 3, GDT_Byte, values, Geo(), nullptr, layout));
    std::vector<uint8_t> decoded(3 * n);
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    ASSERT_NE(ds, nullptr);
    for (int b = 0; b < 3; b++) {
      ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, b + 1), GF_Read, 0, 0, cols, rows, &decoded[b * n], cols, rows,
                             GDT_Byte, 0, 0),
                CE_None);
    }
    GDALClose(ds);
    bool ok = false;
    std::string err;
    auto r = open_tif(path, &ok, &err);
    ASSERT_TRUE(ok) << err;
    EXPECT_TRUE(r->ycbcr);
    for (int i = 0; i < n; i++) {
      ASSERT_TRUE(r->read_raster());
      for (int b = 0; b < 3; b++) {
        ASSERT_NEAR(r->value[b], decoded[b * n + i], 3) << "cell " << i << " band " << b << " " << layout[2];
      }
    }
    EXPECT_FALSE(r->read_raster());
  }
}

TEST_F(TifTest, SixtyFourBitIntegersRefused) {
  const std::string path = dir.file("i64.tif");
  ASSERT_TRUE(write_raster("GTiff", path, 2, 1, 1, GDT_Int64, {1, 2}));
  bool ok = true;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("ERROR: nbits 64 only supported for floating point values by SRreader_tif\n"),
            std::string::npos)
      << err;
}

TEST_F(TifTest, MissingFileAndNullName) {
  bool ok = true;
  std::string err;
  auto r = open_tif(dir.file("none.tif"), &ok, &err);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("ERROR: failed in XTIFFOpen\n"), std::string::npos) << err;
  SRreader_tif n;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(n.open(nullptr, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: zero file name pointer not supported by SRreader_tif::open()\n");
}

TEST_F(TifTest, GarbageIsNotATiff) {
  const std::string path = dir.file("junk.tif");
  write_file(path, std::string("II*\0\xff\xff\xff\x7f", 8) + std::string(100, 'x'));
  bool ok = true;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("ERROR: failed in XTIFFOpen\n"), std::string::npos) << err;
}

// A header may announce strips far larger than any sane buffer; such a file
// is refused at open instead of being allocated for.
TEST_F(TifTest, AbsurdStripBufferRefused) {
  GDALAllRegister();
  const std::string path = dir.file("wide.tif");
  const char* options[] = {"BLOCKYSIZE=256", "SPARSE_OK=TRUE", nullptr};
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 3000000, 300, 1, GDT_Float32,
                               const_cast<char**>(options));
  ASSERT_NE(ds, nullptr);
  double gt[6] = {0, 1, 0, 300, 0, -1};
  GDALSetGeoTransform(ds, gt);
  GDALClose(ds);
  bool ok = true;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  EXPECT_FALSE(ok);
  EXPECT_NE(err.find("ERROR: band buffer of 3072000000 bytes too large for SRreader_tif\n"), std::string::npos)
      << err;
}

// ---------------------------------------------------------------------------
// World files, for a 3 x 2 raster without georeferencing tags.

struct WorldCase {
  const char* name;
  const char* world_ext;  // nullptr: no world file
  std::string content;
  bool ok;
  bool axis_aligned;
  double llx, lly, urx, ury;
};

class TifWorld : public ::testing::TestWithParam<WorldCase> {
 protected:
  TempDir dir;
};

TEST_P(TifWorld, Extent) {
  const WorldCase& c = GetParam();
  const std::string path = dir.file("w.tif");
  // the baseline profile writes neither GeoTIFF nor GDAL tags
  ASSERT_TRUE(write_raster("GTiff", path, 3, 2, 1, GDT_Int16, std::vector<double>(6, 1.0), Geo(), nullptr,
                           {"PROFILE=BASELINE"}));
  if (c.world_ext) write_file(dir.file(std::string("w.") + c.world_ext), c.content);
  bool ok = !c.ok;
  std::string err;
  auto r = open_tif(path, &ok, &err);
  ASSERT_EQ(ok, c.ok) << err;
  const std::string tried = "WARNING: no tags describing tiepoints and pixscale. trying world file ...\n";
  EXPECT_NE(err.find(tried), std::string::npos) << err;
  if (!c.ok) {
    if (c.world_ext) {
      EXPECT_NE(err.find("WARNING: corrupt world file\n"), std::string::npos) << err;
    } else {
      const std::string base = dir.file("w");
      EXPECT_NE(err.find("WARNING: cannot open world file '" + base + ".tfw' or '" + base + ".TFW'\n"),
                std::string::npos)
          << err;
    }
    return;
  }
  EXPECT_EQ(r->axis_aligned, c.axis_aligned);
  EXPECT_DOUBLE_EQ(r->llx, c.llx);
  EXPECT_DOUBLE_EQ(r->lly, c.lly);
  EXPECT_DOUBLE_EQ(r->urx, c.urx);
  EXPECT_DOUBLE_EQ(r->ury, c.ury);
  EXPECT_DOUBLE_EQ(r->stepx, 2.0);
  EXPECT_DOUBLE_EQ(r->stepy, 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    All, TifWorld,
    ::testing::Values(
        WorldCase{"LowerCase", "tfw", "2\n0\n0\n-2\n101\n199\n", true, true, 100, 196, 106, 200},
        WorldCase{"UpperCase", "TFW", "2.0\n0.0\n0.0\n-2.0\n101.0\n199.0\n", true, true, 100, 196, 106, 200},
        // corner Ox = 101 - 1 - 0.125 = 99.875, Oy = 199 + 1 - 0.25 = 199.75
        WorldCase{"Rotated", "tfw", "2\n0.5\n0.25\n-2\n101\n199\n", true, false, 99.875 + 2 * 0.25, 199.75 - 2 * 2,
                  99.875 + 3 * 2, 199.75 + 3 * 0.5},
        WorldCase{"Missing", nullptr, "", false, true, 0, 0, 0, 0},
        WorldCase{"FiveLines", "tfw", "2\n0\n0\n-2\n101\n", false, true, 0, 0, 0, 0},
        WorldCase{"NotANumber", "tfw", "2\n0\n0\nminus two\n101\n199\n", false, true, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<WorldCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Geo keys.

bool write_with_srs(const std::string& path, bool epsg) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), 2, 2, 1, GDT_Int16, nullptr);
  if (ds == nullptr) return false;
  double gt[6] = {500000, 10, 0, 5000000, 0, -10};
  GDALSetGeoTransform(ds, gt);
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  const OGRErr e = epsg ? OSRImportFromEPSG(srs, 32633)
                        : OSRImportFromProj4(srs, "+proj=tmerc +lat_0=0 +lon_0=15.5 +k=0.9996 +x_0=500000 +y_0=0 "
                                                  "+ellps=WGS84 +units=m +no_defs");
  char* wkt = nullptr;
  if (e == OGRERR_NONE) OSRExportToWkt(srs, &wkt);
  if (wkt) GDALSetProjection(ds, wkt);
  CPLFree(wkt);
  OSRDestroySpatialReference(srs);
  GDALClose(ds);
  return e == OGRERR_NONE;
}

const SRgeoKeyEntry* find_key(const SRreader_tif& r, int id) {
  for (int i = 0; i < r.geo_key_count; i++)
    if (r.geo_keys[i].key_id == id) return &r.geo_keys[i];
  return nullptr;
}

TEST_F(TifTest, GeoKeysOfAnEpsgProjection) {
  const std::string path = dir.file("utm.tif");
  ASSERT_TRUE(write_with_srs(path, true));
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  const SRgeoKeyEntry* model = find_key(*r, 1024);
  const SRgeoKeyEntry* pcs = find_key(*r, 3072);
  ASSERT_NE(model, nullptr);
  ASSERT_NE(pcs, nullptr);
  EXPECT_EQ(model->value_offset, 1);  // projected
  EXPECT_EQ(pcs->value_offset, 32633);
  EXPECT_EQ(pcs->tiff_tag_location, 0);
  EXPECT_EQ(r->geo_keys[0].key_id, 1024);  // collected in the fixed key order
}

TEST_F(TifTest, GeoKeysOfDoubleTypeGoToTheParameterArray) {
  const std::string path = dir.file("tm.tif");
  ASSERT_TRUE(write_with_srs(path, false));
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  const SRgeoKeyEntry* lon = find_key(*r, 3088);  // central meridian
  if (lon == nullptr) lon = find_key(*r, 3080);   // or natural origin longitude
  ASSERT_NE(lon, nullptr);
  EXPECT_EQ(lon->tiff_tag_location, 34736);
  EXPECT_EQ(lon->count, 1);
  ASSERT_LT(lon->value_offset, r->geo_double_params.size());
  EXPECT_DOUBLE_EQ(r->geo_double_params[lon->value_offset], 15.5);
  const SRgeoKeyEntry* easting = find_key(*r, 3082);
  ASSERT_NE(easting, nullptr);
  EXPECT_DOUBLE_EQ(r->geo_double_params[easting->value_offset], 500000.0);
}

// ---------------------------------------------------------------------------
// Damaged files: cells of a chunk that cannot be decoded are refused, cells
// of other chunks are still delivered.

// Counts delivered and refused cells through the batch interface, going on
// after each refusal as the driver does when halting is off.
void count_cells(SRreader* r, int64_t total, int64_t& good, int64_t& bad) {
  good = bad = 0;
  std::vector<int32_t> v(total);
  std::vector<uint8_t> f(total);
  int64_t k = 0;
  while (k < total) {
    const int64_t got = r->read_cells(total - k, v.data(), f.data());
    good += got;
    k += got;
    if (k < total) {
      bad++;
      k++;
      EXPECT_TRUE(r->is_nodata());
    }
  }
}

TEST_F(TifTest, TruncatedTilesAreRefused) {
  const std::string path = dir.file("trunc.tif");
  std::vector<double> values(64 * 64, 3.0);
  ASSERT_TRUE(write_raster("GTiff", path, 64, 64, 1, GDT_Float32, values, Geo(), nullptr,
                           {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}));
  // the directory comes first; cut the file inside the tiles' data
  const long size = static_cast<long>(testsupport::read_file(path).size());
  ASSERT_EQ(truncate(path.c_str(), size - 16 * 16 * 4 * 5 / 2), 0);
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  int64_t good = 0, bad = 0;
  testing::internal::CaptureStderr();
  count_cells(r.get(), 64 * 64, good, bad);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_GT(bad, 0);
  EXPECT_EQ(bad % (16 * 16), 0) << "whole tiles are refused";
  EXPECT_EQ(good + bad, 64 * 64);
  EXPECT_NE(err.find("failure in TIFFReadTile"), std::string::npos) << err;
}

TEST_F(TifTest, CorruptCompressedStripIsRefused) {
  const std::string path = dir.file("bad.tif");
  std::vector<double> values(50 * 40);
  for (size_t i = 0; i < values.size(); i++) values[i] = static_cast<double>(i % 977);
  ASSERT_TRUE(write_raster("GTiff", path, 50, 40, 1, GDT_Int16, values, Geo(), nullptr,
                           {"COMPRESS=DEFLATE", "BLOCKYSIZE=10"}));
  std::string bytes = testsupport::read_file(path);
  // overwrite the middle of the file, which lies inside the compressed strips
  for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; i++) bytes[i] = static_cast<char>(0xA5 ^ i);
  write_file(path, bytes);
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  int64_t good = 0, bad = 0;
  testing::internal::CaptureStderr();
  count_cells(r.get(), 50 * 40, good, bad);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_GT(bad, 0);
  EXPECT_EQ(bad % (50 * 10), 0) << "whole strips are refused";
  EXPECT_NE(err.find("failure in TIFFReadEncodedStrip (nbands == 1)"), std::string::npos) << err;
}

TEST_F(TifTest, TruncatedScanlinesFailPerCell) {
  const std::string path = dir.file("rows.tif");
  ASSERT_TRUE(write_raster("GTiff", path, 30, 20, 1, GDT_Int16, std::vector<double>(600, 5.0), Geo(), nullptr,
                           {"BLOCKYSIZE=1"}));
  const long size = static_cast<long>(testsupport::read_file(path).size());
  ASSERT_EQ(truncate(path.c_str(), size - 30 * 2 * 3), 0);  // the last three rows
  bool ok = false;
  auto r = open_tif(path, &ok);
  ASSERT_TRUE(ok);
  testing::internal::CaptureStderr();
  int64_t delivered = 0;
  while (r->read_raster()) delivered++;
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(delivered, 17 * 30);
  EXPECT_NE(err.find("failure in ReadScanline"), std::string::npos) << err;
}

}  // namespace
