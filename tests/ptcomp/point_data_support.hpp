// Test helpers for compressed point data: writing a point set through
// LASwritePoint (point-wise or chunked, fixed or variable chunk sizes) into
// memory, and reading it back through LASreadPoint point by point while
// collecting the errors and warnings the reader reports.
#ifndef TESTS_PTCOMP_POINT_DATA_SUPPORT_HPP
#define TESTS_PTCOMP_POINT_DATA_SUPPORT_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ptcomp/ptcomp.hpp"
#include "tests/ptcomp/item_codec_support.hpp"

namespace codectest {

struct PtcLayout {
  int format = 0;
  int extra = 0;
  int version = 2;
  uint16_t kind = PTcomp::COMPRESSOR_POINTWISE_CHUNKED;
  uint32_t chunk_size = 1000;  // 0: variable chunks, ended at `breaks`
  std::vector<uint32_t> breaks;  // chunk() after writing these point indices
  size_t prefix = 0;             // bytes before the point data (a stand-in header)
  bool seekable = true;          // whether the output can seek back
};

// Settings for the layout, with the item list the point set uses.
std::unique_ptr<PTcomp> make_settings(const PtcLayout& layout);

// Writes the points; returns the writer's error text, empty on success.
std::string write_point_data(const PointSet& points, const PtcLayout& layout, std::vector<uint8_t>& bytes);

struct ReadOutcome {
  std::vector<uint8_t> points;          // count records, zero where a read failed
  std::vector<bool> read_ok;            // per point
  std::vector<std::string> errors;      // each failed read's error text
  std::string warning;                  // the reader's warning after the run
  bool end_ok = false;                  // check_end's result
  std::string end_error;
  uint32_t ok_count() const {
    uint32_t n = 0;
    for (bool b : read_ok) n += b ? 1 : 0;
    return n;
  }
};

// Reads `count` points from bytes[prefix...] (points after a failed read
// are attempted too, up to `count` reads).
ReadOutcome read_point_data(const PtcLayout& layout, const std::vector<uint8_t>& bytes, uint32_t count);

// Byte offsets inside written chunked point data.
int64_t table_offset(const std::vector<uint8_t>& bytes, size_t prefix);
void set_table_offset(std::vector<uint8_t>& bytes, size_t prefix, int64_t offset);

}  // namespace codectest

#endif
