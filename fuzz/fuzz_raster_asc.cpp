// Fuzz target: the ESRI ASCII grid reader, opened through the dispatch and read
// to its last cell.
#include "fuzz/fuzz_support.hpp"  // init, reset, write_input, read_raster

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  fuzzsupport::read_raster(fuzzsupport::write_input(data, size, "asc"), "asc");
  return 0;
}
