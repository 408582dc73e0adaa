// Helpers for the LAS reader and writer tests: headers and points with
// deterministic field values for every point format, file writing through
// LASwriterLAS and the header field offsets.
#ifndef TESTS_LASIO_LAS_FILE_HELPERS_HPP
#define TESTS_LASIO_LAS_FILE_HELPERS_HPP

#include <gtest/gtest.h>  // AssertionResult

#include <cstdint>     // fixed-width header fields
#include <cstring>     // memcpy, memcmp, strcpy
#include <functional>  // point filling
#include <string>      // message texts, paths
#include <vector>      // file bytes, message lists

#include "las/lasheader.hpp"                // LASheader
#include "las/laspoint.hpp"                 // LASpoint
#include "lasio/laswriterlas.hpp"           // LASwriterLAS, PTcomp
#include "tests/support/point_helpers.hpp"  // Messages
#include "tests/support/test_support.hpp"   // read_file, write_file

namespace lastest {

// Standard record sizes of point formats 0 to 10.
inline int standard_size(int format) {
  static const int sizes[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  return sizes[format];
}

// A header for version 1.minor, point format `format` and `extra` extra
// bytes per point.
inline void make_header(LASheader& h, int minor, int format, int extra = 0) {
  h.clean();
  h.version_major = 1;
  h.version_minor = static_cast<uint8_t>(minor);
  h.point_data_format = static_cast<uint8_t>(format);
  h.point_data_record_length = static_cast<uint16_t>(standard_size(format) + extra);
  h.x_scale_factor = 0.01;
  h.y_scale_factor = 0.001;
  h.z_scale_factor = 0.1;
  h.x_offset = 1000.0;
  h.y_offset = -2000.0;
  h.z_offset = 5.0;
  h.file_source_ID = 77;
  h.global_encoding = 1;
  h.project_ID_GUID_data_1 = 0xDEADBEEF;
  h.project_ID_GUID_data_2 = 0x1234;
  h.project_ID_GUID_data_3 = 0x5678;
  for (int i = 0; i < 8; i++) h.project_ID_GUID_data_4[i] = static_cast<unsigned char>(i + 1);
  strcpy(h.system_identifier, "test system");
  strcpy(h.generating_software, "lasio tests");
  h.file_creation_day = 200;
  h.file_creation_year = 2024;
}

// Fills point i with values that differ per point and per field, within the
// ranges of the point's format.
inline void fill_point(LASpoint& p, int i) {
  const uint32_t r = static_cast<uint32_t>(i) * 2654435761u + 12345u;
  p.X = static_cast<int32_t>(r) / 3;
  p.Y = -static_cast<int32_t>(r >> 3) + i;
  p.Z = static_cast<int32_t>(i * 37 - 500);
  p.intensity = static_cast<uint16_t>(r >> 7);
  p.scan_direction_flag = (r >> 9) & 1;
  p.edge_of_flight_line = (r >> 10) & 1;
  p.user_data = static_cast<uint8_t>(r >> 13);
  p.point_source_ID = static_cast<uint16_t>(r >> 16);
  if (p.extended_point_type) {
    p.extended_number_of_returns = 1 + (r >> 3) % 15;
    p.extended_return_number = 1 + (r >> 5) % p.extended_number_of_returns;
    p.extended_classification = static_cast<uint8_t>(r >> 11);
    p.extended_classification_flags = (r >> 19) & 15;
    p.extended_scanner_channel = (r >> 23) & 3;
    p.extended_scan_angle = static_cast<int16_t>((r >> 8) % 60001) - 30000;
  } else {
    p.number_of_returns = 1 + (r >> 3) % 7;
    p.return_number = 1 + (r >> 5) % p.number_of_returns;
    p.classification = (r >> 11) & 31;
    p.synthetic_flag = (r >> 17) & 1;
    p.keypoint_flag = (r >> 18) & 1;
    p.withheld_flag = (r >> 19) & 1;
    p.scan_angle_rank = static_cast<int8_t>(static_cast<int>((r >> 12) % 181) - 90);
  }
  p.gps_time = 1.0e8 + i * 0.125 + (r % 1000) * 1e-6;
  for (int c = 0; c < 4; c++) p.rgb[c] = static_cast<uint16_t>(r >> (4 * c));
  for (int b = 0; b < 29; b++) p.wavepacket[b] = static_cast<uint8_t>(r >> (b % 24)) + static_cast<uint8_t>(b);
  for (int b = 0; b < p.extra_bytes_number; b++) p.extra_bytes[b] = static_cast<uint8_t>(i * 7 + b * 31);
}

// How points are stored: plain, or compressed point by point, in chunks of
// 64 points or in chunks that end after every 10th, 11th and 50th point.
struct Storage {
  const char* name;
  uint16_t compressor;
  uint32_t chunk_size;  // 0: variable
};
const Storage kStorages[] = {{"Plain", PTcomp::COMPRESSOR_NONE, PTcomp::CHUNK_SIZE_DEFAULT},
                             {"Pointwise", PTcomp::COMPRESSOR_POINTWISE, PTcomp::CHUNK_SIZE_DEFAULT},
                             {"Chunked", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 64},
                             {"Variable", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 0}};

// Writes `count` points into a file, each zeroed and then set by fill(p, i)
// (fill_point by default).
inline bool write_points(const std::string& path, const LASheader& header, int count,
                         const Storage& storage = kStorages[0],
                         const std::function<void(LASpoint&, int)>& fill = fill_point) {
  LASwriterLAS writer;
  if (!writer.open(path.c_str(), &header, storage.compressor, storage.chunk_size)) return false;
  LASpoint p;
  if (!p.init(&header, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &header)) return false;
  for (int i = 0; i < count; i++) {
    p.zero();
    fill(p, i);
    if (!writer.write_point(&p)) return false;
    if (storage.chunk_size == 0 && (i % 10 == 0 || i % 11 == 0 || i % 50 == 0) && !writer.chunk()) return false;
  }
  return writer.close() > 0;
}

// The point a reader delivered is point i of fill_point, item by item and
// byte for byte.
inline ::testing::AssertionResult is_filled_point(const LASpoint& read, const LASheader& header, int i) {
  LASpoint expected;
  if (!expected.init(&header, read.num_items, read.items, &header)) {
    return ::testing::AssertionFailure() << "the items of the point do not fit the header";
  }
  expected.zero();
  fill_point(expected, i);
  // Of a POINT14 record the reader also sets the legacy return, class and
  // scan angle bytes (14 to 16), from the extended fields: not compared.
  if (expected.extended_point_type) memcpy(expected.point[0] + 14, read.point[0] + 14, 3);
  for (int k = 0; k < read.num_items; k++) {
    if (memcmp(expected.point[k], read.point[k], read.items[k].size) != 0) {
      return ::testing::AssertionFailure() << "point " << i << " differs in item " << k;
    }
  }
  return ::testing::AssertionSuccess();
}

inline std::vector<unsigned char> read_bytes(const std::string& path) {
  const std::string text = testsupport::read_file(path);
  return std::vector<unsigned char>(text.begin(), text.end());
}

inline void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  testsupport::write_file(path, std::string(bytes.begin(), bytes.end()));
}

// Offsets of header fields in the file.
constexpr size_t AT_HEADER_SIZE = 94;
constexpr size_t AT_OFFSET_TO_POINT_DATA = 96;
constexpr size_t AT_NUMBER_OF_VLRS = 100;
constexpr size_t AT_POINT_DATA_FORMAT = 104;
constexpr size_t AT_X_SCALE = 131;
constexpr size_t AT_MAX_X = 179;
constexpr size_t AT_EVLR_START = 235;
constexpr size_t AT_EVLR_COUNT = 243;

}  // namespace lastest

#endif
