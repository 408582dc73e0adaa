// Writer of difference rasters: a tiled, deflate-compressed float32 GeoTIFF
// with two samples per cell (the difference and its class), filled row by
// row from a stream of cells. Only one band of tile rows is held in memory.
#ifndef RASTER_SRWRITER_DIFF_HPP
#define RASTER_SRWRITER_DIFF_HPP

#include <cstdint>  // sizes, cell counts
#include <memory>   // the band buffer
#include <string>   // the file name for messages

typedef struct tiff TIFF;

// Where a raster lies: the upper-left corner and the cell size.
struct SRgeoreference {
  double ulx = 0.0;
  double uly = 0.0;
  double stepx = 1.0;
  double stepy = 1.0;
};

// The difference value written where a cell has no difference.
constexpr float SR_DIFF_NODATA = -3.4028234663852886e+38f;

class SRwriter_diff {
 public:
  SRwriter_diff() = default;
  ~SRwriter_diff();
  SRwriter_diff(const SRwriter_diff&) = delete;
  SRwriter_diff& operator=(const SRwriter_diff&) = delete;

  // Creates the file for a raster of ncols × nrows cells. False (after an
  // ERROR message) when it cannot be created or its buffer not allocated.
  bool open(const char* file_name, int32_t ncols, int32_t nrows, const SRgeoreference& geo);

  // Appends the next n cells in row-major order: the difference and the
  // class of each. Cells beyond the raster are ignored.
  void write_cells(int64_t n, const float* difference, const uint8_t* cell_class);

  // Flushes the last band and closes the file. False (after an ERROR
  // message) when a write failed or not every cell was given.
  bool close();

 private:
  bool flush_band();

  TIFF* tif_ = nullptr;
  std::string name_;
  int32_t ncols_ = 0;
  int32_t nrows_ = 0;
  uint32_t tile_ = 256;         // tile width and height
  std::unique_ptr<float[]> band_;  // tile_ rows × ncols × 2 samples
  std::unique_ptr<float[]> tile_buffer_;
  int64_t cells_in_band_ = 0;   // cells filled in band_
  int32_t band_row_ = 0;        // the first raster row of band_
  bool failed_ = false;
};

#endif
