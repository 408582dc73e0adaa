// Fuzz target: the RasterPTC record's payload parser.
#include "fuzz/fuzz_support.hpp"       // init, reset
#include "raster/lasvlrrasterptc.hpp"  // LASvlrRasterPTC

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  LASvlrRasterPTC record;
  record.set_payload(data, static_cast<long long>(size));
  return 0;
}
