// What every raster reader owes the comparison, on rasters written by GDAL:
// sample type fields, value and nodata of each cell, the unit asked for,
// geometry, and the same cells one by one and in batches across row,
// strip, tile and block edges.
#include <gdal.h>         // GDALDataType

#include <cctype>   // toupper of the extensions

#include "raster/srreader.hpp"                   // SRreader, open_raster
#include "raster/srreader_asc.hpp"               // SRreader_asc
#include "raster/srreader_bil.hpp"               // SRreader_bil
#include "raster/srreader_img.hpp"               // SRreader_img
#include "raster/srreader_png.hpp"               // SRreader_png
#include "raster/srreader_ptc.hpp"               // SRreader_ptc
#include "raster/srreader_tif.hpp"               // SRreader_tif
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // cells, cells_batched, close_messages
#include "tool/lasmessage.hpp"                   // halt_on_error, las_message_reset
#include "tool/lasutility.hpp"                   // round_clamp_i32: the expected rounding

namespace {

using namespace testsupport;

constexpr int ND = kNodataCell;
const double kNaN = std::nan("");
const double kNone = -1e308;  // as nodata: none written

// The reader of the extension, opened with the unit asked for (0: none).
template <typename R, typename... A>
Opened<SRreader> opened(const std::string& path, double scale, A... args) {
  auto o = open_reader<R>(path, scale, args...);
  return {std::move(o.r), o.ok, o.err};
}

Opened<SRreader> open_any(const std::string& ext, const std::string& path, double scale) {
  if (ext == "tif") return opened<SRreader_tif>(path, scale, nullptr);
  if (ext == "bil") return opened<SRreader_bil>(path, scale);
  if (ext == "img") return opened<SRreader_img>(path, scale, nullptr);
  if (ext == "png") return opened<SRreader_png>(path, scale);
  if (ext == "ptc") return opened<SRreader_ptc>(path, scale, nullptr);
  return opened<SRreader_asc>(path, scale, true);
}

// Writes the one-band raster "r.<ext>" through GDAL, with nodata unless kNone.
void write(const TempDir& dir, const std::string& ext, int cols, int rows, GDALDataType type,
           const std::vector<double>& values, const Geo& geo, double nodata,
           const std::vector<std::string>& options = {}) {
  ASSERT_TRUE(write_dem(dir.file("r." + ext), cols, rows, type, values, geo,
                                     nodata != kNone ? &nodata : nullptr, options));
}

// ---------------------------------------------------------------------------
// Sample types, nodata and units: one row of cells per case.

struct TypeCase {
  const char* name;
  const char* ext;
  GDALDataType type;
  std::vector<double> values;
  double nodata;  // kNone: none written
  int nbits;
  bool unsigned_values, float_values;
  int expected_nodata;
  std::vector<int> expected;
  std::string open_err = "";
  double scale = 0.0;  // asked for before open when not 0
  bool scaled = false;
};

const std::vector<double> kByte = {0, 1, 200, 255, 7, 8};
const std::vector<double> kInt16 = {-32768, -1, 0, 32767, -9999, -32767};
const std::vector<double> kUInt16 = {0, 40000, 65535, 1, 2, 3};
const std::vector<double> kFloat32 = {12.345, -0.125, 0.375, 1e10, -1e10, kNaN, -9999, -32767, -9999.004};
const std::vector<double> kMaxNeg = {-3.4028234663852886e+38, 1, -3.4e38};
const std::string kNoTag = "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n";

class ReaderTypes : public DirTest<TypeCase> {};

TEST_P(ReaderTypes, FieldsAndCells) {
  const TypeCase& c = GetParam();
  write(dir, c.ext, static_cast<int>(c.values.size()), 1, c.type, c.values, Geo(), c.nodata);
  for (bool batched : {false, true}) {
    auto o = open_any(c.ext, dir.file(std::string("r.") + c.ext), c.scale);
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(o.err, c.open_err);
    EXPECT_EQ(o.r->nbits, c.nbits);
    EXPECT_EQ(o.r->nbands, 1);
    EXPECT_EQ(o.r->unsigned_values, c.unsigned_values);
    EXPECT_EQ(o.r->float_values, c.float_values);
    EXPECT_EQ(o.r->nodata, c.expected_nodata);
    EXPECT_EQ(o.r->scaled, c.scaled);
    EXPECT_EQ(batched ? cells_batched(o.r.get(), {1, 4}) : cells(o.r.get()), c.expected);
    EXPECT_EQ(close_messages(o.r.get()), "");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samples, ReaderTypes,
    ::testing::Values(
        TypeCase{"BilByte", "bil", GDT_Byte, kByte, 7, 8, true, false, 7, {0, 1, 200, 255, ND, 8}},
        TypeCase{"BilInt16", "bil", GDT_Int16, kInt16, -9999, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, -32767}},
        // without a NODATA line the default -9999 stays
        TypeCase{"BilInt16Untagged", "bil", GDT_Int16, kInt16, kNone, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, -32767}},
        TypeCase{"BilFloat32", "bil", GDT_Float32, kFloat32, -9999, 32, false, true, -999900,
                 {1235, -13, 38, INT_MAX, INT_MIN, ND, ND, -3276700, -999900}},
        TypeCase{"BilFloat32MaxNegativeNodata", "bil", GDT_Float32, kMaxNeg, -3.4028234663852886e+38, 32, false, true,
                 INT_MIN, {ND, 100, INT_MIN}},
        TypeCase{"TifByte", "tif", GDT_Byte, kByte, 7, 8, true, false, 7, {0, 1, 200, 255, ND, 8}},
        TypeCase{"TifByteUntagged", "tif", GDT_Byte, kByte, kNone, 8, true, false, -32767, {0, 1, 200, 255, 7, 8},
                 kNoTag},
        TypeCase{"TifInt16", "tif", GDT_Int16, kInt16, -9999, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, -32767}},
        TypeCase{"TifInt16Untagged", "tif", GDT_Int16, kInt16, kNone, 16, false, false, -32767,
                 {-32768, -1, 0, 32767, -9999, ND}, kNoTag},
        TypeCase{"TifUInt16", "tif", GDT_UInt16, kUInt16, 2, 16, true, false, 2, {0, 40000, 65535, 1, ND, 3}},
        TypeCase{"TifUInt32", "tif", GDT_UInt32, {0, 1, 2147483647, 9}, 9, 32, true, false, 9, {0, 1, 2147483647, ND}},
        // float cells are hundredths by default; the integer nodata stays the
        // default marker scaled, the float nodata decides
        TypeCase{"TifFloat32", "tif", GDT_Float32, kFloat32, -9999, 32, false, true, -3276700,
                 {1235, -13, 38, INT_MAX, INT_MIN, ND, ND, -3276700, -999900}},
        TypeCase{"TifFloat32Untagged", "tif", GDT_Float32, kFloat32, kNone, 32, false, true, -3276700,
                 {1235, -13, 38, INT_MAX, INT_MIN, ND, -999900, ND, -999900}, kNoTag},
        TypeCase{"TifFloat32MaxNegativeNodata", "tif", GDT_Float32, kMaxNeg, -3.4028234663852886e+38, 32, false, true,
                 -3276700, {ND, 100, INT_MIN}},
        TypeCase{"TifFloat32NanNodata", "tif", GDT_Float32, {kNaN, 1.5, -9999}, kNaN, 32, false, true, -3276700,
                 {ND, 150, -999900}},
        // a double nodata matches double cells exactly, not through a float
        TypeCase{"TifFloat64", "tif", GDT_Float64, {0.1, 0.125, -2.5, 1e300, kNaN, 0.1000001}, 0.1, 64, false, true,
                 -3276700, {ND, 13, -250, INT_MAX, ND, 10}},
        TypeCase{"ImgFloat32", "img", GDT_Float32, {-9999.0, 12.345, kNaN, -0.004, 3e30}, -9999, 32, false, true,
                 -999900, {ND, 1235, ND, 0, INT_MAX}},
        TypeCase{"ImgInt16", "img", GDT_Int16, {-32768, 7}, -32768, 16, false, false, -32768, {ND, 7}},
        // the same reinterpretation as the cells, so that the nodata cells match
        TypeCase{"ImgUInt32Top", "img", GDT_UInt32, {4294967295.0, 7}, 4294967295.0, 32, true, false, -1, {ND, 7}},
        TypeCase{"ImgFloat64", "img", GDT_Float64, {-3.5, 7}, -3.5, 64, false, true, -350, {ND, 700}},
        // a unit asked for before open
        TypeCase{"BilFloatInMetres", "bil", GDT_Float32, {12.345, -9999}, -9999, 32, false, true, -9999, {12, ND}, "",
                 1.0, true},
        TypeCase{"BilHalfUnits", "bil", GDT_Int16, {3, -3, -9999}, -9999, 16, false, false, -19998, {6, -6, ND}, "",
                 0.5, true},
        TypeCase{"TifFloatInMetres", "tif", GDT_Float32, {12.345, -9999}, -9999, 32, false, true, -32767, {12, ND}, "",
                 1.0, true},
        TypeCase{"TifHalfUnits", "tif", GDT_Int16, {3, -3, -9999}, -9999, 16, false, false, -19998, {6, -6, ND}, "",
                 0.5, true},
        TypeCase{"TifIntegerUnitOne", "tif", GDT_Int16, {3, -9999}, -9999, 16, false, false, -9999, {3, ND}, "", 1.0,
                 false},
        TypeCase{"ImgFloatInMetres", "img", GDT_Float32, {12.345, -2.5}, kNone, 32, false, true, -9999, {12, -3}, "",
                 1.0, true},
        TypeCase{"AscInMetres", "asc", GDT_Float32, {12.345, 1}, -9999, 32, false, false, -9999, {12, 1}, "", 1.0,
                 true}),
    CaseName());

// ---------------------------------------------------------------------------
// Layouts: a raster of cols x rows whose cells differ, with nodata cells in
// the first row and at the very end, read one by one and in batches that
// straddle row, strip, tile and block edges.

struct LayoutCase {
  const char* name;
  const char* ext;
  std::vector<GDALDataType> types;
  std::vector<std::string> options;
  int cols, rows;
  double corner_shift = 0.0;  // BIL: ULXMAP, a cell centre, is taken as the corner
};

// A value of each cell in the type's range; nodata (where the type has one
// here) is never among them.
double sample(GDALDataType type, int i) {
  switch (type) {
    case GDT_Byte: return (i * 7) % 255;
    case GDT_UInt16: return (i * 263) % 65535;
    case GDT_Int16: return (i * 263) % 60000 - 30000;
    case GDT_UInt32: return double(uint32_t(i) * 3000017u);
    case GDT_Int32: return (i - 300) * 7000001.0;
    default: return (i - 300) * 1.25 + (i % 7) * 0.01;
  }
}

class ReaderLayouts : public DirTest<LayoutCase> {};

TEST_P(ReaderLayouts, GeometryAndEveryCellInOrder) {
  const LayoutCase& c = GetParam();
  const std::string ext = c.ext;
  const int n = c.cols * c.rows;
  const bool signed_bytes = !c.options.empty() && c.options[0] == "PIXELTYPE=SIGNEDBYTE";
  for (GDALDataType type : c.types) {
    SCOPED_TRACE(GDALGetDataTypeName(type));
    const bool floats = type == GDT_Float32 || type == GDT_Float64 || ext == "asc";
    const double nodata = ext == "png" || signed_bytes || type == GDT_UInt32 ? kNone
                          : type == GDT_Byte                                   ? 255
                          : type == GDT_UInt16                                 ? 65535
                                                                               : -9999;
    std::vector<double> values(n);
    std::vector<int> expected(n);
    for (int i = 0; i < n; i++) {
      values[i] = sample(type, i);
      if (signed_bytes) {
        expected[i] = static_cast<int8_t>(static_cast<uint8_t>(values[i]));
      } else if (type == GDT_UInt32) {
        expected[i] = static_cast<int32_t>(static_cast<uint32_t>(values[i]));
      } else {
        expected[i] = round_clamp_i32(values[i] / (floats ? 0.01 : 1.0));
      }
    }
    if (nodata != kNone) {
      for (int i : {5, n - 1}) values[i] = nodata, expected[i] = ND;
    }
    write(dir, ext, c.cols, c.rows, type, values, Geo{100.0, 200.0, 2.0}, nodata, c.options);
    for (int pass = 0; pass < 3; pass++) {
      auto o = open_any(ext, dir.file("r." + ext), 0.0);
      ASSERT_TRUE(o.ok) << o.err;
      SRreader& r = *o.r;
      EXPECT_EQ(std::vector<int>({r.ncols, r.nrows}), std::vector<int>({c.cols, c.rows}));
      const double llx = 100.0 + c.corner_shift, ury = 200.0 - c.corner_shift;  // all exact in binary
      EXPECT_EQ(std::vector<double>({r.llx, r.ury, r.urx, r.lly, r.stepx, r.stepy}),
                std::vector<double>({llx, ury, llx + 2.0 * c.cols, ury - 2.0 * c.rows, 2.0, 2.0}));
      EXPECT_TRUE(r.axis_aligned);
      if (pass == 0) {
        EXPECT_EQ(cells(&r), expected);
      } else {
        EXPECT_EQ(pass == 1 ? cells_batched(&r, {1, 5, 63, 64, 97, 2, 33}) : cells_batched(&r, {int64_t(c.cols)}),
                  expected);
      }
      EXPECT_EQ(r.r_count, n);
      EXPECT_EQ(close_messages(&r), "");
    }
  }
}

const std::vector<GDALDataType> kIntAndFloat = {GDT_Int16, GDT_Float32};
const std::vector<std::string> kTiles = {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16"};

INSTANTIATE_TEST_SUITE_P(
    All, ReaderLayouts,
    ::testing::Values(
        LayoutCase{"TifOneStrip", "tif", kIntAndFloat, {}, 37, 21},
        LayoutCase{"TifOneRowStrips", "tif", kIntAndFloat, {"BLOCKYSIZE=1"}, 37, 21},
        LayoutCase{"TifFiveRowStrips", "tif", {GDT_Int16, GDT_Float32, GDT_Int32, GDT_Byte}, {"BLOCKYSIZE=5"}, 37, 21},
        // compression and byte order are undone by libtiff, in strips and in tiles alike
        LayoutCase{"TifFiveRowStripsDeflateBigEndian", "tif", kIntAndFloat,
                   {"BLOCKYSIZE=5", "COMPRESS=DEFLATE", "ENDIANNESS=BIG"}, 37, 21},
        LayoutCase{"TifTiles", "tif", {GDT_Int16, GDT_Float32, GDT_UInt16}, kTiles, 37, 21},
        LayoutCase{"TifTilesLzwBigEndian", "tif", kIntAndFloat,
                   {"TILED=YES", "BLOCKXSIZE=16", "BLOCKYSIZE=16", "COMPRESS=LZW", "ENDIANNESS=BIG"}, 37, 21},
        // 70 x 70 cells in 64 x 64 blocks: the second block row and column
        // hold 6 cells of the raster each
        LayoutCase{"ImgBlocks", "img",
                   {GDT_Byte, GDT_UInt16, GDT_Int16, GDT_UInt32, GDT_Int32, GDT_Float32, GDT_Float64},
                   {"BLOCKSIZE=64"}, 70, 70},
        LayoutCase{"ImgSignedBytes", "img", {GDT_Byte}, {"PIXELTYPE=SIGNEDBYTE", "BLOCKSIZE=64"}, 70, 70},
        LayoutCase{"Bil", "bil", {GDT_Byte, GDT_Int16, GDT_UInt16, GDT_Int32, GDT_Float32}, {}, 37, 21, 1.0},
        LayoutCase{"Png", "png", {GDT_Byte, GDT_UInt16}, {}, 37, 21},
        LayoutCase{"Asc", "asc", kIntAndFloat, {}, 37, 21}),
    CaseName());

// ---------------------------------------------------------------------------
// Opening without a file name, and a file that is not there.

struct OpenFailCase {
  const char* name;  // the extension
  bool (*open_null)();
  std::string null_message;
  std::string missing_message;  // the last; %s: the missing file's name without extension
};

class ReaderOpenFails : public DirTest<OpenFailCase> {
 protected:
  void TearDown() override { las_message_reset(); }
};

// The missing file is opened through open_raster with the extension in
// upper case, which it takes as well as lower case.
TEST_P(ReaderOpenFails, WithTheReadersMessage) {
  const OpenFailCase& c = GetParam();
  halt_on_error(false);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(c.open_null());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), c.null_message);
  std::string ext = c.name;
  for (char& ch : ext) ch = static_cast<char>(toupper(ch));
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_raster(ext.c_str(), dir.file("none." + ext).c_str()), nullptr);
  const std::string err = testing::internal::GetCapturedStderr();
  const std::string last = with_path(c.missing_message, dir.file("none"));
  EXPECT_EQ(err.substr(err.size() - std::min(err.size(), last.size())), last) << err;
}

TEST(OpenRaster, RefusesAnUnknownOrMissingExtension) {
  halt_on_error(false);
  testing::internal::CaptureStderr();
  EXPECT_EQ(open_raster(nullptr, "x.asc"), nullptr);
  EXPECT_EQ(open_raster("Asc", "x.asc"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: unknown raster format 'Asc'.\n");
  las_message_reset();
}

INSTANTIATE_TEST_SUITE_P(
    All, ReaderOpenFails,
    ::testing::Values(
        OpenFailCase{"asc", [] { return SRreader_asc().open(nullptr, true); },
                     "ERROR in SRreader_asc::open(): zero file name pointer not supported\n",
                     "ERROR in SRreader_asc::open(): cannot open '%s.ASC'\n"},
        OpenFailCase{"bil", [] { return SRreader_bil().open(nullptr); },
                     "ERROR in SRreader_bil::open(): zero file name pointer not supported\n",
                     "ERROR in SRreader_bil::open(): cannot open '%s.hdr'\n"},
        OpenFailCase{"img", [] { return SRreader_img().open(nullptr, nullptr); },
                     "ERROR: zero file name pointer not supported by SRreader_img::open()\n",
                     "ERROR: HFAOpen() failed in SRreader_img::open().\n"},
        OpenFailCase{"png", [] { return SRreader_png().open(nullptr); },
                     "ERROR: zero file name pointer not supported by SRreader_png\n",
                     "ERROR in SRreader_png::open(): cannot open '%s.PNG'\n"},
        OpenFailCase{"ptc", [] { return SRreader_ptc().open(nullptr, nullptr); },
                     "ERROR: zero file name pointer not supported by SRreader_ptc\n",
                     "ERROR: cannot open lasreaderlas with file name '%s.PTC'\n"},
        OpenFailCase{"tif", [] { return SRreader_tif().open(nullptr, nullptr); },
                     "ERROR: zero file name pointer not supported by SRreader_tif::open()\n",
                     "ERROR: failed in XTIFFOpen\n"}),
    CaseName());

// ---------------------------------------------------------------------------
// World files beside TIF rasters without georeferencing tags and PNG
// rasters, of 3 x 2 cells.

struct WorldCase {
  const char* name;
  const char* lower;  // world file with the extension in lower case; nullptr: none
  const char* upper;  // and in upper case
  std::string message;  // %s: "<base>.tfw' or '<base>.TFW", or likewise for PNG
  bool axis_aligned;
  double llx, lly, urx, ury;
};

class ReaderWorldFiles : public DirTest<WorldCase> {};

TEST_P(ReaderWorldFiles, ExtentOrMessage) {
  const WorldCase& c = GetParam();
  for (const std::string ext : {"tif", "png"}) {
    SCOPED_TRACE(ext);
    const std::string world = ext == "tif" ? "tfw" : "pgw", WORLD = ext == "tif" ? "TFW" : "PGW";
    const TempDir d;
    // the baseline profile writes neither GeoTIFF nor GDAL tags
    ASSERT_TRUE(write_raster(ext == "tif" ? "GTiff" : "PNG", d.file("w." + ext), 3, 2, 1, GDT_Byte,
                             std::vector<double>(6, 1.0), Geo(), nullptr, {ext == "tif" ? "PROFILE=BASELINE" : "ZLEVEL=6"}));
    if (c.lower) write_file(d.file("w." + world), c.lower);
    if (c.upper) write_file(d.file("w." + WORLD), c.upper);
    auto o = open_any(ext, d.file("w." + ext), 0.0);
    const std::string base = d.file("w");
    const std::string tif_warnings = "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is -32767\n"
                                     "WARNING: no tags describing tiepoints and pixscale. trying world file ...\n";
    EXPECT_EQ(o.err, (ext == "tif" ? tif_warnings : "") +
                         with_path(c.message, base + "." + world + "' or '" + base + "." + WORLD));
    ASSERT_EQ(o.ok, c.message.empty());
    if (!o.ok) continue;
    EXPECT_EQ(o.r->axis_aligned, c.axis_aligned);
    EXPECT_EQ(std::vector<double>({o.r->llx, o.r->lly, o.r->urx, o.r->ury, o.r->stepx, o.r->stepy}),
              std::vector<double>({c.llx, c.lly, c.urx, c.ury, 2.0, 2.0}));
  }
}

const char* const kWorld = "2\n0\n0\n-2\n101\n199\n";
const std::string kCorrupt = "WARNING: corrupt world file\n";

INSTANTIATE_TEST_SUITE_P(
    All, ReaderWorldFiles,
    ::testing::Values(
        WorldCase{"LowerCase", kWorld, nullptr, "", true, 100, 196, 106, 200},
        WorldCase{"UpperCase", nullptr, "2.0\n0.0\n0.0\n-2.0\n101.0\n199.0\n", "", true, 100, 196, 106, 200},
        // corner Ox = 101 - 1 - 0.125 = 99.875, Oy = 199 + 1 - 0.25 = 199.75
        WorldCase{"Rotated", "2\n0.5\n0.25\n-2\n101\n199\n", nullptr, "", false, 99.875 + 2 * 0.25, 199.75 - 2 * 2,
                  99.875 + 3 * 2, 199.75 + 3 * 0.5},
        WorldCase{"Missing", nullptr, nullptr, "WARNING: cannot open world file '%s'\n", true, 0, 0, 0, 0},
        WorldCase{"FiveLines", "2\n0\n0\n-2\n101\n", nullptr, kCorrupt, true, 0, 0, 0, 0},
        WorldCase{"NotANumber", "2\n0\n0\nminus two\n101\n199\n", nullptr, kCorrupt, true, 0, 0, 0, 0},
        WorldCase{"LowerCaseFirst", "2\n0\nzero\n-2\n101\n199\n", kWorld, kCorrupt, true, 0, 0, 0, 0}),
    CaseName());

}  // namespace
