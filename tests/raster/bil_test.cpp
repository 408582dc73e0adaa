// BIL reader on hand-written headers: keyword spelling, byte order, skipped
// bytes, row padding, nodata keywords, refusals with their exact messages
// and a file cut after open. GDAL-written BIL files are in the contract.
#include "raster/srreader_bil.hpp"               // SRreader_bil
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader, cells, cells_batched

namespace {

using namespace testsupport;

constexpr int ND = kNodataCell;

template <typename T>
std::string le(const std::vector<T>& v) {
  std::string s(v.size() * sizeof(T), '\0');
  memcpy(&s[0], v.data(), s.size());
  return s;
}
template <typename T>
std::string be(const std::vector<T>& v) {
  std::string s = le(v);
  for (size_t i = 0; i < s.size(); i += sizeof(T)) std::reverse(s.begin() + i, s.begin() + i + sizeof(T));
  return s;
}

const std::string kGeo = "ulxmap 100\nulymap 200\nxdim 0.5\nydim 0.5\n";
const std::string kPad(5, '\x7F');

class BilTest : public ::testing::Test {
 protected:
  // Writes "r.hdr" and "r.bil" and opens the pair.
  Opened<SRreader_bil> make(const std::string& header, const std::string& data) {
    write_file(dir.file("r.hdr"), header);
    write_file(dir.file("r.bil"), data);
    return open_reader<SRreader_bil>(dir.file("r.bil"), 0.0);
  }
  TempDir dir;
};

struct LayoutCase {
  const char* name;
  std::string header;  // after ncols 3, nrows 2, nbands 1 and the geometry
  std::string data;
  std::vector<int> expected;
};

class BilLayouts : public BilTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(BilLayouts, Values) {
  const LayoutCase& c = GetParam();
  auto o = make("ncols 3\nnrows 2\nnbands 1\n" + kGeo + c.header, c.data);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  EXPECT_DOUBLE_EQ(o.r->urx, 101.5);
  EXPECT_DOUBLE_EQ(o.r->lly, 199.0);
  EXPECT_EQ(cells(o.r.get()), c.expected);
  auto b = open_reader<SRreader_bil>(dir.file("r.bil"), 0.0);
  EXPECT_EQ(cells_batched(b.r.get(), {2, 4}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    All, BilLayouts,
    ::testing::Values(
        LayoutCase{"SignedBytesByDefault", "nbits 8\n", "\x80\xFF\x01\x02\x03\x04", {-128, -1, 1, 2, 3, 4}},
        LayoutCase{"SignedBytes", "nbits 8\npixeltype signedint\n", "\x80\xFF\x01\x02\x03\x04",
                   {-128, -1, 1, 2, 3, 4}},
        LayoutCase{"UnsignedBytes", "nbits 8\npixeltype unsignedint\n", "\x80\xFF\x01\x02\x03\x04",
                   {128, 255, 1, 2, 3, 4}},
        LayoutCase{"KeywordsAnyCase", "NBits 16\nPixelType UnsignedInt\nNoData 7\n", le<uint16_t>({40000, 7, 1, 2, 3, 4}),
                   {40000, ND, 1, 2, 3, 4}},
        LayoutCase{"BigEndian16", "nbits 16\nbyteorder M\n", be<int16_t>({-2, 300, 3, 4, -9999, 6}),
                   {-2, 300, 3, 4, ND, 6}},
        LayoutCase{"BigEndianFloat", "nbits 32\nbyteorder msbfirst\npixeltype float\n",
                   be<float>({1.5f, -2.25f, 0, 1, 2, -9999}), {150, -225, 0, 100, 200, ND}},
        LayoutCase{"LittleEndianNamed", "nbits 16\nbyteorder I\n", le<int16_t>({1, 2, 3, 4, 5, 6}), {1, 2, 3, 4, 5, 6}},
        LayoutCase{"SkipBytes", "nbits 16\nskipbytes 5\n", kPad + le<int16_t>({1, 2, 3, 4, 5, 6}), {1, 2, 3, 4, 5, 6}},
        LayoutCase{"BandRowBytes", "nbits 16\nbandrowbytes 11\n",
                   le<int16_t>({1, 2, 3}) + kPad + le<int16_t>({4, 5, 6}) + kPad, {1, 2, 3, 4, 5, 6}},
        LayoutCase{"TotalRowBytesWithoutLastPadding", "nbits 16\nTOTALROWBYTES 11\nSKIPBYTES 5\n",
                   kPad + le<int16_t>({1, 2, 3}) + kPad + le<int16_t>({4, 5, 6}), {1, 2, 3, 4, 5, 6}},
        LayoutCase{"NodataAsFloatText", "nbits 16\nnodata -9999.0\n", le<int16_t>({-9999, 2, 3, 4, 5, 6}),
                   {ND, 2, 3, 4, 5, 6}},
        LayoutCase{"NodataValueKeyword", "nbits 16\nNODATA_VALUE 5\n", le<int16_t>({1, 2, 3, 4, 5, 6}),
                   {1, 2, 3, 4, ND, 6}},
        LayoutCase{"FloatNamedOnSixteenBits", "nbits 16\npixeltype float\n", le<int16_t>({-1, 2, 3, 4, 5, 6}),
                   {-1, 2, 3, 4, 5, 6}},
        // a longer line counts by its first 255 characters
        LayoutCase{"LongLinesCountByTheirStart",
                   "# " + std::string(1000, 'x') + " nrows 99\nnbits 8" + std::string(600, ' ') + "junk\n",
                   "\x01\x02\x03\x04\x05\x06", {1, 2, 3, 4, 5, 6}}),
    CaseName());

TEST_F(BilTest, UpperCaseHeaderFileName) {
  write_file(dir.file("u.HDR"), "ncols 1\nnrows 1\nnbits 8\nnbands 1\n" + kGeo);
  write_file(dir.file("u.BIL"), "\x05");
  auto o = open_reader<SRreader_bil>(dir.file("u.BIL"), 0.0);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(cells(o.r.get()), (std::vector<int>{5}));
}

struct BadCase {
  const char* name;
  std::string header;
  std::string data;
  std::string message;  // %s: the file name without extension
};

class BilBad : public BilTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(BilBad, OpenFailsWithMessage) {
  auto o = make(GetParam().header, GetParam().data);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, with_path(GetParam().message, dir.file("r")));
}

const std::string kE = "ERROR in SRreader_bil::open(%s.bil): ";
const std::string kOne = "ncols 1\nnrows 1\nnbands 1\n" + kGeo;  // one cell, its bits to follow
const std::string kBig = " than 9223372036854775807\n";

INSTANTIATE_TEST_SUITE_P(
    All, BilBad,
    ::testing::Values(
        BadCase{"ThreeBands", "ncols 1\nnrows 1\nnbits 8\nnbands 3\n" + kGeo, "abc",
                kE + "3 bands with 8 bits not supported\n"},
        BadCase{"TwelveBits", kOne + "nbits 12\n", "ab", kE + "1 band with 12 bits not supported\n"},
        BadCase{"NoColumns", "nrows 1\nnbits 8\nnbands 1\n" + kGeo, "ab", kE + "ncols is -1\n"},
        BadCase{"NoRows", "ncols 1\nnbits 8\nnbands 1\n" + kGeo, "ab", kE + "nrows is -1\n"},
        BadCase{"ShortFile", "ncols 3\nnrows 2\nnbits 16\nnbands 1\n" + kGeo, std::string(11, '\0'),
                kE + "file has 11 bytes but 2 rows of 3 cells need 12\n"},
        BadCase{"AbsurdSize", "ncols 2147483647\nnrows 2147483647\nnbits 32\nnbands 1\n" + kGeo, "abcd",
                kE + "file has 4 bytes but 2147483647 rows of 2147483647 cells need more" + kBig},
        BadCase{"AbsurdRowBytes", "ncols 2\nnrows 3\nnbits 8\nnbands 1\ntotalrowbytes 9223372036854775807\n" + kGeo,
                "abcdef", kE + "file has 6 bytes but 3 rows of 2 cells need more" + kBig},
        BadCase{"RowBytesTooSmall", "ncols 3\nnrows 1\nnbits 16\nnbands 1\nbandrowbytes 5\n" + kGeo, "abcdef",
                kE + "rows of 5 bytes cannot hold 3 samples of 16 bits\n"},
        BadCase{"NegativeSkip", kOne + "nbits 8\nskipbytes -1\n", "a", kE + "skipbytes is -1\n"},
        BadCase{"UnknownByteOrder", kOne + "nbits 16\nbyteorder X\n", "ab",
                "ERROR in SRreader_bil::open(%s.hdr): byte order 'X' not supported\n"}),
    CaseName());

TEST_F(BilTest, FileCutAfterOpenFailsTheCellsOfTheMissingRows) {
  auto o = make("ncols 4\nnrows 3\nnbits 16\nnbands 1\n" + kGeo, le(std::vector<int16_t>(12, 9)));
  ASSERT_TRUE(o.ok);
  ASSERT_EQ(truncate(dir.file("r.bil").c_str(), 4 * 2 + 3), 0);  // one row and a bit
  std::vector<int32_t> v(12);
  std::vector<uint8_t> f(12);
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.r->read_cells(12, v.data(), f.data()), 4);
  EXPECT_TRUE(o.r->is_nodata());
  // the driver goes on after a refused cell when halting is off: the rest
  // of the row is refused cell by cell, and so is the next row
  for (int cell = 5; cell < 12; cell++) {
    EXPECT_EQ(o.r->read_cells(1, v.data(), f.data()), 0) << cell;
    EXPECT_TRUE(o.r->is_nodata());
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR in SRreader_bil::read_raster(): cannot read row 1 of 3\n"
            "ERROR in SRreader_bil::read_raster(): cannot read row 2 of 3\n");
  EXPECT_EQ(o.r->r_count, 4);
  EXPECT_EQ(close_messages(o.r.get()),
            "WARNING (SRreader_bil): r_count is 4 but nrows (3) * ncols (4) is 12\n");
}

}  // namespace
