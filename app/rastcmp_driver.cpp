// The comparison driver: start-up, per-file loop, checks, cell comparison
// and verdict.
#include "app/rastcmp_driver.hpp"

#include <algorithm>  // min
#include <cstdio>     // fprintf, fgets
#include <cstring>    // strlen, strcmp
#include <memory>     // unique_ptr for the batch buffers
#include <string>     // derived ".ptc" name

#include "geo/geoprojectionconverter.hpp"  // GeoProjectionConverter
#include "lasio/lasreadopener.hpp"           // LASreadOpener
#include "raster/srreader.hpp"             // SRreader, open_raster
#include "tool/lasutility.hpp"             // seconds_now
#include "tool/lasmessage.hpp"             // LASMessage, laserror, byebye
#include "fanout/multicore.hpp"              // rastcmp_multi_core
#include "fanout/srwriteopener.hpp"          // SRwriteOpener

namespace {


const char* name_only(const char* name) {
  const char* cut = name;
  for (const char* p = name; *p; p++)
    if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
  return cut;
}


// Fills one batch of cells from a reader. A failed cell is reported and,
// while the run goes on, counted with whatever value the reader holds.
void fill_batch(SRreader* reader, int which, int64_t first, int64_t n, int32_t nrows, int32_t* values,
                uint8_t* nodata) {
  int64_t k = 0;
  while (k < n) {
    k += reader->read_cells(n - k, values + k, nodata + k);
    if (k >= n) break;
    const int64_t cell = first + k;
    const int32_t col = nrows > 0 ? static_cast<int32_t>(cell / nrows) : 0;
    const int32_t row = nrows > 0 ? static_cast<int32_t>(cell % nrows) : 0;
    LASMessage(LAS_ERROR, which == 1 ? "failed to read raster1 at col %d and row %d ..."
                                     : "failed to read raster2 at col %d and row %d ...",
               col, row);
    if (do_halt_on_error()) byebye();
    values[k] = reader->value[0];
    nodata[k] = reader->is_nodata() ? 1 : 0;
    k++;
  }
}

}  // namespace

bool rastcmp_check_raster(const SRreader* r, const char* name) {
  if (r->nbands != 1) {
    laserror("raster '%s' has %d bands. not implemented.", name, r->nbands);
    return false;
  }
  if (r->nbits != 8 && r->nbits != 16 && r->nbits != 32) {
    laserror("raster '%s' has %d bits. not implemented.", name, r->nbits);
    return false;
  }
  if (r->ncols < 1) {
    laserror("raster '%s' has no columns. skipping ...", name);
    return false;
  }
  if (r->nrows < 1) {
    laserror("raster '%s' has no rows. skipping ... ", name);
    return false;
  }
  if (r->llx == -1.0) { laserror("raster has no lower left x info"); return false; }
  if (r->lly == -1.0) { laserror("raster has no lower left y info"); return false; }
  if (r->urx == -1.0) { laserror("raster has no upper right x info"); return false; }
  if (r->ury == -1.0) { laserror("raster has no upper right y info"); return false; }
  if (r->stepx == -1.0) { laserror("raster has no step x info"); return false; }
  if (r->stepy == -1.0) { laserror("raster has no step y info"); return false; }
  if (!(r->stepx_y == 0.0)) {
    laserror("stepx_y of %g not supported", r->stepx_y);
    return false;
  }
  if (!(r->stepy_x == 0.0)) {
    laserror("stepy_x of %g not supported", r->stepy_x);
    return false;
  }
  return true;
}

RastcmpCounts rastcmp_compare_cells(SRreader* raster1, SRreader* raster2) {
  RastcmpCounts c;
  const int64_t total = static_cast<int64_t>(raster1->ncols) * static_cast<int64_t>(raster1->nrows);
  if (total <= 0) return c;
  const int64_t batch = std::min(total, SR_CELL_BATCH);
  std::unique_ptr<int32_t[]> v1(new int32_t[batch]), v2(new int32_t[batch]);
  std::unique_ptr<uint8_t[]> n1(new uint8_t[batch]), n2(new uint8_t[batch]);
  for (int64_t first = 0; first < total; first += batch) {
    const int64_t n = std::min(batch, total - first);
    fill_batch(raster1, 1, first, n, raster1->nrows, v1.get(), n1.get());
    fill_batch(raster2, 2, first, n, raster1->nrows, v2.get(), n2.get());
    // 32-bit sums over one batch (at most 65536 cells) let the loop run
    // on vector registers
    uint32_t diff_nodata = 0, both_nodata = 0, same_value = 0;
    const uint8_t* f1 = n1.get();
    const uint8_t* f2 = n2.get();
    const int32_t* a1 = v1.get();
    const int32_t* a2 = v2.get();
    for (int64_t k = 0; k < n; k++) {
      const uint32_t a = f1[k] != 0, b = f2[k] != 0;
      diff_nodata += a ^ b;
      both_nodata += a & b;
      same_value += (1u - (a | b)) & static_cast<uint32_t>(a1[k] == a2[k]);
    }
    const int64_t values_both = n - diff_nodata - both_nodata;
    c.different_nodata += diff_nodata;
    c.identical_nodata += both_nodata;
    c.identical_value += same_value;
    c.different_value += values_both - same_value;
  }
  return c;
}

void rastcmp_report_verdict(const RastcmpCounts& c) {
  const long long iv = c.identical_value, dv = c.different_value;
  const long long in = c.identical_nodata, dn = c.different_nodata;
  if (dn > 0 && dv > 0) {
    LASMessage(LAS_INFO,
               "rasters are not identical. they have %lld different and %lld identical value cells. they have %lld "
               "different and %lld identical nodata cells.",
               dv, iv, dn, in);
  } else if (dn > 0) {
    LASMessage(LAS_INFO,
               "rasters are nearly identical. both have %lld identical value cells. but they have %lld different and "
               "%lld identical nodata cells.",
               iv, dn, in);
  } else if (dv > 0) {
    LASMessage(LAS_INFO,
               "rasters are not identical. rasters have %lld different and %lld identical value cells. but both have "
               "%lld nodata cells",
               dv, iv, in);
  } else {
    LASMessage(LAS_INFO, "rasters are identical. both have %lld value and %lld nodata cells.", iv, in);
  }
}

void rastcmp_run(int argc, char** argv) {
  KestrelTool_rastcmp tool("rastcmp", argc, argv);
  LASreadOpener opener;
  GeoProjectionConverter converter;
  SRwriteOpener raster_writer;

  if (argc == 1) {
    wait_on_exit(true);
    fprintf(stderr, "%s is better run in the command line\n", argv[0]);
    char name[256];
    for (int k = 0; k < 2; k++) {
      fprintf(stderr, k == 0 ? "enter input file1: " : "enter input file2: ");
      if (fgets(name, sizeof(name), stdin) == nullptr) name[0] = '\0';
      size_t len = strlen(name);
      if (len > 0 && name[len - 1] == '\n') name[--len] = '\0';  // the line end
      if (len > 0 && name[len - 1] == '\r') name[--len] = '\0';
      opener.add_file_name(name, false);
    }
  } else {
    tool.prepare_arguments();
    opener.parse(argc, argv, false, false);
    tool.parse_all();
  }

  if (tool.cores > 1) {
    if (opener.use_stdin) {
      LASMessage(LAS_WARNING, "using stdin. ignoring '-cores %d' ...", tool.cores);
    } else if (opener.get_file_name_number() < 2) {
      LASMessage(LAS_WARNING, "only %u input file(s). ignoring '-cores %d' ...", opener.get_file_name_number(),
                 tool.cores);
    } else if (opener.merged) {
      LASMessage(LAS_WARNING, "input files merged on-the-fly. ignoring '-cores %d' ...", tool.cores);
    } else {
      rastcmp_multi_core(argc, argv, &converter, &opener, &raster_writer, tool.cores, tool.cpu64);
    }
  }
  if (tool.cpu64) {
    rastcmp_multi_core(argc, argv, &converter, &opener, &raster_writer, tool.cores, true);
  }
  if (!opener.active()) laserror("no input specified");

  const double run_start = seconds_now();
  const unsigned int number = opener.get_file_name_number();
  const bool pair = number == 2;
  for (unsigned int i = 0; i < number; i++) {
    const double start = seconds_now();
    const unsigned int first_index = i;
    SRreader* raster1 = open_raster(opener.get_file_extension_only(i), opener.get_file_name(i));
    if (raster1 == nullptr) {
      laserror("cannot open raster1 with file name '%s'.", opener.get_file_name_only(i));
      break;
    }
    if (!rastcmp_check_raster(raster1, opener.get_file_name_only(i))) {
      delete raster1;
      break;
    }
    SRreader* raster2 = nullptr;
    std::string second_name;
    if (pair) {
      i++;
      second_name = opener.get_file_name_only(i);
      raster2 = open_raster(opener.get_file_extension_only(i), opener.get_file_name(i));
    } else {
      const char* ext = opener.get_file_extension_only(i);
      if (ext != nullptr && (strcmp(ext, "ptc") == 0 || strcmp(ext, "PTC") == 0)) {
        laserror("if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not in PTC format");
        raster1->close(true);
        delete raster1;
        break;
      }
      std::string copy = opener.get_file_name(i);
      if (copy.size() >= 3) copy.replace(copy.size() - 3, 3, "ptc");
      second_name = name_only(copy.c_str());
      raster2 = open_raster("ptc", copy.c_str());
    }
    if (raster2 == nullptr) {
      laserror("cannot open raster1 with file name '%s'.", second_name.c_str());
      raster1->close(true);
      delete raster1;
      break;
    }
    if (!rastcmp_check_raster(raster2, second_name.c_str())) {
      delete raster2;
      raster1->close(true);
      delete raster1;
      break;
    }
    // With halting off the comparison goes on after a size error; the
    // error count still makes the exit status 3.
    if (raster1->ncols != raster2->ncols) {
      laserror("rasters have different ncols of %d and %d. difference too big ... ", raster1->ncols, raster2->ncols);
    }
    if (raster1->nrows != raster2->nrows) {
      laserror("rasters have different nrows of %d and %d. difference too big ... ", raster1->nrows, raster2->nrows);
    }
    if (raster1->nbits != raster2->nbits) {
      LASMessage(LAS_WARNING, "rasters have different nbits of %d and %d", raster1->nbits, raster2->nbits);
    }
    const RastcmpCounts counts = rastcmp_compare_cells(raster1, raster2);
    rastcmp_report_verdict(counts);
    raster1->close(true);
    delete raster1;
    raster2->close(true);
    delete raster2;
    LASMessage(LAS_INFO, "done with '%s'. total time %g sec.", opener.get_file_name(first_index),
               seconds_now() - start);
    raster_writer.set_file_name(nullptr);
  }

  if (number > 1 && !opener.merged) {
    LASMessage(LAS_INFO, "done with all files. total time for %u files %g sec.", number, seconds_now() - run_start);
  }
  byebye();
}

void KestrelTool_rastcmp::usage() {
  fprintf(stderr, "usage:\n");
  fprintf(stderr, "rastcmp -i dem.tif -i dem.ptc\n");
  fprintf(stderr, "rastcmp -i dem.img -i dem.ptc\n");
  fprintf(stderr, "rastcmp -i dem.asc -i dem.ptc\n");
  fprintf(stderr, "rastcmp -i dem.bil -i dem.ptc\n");
  fprintf(stderr, "rastcmp -i dem1.ptc -i dem2.ptc\n");
  fprintf(stderr, "rastcmp -i *.tif\n");
  fprintf(stderr, "rastcmp -i *.img\n");
  fprintf(stderr, "rastcmp -i *.asc\n");
  fprintf(stderr, "rastcmp -i *.bil\n");
}
