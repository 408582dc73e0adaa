// rastcmp: compares two elevation rasters cell by cell. The command line:
// parse (or ask), fan out or not, compare pair by pair, report, exit.
#include <cstdio>   // fprintf, fgets
#include <cstring>  // strlen, strcmp
#include <memory>   // the converters and readers of a pair
#include <string>   // the RasterPTC copy's name

#include "app/rastcmp.hpp"       // rastcmp_parse and the comparison pieces
#include "app/rastcmp_report.hpp"  // RastcmpReport: notes, statistics, outputs, JSON
#include "fanout/multicore.hpp"  // rastcmp_multi_core
#include "raster/srreader.hpp"   // SRreader
#include "tool/lasmessage.hpp"   // LASMessage, laserror, wait_on_exit, byebye
#include "tool/lasutility.hpp"   // seconds_now, file_name_only

namespace {

// Started without arguments (as from a file manager): asks for the two
// names and waits for ENTER before the process ends.
void ask_for_files(const char* program, LASreadOpener* opener) {
  wait_on_exit(true);
  fprintf(stderr, "%s is better run in the command line\n", program);
  char name[256];
  for (int k = 0; k < 2; k++) {
    fprintf(stderr, k == 0 ? "enter input file1: " : "enter input file2: ");
    if (fgets(name, sizeof(name), stdin) == nullptr) name[0] = '\0';
    size_t len = strlen(name);
    if (len > 0 && name[len - 1] == '\n') name[--len] = '\0';  // the line end
    if (len > 0 && name[len - 1] == '\r') name[--len] = '\0';
    opener->add_file_name(name, false);
  }
}

// "-cores n" and "-cpu64" hand the run to one child per input and end the
// process there; "-cores" is ignored (with a warning) where it cannot apply.
void fan_out_when_asked(int argc, char** argv, RastcmpOptions* o) {
  LASreadOpener& opener = o->opener;
  std::string report = rastcmp_report_unparse(o->report);
  report += (report.empty() ? "" : " ") + o->threads_text;
  if (o->cores > 1) {
    if (opener.use_stdin) {
      LASMessage(LAS_WARNING, "using stdin. ignoring '-cores %d' ...", o->cores);
    } else if (opener.get_file_name_number() < 2) {
      LASMessage(LAS_WARNING, "only %u input file(s). ignoring '-cores %d' ...", opener.get_file_name_number(),
                 o->cores);
    } else if (opener.merged) {
      LASMessage(LAS_WARNING, "input files merged on-the-fly. ignoring '-cores %d' ...", o->cores);
    } else {
      rastcmp_multi_core(argc, argv, &o->converter, &opener, &o->raster_writer, o->cores, o->cpu64, report);
    }
  }
  if (o->cpu64) rastcmp_multi_core(argc, argv, &o->converter, &opener, &o->raster_writer, o->cores, true, report);
}

bool is_ptc(const char* extension) {
  return extension != nullptr && (strcmp(extension, "ptc") == 0 || strcmp(extension, "PTC") == 0);
}

// The raster compared with input *i: the next input of a pair (moving *i
// on), or else the RasterPTC copy beside input *i. Null after the error.
SRreader* open_second(const LASreadOpener& opener, unsigned int* i, bool pair, GeoProjectionConverter* crs,
                      unsigned int threads) {
  if (pair) {
    ++*i;
    return rastcmp_open_raster(opener.get_file_extension_only(*i), opener.get_file_name(*i),
                               opener.get_file_name_only(*i), crs, threads);
  }
  if (is_ptc(opener.get_file_extension_only(*i))) {
    laserror("if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not in PTC format");
    return nullptr;
  }
  const std::string copy = rastcmp_copy_name(opener.get_file_name(*i));
  return rastcmp_open_raster("ptc", copy.c_str(), file_name_only(copy.c_str()), crs, threads);
}

// Compares input *i with its partner and reports the verdict. False (after
// the error, when errors do not halt) when the run stops at this input.
bool compare_input(const RastcmpOptions& options, unsigned int* i, bool pair) {
  const LASreadOpener& opener = options.opener;
  const double start = seconds_now();
  const unsigned int first = *i;
  // the converters outlive the readers that point to them; a second pass
  // opens the pair with fresh ones and does not repeat the note
  std::unique_ptr<GeoProjectionConverter> crs1, crs2;
  bool noted = false;
  const RastcmpPairOpener open = [&](std::unique_ptr<SRreader>* raster1, std::unique_ptr<SRreader>* raster2,
                                     std::string* note) {
    *i = first;
    crs1 = rastcmp_new_converter();
    crs2 = rastcmp_new_converter();
    raster1->reset(rastcmp_open_raster(opener.get_file_extension_only(first), opener.get_file_name(first),
                                       opener.get_file_name_only(first), crs1.get(), options.threads));
    if (!*raster1) return false;
    raster2->reset(open_second(opener, i, pair, crs2.get(), options.threads));
    if (!*raster2) {
      rastcmp_release(raster1->release());
      return false;
    }
    // with halting off a size error lets the comparison go on; the error
    // count still makes the exit status 3
    rastcmp_check_sizes(raster1->get(), raster2->get());
    const std::string name2 = pair ? opener.get_file_name(*i) : rastcmp_copy_name(opener.get_file_name(first));
    if (!noted) {
      *note = rastcmp_report_coordinate_systems(*crs1, opener.get_file_name_only(first), *crs2,
                                                file_name_only(name2.c_str()));
    }
    noted = true;
    return true;
  };
  const std::string name2 = pair ? opener.get_file_name(first + 1) : rastcmp_copy_name(opener.get_file_name(first));
  RastcmpCounts counts;
  if (rastcmp_compare_pair(open, options.report, opener.get_file_name(first), name2.c_str(), start, true, &counts) ==
      RastcmpPairResult::kNotOpened) {
    return false;
  }
  LASMessage(LAS_INFO, "done with '%s'. total time %g sec.", opener.get_file_name(first), seconds_now() - start);
  return true;
}

// Two inputs are a pair; any other number compares each input with its
// RasterPTC copy.
void compare_inputs(const RastcmpOptions& options) {
  const LASreadOpener& opener = options.opener;
  const double run_start = seconds_now();
  const unsigned int number = opener.get_file_name_number();
  for (unsigned int i = 0; i < number; i++) {
    if (!compare_input(options, &i, number == 2)) break;
  }
  if (number > 1 && !opener.merged) {
    LASMessage(LAS_INFO, "done with all files. total time for %u files %g sec.", number, seconds_now() - run_start);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RastcmpOptions options;
  if (argc == 1) {
    ask_for_files(argv[0], &options.opener);
  } else {
    // an error comes back only under -errors_ignore, and the run goes on
    rastcmp_parse(argc, argv, &options);
  }
  const unsigned int files = options.opener.get_file_name_number();
  rastcmp_report_prepare(options.report, files == 2 ? 1 : files);
  fan_out_when_asked(argc, argv, &options);
  if (!options.opener.active()) laserror("no input specified");
  compare_inputs(options);
  byebye();
}
