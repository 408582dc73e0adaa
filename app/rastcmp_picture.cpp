// The difference picture through libpng.
#include "app/rastcmp_picture.hpp"

#include <png.h>  // png_create_write_struct, png_write_row

#include <algorithm>  // min, max, fill_n
#include <cmath>      // fabs
#include <csetjmp>    // setjmp for libpng's errors
#include <cstring>    // memcpy
#include <new>        // nothrow

#include "tool/lasmessage.hpp"  // LASMessage
#include "tool/lasutility.hpp"  // LASfopen

namespace {

constexpr uint8_t kEmpty = 255;
constexpr size_t kBins = 1u << 16;  // |difference| binned by the top 16 bits of its float

// How much a cell class outweighs another when cells share a pixel.
constexpr uint8_t kRank[5] = {2, 4, 3, 3, 1};

struct Rgba {
  uint8_t r, g, b, a;
};
constexpr Rgba kBlue = {33, 102, 172, 255};
constexpr Rgba kRed = {178, 24, 43, 255};
constexpr Rgba kNodataOnly1 = {0, 170, 0, 255};   // green
constexpr Rgba kNodataOnly2 = {140, 0, 200, 255};  // purple

uint8_t blend(uint8_t to, double t) { return static_cast<uint8_t>(255.0 + (to - 255.0) * t + 0.5); }

uint32_t float_bits(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof(bits));
  return bits;
}

float bits_float(uint32_t bits) {
  float f;
  memcpy(&f, &bits, sizeof(f));
  return f;
}

// The side of the picture for a raster side: reduced only beyond the limit.
int32_t picture_side(int32_t cells) { return std::min(cells, RASTCMP_PICTURE_MAX_SIDE); }

}  // namespace

RastcmpPicture::~RastcmpPicture() {
  if (file_) fclose(file_);
}

bool RastcmpPicture::open(const char* file_name, int32_t ncols, int32_t nrows) {
  name_ = file_name;
  ncols_ = ncols;
  nrows_ = nrows;
  width_ = picture_side(ncols);
  height_ = picture_side(nrows);
  const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
  column_pixel_.reset(new (std::nothrow) int32_t[ncols]);
  class_.reset(new (std::nothrow) uint8_t[pixels]);
  value_.reset(new (std::nothrow) float[pixels]);
  histogram_.reset(new (std::nothrow) uint64_t[kBins]());
  if (!column_pixel_ || !class_ || !value_ || !histogram_) {
    LASMessage(LAS_ERROR, "cannot allocate the difference picture '%s'", name_.c_str());
    return false;
  }
  for (int32_t c = 0; c < ncols; c++) column_pixel_[c] = static_cast<int32_t>(int64_t(c) * width_ / ncols);
  std::fill_n(class_.get(), pixels, kEmpty);
  file_ = LASfopen(file_name, "wb");
  if (file_ == nullptr) {
    LASMessage(LAS_ERROR, "cannot create difference picture '%s'", name_.c_str());
    return false;
  }
  return true;
}

void RastcmpPicture::take(int64_t first, int64_t n, const uint8_t* cell_class, const float* difference,
                          const float* value1) {
  int64_t row = first / ncols_;
  int32_t col = static_cast<int32_t>(first % ncols_);
  for (int64_t k = 0; k < n && row < nrows_; k++) {
    const uint8_t c = cell_class[k];
    float v = c == RASTCMP_EQUAL ? value1[k] : difference[k];
    if (c == RASTCMP_VALUE_DIFFERS) {
      histogram_[float_bits(std::fabs(v)) >> 16]++;
      differences_++;
    } else if (c == RASTCMP_EQUAL) {
      if (!any_equal_) low_ = high_ = v;
      low_ = std::min<double>(low_, v);
      high_ = std::max<double>(high_, v);
      any_equal_ = true;
    }
    const size_t p = static_cast<size_t>(row * height_ / nrows_) * width_ + column_pixel_[col];
    const uint8_t had = class_[p];
    if (had == kEmpty || kRank[c] > kRank[had] ||
        (c == RASTCMP_VALUE_DIFFERS && had == c && std::fabs(v) > std::fabs(value_[p]))) {
      class_[p] = c;
      value_[p] = v;
    }
    if (++col == ncols_) {
      col = 0;
      row++;
    }
  }
}

bool RastcmpPicture::close() {
  // the colour scale ends at the 99th percentile of |difference|
  scale_ = 1.0;
  if (differences_ > 0) {
    const uint64_t wanted = (differences_ * 99 + 99) / 100;
    uint64_t seen = 0;
    for (uint32_t b = 0; b < kBins; b++) {
      seen += histogram_[b];
      if (seen >= wanted) {
        const double top = bits_float(std::min<uint32_t>(b + 1, 0x7F80u) << 16);  // the bin's upper edge
        if (top > 0.0 && std::isfinite(top)) scale_ = top;
        break;
      }
    }
  }
  FILE* file = file_;
  file_ = nullptr;
  if (file == nullptr) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[static_cast<size_t>(width_) * 4]);
  bool ok = png != nullptr && info != nullptr && row != nullptr;
  if (ok && setjmp(png_jmpbuf(png))) ok = false;
  else if (ok) {
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width_), static_cast<png_uint_32>(height_), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const double span = high_ > low_ ? high_ - low_ : 1.0;
    for (int32_t y = 0; y < height_; y++) {
      for (int32_t x = 0; x < width_; x++) {
        const size_t p = static_cast<size_t>(y) * width_ + x;
        const double v = value_[p];
        Rgba px = {0, 0, 0, 0};
        switch (class_[p]) {
          case RASTCMP_EQUAL: {
            const uint8_t grey = static_cast<uint8_t>(170.0 + 70.0 * std::min(1.0, std::max(0.0, (v - low_) / span)));
            px = {grey, grey, grey, 255};
            break;
          }
          case RASTCMP_VALUE_DIFFERS: {
            const double t = std::min(1.0, std::fabs(v) / scale_);
            const Rgba& end = v < 0.0 ? kBlue : kRed;
            px = {blend(end.r, t), blend(end.g, t), blend(end.b, t), 255};
            break;
          }
          case RASTCMP_NODATA_ONLY_IN_1: px = kNodataOnly1; break;
          case RASTCMP_NODATA_ONLY_IN_2: px = kNodataOnly2; break;
          default: break;  // nodata in both, or no cell: transparent
        }
        memcpy(row.get() + 4 * static_cast<size_t>(x), &px, 4);
      }
      png_write_row(png, row.get());
    }
    png_write_end(png, nullptr);
  }
  if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  if (fclose(file) != 0) ok = false;
  class_.reset();
  value_.reset();
  if (!ok) LASMessage(LAS_ERROR, "cannot write difference picture '%s'", name_.c_str());
  return ok;
}

std::string RastcmpPicture::legend() const {
  char text[640];
  snprintf(text, sizeof(text),
           "difference picture '%s' of %d by %d pixels%s: light grey equal (shaded by raster1), blue raster2 lower, "
           "red raster2 higher, full colour at a difference of %g (99th percentile), green nodata only in raster1, "
           "purple nodata only in raster2, transparent nodata in both",
           name_.c_str(), width_, height_,
           (width_ < ncols_ || height_ < nrows_) ? " (reduced, each pixel shows its most significant cell)" : "",
           scale_);
  return text;
}
