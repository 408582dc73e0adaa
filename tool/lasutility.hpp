// Small runtime services: files, paths, checked memory, formatted text, and
// the shared double-to-integer conversion every reader uses.
#ifndef TOOL_LASUTILITY_HPP
#define TOOL_LASUTILITY_HPP

#include <cmath>    // std::isnan, std::floor
#include <cstddef>  // size_t
#include <cstdint>  // int32_t, int64_t, uint64_t
#include <cstdio>   // FILE
#include <string>   // paths and names

#include "tool/lasmessage.hpp"  // LAS_MESSAGE_TYPE

// Size of the stdio buffer of point and raster files.
constexpr int LAS_IO_BUFFER_SIZE = 262144;

// Wall-clock seconds since an arbitrary start (processor time summed over
// the decoding threads would overstate a run).
double seconds_now();

// The part of a file name after its last '/', '\\' or ':'.
const char* file_name_only(const char* name);
// The part after the last '.' (null when there is none or the name starts
// with it).
const char* file_extension_only(const char* name);

// The output name derived from an input: the extension of its name part
// (the text after the last '.', unless the part starts with it) replaced by
// `extension`, or '.' and `extension` appended when it has none; with a
// directory, the name part placed into that directory.
std::string derived_file_name(const std::string& input, const char* extension, const std::string& directory = "");

FILE* LASfopen(const char* path, const char* mode);
void FileDelete(std::string name, LAS_MESSAGE_TYPE level = LAS_WARNING);
std::string exe_path();
std::string temp_path(std::string dir);
uint64_t get_available_RAM();
void* malloc_las(size_t size);
void* realloc_las(void* pointer, size_t size);
int sscanf_las(const char* text, const char* format, ...);
int GetCurrentProcessIdUni();
// Locates a program: a name with a '/' as it is, otherwise the first
// executable match along PATH. Empty when nothing is found. No shell.
std::string bin_location_get(const std::string& program);

// Appends printf-style text to a string, however long it gets.
void string_appendf(std::string& text, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

// Test hook: overrides what get_available_RAM() reports (0 restores /proc).
void set_available_RAM_override(uint64_t bytes);

// Rounds half away from zero and clamps to the signed 32-bit range.
// NaN gives 0; callers that must treat NaN as nodata test it first.
inline int32_t round_clamp_i32(double v) {
  if (std::isnan(v)) return 0;
  const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(r);
}

#endif
