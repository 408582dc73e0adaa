// rastcmp's library side: option parsing, the raster and size checks, the
// cell comparison, the verdict and the comparison of one pair.
#include "app/rastcmp.hpp"

#include <algorithm>  // min
#include <cstdio>     // fprintf
#include <memory>     // unique_ptr for the batch buffers and the readers

#include "app/rastcmp_report.hpp"  // RastcmpReport, rastcmp_report_parse
#include "raster/srreader.hpp"   // SRreader, open_raster, SR_CELL_BATCH
#include "tool/kestreltool.hpp"  // KestrelTool, the common options
#include "tool/lasmessage.hpp"   // LASMessage, laserror, halting on errors
#include "tool/lasutility.hpp"   // file_name_only, file_extension_only, seconds_now

namespace {

// The common options with rastcmp's usage text.
class RastcmpTool : public KestrelTool {
 public:
  using KestrelTool::KestrelTool;
  void usage() override;
};

void RastcmpTool::usage() {
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
  fprintf(stderr, "more options:\n");
  fprintf(stderr, "  -v                         also difference statistics and the first 10 differing cells\n");
  fprintf(stderr, "  -list_differences n        lists the first n differing cells\n");
  fprintf(stderr, "                             rastcmp -i a.tif -i b.tif -list_differences 20\n");
  fprintf(stderr, "  -diff_raster out.tif       writes b - a and a class per cell as a GeoTIFF\n");
  fprintf(stderr, "                             rastcmp -i a.tif -i b.tif -diff_raster diff.tif\n");
  fprintf(stderr, "  -diff_picture out.png      paints the differences into a PNG picture\n");
  fprintf(stderr, "                             rastcmp -i a.tif -i b.tif -diff_picture diff.png\n");
  fprintf(stderr, "  -json                      one JSON line per comparison on stdout\n");
  fprintf(stderr, "                             rastcmp -i *.tif -json -cores 4 > report.jsonl\n");
  fprintf(stderr, "  with more than one comparison -diff_raster and -diff_picture name a folder:\n");
  fprintf(stderr, "                             rastcmp -i *.tif -diff_raster diffs -diff_picture diffs\n");
  fprintf(stderr, "  coordinate systems: GeoTIFF, IMG and PTC rasters carry one. when both rasters of a pair have\n");
  fprintf(stderr, "  one and they differ (projection, its parameters, GCS or horizontal units), an INFO line\n");
  fprintf(stderr, "  says so before the verdict, which it does not change. -v names each raster's system.\n");
  fprintf(stderr, "  -threads n                 decodes RasterPTC chunks on n threads (default: every processor;\n");
  fprintf(stderr, "                             1 in each child of -cores unless given)\n");
  fprintf(stderr, "  -keep_class 2 8, -drop_z_below 0, ... (point filters, listed by -hh) are checked and\n");
  fprintf(stderr, "                             passed on to the children of -cores, never applied to raster cells\n");
}

// Fills one batch of cells from a reader. A failed cell is reported and,
// while the run goes on, counted with whatever value the reader holds.
// Returns the number of failed cells.
int64_t fill_batch(SRreader* reader, int which, int64_t first, int64_t n, int32_t ncols, int32_t* values,
                   uint8_t* nodata) {
  int64_t k = 0, failed = 0;
  while (k < n) {
    k += reader->read_cells(n - k, values + k, nodata + k);
    if (k >= n || reader->needs_second_pass()) break;
    const int64_t cell = first + k;
    // cells come row by row
    const int32_t col = ncols > 0 ? static_cast<int32_t>(cell % ncols) : 0;
    const int32_t row = ncols > 0 ? static_cast<int32_t>(cell / ncols) : 0;
    LASMessage(LAS_ERROR,
               which == 1 ? "failed to read raster1 at col %d and row %d ..."
                          : "failed to read raster2 at col %d and row %d ...",
               col, row);
    if (do_halt_on_error()) byebye();
    values[k] = reader->value[0];
    nodata[k] = reader->is_nodata() ? 1 : 0;
    k++;
    failed++;
  }
  return failed;
}

// Switches halting on errors off for its lifetime, so that laserror comes
// back to the caller, and then restores the previous setting.
class ErrorsComeBack {
 public:
  ErrorsComeBack() : halted_(do_halt_on_error()) { halt_on_error(false); }
  ~ErrorsComeBack() { halt_on_error(halted_); }
  ErrorsComeBack(const ErrorsComeBack&) = delete;
  ErrorsComeBack& operator=(const ErrorsComeBack&) = delete;

 private:
  bool halted_;
};

}  // namespace

bool rastcmp_parse(int argc, char** argv, RastcmpOptions* options) {
  const int64_t errors_before = las_message_count(LAS_ERROR);
  RastcmpTool tool("rastcmp", argc, argv);
  tool.prepare_arguments();
  options->opener.parse(argc, argv, false, false);
  rastcmp_report_parse(argc, argv, &options->report);
  tool.parse_all();
  options->cores = tool.cores;
  options->threads = tool.chunk_threads();
  options->threads_text = tool.threads_for_children();
  options->cpu64 = tool.cpu64;
  return las_message_count(LAS_ERROR) == errors_before;
}

int rastcmp_compare_files(const char* a, const char* b, const RastcmpOptions& options, RastcmpCounts* counts) {
  const double start = seconds_now();
  const ErrorsComeBack errors_come_back;
  const int64_t errors_before = las_message_count(LAS_ERROR);
  *counts = RastcmpCounts();
  // the converters outlive the readers that point to them; a second pass
  // opens the pair with fresh ones and does not repeat the note
  std::unique_ptr<GeoProjectionConverter> crs1, crs2;
  bool noted = false;
  const RastcmpPairOpener open = [&](std::unique_ptr<SRreader>* raster1, std::unique_ptr<SRreader>* raster2,
                                     std::string* note) {
    crs1 = rastcmp_new_converter();
    crs2 = rastcmp_new_converter();
    raster1->reset(rastcmp_open_raster(file_extension_only(a), a, file_name_only(a), crs1.get(), options.threads));
    if (!*raster1) return false;
    raster2->reset(rastcmp_open_raster(file_extension_only(b), b, file_name_only(b), crs2.get(), options.threads));
    if (!*raster2 || !rastcmp_check_sizes(raster1->get(), raster2->get())) return false;
    if (!noted) *note = rastcmp_report_coordinate_systems(*crs1, file_name_only(a), *crs2, file_name_only(b));
    noted = true;
    return true;
  };
  RastcmpCounts compared;
  if (rastcmp_compare_pair(open, options.report, a, b, start, false, &compared) != RastcmpPairResult::kCompared) {
    return 3;
  }
  // a reader may report a bad stretch of its file and still deliver cells
  if (compared.failed_reads > 0 || las_message_count(LAS_ERROR) > errors_before) return 3;
  *counts = compared;
  return 0;
}

RastcmpPairResult rastcmp_compare_pair(const RastcmpPairOpener& open, const RastcmpReportOptions& options,
                                       const char* name1, const char* name2, double start, bool verdict,
                                       RastcmpCounts* counts) {
  bool collect1 = false, collect2 = false;
  std::string note;
  for (int pass = 1;; pass++) {
    // a raster that was never read is deleted without the cell count check
    std::unique_ptr<SRreader> raster1, raster2;
    if (!open(&raster1, &raster2, &note)) return RastcmpPairResult::kNotOpened;
    if (collect1) raster1->collect_all_cells_first();
    if (collect2) raster2->collect_all_cells_first();
    RastcmpReport report(options);
    if (!report.begin(raster1.get(), raster2.get(), name1, name2)) return RastcmpPairResult::kNotOpened;
    if (!note.empty()) report.add_note(note, true);
    *counts = rastcmp_compare_cells(raster1.get(), raster2.get(), report.sink());
    if (counts->second_pass && pass == 1) {
      collect1 = raster1->needs_second_pass();
      collect2 = raster2->needs_second_pass();
      continue;
    }
    if (counts->second_pass) {
      // a reader that collects all its points first has nothing to take back
      LASMessage(LAS_ERROR, "'%s' and '%s' could not be compared in a second pass", name1, name2);
      counts->failed_reads++;
    }
    if (verdict) rastcmp_report_verdict(*counts);
    rastcmp_release(raster1.release());
    rastcmp_release(raster2.release());
    if (!report.finish(*counts, seconds_now() - start)) return RastcmpPairResult::kNotReported;
    return RastcmpPairResult::kCompared;
  }
}

SRreader* rastcmp_open_raster(const char* extension, const char* file_name, const char* shown,
                              GeoProjectionConverter* converter, unsigned int threads) {
  SRreader* raster = open_raster(extension, file_name, converter);
  if (raster == nullptr) {
    laserror("cannot open raster1 with file name '%s'.", shown);
    return nullptr;
  }
  raster->set_threads(threads);
  if (!rastcmp_check_raster(raster, shown)) {
    delete raster;
    return nullptr;
  }
  return raster;
}

std::unique_ptr<GeoProjectionConverter> rastcmp_new_converter() {
  std::unique_ptr<GeoProjectionConverter> converter = std::make_unique<GeoProjectionConverter>();
  converter->quiet = true;
  return converter;
}

std::string rastcmp_report_coordinate_systems(const GeoProjectionConverter& first, const char* first_name,
                                       const GeoProjectionConverter& second, const char* second_name) {
  for (const auto& [crs, name] : {std::make_pair(&first, first_name), std::make_pair(&second, second_name)}) {
    if (crs->has_projection(true)) {
      LASMessage(LAS_VERBOSE, "coordinate system of '%s': %s", name, crs->describe_coordinate_system().c_str());
    } else {
      LASMessage(LAS_VERBOSE, "coordinate system of '%s': none", name);
    }
  }
  const std::string note = geo_coordinate_system_note(first, second);
  if (!note.empty()) LASMessage(LAS_INFO, "%s", note.c_str());
  return note;
}

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
  if (r->llx == -1.0) {
    laserror("raster has no lower left x info");
    return false;
  }
  if (r->lly == -1.0) {
    laserror("raster has no lower left y info");
    return false;
  }
  if (r->urx == -1.0) {
    laserror("raster has no upper right x info");
    return false;
  }
  if (r->ury == -1.0) {
    laserror("raster has no upper right y info");
    return false;
  }
  if (r->stepx == -1.0) {
    laserror("raster has no step x info");
    return false;
  }
  if (r->stepy == -1.0) {
    laserror("raster has no step y info");
    return false;
  }
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

bool rastcmp_check_sizes(const SRreader* raster1, const SRreader* raster2) {
  bool same = true;
  if (raster1->ncols != raster2->ncols) {
    laserror("rasters have different ncols of %d and %d. difference too big ... ", raster1->ncols, raster2->ncols);
    same = false;
  }
  if (raster1->nrows != raster2->nrows) {
    laserror("rasters have different nrows of %d and %d. difference too big ... ", raster1->nrows, raster2->nrows);
    same = false;
  }
  if (raster1->nbits != raster2->nbits) {
    LASMessage(LAS_WARNING, "rasters have different nbits of %d and %d", raster1->nbits, raster2->nbits);
  }
  return same;
}

RastcmpCounts rastcmp_compare_cells(SRreader* raster1, SRreader* raster2, RastcmpCellSink* sink) {
  RastcmpCounts c;
  const int64_t total = static_cast<int64_t>(raster1->ncols) * static_cast<int64_t>(raster1->nrows);
  if (total <= 0) return c;
  const int64_t batch = std::min(total, SR_CELL_BATCH);
  std::unique_ptr<int32_t[]> v1(new int32_t[batch]), v2(new int32_t[batch]);
  std::unique_ptr<uint8_t[]> n1(new uint8_t[batch]), n2(new uint8_t[batch]);
  for (int64_t first = 0; first < total; first += batch) {
    const int64_t n = std::min(batch, total - first);
    c.failed_reads += fill_batch(raster1, 1, first, n, raster1->ncols, v1.get(), n1.get());
    c.failed_reads += fill_batch(raster2, 2, first, n, raster1->ncols, v2.get(), n2.get());
    if (raster1->needs_second_pass() || raster2->needs_second_pass()) {
      c.second_pass = true;
      return c;
    }
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
    if (sink) {
      RastcmpBatch b;
      b.first = first;
      b.n = n;
      b.values1 = a1;
      b.nodata1 = f1;
      b.values2 = a2;
      b.nodata2 = f2;
      b.both_values = values_both;
      b.differing = diff_nodata + (values_both - same_value);
      sink->take(b);
    }
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

void rastcmp_release(SRreader* raster) {
  raster->close(true);
  delete raster;
}

std::string rastcmp_copy_name(const char* file_name) {
  std::string copy = file_name;
  if (copy.size() >= 3) copy.replace(copy.size() - 3, 3, "ptc");
  return copy;
}
