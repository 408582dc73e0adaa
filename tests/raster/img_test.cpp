// Erdas Imagine reader: pixel types, block edges, nodata, RGB rules, bad
// files, and rastcmp end to end on IMG files written by GDAL's HFA driver.
#include <gdal.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "raster/srreader.hpp"
#include "raster/srreader_img.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasmessage.hpp"

namespace {

using testsupport::Geo;
using testsupport::TempDir;
using testsupport::write_raster;

constexpr int kNodataCell = INT_MIN;  // marks a nodata cell in expected lists

struct Opened {
  std::unique_ptr<SRreader_img> reader;
  bool ok = false;
  std::string err;
};

Opened open_img(const std::string& path) {
  Opened o;
  o.reader = std::make_unique<SRreader_img>();
  testing::internal::CaptureStderr();
  o.ok = o.reader->open(path.c_str(), nullptr);
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

// All cells through read_raster(); nodata cells become kNodataCell.
std::vector<int> cells_one_by_one(SRreader* r) {
  std::vector<int> out;
  while (r->read_raster()) out.push_back(r->is_nodata() ? kNodataCell : r->value[0]);
  return out;
}

// All cells through read_cells() in uneven batches that straddle block and
// row edges; checks that value[0] and is_nodata() follow the last cell.
std::vector<int> cells_in_batches(SRreader* r) {
  std::vector<int> out;
  std::vector<int32_t> v(97);
  std::vector<uint8_t> f(97);
  const int64_t sizes[] = {1, 5, 63, 64, 97, 2, 33};
  for (int i = 0;; i++) {
    const int64_t n = sizes[i % 7];
    const int64_t got = r->read_cells(n, v.data(), f.data());
    for (int64_t k = 0; k < got; k++) out.push_back(f[k] ? kNodataCell : v[k]);
    if (got > 0) {
      EXPECT_EQ(r->value[0], v[got - 1]);
      EXPECT_EQ(r->is_nodata(), f[got - 1] != 0);
    }
    if (got < n) break;
  }
  return out;
}

// One pixel type of the table: how GDAL writes it and what the reader makes
// of it.
struct TypeCase {
  const char* name;
  GDALDataType gdal_type;
  std::vector<std::string> options;
  int nbits;
  bool unsigned_values;
  bool float_values;
  double (*sample)(int row, int col);  // the stored value of a cell
  int (*expected)(double sample);      // the delivered value
};

int as_is(double s) { return static_cast<int>(static_cast<int64_t>(s)); }
int as_int8_bits(double s) { return static_cast<int8_t>(static_cast<uint8_t>(s)); }
int as_uint32_bits(double s) { return static_cast<int32_t>(static_cast<uint32_t>(s)); }
int in_hundredths(double s) { return static_cast<int>(std::llround(s * 100.0)); }

const TypeCase kTypes[] = {
    {"u8", GDT_Byte, {}, 8, true, false, [](int r, int c) { return double((r * 7 + c * 13) % 256); }, as_is},
    // signed bytes go through GDAL as their raw byte values
    {"s8", GDT_Byte, {"PIXELTYPE=SIGNEDBYTE"}, 8, false, false,
     [](int r, int c) { return double((r * 7 + c * 13) % 256); }, as_int8_bits},
    {"u16", GDT_UInt16, {}, 16, true, false, [](int r, int c) { return double((r * 1009 + c * 917) % 65536); },
     as_is},
    {"s16", GDT_Int16, {}, 16, false, false, [](int r, int c) { return double((r * 1009 + c * 917) % 65536 - 32768); },
     as_is},
    {"u32", GDT_UInt32, {}, 32, true, false,
     [](int r, int c) { return double(uint32_t(r) * 61000000u + uint32_t(c) * 3000001u); }, as_uint32_bits},
    {"s32", GDT_Int32, {}, 32, false, false, [](int r, int c) { return double((r - 35) * 40000000 + c * 3); },
     as_is},
    {"f32", GDT_Float32, {}, 32, false, true, [](int r, int c) { return (r - 30) * 10.25 + c * 0.5; },
     in_hundredths},
    {"f64", GDT_Float64, {}, 64, false, true, [](int r, int c) { return (r - 30) * 1000.75 - c * 0.25; },
     in_hundredths},
};

class ImgTypes : public ::testing::TestWithParam<TypeCase> {
 protected:
  TempDir dir;
};

// 70 x 70 cells in 64 x 64 blocks: two block columns and two block rows,
// the second of each holding only 6 cells of the raster.
TEST_P(ImgTypes, ValuesAcrossBlockEdges) {
  const TypeCase& t = GetParam();
  const int cols = 70, rows = 70;
  std::vector<double> values;
  std::vector<int> expected;
  for (int r = 0; r < rows; r++) {
    for (int c = 0; c < cols; c++) {
      values.push_back(t.sample(r, c));
      expected.push_back(t.expected(values.back()));
    }
  }
  const std::string path = dir.file(std::string(t.name) + ".img");
  std::vector<std::string> options = t.options;
  options.push_back("BLOCKSIZE=64");
  ASSERT_TRUE(write_raster("HFA", path, cols, rows, 1, t.gdal_type, values, Geo(), nullptr, options));

  Opened o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_img& r = *o.reader;
  EXPECT_EQ(r.ncols, cols);
  EXPECT_EQ(r.nrows, rows);
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.nbits, t.nbits);
  EXPECT_EQ(r.unsigned_values, t.unsigned_values);
  EXPECT_EQ(r.float_values, t.float_values);
  EXPECT_EQ(r.block_width, 64);
  EXPECT_EQ(r.block_height, 64);
  EXPECT_EQ(r.nodata, -9999);  // no nodata in the file
  // the unit of the delivered values: hundredths for floats, 1 for integers
  EXPECT_DOUBLE_EQ(r.scale[0], t.float_values ? 0.01 : 1.0);
  EXPECT_EQ(cells_one_by_one(&r), expected);
  EXPECT_EQ(r.r_count, cols * rows);
  testing::internal::CaptureStderr();
  r.close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  Opened again = open_img(path);
  ASSERT_TRUE(again.ok);
  EXPECT_EQ(cells_in_batches(again.reader.get()), expected);
  EXPECT_EQ(again.reader->r_count, cols * rows);
}

INSTANTIATE_TEST_SUITE_P(PixelTypes, ImgTypes, ::testing::ValuesIn(kTypes),
                         [](const testing::TestParamInfo<TypeCase>& i) { return std::string(i.param.name); });

class ImgTest : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  TempDir dir;
};

TEST_F(ImgTest, GeometryFromMapInformation) {
  // upper-left centre (100.5, 299.5) and lower-right centre (103.5, 297.5)
  Geo geo;
  geo.ulx = 100.0;
  geo.uly = 300.0;
  geo.cell = 1.0;
  const std::string path = dir.file("g.img");
  ASSERT_TRUE(write_raster("HFA", path, 4, 3, 1, GDT_Int16, std::vector<double>(12, 1.0), geo));
  Opened o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_DOUBLE_EQ(o.reader->llx, 100.0);
  EXPECT_DOUBLE_EQ(o.reader->lly, 297.0);
  EXPECT_DOUBLE_EQ(o.reader->urx, 104.0);
  EXPECT_DOUBLE_EQ(o.reader->ury, 300.0);
  EXPECT_DOUBLE_EQ(o.reader->stepx, 1.0);
  EXPECT_DOUBLE_EQ(o.reader->stepy, 1.0);
  EXPECT_TRUE(o.reader->axis_aligned);
}

TEST_F(ImgTest, Float32NodataAndRounding) {
  const double nd = -9999.0;
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string path = dir.file("f.img");
  ASSERT_TRUE(write_raster("HFA", path, 5, 1, 1, GDT_Float32, {-9999.0, 12.345, nan, -0.004, 3e30}, Geo(), &nd));
  Opened o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->nodata, -999900);
  EXPECT_EQ(cells_one_by_one(o.reader.get()), (std::vector<int>{kNodataCell, 1235, kNodataCell, 0, INT_MAX}));
}

TEST_F(ImgTest, ScaleSetBeforeOpenAppliesToFloats) {
  const std::string path = dir.file("f.img");
  ASSERT_TRUE(write_raster("HFA", path, 2, 1, 1, GDT_Float32, {12.345, -2.5}));
  SRreader_img r;
  r.set_scale(1.0);
  ASSERT_TRUE(r.open(path.c_str(), nullptr));
  EXPECT_EQ(cells_one_by_one(&r), (std::vector<int>{12, -3}));
}

struct NodataCase {
  const char* name;
  GDALDataType type;
  double nodata;
  double cell;
  int expected_nodata;
};

class ImgNodata : public ::testing::TestWithParam<NodataCase> {
 protected:
  TempDir dir;
};

// The nodata value lands in the unit of the cells, so that a cell holding
// it is nodata.
TEST_P(ImgNodata, CellHoldingTheNodataValueIsNodata) {
  const NodataCase& c = GetParam();
  const std::string path = dir.file("n.img");
  ASSERT_TRUE(write_raster("HFA", path, 2, 1, 1, c.type, {c.cell, 7.0}, Geo(), &c.nodata));
  Opened o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->nodata, c.expected_nodata);
  ASSERT_TRUE(o.reader->read_raster());
  EXPECT_TRUE(o.reader->is_nodata());
  ASSERT_TRUE(o.reader->read_raster());
  EXPECT_FALSE(o.reader->is_nodata());
}

INSTANTIATE_TEST_SUITE_P(Types, ImgNodata,
                         ::testing::Values(NodataCase{"int16", GDT_Int16, -32768.0, -32768.0, -32768},
                                           NodataCase{"uint8", GDT_Byte, 255.0, 255.0, 255},
                                           NodataCase{"uint32_top", GDT_UInt32, 4294967295.0, 4294967295.0, -1},
                                           NodataCase{"float64", GDT_Float64, -3.5, -3.5, -350}),
                         [](const testing::TestParamInfo<NodataCase>& i) { return std::string(i.param.name); });

struct RgbCase {
  const char* name;
  GDALDataType type;
  bool accepted;
  std::string message;  // expected stderr of a refused open (file name appended)
};

class ImgRgb : public ::testing::TestWithParam<RgbCase> {
 protected:
  TempDir dir;
};

TEST_P(ImgRgb, AcceptedForSmallIntegerTypesOnly) {
  const RgbCase& c = GetParam();
  const int cols = 67, rows = 3;
  std::vector<double> values;
  for (int b = 0; b < 3; b++)
    for (int i = 0; i < cols * rows; i++) values.push_back((i * 3 + b * 50) % 250);
  const std::string path = dir.file("rgb.img");
  ASSERT_TRUE(write_raster("HFA", path, cols, rows, 3, c.type, values, Geo(), nullptr, {"BLOCKSIZE=64"}));
  Opened o = open_img(path);
  if (!c.accepted) {
    EXPECT_FALSE(o.ok);
    EXPECT_EQ(o.err, c.message + " in '" + path + "'\n");
    return;
  }
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_img& r = *o.reader;
  EXPECT_EQ(r.nbands, 3);
  EXPECT_EQ(r.nbits, c.type == GDT_Byte ? 8 : 16);
  EXPECT_EQ(r.nodata, -9999);
  for (int i = 0; i < cols * rows; i++) {
    ASSERT_TRUE(r.read_raster()) << i;
    ASSERT_EQ(r.value[0], values[i]) << i;
    ASSERT_EQ(r.value[1], values[cols * rows + i]) << i;
    ASSERT_EQ(r.value[2], values[2 * cols * rows + i]) << i;
  }
  EXPECT_FALSE(r.read_raster());
}

INSTANTIATE_TEST_SUITE_P(
    Types, ImgRgb,
    ::testing::Values(
        RgbCase{"uint8", GDT_Byte, true, ""}, RgbCase{"uint16", GDT_UInt16, true, ""},
        RgbCase{"int16", GDT_Int16, true, ""},
        RgbCase{"int32", GDT_Int32, false, "ERROR in SRreader_img::open(): unsupported 32 bit data type for RGB 8"},
        RgbCase{"float32", GDT_Float32, false,
                "ERROR in SRreader_img::open(): unsupported 32 bit data type for RGB 9"},
        RgbCase{"float64", GDT_Float64, false,
                "ERROR in SRreader_img::open(): unsupported 64 bit data type for RGB 10"}),
    [](const testing::TestParamInfo<RgbCase>& i) { return std::string(i.param.name); });

// An IMG written without any georeference.
void write_without_map_info(const std::string& path) {
  GDALAllRegister();
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("HFA"), path.c_str(), 3, 2, 1, GDT_Byte, nullptr);
  ASSERT_NE(ds, nullptr);
  GDALClose(ds);
}

TEST_F(ImgTest, RefusedFiles) {
  const std::string four_bit = dir.file("nbits4.img");
  ASSERT_TRUE(write_raster("HFA", four_bit, 3, 2, 1, GDT_Byte, std::vector<double>(6, 3.0), Geo(), nullptr,
                           {"NBITS=4"}));
  const std::string two_bands = dir.file("two.img");
  ASSERT_TRUE(write_raster("HFA", two_bands, 3, 2, 2, GDT_Byte, std::vector<double>(12, 3.0)));
  const std::string no_map = dir.file("nomap.img");
  write_without_map_info(no_map);
  const std::string not_img = dir.file("text.img");
  testsupport::write_file(not_img, "this is not an Erdas Imagine file\n");

  struct Row {
    std::string path;
    std::string message;
  } rows[] = {
      {four_bit, "ERROR in SRreader_img::open(): unsupported data type 2 in '" + four_bit + "'\n"},
      {two_bands, "ERROR in SRreader_img::open(): nbands is 2 in '" + two_bands + "'\n"},
      {no_map, "ERROR in SRreader_img::open(): no map information in '" + no_map + "'\n"},
      {not_img, "ERROR: HFAOpen() failed in SRreader_img::open().\n"},
      {dir.file("missing.img"), "ERROR: HFAOpen() failed in SRreader_img::open().\n"},
  };
  for (const Row& row : rows) {
    Opened o = open_img(row.path);
    EXPECT_FALSE(o.ok) << row.path;
    EXPECT_EQ(o.err, row.message);
  }
  SRreader_img r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(nullptr, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: zero file name pointer not supported by SRreader_img::open()\n");
}

// A float IMG of 200 x 200 cells in 64 x 64 blocks (4 x 4 blocks) whose
// values run in rows of equal cells, so that with compression every block
// is stored run-length compressed.
std::string write_blocks(const TempDir& dir, const std::string& name, std::vector<double>* values_out,
                         bool compressed = true) {
  const int n = 200;
  std::vector<double> values;
  for (int i = 0; i < n * n; i++) values.push_back((i / n) * 1.25 - 50.0);
  const std::string path = dir.file(name);
  EXPECT_TRUE(write_raster("HFA", path, n, n, 1, GDT_Float32, values, Geo(), nullptr,
                           {"BLOCKSIZE=64", compressed ? "COMPRESSED=YES" : "COMPRESSED=NO"}));
  if (values_out) *values_out = values;
  return path;
}

// Points the stored offset of one block past the end of the file. The
// block table is the data of the "RasterDMS" entry: a 14-byte head, the
// count and position of the block records, then 14 bytes per block (file
// code, offset, size, valid flag, compression).
void misplace_block(const std::string& path, int block) {
  std::string bytes = testsupport::read_file(path);
  const size_t name = bytes.find(std::string("RasterDMS", 10));
  ASSERT_NE(name, std::string::npos);
  auto get32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; i--) v = (v << 8) | static_cast<uint8_t>(bytes[at + i]);
    return v;
  };
  const size_t entry = name - 24;
  ASSERT_EQ(bytes.compare(entry + 88, 10, "Edms_State"), 0);
  const uint32_t data = get32(entry + 16);
  ASSERT_GT(get32(data + 14), static_cast<uint32_t>(block));
  const size_t at = data + 22 + 14 * static_cast<size_t>(block) + 2;
  const uint32_t beyond = static_cast<uint32_t>(bytes.size()) + 100000;
  for (int i = 0; i < 4; i++) bytes[at + i] = static_cast<char>(beyond >> (8 * i));
  testsupport::write_file(path, bytes);
}

class ImgHole : public ::testing::TestWithParam<bool> {
 protected:
  TempDir dir;
};

// A block stored beyond the end of the file: GDAL fails compressed blocks
// and quietly hands out zeros for plain ones; both must fail their cells.
TEST_P(ImgHole, UnreadableBlockFailsExactlyItsCells) {
  std::vector<double> values;
  const std::string path = write_blocks(dir, "hole.img", &values, GetParam());
  misplace_block(path, 5);  // block row 1, block column 1: rows and columns 64 to 127
  Opened o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_img& r = *o.reader;
  testing::internal::CaptureStderr();
  int64_t failed = 0;
  for (int row = 0; row < 200; row++) {
    for (int col = 0; col < 200; col++) {
      const bool inside = row >= 64 && row < 128 && col >= 64 && col < 128;
      const bool ok = r.read_raster();
      ASSERT_EQ(ok, !inside) << row << " " << col;
      if (ok) {
        ASSERT_EQ(r.value[0], std::llround(values[row * 200 + col] * 100.0)) << row << " " << col;
      }
      failed += ok ? 0 : 1;
    }
  }
  EXPECT_FALSE(r.read_raster());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR in SRreader_img::read_raster(): cannot read block 1 of block row 1 in '" + path + "'"),
            std::string::npos)
      << err;
  EXPECT_EQ(failed, 64 * 64);
  EXPECT_EQ(r.r_count, 200 * 200 - failed);  // failed cells were not delivered
}

INSTANTIATE_TEST_SUITE_P(Storage, ImgHole, ::testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "compressed" : "plain"; });

// ---- rastcmp end to end ----

TEST_F(ImgTest, EndToEndFloatImgMatchesGridOfSameValues) {
  const int cols = 90, rows = 70;
  std::vector<double> values;
  std::vector<std::string> texts;
  for (int r = 0; r < rows; r++) {
    for (int c = 0; c < cols; c++) {
      const bool hole = (r * cols + c) % 17 == 0;
      const double v = hole ? -9999.0 : (r - 20) * 3.25 + c * 0.5;
      values.push_back(v);
      char t[32];
      snprintf(t, sizeof(t), "%.2f", v);
      texts.push_back(hole ? "-9999" : t);
    }
  }
  const double nd = -9999.0;
  Geo geo;
  const std::string img = dir.file("dem.img");
  ASSERT_TRUE(write_raster("HFA", img, cols, rows, 1, GDT_Float32, values, geo, &nd));
  const std::string asc = dir.file("dem.asc");
  testsupport::write_asc(asc, cols, rows, geo.ulx, geo.uly - rows * geo.cell, geo.cell, texts);
  int holes = 0;
  for (const auto& t : texts) holes += t == "-9999";

  auto res = testsupport::run_rastcmp({"-i", img, "-i", asc});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_NE(res.err.find("rasters are identical. both have " + std::to_string(cols * rows - holes) + " value and " +
                         std::to_string(holes) + " nodata cells."),
            std::string::npos)
      << res.err;
}

TEST_F(ImgTest, EndToEndFloatImgMatchesGeoTiffOfSameData) {
  const int cols = 130, rows = 75;  // neither a multiple of the 64-cell blocks
  std::vector<double> values;
  int holes = 0;
  for (int i = 0; i < cols * rows; i++) {
    const bool hole = i % 23 == 0;
    holes += hole;
    values.push_back(hole ? -9999.0 : std::cos(i * 0.01) * 250.0 + (i % 7) * 0.003);
  }
  const double nd = -9999.0;
  const std::string img = dir.file("dem.img"), tif = dir.file("dem.tif");
  ASSERT_TRUE(write_raster("HFA", img, cols, rows, 1, GDT_Float32, values, Geo(), &nd));
  ASSERT_TRUE(write_raster("GTiff", tif, cols, rows, 1, GDT_Float32, values, Geo(), &nd));
  auto res = testsupport::run_rastcmp({"-i", img, "-i", tif});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_NE(res.err.find("rasters are identical. both have " + std::to_string(cols * rows - holes) + " value and " +
                         std::to_string(holes) + " nodata cells."),
            std::string::npos)
      << res.err;

  // one cell changed by 0.02 in the GeoTIFF: one different value cell
  values[cols * 70 + 129] += 0.02;
  ASSERT_TRUE(write_raster("GTiff", tif, cols, rows, 1, GDT_Float32, values, Geo(), &nd));
  res = testsupport::run_rastcmp({"-i", img, "-i", tif});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_NE(res.err.find("rasters are not identical. rasters have 1 different and " +
                         std::to_string(cols * rows - holes - 1) + " identical value cells. but both have " +
                         std::to_string(holes) + " nodata cells"),
            std::string::npos)
      << res.err;
}

TEST_F(ImgTest, EndToEndBadFilesEndWithErrorStatus) {
  const std::string whole = write_blocks(dir, "whole.img", nullptr);
  const std::string hole = write_blocks(dir, "hole.img", nullptr);
  misplace_block(hole, 9);
  auto res = testsupport::run_rastcmp({"-i", whole, "-i", hole});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("cannot read block 1 of block row 2"), std::string::npos) << res.err;
  EXPECT_NE(res.err.find("failed to read raster2 at col"), std::string::npos) << res.err;
  EXPECT_EQ(res.err.find("rasters are"), std::string::npos) << res.err;

  // cut in half: the layer entries behind the block data are gone
  const std::string cut = dir.file("cut.img");
  ASSERT_TRUE(write_raster("HFA", cut, 200, 200, 1, GDT_Float32, std::vector<double>(200 * 200, 1.0)));
  std::filesystem::resize_file(cut, std::filesystem::file_size(cut) / 2);
  res = testsupport::run_rastcmp({"-i", cut, "-i", whole});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("ERROR: HFAOpen() failed in SRreader_img::open()."), std::string::npos) << res.err;
  EXPECT_NE(res.err.find("cannot open raster1 with file name 'cut.img'."), std::string::npos) << res.err;
}

TEST_F(ImgTest, EndToEndDoublePrecisionIsRefusedByBits) {
  const std::string a = dir.file("a.img");
  ASSERT_TRUE(write_raster("HFA", a, 3, 2, 1, GDT_Float64, std::vector<double>(6, 1.5)));
  auto res = testsupport::run_rastcmp({"-i", a, "-i", a});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("raster 'a.img' has 64 bits. not implemented."), std::string::npos) << res.err;
}

}  // namespace
