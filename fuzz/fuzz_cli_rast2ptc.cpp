// Fuzz target: rast2ptc's command-line parsing (no conversion).
#include "app/rast2ptc.hpp"        // Rast2ptcOptions, rast2ptc_parse
#include "fuzz/fuzz_support.hpp"  // init, reset, split_arguments, Exit

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  std::vector<std::string> args = fuzzsupport::split_arguments(data, size);
  if (args.size() < 2) return 0;
  std::vector<char*> argv = fuzzsupport::argv_of(args);
  try {
    Rast2ptcOptions options;
    rast2ptc_parse(static_cast<int>(args.size()), argv.data(), &options);
  } catch (const fuzzsupport::Exit&) {
  }
  return 0;
}
