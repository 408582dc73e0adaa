// Fuzz target: the LAS/PTC file reader (header, records, chunk table, every
// compressor and point format), reading every point it announces; inputs of
// odd length decode their chunks ahead on two worker threads.
#include "fuzz/fuzz_support.hpp"   // init, reset, write_input
#include "lasio/lasreaderlas.hpp"  // LASreaderLAS

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  std::string path = fuzzsupport::write_input(data, size, "ptc");
  LASreaderLAS reader(nullptr);
  reader.set_threads(size % 2 ? 2 : 1);
  if (reader.open(path.c_str())) {
    for (long long i = 0; i < (1 << 20) && reader.read_point(); i++) {
    }
    reader.close();
  }
  return 0;
}
