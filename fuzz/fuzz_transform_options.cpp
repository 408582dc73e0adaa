// Fuzz target: the point transform option parser, its rendering, and the
// rendered text parsed again.
#include "filter/lastransform.hpp"         // LAStransform
#include "fuzz/fuzz_option_parser.hpp"  // fuzz_option_parser

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzsupport::fuzz_option_parser<LAStransform>(data, size);
}
