// ptcconv: compresses LAS files into PTC files and decompresses PTC files
// into LAS files. The output's extension decides the direction; points of
// every format 0 to 10 and all their fields carry over unchanged, as do the
// header, the VLRs and the EVLRs, except for the records that describe the
// old file's storage (compressor settings, spatial index, COPC hierarchy)
// and the counts and bounding box, which are those of the points written.
// The library side of the tool; ptcconv_main.cpp only hands argv over.
#ifndef APP_PTCCONV_HPP
#define APP_PTCCONV_HPP

#include <cstdint>  // item version, chunk size
#include <string>   // output names

#include "lasio/lasreadopener.hpp"  // LASreadOpener, the inputs
#include "ptcomp/ptcomp.hpp"        // PTcomp::CHUNK_SIZE_DEFAULT
#include "tool/kestreltool.hpp"     // KestrelTool

class LASreaderLAS;

class KestrelTool_ptcconv : public KestrelTool {
 public:
  using KestrelTool::KestrelTool;
  void usage() override;
};

// What the command line decides.
struct PtcconvOptions {
  LASreadOpener opener;   // the inputs ("-i", "-lof") and their filter, transform and area
  std::string output;     // "-o": the one output
  std::string directory;  // "-odir": where derived outputs go
  std::string format;     // "-olas" / "-optc": the extension of derived outputs ("" toggles)
  uint16_t item_version = 0;  // "-item_version": 0 for the default of the point format
  uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT;  // "-chunk_size"
  bool index = false;  // "-index": store a spatial index with every output
  unsigned int threads = 1;  // "-threads n": threads that decode and encode chunks
};

// Takes the arguments after the program name: message options, the read
// opener's input options, the tool's own options and the common options
// (-h and -version end the process there). False when an error was
// reported; with halting on errors that error has already ended the process.
bool ptcconv_parse(int argc, char** argv, PtcconvOptions* options);

// The output of `input`: the "-o" name, or the input's name with the other
// extension (".las" for a PTC input, ".ptc" otherwise, or the "-olas" /
// "-optc" choice), in "-odir" when given.
std::string ptcconv_output_name(const char* input, const PtcconvOptions& options);

// Writes every point `reader` delivers into `output`, compressed when the
// output ends in ".ptc". Halting on errors must be off. False after an
// ERROR; a partly written output is removed.
bool ptcconv_convert(LASreaderLAS* reader, const char* output, const PtcconvOptions& options);

// Converts every input with halting on errors off (restored before
// returning); a failed input does not stop the others. Returns the exit
// status the messages call for (3 when an input failed).
int ptcconv_run(PtcconvOptions* options);

#endif
