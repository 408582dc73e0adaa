// Reader for PNG rasters (8 or 16 bits per sample) through libpng, with the
// georeference in a ".pgw" world file beside the image.
#ifndef RASTER_SRREADER_PNG_HPP
#define RASTER_SRREADER_PNG_HPP

#include <cstddef>  // size_t
#include <cstdint>  // int32_t, uint8_t, uint32_t
#include <cstdio>   // FILE

#include "raster/srreader.hpp"  // SRreader

struct png_struct_def;  // libpng's read structure (png.h stays out of users' sight)
struct png_info_def;    // libpng's info structure

class SRreader_png : public SRreader {
 public:
  SRreader_png() = default;
  ~SRreader_png() override;

  bool open(const char* file_name);
  bool read_raster() override;
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  uint32_t color_type = 0;
  uint32_t interlace_type = 0;

 private:
  bool read_world_file(const char* file_name);
  bool next_row();
  void release();

  FILE* file = nullptr;
  png_struct_def* png = nullptr;
  png_info_def* info = nullptr;
  int32_t col = 0;          // column of the current cell in the current row
  int32_t row_counter = 0;  // rows started so far
  int32_t channels = 0;     // samples per pixel as stored (1 for palette images)
  size_t row_bytes = 0;
  uint8_t* row_buffer = nullptr;      // one row, or the whole image when interlaced
  uint8_t** row_pointers = nullptr;   // interlaced: the start of each row in row_buffer
  const uint8_t* row = nullptr;       // the samples of the current row
  bool failed = false;                // libpng reported an error: nothing more can be decoded
};

#endif
