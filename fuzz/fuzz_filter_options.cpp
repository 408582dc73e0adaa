// Fuzz target: the point filter option parser, its rendering, and the
// rendered text parsed again.
#include "filter/lasfilter.hpp"         // LASfilter
#include "fuzz/fuzz_option_parser.hpp"  // fuzz_option_parser

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return fuzzsupport::fuzz_option_parser<LASfilter>(data, size);
}
