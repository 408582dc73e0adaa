// GeoTIFF reader on files written by GDAL: multi-band and planar images,
// RGB and YCbCr, refusals and damaged files. Sample types, strip and tile
// layouts and world files are in the reader contract.
#include <gdal.h>         // GDALCreate of a sparse file, GDALRasterIO of the decoded reference

#include <tuple>    // sparse file table

#include "raster/srreader_tif.hpp"               // SRreader_tif
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader, cells_batched

namespace {

using namespace testsupport;

Opened<SRreader_tif> open_tif(const std::string& path) {
  return open_reader<SRreader_tif>(path, 0.0, nullptr);
}

struct Layout {
  const char* name;
  GDALDataType type;
  bool planar;  // one plane per band, else the bands of a pixel together
  std::vector<std::string> options;
  bool tiled;
  int rows_per_strip;  // 0 when tiled
};

// ---------------------------------------------------------------------------
// Three-band images: band b of cell i holds 1000·b + i, or 80·b + i % 80 in
// bytes. None has a nodata tag: 16-bit images warn, RGB bytes have no nodata.

class TifBands : public DirTest<Layout> {};

TEST_P(TifBands, EveryBandOfEveryCell) {
  const int cols = 19, rows = 11, n = cols * rows;
  const bool bytes = GetParam().type == GDT_Byte;
  auto sample = [&](int b, int i) { return bytes ? 80 * b + i % 80 : 1000 * b + i; };
  std::vector<double> values(3 * n);
  std::vector<int> band0(n);
  for (int i = 0; i < 3 * n; i++) values[i] = sample(i / n, i % n);
  for (int i = 0; i < n; i++) band0[i] = sample(0, i);
  const std::string path = dir.file("b.tif");
  std::vector<std::string> options = GetParam().options;
  options.push_back(GetParam().planar ? "INTERLEAVE=BAND" : "INTERLEAVE=PIXEL");
  ASSERT_TRUE(write_raster("GTiff", path, cols, rows, 3, GetParam().type, values, Geo(), nullptr, options));
  auto o = open_tif(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, bytes ? "" : "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n");
  EXPECT_EQ(o.r->nodata, -32767);
  EXPECT_EQ(o.r->nbands, 3);
  EXPECT_EQ(o.r->planar_separate, GetParam().planar);
  EXPECT_EQ(o.r->tiled, GetParam().tiled);
  EXPECT_EQ(o.r->rows_per_strip, GetParam().rows_per_strip);
  for (int i = 0; i < n; i++) {
    ASSERT_TRUE(o.r->read_raster()) << i;
    EXPECT_FALSE(o.r->is_nodata());
    for (int b = 0; b < 3; b++) EXPECT_EQ(o.r->value[b], sample(b, i));
  }
  EXPECT_FALSE(o.r->read_raster());
  EXPECT_EQ(cells_batched(open_tif(path).r.get(), {23}), band0);
}

const std::vector<std::string> kTiles = {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"};

INSTANTIATE_TEST_SUITE_P(
    All, TifBands,
    ::testing::Values(Layout{"PlanarOneRowStrips", GDT_UInt16, true, {"BLOCKYSIZE=1"}, false, 1},
                      Layout{"PlanarFourRowStrips", GDT_UInt16, true, {"BLOCKYSIZE=4"}, false, 4},
                      Layout{"PlanarTiles", GDT_UInt16, true, kTiles, true, 0},
                      Layout{"PixelFourRowStrips", GDT_UInt16, false, {"BLOCKYSIZE=4"}, false, 4},
                      Layout{"PixelTiles", GDT_UInt16, false, kTiles, true, 0},
                      Layout{"RgbBytes", GDT_Byte, false, {"BLOCKYSIZE=4"}, false, 4}),
    CaseName());

// YCbCr images are JPEG-compressed and decoded to RGBA: the cells must be
// what GDAL decodes from the same file, give or take the rounding of two
// colour conversions.
TEST(TifTest, YCbCrDecodedToRgb) {
  const TempDir dir;
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
    ASSERT_EQ(GDALDatasetRasterIO(ds, GF_Read, 0, 0, cols, rows, decoded.data(), cols, rows, GDT_Byte, 3, nullptr, 0,
                                  0, 0),
              CE_None);
    GDALClose(ds);
    auto o = open_tif(path);
    ASSERT_TRUE(o.ok) << o.err;
    SRreader_tif* r = o.r.get();
    EXPECT_TRUE(r->ycbcr);
    for (int i = 0; i < n; i++) {
      ASSERT_TRUE(r->read_raster());
      for (int b = 0; b < 3; b++)
        ASSERT_NEAR(r->value[b], decoded[b * n + i], 3) << "cell " << i << " band " << b << " " << layout[2];
    }
    EXPECT_FALSE(r->read_raster());
  }
}

// Files refused at open, with the message that says why.
TEST(TifTest, RefusedFiles) {
  const TempDir dir;
  const std::string int64 = dir.file("i64.tif"), garbage = dir.file("garbage.tif"), huge = dir.file("huge.tif"),
                    strip = dir.file("strip.tif");
  ASSERT_TRUE(write_raster("GTiff", int64, 2, 1, 1, GDT_Int64, {1, 2}));
  write_file(garbage, std::string("II*\0\xff\xff\xff\x7f", 8) + std::string(100, 'x'));
  // strips larger than their stored bytes can hold are refused, not
  // allocated: sparse files of a few hundred bytes
  for (const auto& [path, cols, rows] : {std::tuple{huge, 3000000, 256}, std::tuple{strip, 46000, 46000}}) {
    const char* options[] = {"BLOCKYSIZE=46000", "SPARSE_OK=TRUE", "COMPRESS=DEFLATE", nullptr};
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), cols, rows, 1,
                                 cols == 46000 ? GDT_Byte : GDT_Float32, const_cast<char**>(options));
    const double gt[6] = {0, 1, 0, 300, 0, -1};
    GDALSetGeoTransform(ds, const_cast<double*>(gt));
    GDALClose(ds);
  }
  for (const auto& [path, message] : std::vector<std::pair<std::string, std::string>>{
           {int64, "ERROR: nbits 64 only supported for floating point values by SRreader_tif\n"},
           {garbage, "ERROR: failed in XTIFFOpen\n"},
           {huge, "ERROR: strip of 3072000000 bytes cannot be decoded from 0 stored bytes\n"},
           {strip, "ERROR: strip of 2116000000 bytes cannot be decoded from 0 stored bytes\n"}}) {
    auto o = open_tif(path);
    EXPECT_FALSE(o.ok);
    EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
  }
}

// A strip of more than 4 MB is read in pieces of whole rows: 953 rows of
// 1100 float cells, so that pieces end inside both strips.
TEST(TifTest, LargeStripsReadInPieces) {
  const TempDir dir;
  std::vector<double> values(1100 * 1500);
  std::vector<int> expected(values.size());
  for (size_t i = 0; i < values.size(); i++) values[i] = (i % 977) - 300.0, expected[i] = values[i] * 100;
  const std::string path = dir.file("p.tif");
  ASSERT_TRUE(write_raster("GTiff", path, 1100, 1500, 1, GDT_Float32, values, Geo(), nullptr,
                           {"BLOCKYSIZE=1000", "COMPRESS=DEFLATE"}));
  EXPECT_EQ(cells_batched(open_tif(path).r.get(), {4099, 1}), expected);
}

// ---------------------------------------------------------------------------
// Damaged files: cells of a chunk that cannot be decoded are refused, cells
// of other chunks are still delivered.

struct DamageCase {
  const char* name;
  int cols, rows;
  std::vector<std::string> options;
  long cut;         // bytes cut off the end; 0: 64 bytes in the middle overwritten
  int chunk_cells;  // cells of one strip or tile: refused only whole
  int bad_cells;    // exact count when known, else 0
  const char* message;
};

class TifDamaged : public DirTest<DamageCase> {};

TEST_P(TifDamaged, CellsOfUnreadableChunksAreRefused) {
  const DamageCase& c = GetParam();
  const std::string path = dir.file("d.tif");
  std::vector<double> values(c.cols * c.rows);
  for (size_t i = 0; i < values.size(); i++) values[i] = static_cast<double>(i % 977);
  ASSERT_TRUE(write_raster("GTiff", path, c.cols, c.rows, 1, GDT_Int16, values, Geo(), nullptr, c.options));
  std::string bytes = read_file(path);
  if (c.cut > 0) {
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(bytes.size() - c.cut)), 0);
  } else {
    // the middle of the file lies inside the compressed strips
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; i++) bytes[i] = static_cast<char>(0xA5 ^ i);
    write_file(path, bytes);
  }
  auto o = open_tif(path);
  ASSERT_TRUE(o.ok) << o.err;
  testing::internal::CaptureStderr();
  int64_t good = 0, bad = 0;
  const int64_t total = c.cols * c.rows;
  std::vector<int32_t> v(total);
  std::vector<uint8_t> f(total);
  while (good + bad < total) {
    // going on after each refusal as the driver does when halting is off
    good += o.r->read_cells(total - good - bad, v.data(), f.data());
    if (good + bad == total) break;
    bad++;
    EXPECT_TRUE(o.r->is_nodata());
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_GT(bad, 0);
  EXPECT_EQ(bad % c.chunk_cells, 0) << bad;
  EXPECT_TRUE(c.bad_cells == 0 || bad == c.bad_cells) << bad;
  EXPECT_EQ(o.r->r_count, good);
  EXPECT_NE(err.find(c.message), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    All, TifDamaged,
    ::testing::Values(
        // the directory comes first: a cut lands inside the chunks' data
        DamageCase{"TruncatedTiles", 64, 64, {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"}, 16 * 16 * 2 * 5 / 2,
                   16 * 16, 0, "failure in TIFFReadTile"},
        DamageCase{"CorruptCompressedStrip", 50, 40, {"COMPRESS=DEFLATE", "BLOCKYSIZE=10"}, 0, 50 * 10, 0,
                   "failure in TIFFReadEncodedStrip (nbands == 1)"},
        DamageCase{"TruncatedStrips", 30, 20, {"BLOCKYSIZE=4"}, 30 * 2 * 3, 30 * 4, 30 * 4,
                   "failure in TIFFReadEncodedStrip (nbands == 1)"},
        DamageCase{"TruncatedScanlines", 30, 20, {"BLOCKYSIZE=1"}, 30 * 2 * 3, 30, 30 * 3, "failure in ReadScanline"}),
    CaseName());

}  // namespace
