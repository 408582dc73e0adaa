// ptcinfo: option parsing, the header report and the point check.
#include "app/ptcinfo.hpp"

#include <algorithm>  // max
#include <cstdint>  // fixed-width header fields
#include <cstdlib>  // strtod
#include <cstring>  // strcmp, strnlen
#include <string>   // record texts

#include "index/lasindex.hpp"      // LASindex, the index report
#include "filter/lastransform.hpp"  // LAStransform of the checked points
#include "lasio/lasreaderlas.hpp"  // LASreaderLAS, the header and the points
#include "ptcomp/ptcomp.hpp"     // PTcomp, the compressor settings
#include "tool/kestreltool.hpp"  // kestrel_parse_threads, kestrel_default_threads
#include "tool/lasmessage.hpp"   // LASMessage, halt_on_error, las_exit_status

namespace {

const char* compressor_name(uint16_t kind) {
  switch (kind) {
    case PTcomp::COMPRESSOR_NONE: return "none";
    case PTcomp::COMPRESSOR_POINTWISE: return "point-wise";
    case PTcomp::COMPRESSOR_POINTWISE_CHUNKED: return "point-wise chunked";
    case PTcomp::COMPRESSOR_LAYERED_CHUNKED: return "layered chunked";
    default: return "unknown";
  }
}

const char* item_name(uint32_t type) {
  switch (type) {
    case LASitem::BYTE: return "BYTE";
    case LASitem::POINT10: return "POINT10";
    case LASitem::GPSTIME11: return "GPSTIME11";
    case LASitem::RGB12: return "RGB12";
    case LASitem::WAVEPACKET13: return "WAVEPACKET13";
    case LASitem::POINT14: return "POINT14";
    case LASitem::RGB14: return "RGB14";
    case LASitem::RGBNIR14: return "RGBNIR14";
    case LASitem::WAVEPACKET14: return "WAVEPACKET14";
    case LASitem::BYTE14: return "BYTE14";
    default: return "unknown";
  }
}

// A fixed-width text field as a terminated string.
std::string text(const char* field, size_t width) { return std::string(field, strnlen(field, width)); }

void report_header(const LASreaderLAS& reader, FILE* out) {
  const LASheader& h = reader.header;
  fprintf(out, "  version %d.%d\n", h.version_major, h.version_minor);
  fprintf(out, "  file source ID %u, global encoding %u\n", h.file_source_ID, h.global_encoding);
  fprintf(out, "  system identifier '%s'\n", text(h.system_identifier, 32).c_str());
  fprintf(out, "  generating software '%s'\n", text(h.generating_software, 32).c_str());
  fprintf(out, "  file creation day %u year %u\n", h.file_creation_day, h.file_creation_year);
  fprintf(out, "  header size %u, offset to point data %u\n", h.header_size, h.offset_to_point_data);
  fprintf(out, "  point data format %u, record length %u\n", h.point_data_format, h.point_data_record_length);
  fprintf(out, "  number of point records %u\n", h.number_of_point_records);
  fprintf(out, "  number of points by return %u %u %u %u %u\n", h.number_of_points_by_return[0],
          h.number_of_points_by_return[1], h.number_of_points_by_return[2], h.number_of_points_by_return[3],
          h.number_of_points_by_return[4]);
  fprintf(out, "  scale factor x y z %.10g %.10g %.10g\n", h.x_scale_factor, h.y_scale_factor, h.z_scale_factor);
  fprintf(out, "  offset x y z %.10g %.10g %.10g\n", h.x_offset, h.y_offset, h.z_offset);
  fprintf(out, "  min x y z %.10g %.10g %.10g\n", h.min_x, h.min_y, h.min_z);
  fprintf(out, "  max x y z %.10g %.10g %.10g\n", h.max_x, h.max_y, h.max_z);
  if (h.version_major == 1 && h.version_minor >= 3) {
    fprintf(out, "  start of waveform data packet record %llu\n",
            static_cast<unsigned long long>(h.start_of_waveform_data_packet_record));
  }
  if (h.version_major == 1 && h.version_minor >= 4) {
    fprintf(out, "  start of first extended variable length record %llu\n",
            static_cast<unsigned long long>(h.start_of_first_extended_variable_length_record));
    fprintf(out, "  extended number of point records %llu\n",
            static_cast<unsigned long long>(h.extended_number_of_point_records));
    fprintf(out, "  extended number of points by return");
    for (int i = 0; i < 15; i++) {
      fprintf(out, " %llu", static_cast<unsigned long long>(h.extended_number_of_points_by_return[i]));
    }
    fprintf(out, "\n");
  }
  if (h.version_major == 1 && h.version_minor >= 5) {
    fprintf(out, "  gps time min max %.10g %.10g, time offset %u\n", h.min_gps_time, h.max_gps_time, h.time_offset);
  }
  if (h.user_data_in_header_size) fprintf(out, "  user data in header %u bytes\n", h.user_data_in_header_size);
  if (h.user_data_after_header_size) {
    fprintf(out, "  user data after header %u bytes\n", h.user_data_after_header_size);
  }
  if (h.ptcomp) {
    const PTcomp& c = *h.ptcomp;
    fprintf(out, "  compressor %u (%s), chunk size %u, written by v%u.%ur%u\n", c.compressor,
            compressor_name(c.compressor), c.chunk_size, c.version_major, c.version_minor, c.version_revision);
    if (c.options != 0) fprintf(out, "  compressor options %u\n", c.options);
    if (c.number_of_special_evlrs > 0) {
      fprintf(out, "  special evlrs %lld at offset %lld\n", static_cast<long long>(c.number_of_special_evlrs),
              static_cast<long long>(c.offset_to_special_evlrs));
    }
    fprintf(out, "  items");
    for (uint16_t i = 0; i < c.num_items; i++) {
      fprintf(out, " %s(%u,v%u)", item_name(c.items[i].type), c.items[i].size, c.items[i].version);
    }
    fprintf(out, "\n");
  }
  fprintf(out, "  number of variable length records %u\n", h.number_of_variable_length_records);
  for (uint32_t i = 0; i < h.number_of_variable_length_records; i++) {
    const LASvlr& v = h.vlrs[i];
    fprintf(out, "  vlr %u: user id '%s' record id %u length %u description '%s'\n", i, text(v.user_id, 16).c_str(),
            v.record_id, v.record_length_after_header, text(v.description, 32).c_str());
  }
  fprintf(out, "  number of extended variable length records %u\n", h.number_of_extended_variable_length_records);
  for (uint32_t i = 0; i < h.number_of_extended_variable_length_records; i++) {
    const LASevlr& v = h.evlrs[i];
    fprintf(out, "  evlr %u: user id '%s' record id %u length %llu description '%s'\n", i,
            text(v.user_id, 16).c_str(), v.record_id, static_cast<unsigned long long>(v.record_length_after_header),
            text(v.description, 32).c_str());
  }
  fprintf(out, "  points %lld\n", static_cast<long long>(reader.npoints));
}

// The spatial index or COPC hierarchy the reader found.
void report_index(const LASreaderLAS& reader, FILE* out) {
  if (const LASindex* index = reader.get_index()) {
    fprintf(out, "  spatial index: quadtree of %u levels, %u cells, %llu intervals\n", index->get_spatial()->levels,
            index->get_interval()->get_number_of_cells(),
            static_cast<unsigned long long>(index->get_interval()->get_number_of_intervals()));
  }
  const LASheader& h = reader.header;
  if (h.number_of_copc_entries > 0) {
    int32_t depth = 0;
    for (uint32_t i = 0; i < h.number_of_copc_entries; i++) depth = std::max(depth, h.vlr_copc_entries[i].level);
    fprintf(out, "  COPC hierarchy: %u pages, %u nodes, depth %d\n", h.number_of_copc_pages, h.number_of_copc_entries,
            depth);
  }
}

bool check_points(LASreaderLAS& reader, const char* file_name, FILE* out, bool area) {
  const LASpoint& p = reader.point;
  const LASheader& h = reader.header;
  int64_t count = 0;
  int32_t min_X = 0, max_X = 0, min_Y = 0, max_Y = 0, min_Z = 0, max_Z = 0;
  uint16_t min_intensity = 0, max_intensity = 0;
  double min_gps = 0.0, max_gps = 0.0;
  while (reader.read_point()) {
    if (count == 0) {
      min_X = max_X = p.X;
      min_Y = max_Y = p.Y;
      min_Z = max_Z = p.Z;
      min_intensity = max_intensity = p.intensity;
      min_gps = max_gps = p.gps_time;
    } else {
      if (p.X < min_X) min_X = p.X;
      if (p.X > max_X) max_X = p.X;
      if (p.Y < min_Y) min_Y = p.Y;
      if (p.Y > max_Y) max_Y = p.Y;
      if (p.Z < min_Z) min_Z = p.Z;
      if (p.Z > max_Z) max_Z = p.Z;
      if (p.intensity < min_intensity) min_intensity = p.intensity;
      if (p.intensity > max_intensity) max_intensity = p.intensity;
      if (p.gps_time < min_gps) min_gps = p.gps_time;
      if (p.gps_time > max_gps) max_gps = p.gps_time;
    }
    count++;
  }
  const int64_t errors = las_message_count(LAS_ERROR);
  if (area) {
    fprintf(out, "  points inside the area %lld of %lld\n", static_cast<long long>(count),
            static_cast<long long>(reader.npoints));
  } else {
    fprintf(out, "  points read %lld of %lld\n", static_cast<long long>(count), static_cast<long long>(reader.npoints));
  }
  if (count > 0) {
    fprintf(out, "  X min max %d %d (x %.10g %.10g)\n", min_X, max_X, h.get_x(min_X), h.get_x(max_X));
    fprintf(out, "  Y min max %d %d (y %.10g %.10g)\n", min_Y, max_Y, h.get_y(min_Y), h.get_y(max_Y));
    fprintf(out, "  Z min max %d %d (z %.10g %.10g)\n", min_Z, max_Z, h.get_z(min_Z), h.get_z(max_Z));
    fprintf(out, "  intensity min max %u %u\n", min_intensity, max_intensity);
    if (p.have_gps_time) fprintf(out, "  gps time min max %.10g %.10g\n", min_gps, max_gps);
  }
  if (area) {
    // An area read skips points: only the reader's own errors count.
    if (las_message_count(LAS_ERROR) == errors && reader.p_count <= reader.npoints) return true;
    LASMessage(LAS_ERROR, "the points of '%s' could not be read", file_name);
    return false;
  }
  // Points dropped by a filter were decoded all the same: only points
  // that could not be decoded make the file incomplete.
  if (reader.p_count != reader.npoints) {
    LASMessage(LAS_ERROR, "only %lld of %lld points could be read from '%s'", static_cast<long long>(reader.p_count),
               static_cast<long long>(reader.npoints), file_name);
    return false;
  }
  return true;
}

// The number of values an area option takes, 0 for other arguments.
int area_arguments(const char* arg) {
  if (strcmp(arg, "-inside") == 0 || strcmp(arg, "-inside_rectangle") == 0) return 4;
  if (strcmp(arg, "-inside_tile") == 0 || strcmp(arg, "-inside_circle") == 0) return 3;
  return 0;
}

void usage() {
  LASMessage(LAS_INFO,
             "usage:\n"
             "ptcinfo file.las\n"
             "ptcinfo -check file1.ptc file2.las\n"
             "  -check  reads every point and reports the ranges of X, Y, Z, intensity and GPS time\n"
             "  -inside min_x min_y max_x max_y, -inside_tile ll_x ll_y size,\n"
             "  -inside_circle center_x center_y radius\n"
             "          -check reads only the points inside the area (through the file's\n"
             "          spatial index or COPC hierarchy when it has one)\n"
             "          (of the points as transform options such as -translate_z 10 change them)\n"
             "  -threads n  -check decodes chunks on n threads (default: every processor)\n"
             "  -h      this text\n"
             "  filter options (-keep_class 2 8, -drop_z_below 0, ... listed by -hh) make -check report\n"
             "  the points that pass them");
}

}  // namespace

bool ptcinfo_parse(int argc, char** argv, PtcinfoOptions& options) {
  options.filter.reset(new LASfilter());
  if (!options.filter->parse(argc, argv)) {
    options.filter.reset();
    return false;
  }
  if (options.filter->num_criteria == 0) options.filter.reset();
  options.transform = std::make_shared<LAStransform>();
  if (!options.transform->parse(argc, argv)) return false;
  if (options.transform->num_operations == 0) options.transform.reset();
  // "-filtered_transform": the filter restricts the transform, not the points
  if (options.transform && options.transform->filtered && options.filter) {
    options.transform->setFilter(options.filter.release());
  }
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (arg[0] == '\0') continue;
    if (strcmp(arg, "-check") == 0) {
      options.check = true;
    } else if (strcmp(arg, "-threads") == 0) {
      if (!kestrel_parse_threads(arg, i + 1 < argc ? argv[i + 1] : nullptr, &options.threads)) return false;
      i++;
    } else if (const int n = area_arguments(arg)) {
      if (i + n >= argc) {
        LASMessage(LAS_ERROR, "'%s' needs %d arguments: %s", arg, n,
                   n == 4 ? "min_x min_y max_x max_y" : (arg[8] == 't' ? "ll_x ll_y size" : "center_x center_y radius"));
        return false;
      }
      for (int k = 0; k < n; k++) {
        const char* text = argv[i + 1 + k];
        char* end = nullptr;
        options.area[k] = strtod(text, &end);
        if (end == text || *end != '\0') {
          LASMessage(LAS_ERROR, "cannot understand argument '%s' for '%s'", text, arg);
          return false;
        }
      }
      options.inside = n == 4 ? 'r' : arg[8];
      i += n;
    } else if (strcmp(arg, "-h") == 0 || strcmp(arg, "-help") == 0) {
      options.help = true;
    } else if (arg[0] == '-' || static_cast<unsigned char>(arg[0]) == 150) {
      LASMessage(LAS_ERROR, "unknown option '%s'", arg);
      return false;
    } else {
      options.files.emplace_back(arg);
    }
  }
  if (options.files.empty() && !options.help) {
    LASMessage(LAS_ERROR, "no input file specified");
    return false;
  }
  return true;
}

namespace {

bool ptcinfo_file_with(const char* file_name, const PtcinfoOptions& options, LASfilter* filter,
                       LAStransform* transform, FILE* out) {
  const bool check = options.check;
  LASreaderLAS reader(nullptr);
  reader.set_threads(options.threads ? options.threads : kestrel_default_threads());
  if (!reader.open(file_name)) {
    LASMessage(LAS_ERROR, "cannot read '%s'", file_name);
    return false;
  }
  fprintf(out, "file '%s' (%s)\n", file_name, reader.get_format() == 2 ? "PTC" : "LAS");
  report_header(reader, out);
  report_index(reader, out);
  const double* a = options.area;
  if (options.inside == 'r') reader.inside_rectangle(a[0], a[1], a[2], a[3]);
  if (options.inside == 't') reader.inside_tile(float(a[0]), float(a[1]), float(a[2]));
  if (options.inside == 'c') reader.inside_circle(a[0], a[1], a[2]);
  bool ok = true;
  if (check) {
    if (filter) reader.set_filter(filter);
    if (transform) reader.set_transform(transform);
    ok = check_points(reader, file_name, out, options.inside != 0);
  }
  fflush(out);
  reader.close();
  return ok;
}

}  // namespace

bool ptcinfo_file(const char* file_name, bool check, FILE* out, LASfilter* filter, LAStransform* transform) {
  PtcinfoOptions options;
  options.check = check;
  return ptcinfo_file_with(file_name, options, filter, transform, out);
}

bool ptcinfo_file(const char* file_name, const PtcinfoOptions& options, FILE* out) {
  return ptcinfo_file_with(file_name, options, options.filter.get(), options.transform.get(), out);
}

int ptcinfo_run(int argc, char** argv, FILE* out) {
  // Every file is reported even when an earlier one fails; the messages
  // decide the exit status.
  halt_on_error(false);
  PtcinfoOptions options;
  if (!ptcinfo_parse(argc, argv, options)) {
    usage();
    return las_exit_status();
  }
  if (options.help) {
    usage();
    return las_exit_status();
  }
  for (const std::string& name : options.files) ptcinfo_file(name.c_str(), options, out);
  return las_exit_status();
}
