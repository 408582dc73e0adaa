// rastcmp: compares two elevation rasters cell by cell. The library side of
// the tool: options from the command line, one pair compared to a status
// and counts, and the pieces the command line (rastcmp_main.cpp) strings
// together for its per-file loop.
#ifndef APP_RASTCMP_HPP
#define APP_RASTCMP_HPP

#include <cstdint>  // int64_t counters
#include <string>   // the RasterPTC copy's name

#include "fanout/srwriteopener.hpp"        // SRwriteOpener, handed to children
#include "geo/geoprojectionconverter.hpp"  // GeoProjectionConverter, handed to children
#include "lasio/lasreadopener.hpp"         // LASreadOpener, the input files

class SRreader;

// What the command line decides for a comparison run.
struct RastcmpOptions {
  LASreadOpener opener;              // the inputs ("-i", "-lof", "-merged", ...)
  GeoProjectionConverter converter;  // unit options passed on to children
  SRwriteOpener raster_writer;       // output naming passed on to children
  int cores = 1;                     // "-cores n"
  bool cpu64 = false;                // "-cpu64"
};

struct RastcmpCounts {
  int64_t identical_value = 0;
  int64_t different_value = 0;
  int64_t identical_nodata = 0;
  int64_t different_nodata = 0;
  int64_t failed_reads = 0;  // cells a reader could not deliver (counted anyway)
};

// Takes the arguments after the program name: the message options first,
// then the inputs, then the common options (-h and -version end the
// process there). False when an error was reported; with halting on
// errors that error has already ended the process.
bool rastcmp_parse(int argc, char** argv, RastcmpOptions* options);

// Opens, checks, compares and closes one pair with halting on errors off
// (restored before returning). 0 when both rasters were read and compared
// (the counts filled in), 3 when a file could not be opened, checked or
// read, or the sizes differ (the counts left at zero). No verdict message;
// `options` adds nothing to a single comparison.
int rastcmp_compare_files(const char* a, const char* b, const RastcmpOptions& options, RastcmpCounts* counts);

// The pieces.

// Opens the raster for `extension` and checks it; `shown` names it in the
// messages. A converter, when given, receives the raster's coordinate
// system and must outlive the reader. Null (after the error) when it
// cannot be opened or checked.
SRreader* rastcmp_open_raster(const char* extension, const char* file_name, const char* shown,
                              GeoProjectionConverter* converter = nullptr);

// A converter for one raster's coordinate system: quiet, since codes it
// cannot look up must not change a comparison's exit status.
void rastcmp_prepare_converter(GeoProjectionConverter* converter);

// At -v one line per raster with its coordinate system; when both have one
// and they differ, the INFO note of geo_coordinate_system_note. Neither
// changes the verdict or the exit status.
void rastcmp_report_coordinate_systems(const GeoProjectionConverter& first, const char* first_name,
                                       const GeoProjectionConverter& second, const char* second_name);

// The raster checks; false (after laserror returned) when one failed.
bool rastcmp_check_raster(const SRreader* raster, const char* name_only);

// The size checks of a pair: errors for different ncols or nrows (false),
// a warning for different nbits.
bool rastcmp_check_sizes(const SRreader* raster1, const SRreader* raster2);

// Compares every cell of the first raster's size; read failures are
// reported as "failed to read raster..." errors.
RastcmpCounts rastcmp_compare_cells(SRreader* raster1, SRreader* raster2);

// Issues the verdict message for the counts.
void rastcmp_report_verdict(const RastcmpCounts& counts);

// Closes a raster (with its cell count check) and deletes it.
void rastcmp_release(SRreader* raster);

// The RasterPTC copy compared with a raster in batch mode: the name with
// its last three characters replaced by "ptc".
std::string rastcmp_copy_name(const char* file_name);

#endif
