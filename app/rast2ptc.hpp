// rast2ptc: writes the RasterPTC copy of a raster (one point per cell with a
// value, in a compressed point file that carries the raster's geometry), so
// that rastcmp can compare the raster with its copy. The library side of the
// tool; the thin main in rast2ptc_main.cpp only hands argv over.
#ifndef APP_RAST2PTC_HPP
#define APP_RAST2PTC_HPP

#include <cstdint>  // cell counts
#include <string>   // output names

#include "lasio/lasreadopener.hpp"  // LASreadOpener, the inputs
#include "tool/kestreltool.hpp"       // KestrelTool

class KestrelTool_rast2ptc : public KestrelTool {
 public:
  using KestrelTool::KestrelTool;
  void usage() override;
};

// What the command line decides.
struct Rast2ptcOptions {
  LASreadOpener opener;     // the inputs ("-i", "-lof")
  std::string output;       // "-o": the one output
  std::string directory;    // "-odir": where derived outputs go
  uint8_t point_format = 0;  // "-point_format": 0 to 10
  unsigned threads = 0;      // "-threads": chunk encoding threads, 0 for the processor count
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
// and give false; a partly written output is removed. The points are of
// `point_format` (formats 6 to 10 make a LAS 1.4 file); `threads` encode
// their chunks (the file does not depend on their number).
bool rast2ptc_convert(const char* input, const char* extension, const char* output, Rast2ptcResult* result = nullptr,
                      uint8_t point_format = 0, unsigned threads = 1);

// Takes the arguments after the program name: message options, the read
// opener's inputs, the tool's own and the common options (-h and -version
// end the process there). False when an error was reported; with halting
// on errors that error has already ended the process.
bool rast2ptc_parse(int argc, char** argv, Rast2ptcOptions* options);

// Converts every input with halting on errors off (restored before
// returning); a failed input does not stop the others. Returns the exit
// status the messages call for.
int rast2ptc_convert_files(Rast2ptcOptions* options);

// The whole tool: parse, convert, exit; never returns.
[[noreturn]] void rast2ptc_run(int argc, char** argv);

#endif
