// Reader for ESRI ASCII grids: a keyword header, then one text line per row.
#ifndef RASTER_SRREADER_ASC_HPP
#define RASTER_SRREADER_ASC_HPP

#include <cstdio>  // FILE
#include <string>  // the file name for warnings

#include "raster/srreader.hpp"  // SRreader

class SRreader_asc : public SRreader {
 public:
  SRreader_asc() = default;
  ~SRreader_asc() override;

  bool open(const char* file_name, bool unused = true);
  bool read_raster() override;
  bool is_nodata() const override;
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  double raw_value = 0.0;
  double nodata_value = -9999.0;

 private:
  // Steps of open(); each reports its own failure.
  bool read_header();
  bool parse_keyword(int which, bool& header_done);
  bool check_header(const char* file_name) const;

  bool next_row();
  bool parse_cell();
  void note_cell_text(const char* start, const char* number_end);
  void end_of_row();

  FILE* file = nullptr;
  char* line_buffer = nullptr;  // one whole row line, grown as needed
  size_t line_capacity = 0;
  const char* cursor = nullptr;
  int32_t col = 0;
  int32_t row = 0;
  bool pending_row = false;  // the header ended on a line that is the first row
  std::string name;          // for the warnings about damaged rows
  bool warned_cell = false;  // a cell text with trailing characters was reported
  bool warned_row = false;   // a row with too many values was reported
};

#endif
