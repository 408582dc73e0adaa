// Output naming options of the raster-writing tools.
#include "fanout/srwriteopener.hpp"

#include <cstdio>   // fprintf
#include <cstdlib>  // free
#include <cstring>  // strdup, strlen, strcmp, memcpy

#include "tool/lasutility.hpp"  // string_appendf

namespace {

// Replaces an owned string by a copy of `value` (null clears it).
void replace(char*& field, const char* value) {
  char* copy = value ? strdup(value) : nullptr;
  free(field);
  field = copy;
}

// Index just past the last '/' or '\\' of `name` (0 if there is none).
size_t name_start(const std::string& name) {
  const size_t sep = name.find_last_of("/\\");
  return sep == std::string::npos ? 0 : sep + 1;
}

// Index of the last '.' after the last separator, or npos.
size_t extension_dot(const std::string& name) {
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot < name_start(name)) return std::string::npos;
  return dot;
}

const char* const kSupportedList = "       *.bil *.asc *.flt *.dtm *.xyz *.img *.png *.jpg *.tif *.csv *.ptc\n";

// The format chosen by a name's last four characters, or null.
const char* format_of(const char* name, size_t len) {
  static const char* const table[][3] = {
      {".bil", ".BIL", "bil"}, {".asc", ".ASC", "asc"}, {".flt", ".FLT", "flt"}, {".dtm", ".DTM", "dtm"},
      {".xyz", ".XYZ", "xyz"}, {".csv", ".CSV", "csv"}, {".ptc", ".PTC", "ptc"}, {".png", ".PNG", "png"},
      {".tif", ".TIF", "tif"}, {".jpg", ".JPG", "jpg"}, {".img", ".IMG", "img"},
  };
  const char* ending = name + len - 4;
  for (const auto& row : table) {
    if (strcmp(ending, row[0]) == 0 || strcmp(ending, row[1]) == 0) return row[2];
  }
  return nullptr;
}

}  // namespace

SRwriteOpener::SRwriteOpener()
    : directory(nullptr),
      file_name(nullptr),
      appendix(nullptr),
      cut(0),
      format(strdup("asc")),
      kml(true),
      world_file(true),
      nodata(-9999),
      nodata_set(false),
      tiling_name(nullptr),
      tiling_size(0),
      compression_quality(-1) {}

SRwriteOpener::~SRwriteOpener() {
  free(directory);
  free(file_name);
  free(appendix);
  free(format);
  free(tiling_name);
}

std::string SRwriteOpener::unparse(bool with_names) const {
  std::string text;
  if (tiling_name) string_appendf(text, "-tiling_ns %s %d ", tiling_name, tiling_size);
  if (nodata_set) string_appendf(text, "-nodata %d ", nodata);
  if (compression_quality != -1) string_appendf(text, "-compression_quality %d ", compression_quality);
  if (!with_names) return text;
  if (!kml) text += "-no_kml ";
  if (!world_file) text += "-no_world_file ";
  if (directory) string_appendf(text, "-odir \"%s\" ", directory);
  if (file_name) string_appendf(text, "-o \"%s\" ", file_name);
  if (appendix) string_appendf(text, "-odix \"%s\" ", appendix);
  if (cut) string_appendf(text, "-ocut %u ", cut);
  if (format) string_appendf(text, "-o%s ", format);
  return text;
}

int SRwriteOpener::unparse(char* buffer, bool with_names) const {
  const std::string text = unparse(with_names);
  memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

void SRwriteOpener::set_file_name(const char* name) {
  if (name == nullptr) {
    replace(file_name, nullptr);
    return;
  }
  const size_t len = strlen(name);
  if (len < 5) {
    fprintf(stderr, "ERROR: bad file name. file name '%s' should end in\n", name);
    fputs(kSupportedList, stderr);
    return;
  }
  const char* chosen = format_of(name, len);
  if (chosen == nullptr) {
    fprintf(stderr, "ERROR: unknown file format. file name '%s' must end in\n", name);
    fputs(kSupportedList, stderr);
    return;
  }
  replace(format, chosen);
  replace(file_name, name);
  if (directory) add_directory(nullptr);
  if (appendix) add_appendix(nullptr);
  if (cut) cut_characters();
}

void SRwriteOpener::add_directory(const char* dir) {
  if (dir == nullptr) dir = directory;
  if (dir == nullptr || file_name == nullptr) return;
  const std::string name(file_name);
  const std::string result = std::string(dir) + "/" + name.substr(name_start(name));
  replace(file_name, result.c_str());
}

void SRwriteOpener::add_appendix(const char* app) {
  if (app == nullptr) app = appendix;
  if (app == nullptr || file_name == nullptr) return;
  if (format && strcmp(format, "csv") == 0) return;
  std::string name(file_name);
  const size_t dot = extension_dot(name);
  if (dot == std::string::npos) {
    name += app;
  } else {
    name.insert(dot, app);
  }
  replace(file_name, name.c_str());
}

// Removes `cut` characters before the extension (or at the end of a name
// without one), never reaching into the directory part.
void SRwriteOpener::cut_characters() {
  if (file_name == nullptr || cut == 0) return;
  std::string name(file_name);
  const size_t start = name_start(name);
  const size_t dot = extension_dot(name);
  const size_t end = dot == std::string::npos ? name.size() : dot;
  const size_t available = end - start;
  const size_t n = cut < available ? cut : available;
  name.erase(end - n, n);
  replace(file_name, name.c_str());
}

void SRwriteOpener::set_directory(const char* dir) {
  replace(directory, dir);
  if (directory) add_directory(nullptr);
}

void SRwriteOpener::set_appendix(const char* app) {
  replace(appendix, app);
  if (appendix) add_appendix(nullptr);
}

void SRwriteOpener::set_cut(uint32_t n) {
  cut = n;
  cut_characters();
}

void SRwriteOpener::set_format(const char* name) { replace(format, name); }

void SRwriteOpener::set_nodata(int32_t value) {
  nodata = value;
  nodata_set = true;
}

void SRwriteOpener::set_tiling(const char* name, int32_t size) {
  replace(tiling_name, name);
  tiling_size = size;
}
