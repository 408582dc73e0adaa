// Shared pieces of the fuzz targets.
#include "fuzz/fuzz_support.hpp"

#include <unistd.h>  // getpid, chdir

#include <cstdio>   // FILE, fwrite
#include <cstdlib>  // mkdtemp, getenv
#include <memory>   // unique_ptr for the reader

#include "raster/srreader.hpp"  // open_raster, read_cells
#include "tool/lasmessage.hpp"  // message handler, halting, exit hook

namespace fuzzsupport {
namespace {

std::string scratch;

void no_message(LAS_MESSAGE_TYPE, const char*, void*) {}

[[noreturn]] void throw_exit(int status) { throw Exit{status}; }

}  // namespace

void init() {
  if (!scratch.empty()) return;
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/rastcmp-fuzz-XXXXXX";
  if (mkdtemp(&pattern[0]) == nullptr) abort();
  scratch = pattern;
  if (chdir(scratch.c_str()) != 0) abort();
  set_message_handler(no_message);
  set_exit_hook(throw_exit);
  reset();
}

void reset() {
  las_message_reset();
  halt_on_error(false);
  set_message_log_level(LAS_QUIET);
}

std::string write_input(const uint8_t* data, size_t size, const char* extension) {
  std::string path = scratch + "/input." + extension;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, file) != size) abort();
  fclose(file);
  return path;
}

void read_raster(const std::string& path, const char* extension, long long max_cells) {
  std::unique_ptr<SRreader> reader(open_raster(extension, path.c_str()));
  if (!reader) return;
  const int64_t batch = 4096;
  std::vector<int32_t> values(batch);
  std::vector<uint8_t> nodata(batch);
  int64_t left = reader->cell_count() < max_cells ? reader->cell_count() : max_cells;
  while (left > 0) {
    int64_t want = left < batch ? left : batch;
    int64_t got = reader->read_cells(want, values.data(), nodata.data());
    if (got < want) break;
    left -= got;
  }
  reader->close();
}

std::vector<std::string> split_arguments(const uint8_t* data, size_t size, size_t max_args) {
  std::vector<std::string> args{"program"};
  std::string current;
  for (size_t i = 0; i <= size; i++) {
    if (i == size || data[i] == '\n' || data[i] == '\0') {
      if (current.find('/') != std::string::npos) return {};
      args.push_back(current);
      current.clear();
      if (args.size() > max_args) return {};
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  return args;
}

std::vector<char*> argv_of(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  return argv;
}

}  // namespace fuzzsupport
