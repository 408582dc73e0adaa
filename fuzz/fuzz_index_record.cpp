// Fuzz target: the spatial index record (as found in a PTC file's special
// record or a ".lax" file), then a query of each kind on what was loaded.
#include "fuzz/fuzz_support.hpp"     // init, reset
#include "index/lasindex.hpp"         // LASindex
#include "las/bytestreamin_array.hpp"  // ByteStreamInArrayLE

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  if (size < 4) return 0;
  // the first four bytes give the file's point count
  const uint64_t npoints = data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint64_t>(data[3]) << 24;
  ByteStreamInArrayLE stream(data + 4, static_cast<long long>(size - 4));
  LASindex index;
  if (!index.read(&stream, npoints) || !index.is_loaded()) return 0;
  if (index.intersect_rectangle(-1e6, -1e6, 1e6, 1e6)) {
    while (index.has_intervals()) {
    }
  }
  if (index.intersect_circle(0.0, 0.0, 100.0)) {
    while (index.has_intervals()) {
    }
  }
  return 0;
}
