// Erdas Imagine reader on files written by GDAL's HFA driver: RGB rules,
// refused files and unreadable blocks. Pixel types, nodata and block edges
// are in the reader contract.
#include <gdal.h>         // GDALCreate for a file without map information

#include "raster/srreader_img.hpp"               // SRreader_img
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader

namespace {

using namespace testsupport;

Opened<SRreader_img> open_img(const std::string& path) {
  return open_reader<SRreader_img>(path, 0.0, nullptr);
}

struct RgbCase {
  const char* name;
  GDALDataType type;
  std::string message;  // of a refused open (file name appended); empty when accepted
};

class ImgRgb : public DirTest<RgbCase> {};

TEST_P(ImgRgb, AcceptedForSmallIntegerTypesOnly) {
  const RgbCase& c = GetParam();
  const int n = 67 * 3;
  std::vector<double> values;
  for (int i = 0; i < 3 * n; i++) values.push_back((i % n * 3 + i / n * 50) % 250);
  const std::string path = dir.file("rgb.img");
  ASSERT_TRUE(write_raster("HFA", path, 67, 3, 3, c.type, values, Geo(), nullptr, {"BLOCKSIZE=64"}));
  auto o = open_img(path);
  ASSERT_EQ(o.ok, c.message.empty());
  if (!o.ok) {
    EXPECT_EQ(o.err, c.message + " in '" + path + "'\n");
    return;
  }
  EXPECT_EQ(o.r->nbands, 3);
  EXPECT_EQ(o.r->nbits, c.type == GDT_Byte ? 8 : 16);
  EXPECT_EQ(o.r->nodata, -9999);
  for (int i = 0; i < n; i++) {
    ASSERT_TRUE(o.r->read_raster()) << i;
    for (int b = 0; b < 3; b++) ASSERT_EQ(o.r->value[b], values[b * n + i]) << i;
  }
  EXPECT_FALSE(o.r->read_raster());
}

const std::string kE = "ERROR in SRreader_img::open(): ";

INSTANTIATE_TEST_SUITE_P(Types, ImgRgb,
                         ::testing::Values(RgbCase{"uint8", GDT_Byte, ""}, RgbCase{"uint16", GDT_UInt16, ""},
                                           RgbCase{"int16", GDT_Int16, ""},
                                           RgbCase{"int32", GDT_Int32, kE + "unsupported 32 bit data type for RGB 8"},
                                           RgbCase{"float32", GDT_Float32, kE + "unsupported 32 bit data type for RGB 9"},
                                           RgbCase{"float64", GDT_Float64, kE + "unsupported 64 bit data type for RGB 10"}),
                         CaseName());

TEST(ImgTest, RefusedFiles) {
  const TempDir dir;
  const std::string four_bit = dir.file("nbits4.img"), two_bands = dir.file("two.img");
  const std::string no_map = dir.file("nomap.img"), not_img = dir.file("text.img");
  ASSERT_TRUE(write_raster("HFA", four_bit, 3, 2, 1, GDT_Byte, std::vector<double>(6, 3.0), Geo(), nullptr,
                           {"NBITS=4"}));
  ASSERT_TRUE(write_raster("HFA", two_bands, 3, 2, 2, GDT_Byte, std::vector<double>(12, 3.0)));
  GDALDatasetH ds = GDALCreate(GDALGetDriverByName("HFA"), no_map.c_str(), 3, 2, 1, GDT_Byte, nullptr);
  ASSERT_NE(ds, nullptr);
  GDALClose(ds);
  write_file(not_img, "this is not an Erdas Imagine file\n");
  for (const auto& [path, message] : std::vector<std::pair<std::string, std::string>>{
           {four_bit, kE + "unsupported data type 2 in '" + four_bit + "'\n"},
           {two_bands, kE + "nbands is 2 in '" + two_bands + "'\n"},
           {no_map, kE + "no map information in '" + no_map + "'\n"},
           {not_img, "ERROR: HFAOpen() failed in SRreader_img::open().\n"}}) {
    auto o = open_img(path);
    EXPECT_FALSE(o.ok) << path;
    EXPECT_EQ(o.err, message);
  }
}

// Points the stored offset of one block past the end of the file. The
// block table is the data of the "RasterDMS" entry: a 14-byte head, the
// count and position of the block records, then 14 bytes per block (file
// code, offset, size, valid flag, compression).
void misplace_block(const std::string& path, int block) {
  std::string bytes = read_file(path);
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
  write_file(path, bytes);
}

class ImgHole : public DirTest<bool> {};

// A float IMG of 200 x 200 cells in 64 x 64 blocks (4 x 4 blocks) whose
// values run in rows of equal cells, so that with compression every block
// is stored run-length compressed. One block stored beyond the end of the
// file: GDAL fails compressed blocks and quietly hands out zeros for plain
// ones; both must fail exactly the cells of that block.
TEST_P(ImgHole, UnreadableBlockFailsExactlyItsCells) {
  std::vector<double> values;
  for (int i = 0; i < 200 * 200; i++) values.push_back((i / 200) * 1.25 - 50.0);
  const std::string path = dir.file("hole.img");
  ASSERT_TRUE(write_raster("HFA", path, 200, 200, 1, GDT_Float32, values, Geo(), nullptr,
                           {"BLOCKSIZE=64", GetParam() ? "COMPRESSED=YES" : "COMPRESSED=NO"}));
  misplace_block(path, 5);  // block row 1, block column 1: rows and columns 64 to 127
  auto o = open_img(path);
  ASSERT_TRUE(o.ok) << o.err;
  testing::internal::CaptureStderr();
  int64_t failed = 0;
  for (int row = 0; row < 200; row++) {
    for (int col = 0; col < 200; col++) {
      const bool inside = row >= 64 && row < 128 && col >= 64 && col < 128;
      const bool ok = o.r->read_raster();
      ASSERT_EQ(ok, !inside) << row << " " << col;
      ASSERT_TRUE(!ok || o.r->value[0] == std::llround(values[row * 200 + col] * 100.0)) << row << " " << col;
      failed += ok ? 0 : 1;
    }
  }
  EXPECT_FALSE(o.r->read_raster());
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR in SRreader_img::read_raster(): cannot read block 1 of block row 1 in '" + path + "'"),
            std::string::npos)
      << err;
  EXPECT_EQ(failed, 64 * 64);
  EXPECT_EQ(o.r->r_count, 200 * 200 - failed);  // failed cells were not delivered
}

INSTANTIATE_TEST_SUITE_P(Storage, ImgHole, ::testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& i) { return i.param ? "compressed" : "plain"; });

}  // namespace
