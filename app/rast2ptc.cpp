// rast2ptc: option parsing, output naming and the streaming conversion of
// one raster into its RasterPTC copy.
#include "app/rast2ptc.hpp"

#include <algorithm>  // min
#include <cmath>      // std::isfinite
#include <cstdarg>    // va_list for the failure texts
#include <cstdio>     // fprintf, remove, vsnprintf
#include <cstdlib>    // strtol
#include <cstring>    // strcmp
#include <vector>     // the batch buffers

#include "lasio/lasreadopener.hpp"       // LASreadOpener, the input list
#include "raster/lasvlrrasterptc.hpp"  // LASvlrRasterPTC, the copy's geometry
#include "raster/srreader.hpp"         // SRreader, open_raster
#include "raster/srwriter_ptc.hpp"     // SRwriter_ptc
#include "tool/lasmessage.hpp"         // LASMessage, laserror, byebye
#include "tool/kestreltool.hpp"        // KESTREL_MAX_THREADS, kestrel_default_threads
#include "tool/lasutility.hpp"         // seconds_now

namespace {



std::string format_text(const char* format, va_list args) {
  char buffer[2048];
  vsnprintf(buffer, sizeof(buffer), format, args);
  return buffer;
}

// Owns the source reader and the output while a conversion runs, so that
// every failure closes both and removes the partial output before the error
// is reported (the report may end the process).
class Conversion {
 public:
  explicit Conversion(const char* output) : output(output) {}
  ~Conversion() { release(); }

  bool fail(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
  {
    va_list args;
    va_start(args, format);
    const std::string text = format_text(format, args);
    va_end(args);
    // a reader given up on is deleted without the cell count check of close
    delete source;
    source = nullptr;
    release();
    if (writing) {
      remove(output);
      writing = false;
    }
    laserror("%s", text.c_str());
    return false;
  }

  void release() {
    if (writer_open) {
      writer.close();
      writer_open = false;
    }
    if (source != nullptr) {
      source->close(true);
      delete source;
      source = nullptr;
    }
  }

  const char* output;
  SRreader* source = nullptr;
  SRwriter_ptc writer;
  bool writer_open = false;
  bool writing = false;  // the output file exists and is ours to remove
};

}  // namespace

void KestrelTool_rast2ptc::usage() {
  fprintf(stderr, "usage:\n");
  fprintf(stderr, "rast2ptc -i dem.tif\n");
  fprintf(stderr, "rast2ptc -i dem.img -o dem_copy.ptc\n");
  fprintf(stderr, "rast2ptc -i *.asc -odir copies\n");
  fprintf(stderr, "rast2ptc -lof rasters.txt\n");
  fprintf(stderr, "rast2ptc -i dem.tif -point_format 6\n");
  fprintf(stderr, "rast2ptc -h\n");
  fprintf(stderr, "  -point_format n  0 to 10 (default 0); 6 to 10 write LAS 1.4 with layered compression\n");
  fprintf(stderr, "  -threads n       threads that encode the point chunks, 1 to %u (default: the processors\n"
                  "                   this process may use); the copy is the same for any number\n",
          KESTREL_MAX_THREADS);
}

std::string rast2ptc_output_name(const std::string& input, const std::string& directory) {
  return derived_file_name(input, "ptc", directory);
}

bool rast2ptc_convert(const char* input, const char* extension, const char* output, Rast2ptcResult* result,
                      uint8_t point_format, unsigned threads) {
  const double start = seconds_now();
  Conversion c(output);
  if (input == nullptr || output == nullptr) return c.fail("no input or output file name");
  c.source = open_raster(extension, input);
  if (c.source == nullptr) return c.fail("cannot open raster '%s'.", input);
  SRreader* r = c.source;

  if (r->nbands != 1) {
    return c.fail("raster '%s' has %d bands. a RasterPTC copy holds one band only.", input, r->nbands);
  }
  if (!(r->stepx_y == 0.0 && r->stepy_x == 0.0 && r->axis_aligned)) {
    return c.fail("raster '%s' has rotation terms (stepx_y %g, stepy_x %g). a RasterPTC copy cannot hold them.", input,
                  r->stepx_y, r->stepy_x);
  }
  if (r->ncols < 1 || r->nrows < 1) {
    return c.fail("raster '%s' has %d columns and %d rows. nothing to copy.", input, r->ncols, r->nrows);
  }
  if (!(std::isfinite(r->stepx) && r->stepx > 0.0 && std::isfinite(r->stepy) && r->stepy > 0.0 &&
        std::isfinite(r->llx) && std::isfinite(r->lly) && r->llx != SR_NOT_SET && r->lly != SR_NOT_SET)) {
    return c.fail("raster '%s' has no georeferencing (cell size %g x %g, lower left corner %g %g). a RasterPTC copy "
                  "needs it.",
                  input, r->stepx, r->stepy, r->llx, r->lly);
  }
  const int64_t total = r->cell_count();
  if (total > static_cast<int64_t>(UINT32_MAX)) {
    return c.fail("raster '%s' has %lld cells, more than the %u points a LAS 1.2 file counts.", input,
                  static_cast<long long>(total), UINT32_MAX);
  }

  LASvlrRasterPTC geometry;
  geometry.nbands = r->nbands;
  geometry.nbits = r->nbits;
  geometry.ncols = r->ncols;
  geometry.nrows = r->nrows;
  geometry.stepx = r->stepx;
  geometry.stepy = r->stepy;
  geometry.stepx_y = 0.0;
  geometry.stepy_x = 0.0;
  geometry.llx = r->llx;
  geometry.lly = r->lly;
  c.writer.set_threads(threads);
  // z in the source reader's unit, so that the copy delivers the same integers
  if (!c.writer.open(output, geometry, r->scale[0], r->offset[0], PTcomp::COMPRESSOR_POINTWISE_CHUNKED,
                     PTcomp::CHUNK_SIZE_DEFAULT, point_format)) {
    return c.fail("cannot write RasterPTC '%s'.", output);
  }
  c.writer_open = true;
  c.writing = true;

  std::vector<int32_t> values(static_cast<size_t>(std::min(total, SR_CELL_BATCH)));
  std::vector<uint8_t> nodata(values.size());
  int64_t done = 0, value_cells = 0;
  int32_t col = 0, row = 0;
  const int32_t ncols = r->ncols;
  while (done < total) {
    const int64_t n = std::min(total - done, SR_CELL_BATCH);
    const int64_t got = r->read_cells(n, values.data(), nodata.data());
    for (int64_t k = 0; k < got; k++) {
      if (!nodata[k]) {
        if (!c.writer.write_cell(col, row, values[k])) return c.fail("cannot write RasterPTC '%s'.", output);
        value_cells++;
      }
      if (++col == ncols) {
        col = 0;
        row++;
      }
    }
    done += got > 0 ? got : 0;
    if (got < n) {
      return c.fail("cannot read cell %lld (col %d and row %d) of raster '%s'.", static_cast<long long>(done), col,
                    row, input);
    }
  }
  c.writer_open = false;
  if (c.writer.close() < 0) {
    c.writing = true;
    return c.fail("cannot finish RasterPTC '%s'.", output);
  }
  c.writing = false;
  c.release();
  if (result != nullptr) {
    result->value_cells = value_cells;
    result->nodata_cells = total - value_cells;
  }
  LASMessage(LAS_INFO, "wrote '%s' with %lld value and %lld nodata cells. total time %g sec.", output,
             static_cast<long long>(value_cells), static_cast<long long>(total - value_cells), seconds_now() - start);
  return true;
}

bool rast2ptc_parse(int argc, char** argv, Rast2ptcOptions* o) {
  const int64_t errors_before = las_message_count(LAS_ERROR);
  KestrelTool_rast2ptc tool("rast2ptc", argc, argv);
  if (argc <= 1) {
    tool.usage();
    laserror("no input specified");
    return false;
  }
  tool.prepare_arguments();
  o->opener.parse(argc, argv, false, false);
  for (int i = 1; i < argc; i++) {
    char* a = argv[i];
    if (a[0] == '\0') continue;
    if (strcmp(a, "-o") == 0 || strcmp(a, "-odir") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        laserror("'%s' needs 1 argument: %s", a, a[2] == '\0' ? "file name" : "directory");
        return false;
      }
      (a[2] == '\0' ? o->output : o->directory) = argv[i + 1];
      a[0] = '\0';
      argv[++i][0] = '\0';
      continue;
    }
    if (strcmp(a, "-point_format") == 0) {
      const char* value = i + 1 < argc ? argv[i + 1] : "";
      if (value[0] == '\0') {
        laserror("'%s' needs 1 argument: point format", a);
        return false;
      }
      char* end = nullptr;
      const long format = strtol(value, &end, 10);
      if (value[0] < '0' || value[0] > '9' || *end != '\0' || format > 10) {
        laserror("cannot understand argument '%s' for '%s'. point formats are 0 to 10", value, a);
        return false;
      }
      o->point_format = static_cast<uint8_t>(format);
      a[0] = '\0';
      argv[++i][0] = '\0';
      continue;
    }
    if (tool.parse_pre(i, false)) continue;
    if (tool.parse_base(i)) continue;
    tool.usage();
    laserror("cannot understand argument '%s'", a);
    return false;
  }
  o->threads = tool.threads;
  if (tool.cores > 1) LASMessage(LAS_WARNING, "rast2ptc runs on one core. ignoring '-cores %d' ...", tool.cores);
  if (!o->opener.active()) {
    laserror("no input specified");
    return false;
  }
  const unsigned int number = o->opener.get_file_name_number();
  if (!o->output.empty() && number != 1) {
    laserror("'-o' names one output but there are %u inputs. use '-odir' for several ...", number);
    return false;
  }
  return las_message_count(LAS_ERROR) == errors_before;
}

int rast2ptc_convert_files(Rast2ptcOptions* o) {
  const bool halting = do_halt_on_error();
  halt_on_error(false);
  const LASreadOpener& opener = o->opener;
  const unsigned int number = opener.get_file_name_number();
  const unsigned threads = o->threads ? o->threads : kestrel_default_threads();
  const double run_start = seconds_now();
  for (unsigned int i = 0; i < number; i++) {
    const char* input = opener.get_file_name(i);
    const std::string out = o->output.empty() ? rast2ptc_output_name(input, o->directory) : o->output;
    if (out == input) {
      laserror("output '%s' is the input itself. name another output with '-o' or '-odir'.", out.c_str());
      continue;
    }
    rast2ptc_convert(input, opener.get_file_extension_only(i), out.c_str(), nullptr, o->point_format, threads);
  }
  if (number > 1) {
    LASMessage(LAS_INFO, "done with all files. total time for %u files %g sec.", number, seconds_now() - run_start);
  }
  halt_on_error(halting);
  return las_exit_status();
}

void rast2ptc_run(int argc, char** argv) {
  Rast2ptcOptions options;
  if (rast2ptc_parse(argc, argv, &options)) rast2ptc_convert_files(&options);
  byebye();
}
