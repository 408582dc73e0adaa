// Fuzz target: the COPC hierarchy loader. The input holds the COPC info
// payload, the file's point count (8 bytes) and then the hierarchy payload;
// what loads is queried by depth and by area.
#include <cstring>  // memcpy

#include "fuzz/fuzz_support.hpp"  // init, reset
#include "index/copcindex.hpp"    // EPToctree, COPCindex
#include "las/lasheader.hpp"      // LASheader

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  if (size < LAS_COPC_INFO_SIZE + 8) return 0;
  LASheader header;
  header.vlr_copc_info = new unsigned char[LAS_COPC_INFO_SIZE];
  memcpy(header.vlr_copc_info, data, LAS_COPC_INFO_SIZE);
  memcpy(&header.extended_number_of_point_records, data + LAS_COPC_INFO_SIZE, 8);
  const uint8_t* payload = data + LAS_COPC_INFO_SIZE + 8;
  const uint64_t length = size - LAS_COPC_INFO_SIZE - 8;
  // the payload sits where the info's root page offset expects it
  const uint64_t offset = 1000;
  if (!EPToctree::set_vlr_entries(payload, length, offset, header)) return 0;
  COPCindex index(header);
  index.set_depth_limit(3);
  if (index.query_depth()) {
    while (index.has_intervals()) {
    }
  }
  if (index.intersect_rectangle(-1e9, -1e9, 1e9, 1e9)) {
    while (index.has_intervals()) {
    }
  }
  return 0;
}
