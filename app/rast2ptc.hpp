// rast2ptc: writes the RasterPTC copy of a raster (one point per cell with a
// value, in a compressed point file that carries the raster's geometry), so
// that rastcmp can compare the raster with its copy. The library side of the
// tool; the thin main in rast2ptc_main.cpp only hands argv over.
#ifndef APP_RAST2PTC_HPP
#define APP_RAST2PTC_HPP

#include <cstdint>  // cell counts
#include <string>   // output names

#include "tool/kestreltool.hpp"  // KestrelTool

class KestrelTool_rast2ptc : public KestrelTool {
 public:
  using KestrelTool::KestrelTool;
  void usage() override;
};

// What one conversion wrote.
struct Rast2ptcResult {
  int64_t value_cells = 0;
  int64_t nodata_cells = 0;
};

// The default output name of an input: its extension (the text after the
// last '.' of the name part) replaced by "ptc", or ".ptc" appended when it
// has none; with a directory, the name part placed into that directory.
std::string rast2ptc_output_name(const std::string& input, const std::string& directory = "");

// Converts the raster `input` (format chosen by `extension`, as for
// rastcmp) into the RasterPTC file `output`. Rasters that a copy cannot
// represent (several bands, rotation terms, no cell size, more cells than a
// LAS 1.2 file counts) are refused. Failures are reported through laserror
// and give false; a partly written output is removed.
bool rast2ptc_convert(const char* input, const char* extension, const char* output, Rast2ptcResult* result = nullptr);

// The whole tool; never returns.
[[noreturn]] void rast2ptc_run(int argc, char** argv);

#endif
