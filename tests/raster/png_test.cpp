// PNG reader: colour types, 8 and 16 bits, interlacing, world files, bad
// files, and rastcmp end to end on PNG files written by libpng and GDAL.
#include <gdal.h>
#include <gtest/gtest.h>
#include <png.h>

#include <climits>
#include <csetjmp>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "raster/srreader.hpp"
#include "raster/srreader_png.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasmessage.hpp"

namespace {

using testsupport::TempDir;
using testsupport::write_file;

// An image to write: samples row by row, pixel by pixel, channel by channel.
struct PngImage {
  int width = 0;
  int height = 0;
  int bit_depth = 8;
  int color_type = PNG_COLOR_TYPE_GRAY;
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

// The world file of 1 x 1 cells whose upper-left corner is (0, height).
void write_world(const std::string& png_path, const std::string& text = "1\n0\n0\n-1\n0.5\n9.5\n",
                 const char* ext = "pgw") {
  write_file(png_path.substr(0, png_path.size() - 3) + ext, text);
}

struct Opened {
  std::unique_ptr<SRreader_png> reader;
  bool ok = false;
  std::string err;
};

Opened open_png(const std::string& path) {
  Opened o;
  o.reader = std::make_unique<SRreader_png>();
  testing::internal::CaptureStderr();
  o.ok = o.reader->open(path.c_str());
  o.err = testing::internal::GetCapturedStderr();
  return o;
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

class PngTest : public ::testing::Test {
 protected:
  void SetUp() override { las_message_reset(); }
  TempDir dir;
};

TEST_F(PngTest, Gray8GeometryAndValues) {
  std::vector<double> values;
  for (int i = 0; i < 100; i++) values.push_back((i * 37) % 256);
  values[5] = 0;
  values[6] = 255;
  const std::string path = dir.file("g.png");
  ASSERT_TRUE(testsupport::write_raster("PNG", path, 10, 10, 1, GDT_Byte, values));
  write_world(path);
  Opened o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_png& r = *o.reader;
  EXPECT_EQ(r.ncols, 10);
  EXPECT_EQ(r.nrows, 10);
  EXPECT_EQ(r.nbits, 8);
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.nodata, -9999);
  EXPECT_DOUBLE_EQ(r.llx, 0.0);
  EXPECT_DOUBLE_EQ(r.lly, 0.0);
  EXPECT_DOUBLE_EQ(r.urx, 10.0);
  EXPECT_DOUBLE_EQ(r.ury, 10.0);
  EXPECT_DOUBLE_EQ(r.stepx, 1.0);
  EXPECT_DOUBLE_EQ(r.stepy, 1.0);
  EXPECT_TRUE(r.axis_aligned);
  for (int i = 0; i < 100; i++) {
    ASSERT_TRUE(r.read_raster());
    ASSERT_EQ(r.value[0], values[i]) << i;
    ASSERT_FALSE(r.is_nodata());
  }
  EXPECT_FALSE(r.read_raster());
  EXPECT_EQ(r.r_count, 100);
  testing::internal::CaptureStderr();
  r.close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PngTest, Gray16TakesMostSignificantByteFirst) {
  const std::vector<double> values = {258, 65535, 0, 1, 256, 4660};
  const std::string path = dir.file("g16.png");
  ASSERT_TRUE(testsupport::write_raster("PNG", path, 3, 2, 1, GDT_UInt16, values));
  write_world(path);
  Opened o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->nbits, 16);
  std::vector<int> got;
  while (o.reader->read_raster()) got.push_back(o.reader->value[0]);
  EXPECT_EQ(got, (std::vector<int>{258, 65535, 0, 1, 256, 4660}));
}

struct LayoutCase {
  const char* name;
  int color_type;
  int bit_depth;
  bool interlaced;
  int bands;
};

class PngLayouts : public ::testing::TestWithParam<LayoutCase> {
 protected:
  TempDir dir;
};

// Every band of every pixel, through read_raster(), then the first band
// through read_cells() in batches that cross row ends.
TEST_P(PngLayouts, SamplesOfEveryBand) {
  const LayoutCase& c = GetParam();
  PngImage img;
  img.width = 37;
  img.height = 23;
  img.bit_depth = c.bit_depth;
  img.color_type = c.color_type;
  img.interlaced = c.interlaced;
  img.samples = pattern(img.width * img.height * c.bands, c.bit_depth, c.bands);
  const std::string path = dir.file("l.png");
  ASSERT_TRUE(write_png(path, img));
  write_world(path);

  Opened o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  SRreader_png& r = *o.reader;
  EXPECT_EQ(r.nbands, c.bands);
  EXPECT_EQ(r.nbits, c.bit_depth);
  EXPECT_EQ(r.interlace_type, c.interlaced ? 1u : 0u);
  const int cells = img.width * img.height;
  for (int i = 0; i < cells; i++) {
    ASSERT_TRUE(r.read_raster()) << i;
    for (int b = 0; b < c.bands; b++) ASSERT_EQ(r.value[b], img.samples[static_cast<size_t>(i) * c.bands + b]) << i;
  }
  EXPECT_FALSE(r.read_raster());

  Opened again = open_png(path);
  ASSERT_TRUE(again.ok);
  std::vector<int32_t> v(50);
  std::vector<uint8_t> f(50);
  int done = 0;
  while (done < cells) {
    const int64_t got = again.reader->read_cells(50, v.data(), f.data());
    ASSERT_EQ(got, std::min(50, cells - done));
    for (int64_t k = 0; k < got; k++) {
      ASSERT_EQ(v[k], img.samples[static_cast<size_t>(done + k) * c.bands]) << done + k;
      ASSERT_EQ(f[k], 0);
    }
    done += static_cast<int>(got);
    for (int b = 0; b < c.bands; b++)
      ASSERT_EQ(again.reader->value[b], img.samples[static_cast<size_t>(done - 1) * c.bands + b]);
  }
  EXPECT_EQ(again.reader->r_count, cells);
  EXPECT_EQ(again.reader->read_cells(50, v.data(), f.data()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    ColourTypes, PngLayouts,
    ::testing::Values(LayoutCase{"gray8", PNG_COLOR_TYPE_GRAY, 8, false, 1},
                      LayoutCase{"gray8_interlaced", PNG_COLOR_TYPE_GRAY, 8, true, 1},
                      LayoutCase{"gray16", PNG_COLOR_TYPE_GRAY, 16, false, 1},
                      LayoutCase{"gray16_interlaced", PNG_COLOR_TYPE_GRAY, 16, true, 1},
                      LayoutCase{"gray_alpha8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, 2},
                      LayoutCase{"gray_alpha16_interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, 2},
                      LayoutCase{"rgb8", PNG_COLOR_TYPE_RGB, 8, false, 3},
                      LayoutCase{"rgb16_interlaced", PNG_COLOR_TYPE_RGB, 16, true, 3},
                      LayoutCase{"rgba8_interlaced", PNG_COLOR_TYPE_RGB_ALPHA, 8, true, 4},
                      LayoutCase{"rgba16", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, 4}),
    [](const testing::TestParamInfo<LayoutCase>& i) { return std::string(i.param.name); });

TEST_F(PngTest, InterlacedDeliversTheSameCellsAsPlain) {
  PngImage img;
  img.width = 61;
  img.height = 45;
  img.bit_depth = 16;
  img.samples = pattern(img.width * img.height, 16, 7);
  const std::string plain = dir.file("plain.png"), inter = dir.file("inter.png");
  ASSERT_TRUE(write_png(plain, img));
  img.interlaced = true;
  ASSERT_TRUE(write_png(inter, img));
  write_world(plain);
  write_world(inter);
  auto res = testsupport::run_rastcmp({"-i", plain, "-i", inter});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_NE(res.err.find("rasters are identical. both have 2745 value and 0 nodata cells."), std::string::npos)
      << res.err;
  EXPECT_EQ(res.err.find("libpng"), std::string::npos) << res.err;  // decoded without complaint
}

TEST_F(PngTest, RotatedWorldFile) {
  const std::string path = dir.file("rot.png");
  ASSERT_TRUE(testsupport::write_raster("PNG", path, 3, 2, 1, GDT_Byte, std::vector<double>(6, 1.0)));
  write_world(path, "2\n0.5\n0.25\n-2\n101\n199\n");
  Opened o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  const SRreader_png& r = *o.reader;
  EXPECT_FALSE(r.axis_aligned);
  EXPECT_DOUBLE_EQ(r.stepx_y, 0.5);
  EXPECT_DOUBLE_EQ(r.stepy_x, 0.25);
  EXPECT_DOUBLE_EQ(r.llx, 100.375);
  EXPECT_DOUBLE_EQ(r.lly, 195.75);
  EXPECT_DOUBLE_EQ(r.urx, 105.875);
  EXPECT_DOUBLE_EQ(r.ury, 201.25);
}

TEST_F(PngTest, WorldFileNamesAndDefects) {
  const std::string path = dir.file("w.png");
  ASSERT_TRUE(testsupport::write_raster("PNG", path, 3, 2, 1, GDT_Byte, std::vector<double>(6, 1.0)));
  const std::string base = dir.file("w");

  Opened o = open_png(path);  // no world file yet
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "WARNING: cannot open world file '" + base + ".pgw' or '" + base + ".PGW'\n");

  write_world(path, "1\n0\n0\n-1\n0.5\n1.5\n", "PGW");
  o = open_png(path);
  EXPECT_TRUE(o.ok) << o.err;
  EXPECT_DOUBLE_EQ(o.reader->ury, 2.0);

  write_world(path, "1\n0\n0\n-1\n0.5\n", "pgw");  // five lines: lower case is tried first
  o = open_png(path);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "WARNING: corrupt world file\n");

  write_world(path, "1\n0\nzero\n-1\n0.5\n1.5\n", "pgw");
  o = open_png(path);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "WARNING: corrupt world file\n");

  const std::string short_name = dir.file("ab.p");
  std::filesystem::copy_file(path, short_name);
  o = open_png(short_name);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: file name '" + short_name + "' is not a valid PNG file\n");
}

TEST_F(PngTest, RefusedFiles) {
  PngImage four;
  four.width = 5;
  four.height = 3;
  four.bit_depth = 4;
  four.samples = pattern(15, 4, 1);
  const std::string four_bit = dir.file("four.png");
  ASSERT_TRUE(write_png(four_bit, four));
  write_world(four_bit);
  Opened o = open_png(four_bit);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: nbits 4 not supported by SRreader_png\n");

  const std::string text = dir.file("text.png");
  write_file(text, "not a png at all");
  o = open_png(text);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: file '" + text + "' not recognized as a PNG file\n");

  o = open_png(dir.file("missing.png"));
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR in SRreader_png::open(): cannot open '" + dir.file("missing.png") + "'\n");

  SRreader_png r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: zero file name pointer not supported by SRreader_png\n");
}

TEST_F(PngTest, PaletteOpensWithoutBandsAndTheDriverRefusesIt) {
  PngImage pal;
  pal.width = 4;
  pal.height = 4;
  pal.color_type = PNG_COLOR_TYPE_PALETTE;
  pal.samples = pattern(16, 8, 3);
  const std::string path = dir.file("pal.png");
  ASSERT_TRUE(write_png(path, pal));
  write_world(path);
  Opened o = open_png(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->nbands, -1);
  auto res = testsupport::run_rastcmp({"-i", path, "-i", path});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("raster 'pal.png' has -1 bands. not implemented."), std::string::npos) << res.err;
}

// A gray image of noise (so that it hardly compresses), cut to a fraction.
std::string write_cut(const TempDir& dir, const std::string& name, bool interlaced, double keep) {
  PngImage img;
  img.width = 128;
  img.height = 128;
  img.interlaced = interlaced;
  img.samples = pattern(128 * 128, 8, 5);
  const std::string path = dir.file(name);
  EXPECT_TRUE(write_png(path, img));
  write_world(path);
  std::filesystem::resize_file(path, static_cast<uintmax_t>(std::filesystem::file_size(path) * keep));
  return path;
}

TEST_F(PngTest, TruncatedDataFailsTheReadAndStaysFailed) {
  for (bool interlaced : {false, true}) {
    const std::string path = write_cut(dir, interlaced ? "ci.png" : "cp.png", interlaced, 0.5);
    Opened o = open_png(path);
    ASSERT_TRUE(o.ok) << o.err;
    testing::internal::CaptureStderr();
    int64_t good = 0;
    while (o.reader->read_raster()) good++;
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LT(good, 128 * 128);
    if (interlaced) {
      EXPECT_EQ(good, 0);  // the whole image is decoded before the first cell
    }
    EXPECT_NE(err.find("ERROR: setjmp(png_jmpbuf(png_ptr)) failed\n"), std::string::npos) << err;
    EXPECT_FALSE(o.reader->read_raster());
    EXPECT_EQ(o.reader->r_count, good);
  }
}

// Rewrites the size in the header chunk (and its checksum).
void patch_size(const std::string& path, uint32_t width, uint32_t height) {
  std::string bytes = testsupport::read_file(path);
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

TEST_F(PngTest, AbsurdSizeOfInterlacedImageIsRefusedBeforeAllocation) {
  PngImage img;
  img.width = 2;
  img.height = 2;
  img.interlaced = true;
  img.samples = {1, 2, 3, 4};
  const std::string path = dir.file("huge.png");
  ASSERT_TRUE(write_png(path, img));
  write_world(path);
  patch_size(path, 900000, 900000);
  Opened o = open_png(path);
  EXPECT_FALSE(o.ok);
  EXPECT_NE(o.err.find("ERROR: 900000 rows of 900000 bytes cannot be decoded from the"), std::string::npos) << o.err;
}

// ---- rastcmp end to end ----

TEST_F(PngTest, EndToEndOneDifferentCell) {
  const int cols = 50, rows = 40;
  std::vector<double> values;
  for (int i = 0; i < cols * rows; i++) values.push_back((i * 263) % 65536);
  const std::string a = dir.file("a.png"), b = dir.file("b.png");
  ASSERT_TRUE(testsupport::write_raster("PNG", a, cols, rows, 1, GDT_UInt16, values));
  values[cols * 17 + 33] += 1;
  ASSERT_TRUE(testsupport::write_raster("PNG", b, cols, rows, 1, GDT_UInt16, values));
  write_world(a);
  write_world(b);
  auto res = testsupport::run_rastcmp({"-i", a, "-i", b});
  EXPECT_EQ(res.status, 0) << res.err;
  EXPECT_NE(res.err.find("rasters are not identical. rasters have 1 different and 1999 identical value cells. but "
                         "both have 0 nodata cells"),
            std::string::npos)
      << res.err;
}

TEST_F(PngTest, EndToEndCorruptFilesEndWithErrorStatus) {
  PngImage img;
  img.width = 128;
  img.height = 128;
  img.samples = pattern(128 * 128, 8, 5);
  const std::string whole = dir.file("whole.png");
  ASSERT_TRUE(write_png(whole, img));
  write_world(whole);

  const std::string cut = write_cut(dir, "cut.png", false, 0.5);
  auto res = testsupport::run_rastcmp({"-i", whole, "-i", cut});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("ERROR: setjmp(png_jmpbuf(png_ptr)) failed"), std::string::npos) << res.err;
  EXPECT_NE(res.err.find("failed to read raster2 at col"), std::string::npos) << res.err;
  EXPECT_EQ(res.err.find("rasters are"), std::string::npos) << res.err;

  const std::string header_cut = dir.file("head.png");
  std::filesystem::copy_file(whole, header_cut);
  write_world(header_cut);
  std::filesystem::resize_file(header_cut, 20);  // signature and part of the header chunk
  res = testsupport::run_rastcmp({"-i", header_cut, "-i", whole});
  EXPECT_EQ(res.status, 3) << res.err;
  EXPECT_NE(res.err.find("ERROR: png_jmpbuf failed"), std::string::npos) << res.err;
  EXPECT_NE(res.err.find("cannot open raster1 with file name 'head.png'."), std::string::npos) << res.err;
}

}  // namespace
