// The difference picture: a PNG in which equal cells are light grey shaded
// by raster1's values, value differences blue (raster2 lower) to white to
// red (raster2 higher), nodata mismatches in colours of their own and cells
// without data in both transparent. A raster of more than 4096 cells on a
// side is reduced along that side, each pixel showing its most significant
// cell.
#ifndef APP_RASTCMP_PICTURE_HPP
#define APP_RASTCMP_PICTURE_HPP

#include <cstdint>  // cell numbers, pixel sizes
#include <cstdio>   // FILE
#include <memory>   // pixel arrays
#include <string>   // the file name, the legend

// Cell classes shared by the difference raster and picture.
enum RastcmpCellClass : uint8_t {
  RASTCMP_EQUAL = 0,
  RASTCMP_VALUE_DIFFERS = 1,
  RASTCMP_NODATA_ONLY_IN_1 = 2,
  RASTCMP_NODATA_ONLY_IN_2 = 3,
  RASTCMP_NODATA_IN_BOTH = 4,
};

constexpr int32_t RASTCMP_PICTURE_MAX_SIDE = 4096;

class RastcmpPicture {
 public:
  RastcmpPicture() = default;
  ~RastcmpPicture();
  RastcmpPicture(const RastcmpPicture&) = delete;
  RastcmpPicture& operator=(const RastcmpPicture&) = delete;

  // Creates the file and the pixel arrays. False after an ERROR message.
  bool open(const char* file_name, int32_t ncols, int32_t nrows);

  // The next n cells in row-major order: class, difference (world units)
  // and raster1's world value of each.
  void take(int64_t first, int64_t n, const uint8_t* cell_class, const float* difference, const float* value1);

  // Colours the pixels and writes the PNG. False after an ERROR message.
  bool close();

  // The legend line (valid after close).
  std::string legend() const;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  std::string name_;
  FILE* file_ = nullptr;
  int32_t ncols_ = 0, nrows_ = 0, width_ = 0, height_ = 0;
  std::unique_ptr<int32_t[]> column_pixel_;  // the pixel column of each raster column
  std::unique_ptr<uint8_t[]> class_;         // per pixel; 255 before any cell
  std::unique_ptr<float[]> value_;           // per pixel: the difference, or raster1's value when equal
  std::unique_ptr<uint64_t[]> histogram_;    // |difference| by the top bits of its float
  uint64_t differences_ = 0;
  double low_ = 0.0, high_ = 0.0;  // raster1's range over equal cells
  bool any_equal_ = false;
  double scale_ = 1.0;  // |difference| that gets the full colour
};

#endif
