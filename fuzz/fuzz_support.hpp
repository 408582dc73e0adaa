// What every fuzz target shares: quiet messages that never end the process,
// the input written to a scratch file, and a raster read to its last cell.
#ifndef FUZZ_FUZZ_SUPPORT_HPP
#define FUZZ_FUZZ_SUPPORT_HPP

#include <cstddef>  // size_t
#include <cstdint>  // uint8_t
#include <string>   // scratch file names
#include <vector>   // split arguments

namespace fuzzsupport {

// Thrown by the exit hook where the tool would end the process.
struct Exit {
  int status;
};

// Once per process: messages go nowhere, errors do not halt, byebye()
// throws Exit, and the working directory is an empty scratch folder (so
// that names in fuzzed arguments find nothing).
void init();

// Before each input: message counters and levels back to their defaults,
// halting still off.
void reset();

// Writes the bytes to "<scratch>/input.<extension>" and returns the path.
std::string write_input(const uint8_t* data, size_t size, const char* extension);

// Opens the raster through the dispatch and reads every cell (at most
// max_cells), as the comparison loop does.
void read_raster(const std::string& path, const char* extension, long long max_cells = 1 << 22);

// Splits the input into arguments at line ends and NUL bytes, "program"
// first; empty when an argument names a path (holds '/') or there are more
// than max_args.
std::vector<std::string> split_arguments(const uint8_t* data, size_t size, size_t max_args = 48);

// A writable argv over the strings (valid while `args` lives).
std::vector<char*> argv_of(std::vector<std::string>& args);

}  // namespace fuzzsupport

#endif
