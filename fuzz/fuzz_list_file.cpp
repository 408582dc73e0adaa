// Fuzz target: the list-of-files parser of the read opener (plain and
// neighbour lists, with and without the uniqueness test).
#include "fuzz/fuzz_support.hpp"    // init, reset, write_input
#include "lasio/lasreadopener.hpp"  // LASreadOpener

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  std::string path = fuzzsupport::write_input(data, size, "txt");
  bool unique = size > 0 && (data[0] & 1);
  LASreadOpener opener;
  opener.add_list_of_files(path.c_str(), unique);
  opener.add_neighbor_list_of_files(path.c_str(), unique);
  return 0;
}
