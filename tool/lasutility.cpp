// Runtime utilities shared by all parts of the system.
#include "tool/lasutility.hpp"

#include <sys/stat.h>  // stat for the PATH search
#include <unistd.h>    // readlink, getpid, access, unlink

#include <cerrno>       // errno for delete failures
#include <chrono>       // steady_clock for seconds_now
#include <cstdarg>      // va_list for sscanf_las
#include <cstdlib>      // malloc, realloc, getenv
#include <cstring>      // strlen, memcpy, strrchr
#include <ctime>        // clock, CLOCKS_PER_SEC
#include <filesystem>   // temp_directory_path
#include <system_error> // error_code

namespace {
uint64_t ram_override = 0;

void size_with_unit(double bytes, bool request, double& amount, const char*& unit) {
  const double kb = 1024.0, mb = 1048576.0, gb = 1073741824.0;
  if (request) {
    if (bytes < gb) { amount = bytes / mb; unit = "MB"; }
    else { amount = bytes / gb; unit = "GB"; }
    return;
  }
  if (bytes <= 1023.0) { amount = bytes; unit = "Bytes"; }
  else if (bytes <= 1048575.0) { amount = bytes / kb; unit = "KB"; }
  else if (bytes <= gb - 1.0) { amount = bytes / mb; unit = "MB"; }
  else { amount = bytes / gb; unit = "GB"; }
}

// Warns when a large request exceeds the free memory. True if it warned.
bool check_memory(size_t size) {
  if (size <= 1048576) return false;
  const uint64_t avail = get_available_RAM();
  if (avail >= size) return false;
  double req_amount, av_amount;
  const char* req_unit;
  const char* av_unit;
  size_with_unit(static_cast<double>(size), true, req_amount, req_unit);
  size_with_unit(static_cast<double>(avail), false, av_amount, av_unit);
  LASMessage(LAS_WARNING, "failed to allocate %.0f%s memory as only approx. %.0f%s free reported. An error may occur",
             req_amount, req_unit, av_amount, av_unit);
  return true;
}
}  // namespace

double seconds_now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const char* file_name_only(const char* name) {
  const char* cut = name;
  for (const char* p = name; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
  return cut;
}

const char* file_extension_only(const char* name) {
  const char* dot = strrchr(name, '.');
  return (dot == nullptr || dot == name) ? nullptr : dot + 1;
}

std::string derived_file_name(const std::string& input, const char* extension, const std::string& directory) {
  const size_t start = static_cast<size_t>(file_name_only(input.c_str()) - input.c_str());
  std::string name = input.substr(start);
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  name += '.';
  name += extension;
  if (directory.empty()) return input.substr(0, start) + name;
  const char last = directory.back();
  return (last == '/' || last == '\\') ? directory + name : directory + "/" + name;
}

FILE* LASfopen(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr || mode[0] == '\0') return nullptr;
  return fopen(path, mode);
}

void FileDelete(std::string name, LAS_MESSAGE_TYPE level) {
  if (name.empty()) return;
  LASMessage(LAS_VERY_VERBOSE, "deleting '%s'", name.c_str());
  if (unlink(name.c_str()) != 0) {
    LASMessage(level, "delete of file '%s' failed [%d]", name.c_str(), errno);
  }
}

std::string exe_path() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return "";
  std::string path(buffer, static_cast<size_t>(n));
  const size_t sep = path.find_last_of("/\\");
  if (sep == std::string::npos) return "/";
  return path.substr(0, sep) + "/";
}

std::string temp_path(std::string dir) {
  std::string result = dir;
  if (result.empty()) {
    std::error_code ec;
    result = std::filesystem::temp_directory_path(ec).string();
  }
  if (result.empty()) result = ".";
  if (result.back() != '/') result += '/';
  return result;
}

void set_available_RAM_override(uint64_t bytes) { ram_override = bytes; }

uint64_t get_available_RAM() {
  if (ram_override != 0) return ram_override;
  FILE* f = fopen("/proc/meminfo", "r");
  if (f == nullptr) return 0;
  char line[256];
  uint64_t result = 0;
  while (fgets(line, sizeof(line), f) != nullptr) {
    size_t kb = 0;
    if (sscanf(line, "MemAvailable: %zu kB", &kb) == 1) {
      result = static_cast<uint64_t>(kb) * 1024;
      break;
    }
  }
  fclose(f);
  return result;
}

void* malloc_las(size_t size) {
  if (check_memory(size)) return malloc(size);
  void* p = malloc(size);
  if (p == nullptr) LASMessage(LAS_WARNING, "memory allocation failed");
  return p;
}

void* realloc_las(void* pointer, size_t size) {
  if (check_memory(size)) return realloc(pointer, size);
  void* p = realloc(pointer, size);
  if (p == nullptr) LASMessage(LAS_WARNING, "memory reallocation failed");
  return p;
}

int sscanf_las(const char* text, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = vsscanf(text, format, args);
  va_end(args);
  return n;
}

void string_appendf(std::string& text, const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  const int len = vsnprintf(small, sizeof(small), format, args);
  va_end(args);
  if (len < 0) return;
  if (static_cast<size_t>(len) < sizeof(small)) {
    text.append(small, static_cast<size_t>(len));
    return;
  }
  const size_t start = text.size();
  text.resize(start + static_cast<size_t>(len) + 1);
  va_start(args, format);
  vsnprintf(&text[start], static_cast<size_t>(len) + 1, format, args);
  va_end(args);
  text.resize(start + static_cast<size_t>(len));
}

int GetCurrentProcessIdUni() { return static_cast<int>(getpid()); }

std::string bin_location_get(const std::string& program) {
  if (program.empty()) return "";
  if (program.find('/') != std::string::npos) return program;
  const char* path = getenv("PATH");
  if (path == nullptr) return "";
  std::string dirs(path);
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + program;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}
