// Fuzz target: the compressor-settings record's parser.
#include "fuzz/fuzz_support.hpp"  // init, reset
#include "ptcomp/ptcomp.hpp"      // PTcomp

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  PTcomp settings;
  settings.unpack(data, static_cast<long long>(size));
  return 0;
}
