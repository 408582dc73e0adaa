// ptcconv: option parsing, output naming and the conversion of one point
// file into the other storage.
#include "app/ptcconv.hpp"

#include <strings.h>   // strcasecmp
#include <sys/stat.h>  // stat, the same-file test

#include <cerrno>   // errno of strtoull
#include <cstdio>   // fprintf, remove
#include <cstdlib>  // strtoull
#include <cstring>  // strcmp, memcpy
#include <memory>   // unique_ptr of each reader

#include "filter/lastransform.hpp"  // LAStransform, the offset adjustment
#include "las/lasheader.hpp"       // LASheader and its records
#include "lasio/lasindexfile.hpp"  // index_point_file, lax_file_name
#include "lasio/lasreaderlas.hpp"  // LASreaderLAS
#include "lasio/laswriterlas.hpp"  // LASwriterLAS
#include "tool/lasmessage.hpp"     // LASMessage, laserror, halt_on_error
#include "tool/lasutility.hpp"     // derived_file_name, seconds_now

namespace {

bool ends_with(const std::string& name, const char* extension) {
  const size_t n = strlen(extension);
  return name.size() > n && strcasecmp(name.c_str() + name.size() - n, extension) == 0;
}

// Reads the value of option argv[i] as a whole number within [low, high]
// and blanks both arguments.
bool take_number(int& i, int argc, char** argv, const char* what, uint64_t low, uint64_t high, uint64_t* value) {
  const char* option = argv[i];
  if (i + 1 >= argc || argv[i + 1][0] == '\0') {
    laserror("'%s' needs 1 argument: %s", option, what);
    return false;
  }
  const char* text = argv[i + 1];
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = strtoull(text, &end, 10);
  if (text[0] < '0' || text[0] > '9' || *end != '\0' || errno != 0 || v < low || v > high) {
    laserror("cannot understand argument '%s' for '%s'", text, option);
    return false;
  }
  *value = v;
  argv[i][0] = '\0';
  argv[i + 1][0] = '\0';
  i++;
  return true;
}

bool same_file(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

template <typename T>
unsigned char* put_le(unsigned char* at, T value) {
  memcpy(at, &value, sizeof(T));  // the tools run on little-endian hosts only
  return at + sizeof(T);
}

// The tiling and original-extent records, which the reader takes out of
// the VLR list into the header, go back into the list so that they carry
// over like every other record.
bool restore_kestrel_records(LASheader& h) {
  if (h.vlr_lastiling != nullptr) {
    const LASvlr_lastiling& t = *h.vlr_lastiling;
    unsigned char data[28];
    unsigned char* at = put_le(put_le(put_le(data, t.level), t.level_index), t.implicit_levels);
    put_le(put_le(put_le(put_le(at, t.min_x), t.max_x), t.min_y), t.max_y);
    if (!h.add_vlr("Kestrel", 10, sizeof(data), data, false, "tile")) return false;
  }
  if (h.vlr_lasoriginal != nullptr) {
    const LASvlr_lasoriginal& o = *h.vlr_lasoriginal;
    unsigned char data[176];
    unsigned char* at = put_le(data, o.number_of_point_records);
    for (uint64_t n : o.number_of_points_by_return) at = put_le(at, n);
    for (double v : {o.min_x, o.max_x, o.min_y, o.max_y, o.min_z, o.max_z}) at = put_le(at, v);
    if (!h.add_vlr("Kestrel", 20, sizeof(data), data, false, "original extent")) return false;
  }
  return true;
}

// The reader's point must be laid out as the writer's items: same types
// and sizes in the same order.
bool same_layout(const LASpoint& point, const PTcomp& items) {
  if (point.num_items != items.num_items) return false;
  for (uint16_t i = 0; i < items.num_items; i++) {
    if (point.items[i].type != items.items[i].type || point.items[i].size != items.items[i].size) return false;
  }
  return true;
}

}  // namespace

void KestrelTool_ptcconv::usage() {
  fprintf(stderr, "usage:\n");
  fprintf(stderr, "ptcconv -i lidar.las -o lidar.ptc\n");
  fprintf(stderr, "ptcconv -i lidar.ptc -o lidar.las\n");
  fprintf(stderr, "ptcconv -i *.las -odir compressed\n");
  fprintf(stderr, "ptcconv -lof files.txt -olas\n");
  fprintf(stderr, "ptcconv -i lidar.las -o lidar.ptc -item_version 4 -chunk_size 10000\n");
  fprintf(stderr, "ptcconv -h\n");
  fprintf(stderr, "  -o name.ptc|name.las  the one output; its extension decides the direction\n");
  fprintf(stderr, "  -odir dir             outputs into dir, named like their inputs\n");
  fprintf(stderr, "  -olas, -optc          extension of the outputs named like their inputs\n");
  fprintf(stderr, "                        (default: '.las' for '.ptc' inputs, '.ptc' otherwise)\n");
  fprintf(stderr, "  -item_version n       1 to 4 (default 2 for point formats 0-5, 3 for 6-10)\n");
  fprintf(stderr, "  -chunk_size n         points per chunk (default 50000)\n");
  fprintf(stderr, "  -index                stores a spatial index with every output (inside a PTC\n");
  fprintf(stderr, "                        file, in a '.lax' file beside a LAS file)\n");
  fprintf(stderr, "  -threads n            decodes and encodes chunks on n threads (default: every processor)\n");
}

bool ptcconv_parse(int argc, char** argv, PtcconvOptions* o) {
  const int64_t errors_before = las_message_count(LAS_ERROR);
  KestrelTool_ptcconv tool("ptcconv", argc, argv);
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
    uint64_t number = 0;
    if (strcmp(a, "-o") == 0 || strcmp(a, "-odir") == 0) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        laserror("'%s' needs 1 argument: %s", a, a[2] == '\0' ? "file name" : "directory");
        return false;
      }
      (a[2] == '\0' ? o->output : o->directory) = argv[i + 1];
      a[0] = '\0';
      argv[++i][0] = '\0';
    } else if (strcmp(a, "-olas") == 0 || strcmp(a, "-optc") == 0) {
      o->format = a + 2;
      a[0] = '\0';
    } else if (strcmp(a, "-index") == 0) {
      o->index = true;
      a[0] = '\0';
    } else if (strcmp(a, "-item_version") == 0) {
      if (!take_number(i, argc, argv, "1, 2, 3 or 4", 1, 4, &number)) return false;
      o->item_version = static_cast<uint16_t>(number);
    } else if (strcmp(a, "-chunk_size") == 0) {
      if (!take_number(i, argc, argv, "number of points", 1, 0xFFFFFFFEu, &number)) return false;
      o->chunk_size = static_cast<uint32_t>(number);
    } else if (!tool.parse_pre(i, false) && !tool.parse_base(i)) {
      tool.usage();
      laserror("cannot understand argument '%s'", a);
      return false;
    }
  }
  if (tool.cores > 1) LASMessage(LAS_WARNING, "ptcconv runs on one core. ignoring '-cores %d' ...", tool.cores);
  o->threads = tool.chunk_threads();
  LASreadOpener& opener = o->opener;
  if (opener.use_stdin) {
    laserror("ptcconv does not read from stdin. name the inputs with '-i' or '-lof'");
    return false;
  }
  if (opener.merged) LASMessage(LAS_WARNING, "ptcconv converts every file on its own. ignoring '-merged' ...");
  if (opener.scale_factor != nullptr || opener.offset != nullptr || opener.auto_reoffset) {
    LASMessage(LAS_WARNING, "ptcconv keeps the scale factors and offsets of every file. ignoring '-rescale' and "
                            "'-reoffset' ...");
  }
  if (!opener.expand_wildcards()) return false;
  if (opener.get_file_name_number() == 0) {
    laserror("no input specified");
    return false;
  }
  if (!o->output.empty()) {
    if (opener.get_file_name_number() != 1) {
      laserror("'-o' names one output but there are %u inputs. use '-odir' for several ...",
               opener.get_file_name_number());
      return false;
    }
    if (!ends_with(o->output, ".las") && !ends_with(o->output, ".ptc")) {
      laserror("cannot tell the format of output '%s'. name a file ending in '.las' or '.ptc'", o->output.c_str());
      return false;
    }
  }
  return las_message_count(LAS_ERROR) == errors_before;
}

std::string ptcconv_output_name(const char* input, const PtcconvOptions& o) {
  if (!o.output.empty()) return o.output;
  const char* extension = !o.format.empty() ? o.format.c_str() : ends_with(input, ".ptc") ? "las" : "ptc";
  return derived_file_name(input, extension, o.directory);
}

bool ptcconv_convert(LASreaderLAS* reader, const char* output, const PtcconvOptions& options) {
  const double start = seconds_now();
  const char* input = reader->get_file_name() ? reader->get_file_name() : "";
  const bool compress = ends_with(output, ".ptc");
  if (!compress && !ends_with(output, ".las")) {
    laserror("cannot tell the format of output '%s'. name a file ending in '.las' or '.ptc'", output);
    return false;
  }
  LASheader& header = reader->header;
  if (!restore_kestrel_records(header)) {
    laserror("cannot copy the records of '%s'", input);
    return false;
  }
  // "-offset_adjust": the output's offsets move as the transform moves
  // coordinates; the reader keeps the file's own offsets.
  LAStransform* transform = options.opener.transform;
  const LASquantizer read_quantizer = header;
  if (options.opener.offset_adjust && transform != nullptr) {
    if (!transform->set_offset_adjust(read_quantizer)) return false;
    header.x_offset = transform->adjusted_quantizer.x_offset;
    header.y_offset = transform->adjusted_quantizer.y_offset;
    header.z_offset = transform->adjusted_quantizer.z_offset;
  }
  LASwriterLAS writer;
  writer.set_item_version(options.item_version);
  writer.set_threads(options.threads);
  const bool opened = writer.open(output, &header, compress ? PTcomp::COMPRESSOR_DEFAULT : PTcomp::COMPRESSOR_NONE,
                                  options.chunk_size);
  header.x_offset = read_quantizer.x_offset;
  header.y_offset = read_quantizer.y_offset;
  header.z_offset = read_quantizer.z_offset;
  if (!opened) return false;
  const auto give_up = [&]() {
    writer.close(false);
    remove(output);
    return false;
  };
  if (!same_layout(reader->point, writer.get_ptcomp())) {
    laserror("cannot convert '%s': its points are stored as items that point format %d does not have", input,
             header.point_data_format & 0x3F);
    return give_up();
  }
  const int64_t errors_before = las_message_count(LAS_ERROR);
  while (reader->read_point()) {
    if (!writer.write_point(&reader->point)) return give_up();
  }
  // Without an area query every point is read (a filter only drops what it
  // read), so fewer points mean that the file ended early.
  if (las_message_count(LAS_ERROR) > errors_before ||
      (reader->inside == LASreader::INSIDE_NONE && reader->p_count < reader->npoints)) {
    laserror("cannot convert '%s': only %lld of %lld points could be read. '%s' not written", input,
             static_cast<long long>(reader->p_count), static_cast<long long>(reader->npoints), output);
    return give_up();
  }
  const int64_t points = writer.get_point_count();
  if (writer.close(true) < 0) {
    remove(output);
    return false;
  }
  // A ".lax" file beside the output belongs to the file it replaced: it
  // would make area reads of the new points go wrong.
  const std::string lax = lax_file_name(output);
  if (options.index) {
    if (!index_point_file(output)) return false;
  } else if (remove(lax.c_str()) == 0) {
    LASMessage(LAS_INFO, "removed '%s', the index of an earlier '%s'", lax.c_str(), output);
  }
  LASMessage(LAS_INFO, "wrote %lld points of '%s' to '%s'. total time %g sec.", static_cast<long long>(points), input,
             output, seconds_now() - start);
  return true;
}

int ptcconv_run(PtcconvOptions* o) {
  const bool halting = do_halt_on_error();
  halt_on_error(false);
  const double start = seconds_now();
  LASreadOpener& opener = o->opener;
  opener.reset();
  const unsigned int number = opener.get_file_name_number();
  for (unsigned int i = 0; i < number; i++) {
    const char* input = opener.get_file_name(i);
    const std::string output = ptcconv_output_name(input, *o);
    if (same_file(input, output)) {
      laserror("output '%s' is the input itself. name another output with '-o' or '-odir'.", output.c_str());
      opener.file_name_current++;
      continue;
    }
    std::unique_ptr<LASreaderLAS> reader(opener.open());
    if (reader) {
      reader->set_threads(o->threads);
      ptcconv_convert(reader.get(), output.c_str(), *o);
    }
  }
  if (number > 1) {
    LASMessage(LAS_INFO, "done with all files. total time for %u files %g sec.", number, seconds_now() - start);
  }
  halt_on_error(halting);
  return las_exit_status();
}
