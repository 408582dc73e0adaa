// Reader for Erdas Imagine (HFA) rasters through GDAL's HFA driver, one
// block row at a time.
#ifndef RASTER_SRREADER_IMG_HPP
#define RASTER_SRREADER_IMG_HPP

#include <cstdint>  // int32_t, uint8_t
#include <string>   // file name for messages

#include "raster/srreader.hpp"  // SRreader

class GeoProjectionConverter;

class SRreader_img : public SRreader {
 public:
  SRreader_img() = default;
  ~SRreader_img() override;

  // A converter without a projection receives the file's datum and
  // projection.
  bool open(const char* file_name, GeoProjectionConverter* converter);
  bool read_raster() override;
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  // The HFA pixel type of band 1 (3 unsigned 8-bit ... 10 64-bit float).
  int32_t data_type = 0;
  int32_t block_width = 0;
  int32_t block_height = 0;

 private:
  // Steps of open(), in their order; each reports its own failure.
  bool read_geometry();
  void read_projection(GeoProjectionConverter& converter);
  bool read_pixel_type();
  bool check_rgb_type();
  bool allocate_block_rows();
  void set_unit_and_nodata();
  bool alloc_blocks(uint8_t**& array, const char* band_name);
  void free_blocks();
  bool start_row();
  void load_block_row();
  void advance(int32_t run);

  void* dataset = nullptr;  // GDALDatasetH of the open file
  std::string name;         // for messages while cells are read
  int32_t sample_bytes = 0;
  int32_t block_column = 0;
  int32_t next_block_row = 0;
  int32_t index_in_block = 0;
  int32_t col_in_block = 0;  // column of the current cell inside its block
  int32_t col = 0;           // column of the next cell
  int32_t blocks_per_row = 0;
  uint8_t** blocks = nullptr;        // one block row of band 1 (single band)
  uint8_t** blocks_red = nullptr;    // one block row of bands 1, 2 and 3 (RGB)
  uint8_t** blocks_green = nullptr;
  uint8_t** blocks_blue = nullptr;
  uint8_t* block_ok = nullptr;       // per block column: the last load succeeded
  int32_t row_counter = 0;
};

#endif
