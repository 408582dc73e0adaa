// rastcmp: compares two elevation rasters cell by cell. The library side of
// the tool: options from the command line, one pair compared to a status
// and counts, and the pieces the command line (rastcmp_main.cpp) strings
// together for its per-file loop.
#ifndef APP_RASTCMP_HPP
#define APP_RASTCMP_HPP

#include <cstdint>     // int64_t counters
#include <functional>  // RastcmpPairOpener
#include <memory>      // unique_ptr readers
#include <string>      // the RasterPTC copy's name

#include "fanout/srwriteopener.hpp"        // SRwriteOpener, handed to children
#include "geo/geoprojectionconverter.hpp"  // GeoProjectionConverter, handed to children
#include "lasio/lasreadopener.hpp"         // LASreadOpener, the input files
#include "app/rastcmp_options.hpp"         // RastcmpReportOptions: statistics, lists, outputs

class SRreader;

// What the command line decides for a comparison run.
struct RastcmpOptions {
  LASreadOpener opener;              // the inputs ("-i", "-lof", "-merged", ...)
  GeoProjectionConverter converter;  // unit options passed on to children
  SRwriteOpener raster_writer;       // output naming passed on to children
  int cores = 1;                     // "-cores n"
  unsigned int threads = 1;          // "-threads n": decoding threads of a RasterPTC reader
  std::string threads_text;          // "-threads n" for the children of "-cores"
  bool cpu64 = false;                // "-cpu64"
  RastcmpReportOptions report;       // "-json", "-list_differences n", "-diff_raster", "-diff_picture"
};

struct RastcmpCounts {
  int64_t identical_value = 0;
  int64_t different_value = 0;
  int64_t identical_nodata = 0;
  int64_t different_nodata = 0;
  int64_t failed_reads = 0;  // cells a reader could not deliver (counted anyway)
  bool second_pass = false;  // a reader stopped short and asks to start over
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
// messages; a RasterPTC raster decodes on `threads` threads. A converter, when given, receives the raster's coordinate
// system and must outlive the reader. Null (after the error) when it
// cannot be opened or checked.
SRreader* rastcmp_open_raster(const char* extension, const char* file_name, const char* shown,
                              GeoProjectionConverter* converter = nullptr, unsigned int threads = 1);

// A converter for one raster's coordinate system: quiet, since codes it
// cannot look up must not change a comparison's exit status.
std::unique_ptr<GeoProjectionConverter> rastcmp_new_converter();

// At -v one line per raster with its coordinate system; when both have one
// and they differ, the INFO note of geo_coordinate_system_note, which it
// also returns (empty: no note) for the report. Neither changes the verdict
// or the exit status.
std::string rastcmp_report_coordinate_systems(const GeoProjectionConverter& first, const char* first_name,
                                       const GeoProjectionConverter& second, const char* second_name);

// The raster checks; false (after laserror returned) when one failed.
bool rastcmp_check_raster(const SRreader* raster, const char* name_only);

// The size checks of a pair: errors for different ncols or nrows (false),
// a warning for different nbits.
bool rastcmp_check_sizes(const SRreader* raster1, const SRreader* raster2);

// One batch of compared cells as the comparison loop sees it.
struct RastcmpBatch {
  int64_t first = 0;  // row-major number of the batch's first cell
  int64_t n = 0;
  const int32_t* values1 = nullptr;
  const uint8_t* nodata1 = nullptr;  // non-zero where raster1 has no data
  const int32_t* values2 = nullptr;
  const uint8_t* nodata2 = nullptr;
  int64_t both_values = 0;  // cells where both have values
  int64_t differing = 0;    // cells that differ in value or in nodata
};

// Takes every batch after it was counted (one call per batch).
class RastcmpCellSink {
 public:
  virtual ~RastcmpCellSink() = default;
  virtual void take(const RastcmpBatch& batch) = 0;
};

// Compares every cell of the first raster's size; read failures are
// reported as "failed to read raster..." errors with the cell's column and
// row. A sink, when given, sees every batch.
RastcmpCounts rastcmp_compare_cells(SRreader* raster1, SRreader* raster2, RastcmpCellSink* sink = nullptr);

// Opens a pair into raster1 and raster2 and may set a note for the report
// (the coordinate systems differ); false after the error.
using RastcmpPairOpener =
    std::function<bool(std::unique_ptr<SRreader>* raster1, std::unique_ptr<SRreader>* raster2, std::string* note)>;

// What happened to a pair compared by rastcmp_compare_pair.
enum class RastcmpPairResult { kCompared, kNotOpened, kNotReported };

// Opens the pair, compares it into a report of `options`, issues the
// verdict (when asked), releases both rasters and finishes the report. When a reader
// asks for a second pass (a RasterPTC copy whose points came back to cells
// it had delivered already), the pair is opened anew, that reader collects
// all its points before its first cell, and the comparison starts over, so
// that the verdict does not depend on the order of the points.
RastcmpPairResult rastcmp_compare_pair(const RastcmpPairOpener& open, const RastcmpReportOptions& options,
                                       const char* name1, const char* name2, double start, bool verdict,
                                       RastcmpCounts* counts);

// Issues the verdict message for the counts.
void rastcmp_report_verdict(const RastcmpCounts& counts);

// Closes a raster (with its cell count check) and deletes it.
void rastcmp_release(SRreader* raster);

// The RasterPTC copy compared with a raster in batch mode: the name with
// its last three characters replaced by "ptc".
std::string rastcmp_copy_name(const char* file_name);

#endif
