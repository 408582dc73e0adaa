// Dispatch from a file extension to the reader of its format.
#include <cstring>  // strcmp

#include "raster/srreader.hpp"      // SRreader, open_raster
#include "raster/srreader_asc.hpp"  // SRreader_asc
#include "raster/srreader_bil.hpp"  // SRreader_bil
#include "raster/srreader_tif.hpp"  // SRreader_tif
#include "raster/srreader_img.hpp"  // SRreader_img
#include "raster/srreader_png.hpp"  // SRreader_png
#include "raster/srreader_ptc.hpp"  // SRreader_ptc
#include "tool/lasmessage.hpp"      // laserror

namespace {

bool is_ext(const char* extension, const char* lower, const char* upper) {
  return strcmp(extension, lower) == 0 || strcmp(extension, upper) == 0;
}

template <typename Reader, typename... Args>
SRreader* open_with(const char* file_name, Args... args) {
  Reader* reader = new Reader();
  if (reader->open(file_name, args...)) return reader;
  delete reader;
  return nullptr;
}

}  // namespace

SRreader* open_raster(const char* extension, const char* file_name) {
  return open_raster(extension, file_name, nullptr);
}

SRreader* open_raster(const char* extension, const char* file_name, GeoProjectionConverter* converter) {
  if (file_name == nullptr || extension == nullptr) return nullptr;
  if (is_ext(extension, "asc", "ASC")) return open_with<SRreader_asc>(file_name, true);
  if (is_ext(extension, "bil", "BIL")) return open_with<SRreader_bil>(file_name);
  if (is_ext(extension, "ptc", "PTC")) return open_with<SRreader_ptc>(file_name, converter);
  if (is_ext(extension, "png", "PNG")) return open_with<SRreader_png>(file_name);
  if (is_ext(extension, "tif", "TIF")) return open_with<SRreader_tif>(file_name, converter);
  if (is_ext(extension, "img", "IMG")) return open_with<SRreader_img>(file_name, converter);
  laserror("unknown raster format '%s'.", extension);
  return nullptr;
}
