// Reader for BIL rasters: raw binary rows in a ".bil" file described by a
// keyword header in the companion ".hdr" file.
#ifndef RASTER_SRREADER_BIL_HPP
#define RASTER_SRREADER_BIL_HPP

#include <cstdint>  // fixed-width fields
#include <cstdio>   // FILE

#include "raster/srreader.hpp"  // SRreader
#include "raster/srsample.hpp"  // SRsampleRule, SRsampleType

class SRreader_bil : public SRreader {
 public:
  SRreader_bil() = default;
  ~SRreader_bil() override;

  bool open(const char* file_name);
  bool read_raster() override;
  bool is_nodata() const override { return cell_nodata; }
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  // Layout from the header (read only after open).
  bool big_endian = false;   // BYTEORDER M
  int64_t skip_bytes = 0;    // SKIPBYTES: bytes before the first row
  int64_t row_stride = 0;    // bytes from one row to the next (padding included)
  double nodata_raw = -9999.0;  // the header's nodata in the file's own unit

 private:
  // Steps of open(), in their order; each reports its own failure.
  bool open_header(const char* file_name);
  bool read_header(const char* header_name, FILE* header);
  bool check_samples(const char* file_name);
  bool check_row_layout(const char* file_name);
  bool open_data(const char* file_name);
  bool load_row();

  FILE* file = nullptr;
  uint8_t* line_buffer = nullptr;  // one row with its padding
  int32_t col = 0;                 // next cell within the row; ncols: a row is needed
  int32_t row = 0;                 // rows read so far
  bool row_failed = false;         // the current row could not be read
  bool cell_nodata = false;        // nodata test of the last delivered cell
  int64_t band_row_bytes = -1;     // BANDROWBYTES, -1 when absent
  int64_t total_row_bytes = -1;    // TOTALROWBYTES, -1 when absent
  SRsampleType sample_type = SRsampleType::kInt16;
  SRsampleRule rule;
};

#endif
