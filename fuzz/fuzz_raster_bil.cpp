// Fuzz target: the BIL reader. The input holds the header file, a NUL byte
// and the cell data; both files are written beside each other and the
// raster is read to its last cell.
#include <algorithm>  // find

#include "fuzz/fuzz_support.hpp"  // init, reset, write_input, read_raster

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  const uint8_t* split = std::find(data, data + size, 0);
  fuzzsupport::write_input(data, split - data, "hdr");
  const uint8_t* cells = split < data + size ? split + 1 : split;
  fuzzsupport::read_raster(fuzzsupport::write_input(cells, data + size - cells, "bil"), "bil");
  return 0;
}
