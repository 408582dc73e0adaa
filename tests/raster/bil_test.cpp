// BIL reader: GDAL-written rasters of every sample type, hand-written
// headers (keyword spelling, byte order, skipped bytes, row padding,
// scaling, nodata) and files that cannot be read.
#include <gdal.h>  // GDALDataType
#include <gtest/gtest.h>
#include <unistd.h>  // truncate

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "raster/srreader.hpp"
#include "raster/srreader_bil.hpp"
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

std::unique_ptr<SRreader_bil> open_bil(const std::string& path, bool* ok, std::string* err = nullptr,
                                       double scale = 0.0) {
  auto r = std::make_unique<SRreader_bil>();
  if (scale != 0.0) r->set_scale(scale);
  testing::internal::CaptureStderr();
  *ok = r->open(path.c_str());
  const std::string text = testing::internal::GetCapturedStderr();
  if (err) *err = text;
  return r;
}

// Little helpers for raw sample bytes.
template <typename T>
std::string le_bytes(const std::vector<T>& v) {
  std::string s(v.size() * sizeof(T), '\0');
  memcpy(&s[0], v.data(), s.size());
  return s;
}
template <typename T>
std::string be_bytes(const std::vector<T>& v) {
  std::string s = le_bytes(v);
  for (size_t i = 0; i < v.size(); i++)
    for (size_t a = 0, b = sizeof(T) - 1; a < b; a++, b--) std::swap(s[i * sizeof(T) + a], s[i * sizeof(T) + b]);
  return s;
}

// ---------------------------------------------------------------------------
// Rasters written by GDAL's EHdr driver (upper-case keywords, PIXELTYPE,
// BYTEORDER, row byte counts, ULXMAP at the centre of the first cell).

struct TypeCase {
  const char* name;
  GDALDataType type;
  std::vector<double> values;
  double nodata;  // NaN: no NODATA line
  int nbits;
  bool unsigned_values;
  bool float_values;
  int expected_nodata;
  std::vector<int> expected;
};

class BilTypes : public ::testing::TestWithParam<TypeCase> {
 protected:
  TempDir dir;
};

TEST_P(BilTypes, FieldsAndValues) {
  const TypeCase& c = GetParam();
  const std::string path = dir.file("t.bil");
  Geo geo;
  geo.ulx = 100.0;
  geo.uly = 200.0;
  geo.cell = 2.0;
  const bool tagged = !std::isnan(c.nodata);
  ASSERT_TRUE(write_raster("EHdr", path, 4, 2, 1, c.type, c.values, geo, tagged ? &c.nodata : nullptr));
  bool ok = false;
  std::string err;
  auto r = open_bil(path, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(r->ncols, 4);
  EXPECT_EQ(r->nrows, 2);
  EXPECT_EQ(r->nbands, 1);
  EXPECT_EQ(r->nbits, c.nbits);
  EXPECT_EQ(r->unsigned_values, c.unsigned_values);
  EXPECT_EQ(r->float_values, c.float_values);
  EXPECT_EQ(r->nodata, c.expected_nodata);
  // ULXMAP/ULYMAP are taken as the corner: GDAL's cell centre 101/199
  EXPECT_DOUBLE_EQ(r->llx, 101.0);
  EXPECT_DOUBLE_EQ(r->ury, 199.0);
  EXPECT_DOUBLE_EQ(r->stepx, 2.0);
  EXPECT_DOUBLE_EQ(r->stepy, 2.0);
  EXPECT_DOUBLE_EQ(r->urx, 109.0);
  EXPECT_DOUBLE_EQ(r->lly, 195.0);
  EXPECT_EQ(cells(r.get()), c.expected);
  testing::internal::CaptureStderr();
  r->close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Samples, BilTypes,
    ::testing::Values(
        TypeCase{"Byte", GDT_Byte, {0, 1, 200, 255, 7, 8, 9, 10}, 7, 8, true, false, 7,
                 {0, 1, 200, 255, ND, 8, 9, 10}},
        TypeCase{"Int16", GDT_Int16, {-32768, -1, 0, 32767, -9999, 5, 6, 7}, -9999, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, 5, 6, 7}},
        TypeCase{"Int16Untagged", GDT_Int16, {-32768, -1, 0, 32767, -9999, 5, 6, 7}, kNaN, 16, false, false, -9999,
                 {-32768, -1, 0, 32767, ND, 5, 6, 7}},
        TypeCase{"UInt16", GDT_UInt16, {0, 40000, 65535, 1, 2, 3, 4, 5}, 2, 16, true, false, 2,
                 {0, 40000, 65535, 1, ND, 3, 4, 5}},
        TypeCase{"Int32", GDT_Int32, {-2147483647, -1, 2147483647, 100000, -9999, 0, 1, 2}, -9999, 32, false,
                 false, -9999, {-2147483647, -1, 2147483647, 100000, ND, 0, 1, 2}},
        TypeCase{"Float32", GDT_Float32, {12.345, -0.125, 0.375, 1e10, -1e10, kNaN, -9999, -9999.004}, -9999, 32,
                 false, true, -999900, {1235, -13, 38, INT_MAX, INT_MIN, ND, ND, -999900}},
        TypeCase{"Float32MaxNegativeNodata", GDT_Float32, {-3.4028234663852886e+38, 1, 2, 3, 4, 5, 6, -9999},
                 -3.4028234663852886e+38, 32, false, true, INT_MIN, {ND, 100, 200, 300, 400, 500, 600, -999900}}),
    [](const ::testing::TestParamInfo<TypeCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Hand-written headers.

class BilTest : public ::testing::Test {
 protected:
  // Writes "r.hdr" and "r.bil" and opens the pair.
  std::unique_ptr<SRreader_bil> make(const std::string& header, const std::string& data, bool* ok,
                                     std::string* err = nullptr, double scale = 0.0) {
    write_file(dir.file("r.hdr"), header);
    write_file(dir.file("r.bil"), data);
    return open_bil(dir.file("r.bil"), ok, err, scale);
  }
  TempDir dir;
};

const std::string kGeo = "ulxmap 100\nulymap 200\nxdim 0.5\nydim 0.5\n";

TEST_F(BilTest, LowerCaseKeywordsAndSignedSixteenBits) {
  bool ok = false;
  auto r = make("ncols 2\nnrows 1\nnbits 16\nnbands 1\n" + kGeo, std::string("\xFF\xFF\x34\x12", 4), &ok);
  ASSERT_TRUE(ok);
  EXPECT_DOUBLE_EQ(r->llx, 100.0);
  EXPECT_DOUBLE_EQ(r->ury, 200.0);
  EXPECT_DOUBLE_EQ(r->urx, 101.0);
  EXPECT_DOUBLE_EQ(r->lly, 199.5);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{-1, 4660}));
}

TEST_F(BilTest, KeywordsAreCaseInsensitive) {
  bool ok = false;
  auto r = make("NCols 2\nNROWS 1\nnBits 16\nNBANDS 1\nPixelType UnsignedInt\nULXMAP 100\nULYMAP 200\nXDim 0.5\n"
                "YDIM 0.5\nNoData 7\n",
                le_bytes<uint16_t>({40000, 7}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(r->unsigned_values);
  EXPECT_EQ(r->ncols, 2);
  EXPECT_DOUBLE_EQ(r->stepx, 0.5);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{40000, ND}));
}

struct LayoutCase {
  const char* name;
  std::string header;  // after ncols 3, nrows 2, nbands 1 and the geometry
  std::string data;
  std::vector<int> expected;
};

class BilLayouts : public BilTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(BilLayouts, Values) {
  const LayoutCase& c = GetParam();
  bool ok = false;
  std::string err;
  auto r = make("ncols 3\nnrows 2\nnbands 1\n" + kGeo + c.header, c.data, &ok, &err);
  ASSERT_TRUE(ok) << err;
  EXPECT_EQ(cells(r.get()), c.expected);
  r->close(true);
  for (int64_t batch : {1, 2, 4, 100}) {
    auto rb = open_bil(dir.file("r.bil"), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(cells_batched(rb.get(), batch), c.expected) << "batch " << batch;
  }
}

const std::string kPad(5, '\x7F');

INSTANTIATE_TEST_SUITE_P(
    All, BilLayouts,
    ::testing::Values(
        LayoutCase{"SignedBytesByDefault", "nbits 8\n", std::string("\x80\xFF\x01\x02\x03\x04", 6),
                   {-128, -1, 1, 2, 3, 4}},
        LayoutCase{"SignedBytes", "nbits 8\npixeltype signedint\n", std::string("\x80\xFF\x01\x02\x03\x04", 6),
                   {-128, -1, 1, 2, 3, 4}},
        LayoutCase{"UnsignedBytes", "nbits 8\npixeltype unsignedint\n", std::string("\x80\xFF\x01\x02\x03\x04", 6),
                   {128, 255, 1, 2, 3, 4}},
        LayoutCase{"BigEndian16", "nbits 16\nbyteorder M\n", be_bytes<int16_t>({-2, 300, 3, 4, -9999, 6}),
                   {-2, 300, 3, 4, ND, 6}},
        LayoutCase{"BigEndianUnsigned16", "nbits 16\nbyteorder msbfirst\npixeltype UNSIGNEDINT\n",
                   be_bytes<uint16_t>({65535, 300, 3, 4, 5, 6}), {65535, 300, 3, 4, 5, 6}},
        LayoutCase{"BigEndian32", "nbits 32\nbyteorder M\n", be_bytes<int32_t>({-70000, 1, 2, 3, 4, 5}),
                   {-70000, 1, 2, 3, 4, 5}},
        LayoutCase{"BigEndianFloat", "nbits 32\nbyteorder M\npixeltype float\n",
                   be_bytes<float>({1.5f, -2.25f, 0, 1, 2, -9999}), {150, -225, 0, 100, 200, ND}},
        LayoutCase{"LittleEndianNamed", "nbits 16\nbyteorder I\n", le_bytes<int16_t>({1, 2, 3, 4, 5, 6}),
                   {1, 2, 3, 4, 5, 6}},
        LayoutCase{"SkipBytes", "nbits 16\nskipbytes 5\n", kPad + le_bytes<int16_t>({1, 2, 3, 4, 5, 6}),
                   {1, 2, 3, 4, 5, 6}},
        LayoutCase{"BandRowBytes", "nbits 16\nbandrowbytes 11\n",
                   le_bytes<int16_t>({1, 2, 3}) + kPad + le_bytes<int16_t>({4, 5, 6}) + kPad, {1, 2, 3, 4, 5, 6}},
        LayoutCase{"TotalRowBytesWithoutLastPadding", "nbits 16\nTOTALROWBYTES 11\nSKIPBYTES 5\n",
                   kPad + le_bytes<int16_t>({1, 2, 3}) + kPad + le_bytes<int16_t>({4, 5, 6}), {1, 2, 3, 4, 5, 6}},
        LayoutCase{"NodataAsFloatText", "nbits 16\nnodata -9999.0\n", le_bytes<int16_t>({-9999, 2, 3, 4, 5, 6}),
                   {ND, 2, 3, 4, 5, 6}},
        LayoutCase{"NodataValueKeyword", "nbits 16\nNODATA_VALUE 5\n", le_bytes<int16_t>({1, 2, 3, 4, 5, 6}),
                   {1, 2, 3, 4, ND, 6}},
        LayoutCase{"FloatNamedOnSixteenBits", "nbits 16\npixeltype float\n", le_bytes<int16_t>({-1, 2, 3, 4, 5, 6}),
                   {-1, 2, 3, 4, 5, 6}},
        LayoutCase{"FloatNanIsNodata", "nbits 32\npixeltype FLOAT\nnodata -3.4028234663852886e+38\n",
                   le_bytes<float>({std::nanf(""), -3.4028234663852886e+38f, 12.345f, -0.125f, 0.375f, 7}),
                   {ND, ND, 1235, -13, 38, 700}}),
    [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

TEST_F(BilTest, FloatNodataInValueUnitsAndScaleOne) {
  bool ok = false;
  const std::string header = "ncols 2\nnrows 1\nnbits 32\nnbands 1\npixeltype float\nnodata -9999\n" + kGeo;
  auto r = make(header, le_bytes<float>({12.345f, -9999.0f}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_DOUBLE_EQ(r->scale[0], 0.01);
  EXPECT_EQ(r->nodata, -999900);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{1235, ND}));
  auto r1 = make(header, le_bytes<float>({12.345f, -9999.0f}), &ok, nullptr, 1.0);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r1->nodata, -9999);
  EXPECT_EQ(cells(r1.get()), (std::vector<int>{12, ND}));
}

TEST_F(BilTest, LongHeaderLinesCountByTheirStart) {
  bool ok = false;
  const std::string comment = "# " + std::string(1000, 'x') + " nrows 99\n";
  auto r = make(comment + "ncols 2" + std::string(600, ' ') + "junk\nnrows 1\nnbits 8\nnbands 1\n" + kGeo, "\x01\x02",
                &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r->ncols, 2);
  EXPECT_EQ(r->nrows, 1);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{1, 2}));
}

TEST_F(BilTest, HalfUnitScaleOnSixteenBits) {
  bool ok = false;
  auto r = make("ncols 3\nnrows 1\nnbits 16\nnbands 1\nnodata -9999\n" + kGeo, le_bytes<int16_t>({3, -3, -9999}),
                &ok, nullptr, 0.5);
  ASSERT_TRUE(ok);
  EXPECT_TRUE(r->scaled);
  EXPECT_DOUBLE_EQ(r->scale[1], 2.0);
  EXPECT_EQ(r->nodata, -19998);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], 6);
  ASSERT_TRUE(r->read_raster());
  EXPECT_EQ(r->value[0], -6);
  ASSERT_TRUE(r->read_raster());
  EXPECT_TRUE(r->is_nodata());
  EXPECT_EQ(r->value[0], -19998);
  EXPECT_FALSE(r->read_raster());
}

TEST_F(BilTest, UpperCaseHeaderFileName) {
  write_file(dir.file("u.HDR"), "ncols 1\nnrows 1\nnbits 8\nnbands 1\n" + kGeo);
  write_file(dir.file("u.BIL"), "\x05");
  bool ok = false;
  auto r = open_bil(dir.file("u.BIL"), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cells(r.get()), (std::vector<int>{5}));
}

// ---------------------------------------------------------------------------
// Refusals: exact messages.

struct BadCase {
  const char* name;
  std::string header;
  std::string data;
  std::string message;  // %s stands for the data file name, %H for the header's
};

class BilBad : public BilTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BilBad, OpenFailsWithMessage) {
  const BadCase& c = GetParam();
  bool ok = true;
  std::string err;
  auto r = make(c.header, c.data, &ok, &err);
  EXPECT_FALSE(ok);
  std::string expected = c.message;
  const size_t at = expected.find("%s");
  if (at != std::string::npos) expected.replace(at, 2, dir.file("r.bil"));
  const size_t hat = expected.find("%H");
  if (hat != std::string::npos) expected.replace(hat, 2, dir.file("r.hdr"));
  EXPECT_EQ(err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, BilBad,
    ::testing::Values(
        BadCase{"ThreeBands", "ncols 1\nnrows 1\nnbits 8\nnbands 3\n" + kGeo, "abc",
                "ERROR in SRreader_bil::open(%s): 3 bands with 8 bits not supported\n"},
        BadCase{"TwelveBits", "ncols 1\nnrows 1\nnbits 12\nnbands 1\n" + kGeo, "ab",
                "ERROR in SRreader_bil::open(%s): 1 band with 12 bits not supported\n"},
        BadCase{"NoColumns", "nrows 1\nnbits 8\nnbands 1\n" + kGeo, "ab",
                "ERROR in SRreader_bil::open(%s): ncols is -1\n"},
        BadCase{"ShortFile", "ncols 3\nnrows 2\nnbits 16\nnbands 1\n" + kGeo, std::string(11, '\0'),
                "ERROR in SRreader_bil::open(%s): file has 11 bytes but 2 rows of 3 cells need 12\n"},
        BadCase{"AbsurdSize", "ncols 2147483647\nnrows 2147483647\nnbits 32\nnbands 1\n" + kGeo, "abcd",
                "ERROR in SRreader_bil::open(%s): file has 4 bytes but 2147483647 rows of 2147483647 cells need more "
                "than 9223372036854775807\n"},
        BadCase{"AbsurdRowBytes", "ncols 2\nnrows 3\nnbits 8\nnbands 1\ntotalrowbytes 9223372036854775807\n" + kGeo,
                "abcdef",
                "ERROR in SRreader_bil::open(%s): file has 6 bytes but 3 rows of 2 cells need more than "
                "9223372036854775807\n"},
        BadCase{"RowBytesTooSmall", "ncols 3\nnrows 1\nnbits 16\nnbands 1\nbandrowbytes 5\n" + kGeo, "abcdef",
                "ERROR in SRreader_bil::open(%s): rows of 5 bytes cannot hold 3 samples of 16 bits\n"},
        BadCase{"UnknownByteOrder", "ncols 1\nnrows 1\nnbits 16\nnbands 1\nbyteorder X\n" + kGeo, "ab",
                "ERROR in SRreader_bil::open(%H): byte order 'X' not supported\n"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST_F(BilTest, MissingHeaderAndNullName) {
  write_file(dir.file("x.bil"), "a");
  bool ok = true;
  std::string err;
  auto r = open_bil(dir.file("x.bil"), &ok, &err);
  EXPECT_FALSE(ok);
  EXPECT_EQ(err, "ERROR in SRreader_bil::open(): cannot open '" + dir.file("x.hdr") + "'\n");
  SRreader_bil n;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(n.open(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_bil::open(): zero file name pointer not supported\n");
}

TEST_F(BilTest, FileCutAfterOpenFailsTheCellsOfTheMissingRows) {
  bool ok = false;
  auto r = make("ncols 4\nnrows 3\nnbits 16\nnbands 1\n" + kGeo, le_bytes<int16_t>(std::vector<int16_t>(12, 9)),
                &ok);
  ASSERT_TRUE(ok);
  ASSERT_EQ(truncate(dir.file("r.bil").c_str(), 4 * 2 + 3), 0);  // one row and a bit
  std::vector<int32_t> v(12);
  std::vector<uint8_t> f(12);
  testing::internal::CaptureStderr();
  EXPECT_EQ(r->read_cells(12, v.data(), f.data()), 4);
  EXPECT_TRUE(r->is_nodata());
  // the driver goes on after a refused cell when halting is off: the rest
  // of the row is refused cell by cell, and so is the next row
  for (int cell = 5; cell < 12; cell++) {
    EXPECT_EQ(r->read_cells(1, v.data(), f.data()), 0) << cell;
    EXPECT_TRUE(r->is_nodata());
  }
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(r->r_count, 4);
  EXPECT_EQ(err,
            "ERROR in SRreader_bil::read_raster(): cannot read row 1 of 3\n"
            "ERROR in SRreader_bil::read_raster(): cannot read row 2 of 3\n");
  testing::internal::CaptureStderr();
  r->close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "WARNING (SRreader_bil): r_count is 4 but nrows (3) * ncols (4) is 12\n");
}

}  // namespace
