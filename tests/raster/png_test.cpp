// PNG reader on images written by libpng: colour types, 8 and 16 bits,
// interlacing, refused and damaged files. GDAL-written gray images and
// world files are in the reader contract.
#include <png.h>          // the writer of the test images

#include <csetjmp>     // setjmp of libpng's error handling
#include <filesystem>  // resize_file, copy_file

#include "raster/srreader_png.hpp"               // SRreader_png
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader

namespace {

using namespace testsupport;

// An image to write: samples row by row, pixel by pixel, channel by channel.
struct PngImage {
  int width = 0, height = 0, bit_depth = 8, color_type = PNG_COLOR_TYPE_GRAY;
  bool interlaced = false;
  std::vector<int> samples;
};

int channels_of(int color_type) {
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY_ALPHA: return 2;
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 1;
  }
}

// Encodes rows in PNG byte order (16-bit samples most significant byte
// first, sub-byte samples packed from the high bits).
bool encode(png_structp png, png_infop info, const PngImage& img, std::vector<png_bytep>& pointers) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, img.width, img.height, img.bit_depth, img.color_type,
               img.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (img.color_type == PNG_COLOR_TYPE_PALETTE) {
    std::vector<png_color> palette(256);
    for (int i = 0; i < 256; i++) palette[i] = {png_byte(i), png_byte(255 - i), png_byte(i / 2)};
    png_set_PLTE(png, info, palette.data(), 1 << img.bit_depth);
  }
  png_write_info(png, info);
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  return true;
}

bool write_png(const std::string& path, const PngImage& img) {
  const int ch = channels_of(img.color_type);
  const size_t row_bytes = (static_cast<size_t>(img.width) * ch * img.bit_depth + 7) / 8;
  std::vector<std::vector<png_byte>> rows(img.height, std::vector<png_byte>(row_bytes, 0));
  std::vector<png_bytep> pointers;
  for (int r = 0; r < img.height; r++) {
    for (int i = 0; i < img.width * ch; i++) {
      const int s = img.samples[static_cast<size_t>(r) * img.width * ch + i];
      if (img.bit_depth == 16) {
        rows[r][2 * i] = png_byte(s >> 8);
        rows[r][2 * i + 1] = png_byte(s & 255);
      } else if (img.bit_depth == 8) {
        rows[r][i] = png_byte(s);
      } else {
        const int per_byte = 8 / img.bit_depth;
        const int shift = 8 - img.bit_depth * (i % per_byte + 1);
        rows[r][i / per_byte] |= png_byte(s << shift);
      }
    }
    pointers.push_back(rows[r].data());
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  const bool ok = encode(png, info, img, pointers);
  png_destroy_write_struct(&png, &info);
  fclose(f);
  return ok;
}


Opened<SRreader_png> open_png(const std::string& path) {
  return open_reader<SRreader_png>(path, 0.0);
}

// Samples that touch both ends of the range and differ from cell to cell.
std::vector<int> pattern(int count, int bit_depth, int seed) {
  std::vector<int> s;
  const int top = (1 << bit_depth) - 1;
  for (int i = 0; i < count; i++) {
    const int v = (i * 2654435761u + seed * 40503u) >> 7;
    s.push_back(i % 11 == 0 ? top : (i % 13 == 0 ? 0 : v & top));
  }
  return s;
}

// Writes the image with the world file of 1 x 1 cells whose upper-left
// corner is (0, 10).
std::string write_image(const TempDir& dir, const std::string& name, const PngImage& img) {
  const std::string path = dir.file(name);
  EXPECT_TRUE(write_png(path, img));
  write_file(path.substr(0, path.size() - 3) + "pgw", "1\n0\n0\n-1\n0.5\n9.5\n");
  return path;
}

struct LayoutCase {
  const char* name;
  int color_type, bit_depth;
  bool interlaced;
};

class PngLayouts : public DirTest<LayoutCase> {};

// Every band of every pixel, through read_raster(), then the first band
// through read_cells() in batches that cross row ends.
TEST_P(PngLayouts, SamplesOfEveryBand) {
  const LayoutCase& c = GetParam();
  const int bands = channels_of(c.color_type);
  const PngImage img{37, 23, c.bit_depth, c.color_type, c.interlaced, pattern(37 * 23 * bands, c.bit_depth, bands)};
  const std::string path = write_image(dir, "l.png", img);
  auto o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_png& r = *o.r;
  EXPECT_EQ(r.nbands, bands);
  EXPECT_EQ(r.nbits, c.bit_depth);
  EXPECT_EQ(r.interlace_type, c.interlaced ? 1u : 0u);
  EXPECT_DOUBLE_EQ(r.ury, 10.0);
  const int cells = img.width * img.height;
  std::vector<int> band0(cells);
  for (int i = 0; i < cells; i++) {
    band0[i] = img.samples[static_cast<size_t>(i) * bands];
    ASSERT_TRUE(r.read_raster()) << i;
    for (int b = 0; b < bands; b++) ASSERT_EQ(r.value[b], img.samples[static_cast<size_t>(i) * bands + b]) << i;
  }
  EXPECT_FALSE(r.read_raster());
  auto again = open_png(path);
  EXPECT_EQ(cells_batched(again.r.get(), {50}), band0);
  for (int b = 0; b < bands; b++) EXPECT_EQ(again.r->value[b], img.samples[(cells - 1) * bands + b]);
}

INSTANTIATE_TEST_SUITE_P(
    ColourTypes, PngLayouts,
    ::testing::Values(
        LayoutCase{"gray8", PNG_COLOR_TYPE_GRAY, 8, false}, LayoutCase{"gray8_interlaced", PNG_COLOR_TYPE_GRAY, 8, true},
        LayoutCase{"gray16", PNG_COLOR_TYPE_GRAY, 16, false}, LayoutCase{"gray16_interlaced", PNG_COLOR_TYPE_GRAY, 16, true},
        LayoutCase{"gray_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false},
        LayoutCase{"gray_alpha16_interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
        LayoutCase{"rgb8", PNG_COLOR_TYPE_RGB, 8, false}, LayoutCase{"rgb16_interlaced", PNG_COLOR_TYPE_RGB, 16, true},
        LayoutCase{"rgba8_interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 8, true},
        LayoutCase{"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false}),
    CaseName());

// Rewrites the size in the header chunk (and its checksum).
void patch_size(const std::string& path, uint32_t width, uint32_t height) {
  std::string bytes = read_file(path);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) bytes[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  put32(16, width);
  put32(20, height);
  uint32_t crc = 0xFFFFFFFFu;  // over chunk type and data: bytes 12 to 28
  for (size_t i = 12; i < 29; i++) {
    crc ^= static_cast<uint8_t>(bytes[i]);
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  put32(29, crc ^ 0xFFFFFFFFu);
  write_file(path, bytes);
}

TEST(PngTest, RefusedFiles) {
  const TempDir dir;
  const std::string four = write_image(dir, "four.png", PngImage{5, 3, 4, PNG_COLOR_TYPE_GRAY, false, pattern(15, 4, 1)});
  const std::string text = dir.file("text.png");
  write_file(text, "not a png at all");
  // an interlaced image is decoded whole: an absurd size is refused first
  const std::string huge = write_image(dir, "huge.png", PngImage{2, 2, 8, PNG_COLOR_TYPE_GRAY, true, {1, 2, 3, 4}});
  patch_size(huge, 900000, 900000);
  // the world file name needs three characters after the dot
  const std::string short_name = dir.file("ab.p");
  std::filesystem::copy_file(four, short_name);
  for (const auto& [path, message] : std::vector<std::pair<std::string, std::string>>{
           {four, "ERROR: nbits 4 not supported by SRreader_png\n"},
           {text, "ERROR: file '" + text + "' not recognized as a PNG file\n"},
           {huge, "ERROR: 900000 rows of 900000 bytes cannot be decoded from the"},
           {short_name, "ERROR: file name '" + short_name + "' is not a valid PNG file\n"}}) {
    auto o = open_png(path);
    EXPECT_FALSE(o.ok) << path;
    EXPECT_EQ(o.err.rfind(message, 0), 0u) << o.err;
  }
  // a palette image opens without bands; the driver refuses it
  auto o = open_png(write_image(dir, "pal.png", PngImage{4, 4, 8, PNG_COLOR_TYPE_PALETTE, false, pattern(16, 8, 3)}));
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.r->nbands, -1);
}

// A header chunk and then a text or palette chunk that announces 768 MB in
// a 41-byte file: refused at the chunk header, with nothing allocated for
// it (a reader that reserved the chunk would touch every byte of it).
TEST(PngTest, HugeAncillaryChunkFailsInSmallMemory) {
  const TempDir dir;
  for (const char* type : {"tEXt", "sPLT"}) {
    const std::string path = write_image(dir, "c.png", PngImage{4, 4, 8, PNG_COLOR_TYPE_GRAY, false, pattern(16, 8, 2)});
    const std::string bytes = read_file(path);
    write_file(path, bytes.substr(0, 33) + std::string("\x30\0\0\0", 4) + type);
    ASSERT_EQ(read_file(path).size(), 41u);
    long growth_kb = 0;
    const int status = in_small_memory(
        [&] {
          auto o = open_png(path);
          return !o.ok && o.err.find("ERROR: png_jmpbuf failed\n") != std::string::npos ? 0 : 1;
        },
        uint64_t(1) << 30, &growth_kb);
    EXPECT_EQ(status, 0) << type;
    EXPECT_LT(growth_kb, 64 * 1024) << type;
  }
}

// A gray image of noise (so that it hardly compresses), cut in half, fails
// its first undecodable cell and stays failed.
TEST(PngTest, TruncatedDataFailsTheReadAndStaysFailed) {
  const TempDir dir;
  for (bool interlaced : {false, true}) {
    const std::string path =
        write_image(dir, interlaced ? "ci.png" : "cp.png", PngImage{128, 128, 8, PNG_COLOR_TYPE_GRAY, interlaced,
                                                                    pattern(128 * 128, 8, 5)});
    std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
    auto o = open_png(path);
    ASSERT_TRUE(o.ok) << o.err;
    testing::internal::CaptureStderr();
    int64_t good = 0;
    while (o.r->read_raster()) good++;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(good, 128 * 128);
    if (interlaced) {
      EXPECT_EQ(good, 0);  // the whole image is decoded before the first cell
    }
    EXPECT_NE(err.find("ERROR: setjmp(png_jmpbuf(png_ptr)) failed\n"), std::string::npos) << err;
    EXPECT_FALSE(o.r->read_raster());
    EXPECT_EQ(o.r->r_count, good);
  }
}

}  // namespace
