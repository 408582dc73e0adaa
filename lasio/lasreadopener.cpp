// The input side of the command line: parses the input options, keeps the
// input and neighbour file lists and renders the settings back as options.
#include "lasio/lasreadopener.hpp"

#include <glob.h>    // glob, the wildcard expansion
#include <unistd.h>  // access

#include <climits>  // INT_MAX, INT_MIN
#include <cstdio>   // fgets, sscanf, vsnprintf
#include <cstdlib>  // free, strtod, strtol
#include <cstring>  // strcmp, strlen, strncmp, memcpy
#include <string>   // expanded names
#include <vector>   // the list rebuilt from the expanded names

#include "filter/lasfilter.hpp"     // LASfilter
#include "filter/lasignore.hpp"     // LASignore
#include "filter/lastransform.hpp"  // LAStransform
#include "index/laskdtree.hpp"      // LASkdtreeRectangles
#include "lasio/lasreaderlas.hpp"   // LASreaderLAS, the reader open() returns
#include "tool/lasmessage.hpp"      // LASMessage, laserror
#include "tool/lasutility.hpp"      // LASfopen, malloc_las, realloc_las, LAS_IO_BUFFER_SIZE

namespace {

constexpr uint32_t kFirstCapacity = 16;
constexpr uint32_t kDefaultIoBufferSize = LAS_IO_BUFFER_SIZE;

// Sizes the four bounding-box arrays of a name list to n entries: fresh
// ones (freed again when one fails) or the present ones grown.
bool resize_boxes(double** const boxes[4], const char* list, size_t n, uint32_t shown, bool fresh = false) {
  static const char* const fields[4] = {"min_x", "min_y", "max_x", "max_y"};
  for (int b = 0; b < 4; b++) {
    void* sized = fresh ? malloc_las(n * sizeof(double)) : realloc_las(*boxes[b], n * sizeof(double));
    if (sized == nullptr) {
      laserror("alloc for %s_%s array failed at %d", list, fields[b], static_cast<int>(shown));
      for (int c = 0; fresh && c < b; c++) {
        free(*boxes[c]);
        *boxes[c] = nullptr;
      }
      return false;
    }
    *boxes[b] = static_cast<double*>(sized);
  }
  return true;
}
constexpr double kDefaultNoData = 2e307;
constexpr int kListLineSize = 2048;

bool is(const char* arg, const char* option) { return strcmp(arg, option) == 0; }

// Blanks the option at i and the `count` arguments after it that exist.
void blank(int argc, char** argv, int i, int count) {
  for (int k = i; k <= i + count && k < argc; k++) argv[k][0] = '\0';
}

// The integer value of a text, clamped to the int range (0 if none).
int int_value(const char* text) {
  const long v = strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

int32_t clamp_to_i32(long long v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int32_t>(v);
}

char* copy_string(const char* text) {
  const size_t len = strlen(text);
  char* copy = static_cast<char*>(malloc_las(len + 1));
  if (copy != nullptr) memcpy(copy, text, len + 1);
  return copy;
}

// A copy made with new[], for the fields released with delete[].
char* copy_string_new(const char* text) {
  const size_t len = strlen(text);
  char* copy = new char[len + 1];
  memcpy(copy, text, len + 1);
  return copy;
}

// Scans the n arguments after the option at i with one scanf conversion
// each; reports the first that does not scan with its own message (which
// takes the option and the argument).
template <typename T>
bool scan_values(char** argv, int i, const char* format, T* values, int n, const char* const* invalid) {
  for (int k = 0; k < n; k++) {
    if (sscanf(argv[i + 1 + k], format, &values[k]) != 1) {
      laserror(invalid[k], argv[i], argv[i + 1 + k]);
      return false;
    }
  }
  return true;
}

bool is_blank_line(const char* line) {
  for (const char* p = line; *p; p++)
    if (*p != ' ' && *p != '\t' && *p != '\n') return false;
  return true;
}

const char* skip_blanks(const char* p) {
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

}  // namespace

LASreadOpener::LASreadOpener()
    : z_from_attribute(false),
      z_from_attribute_index(-1),
      io_ibuffer_size(kDefaultIoBufferSize),
      merged(false),
      stored(false),
      file_name_current(0),
      file_names(nullptr),
      file_name_number(0),
      file_name_allocated(0),
      file_names_ID(nullptr),
      file_names_npoints(nullptr),
      file_names_min_x(nullptr),
      file_names_min_y(nullptr),
      file_names_max_x(nullptr),
      file_names_max_y(nullptr),
      file_names_kdtree(nullptr),
      buffer_size(0.0f),
      neighbor_file_names(nullptr),
      neighbor_file_name_number(0),
      neighbor_file_name_allocated(0),
      neighbor_file_names_npoints(nullptr),
      neighbor_file_names_min_x(nullptr),
      neighbor_file_names_min_y(nullptr),
      neighbor_file_names_max_x(nullptr),
      neighbor_file_names_max_y(nullptr),
      neighbor_kdtree(nullptr),
      comma_not_point(false),
      scale_factor(nullptr),
      offset(nullptr),
      auto_reoffset(false),
      offset_adjust(false),
      files_are_flightlines(0),
      files_are_flightlines_index(-1),
      apply_file_source_ID(false),
      itxt(false),
      ipts(false),
      iptx(false),
      iptx_transform(false),
      translate_intensity(0.0f),
      scale_intensity(1.0f),
      translate_scan_angle(0.0f),
      scale_scan_angle(1.0f),
      number_attributes(0),
      parse_string(nullptr),
      skip_lines(0),
      populate_header(false),
      pipe_on(false),
      use_stdin(false),
      unique(false),
      filter(nullptr),
      transform(nullptr),
      ignore(nullptr),
      inside_tile(nullptr),
      inside_circle(nullptr),
      inside_rectangle(nullptr),
      copc_query(0),
      copc_stream_order(1),
      copc_resolution(0.0f),
      copc_depth(-1),
      file_name_index_built(false) {
  for (int k = 0; k < MAX_ATTRIBUTES; k++) {
    attribute_data_types[k] = 0;
    attribute_names[k] = nullptr;
    attribute_descriptions[k] = nullptr;
    attribute_scales[k] = 1.0;
    attribute_offsets[k] = 0.0;
    attribute_pre_scales[k] = 1.0;
    attribute_pre_offsets[k] = 0.0;
    attribute_no_datas[k] = kDefaultNoData;
  }
}

LASreadOpener::~LASreadOpener() {
  file_name_index.clear();
  for (uint32_t k = 0; k < file_name_number; k++) free(file_names[k]);
  free(file_names);
  free(file_names_ID);
  free(file_names_npoints);
  free(file_names_min_x);
  free(file_names_min_y);
  free(file_names_max_x);
  free(file_names_max_y);
  delete file_names_kdtree;
  for (uint32_t k = 0; k < neighbor_file_name_number; k++) free(neighbor_file_names[k]);
  free(neighbor_file_names);
  free(neighbor_file_names_npoints);
  free(neighbor_file_names_min_x);
  free(neighbor_file_names_min_y);
  free(neighbor_file_names_max_x);
  free(neighbor_file_names_max_y);
  delete neighbor_kdtree;
  clear_attributes();
  delete[] parse_string;
  delete[] scale_factor;
  delete[] offset;
  delete[] inside_tile;
  delete[] inside_circle;
  delete[] inside_rectangle;
  delete filter;
  delete transform;
  delete ignore;
}

void LASreadOpener::clear_attributes() {
  for (int k = 0; k < MAX_ATTRIBUTES; k++) {
    delete[] attribute_names[k];
    delete[] attribute_descriptions[k];
    attribute_names[k] = nullptr;
    attribute_descriptions[k] = nullptr;
  }
  number_attributes = 0;
}

// ---------------------------------------------------------------------------
// Names

const char* LASreadOpener::get_file_name(unsigned int i) const {
  return i < file_name_number ? file_names[i] : nullptr;
}

const char* LASreadOpener::get_neighbor_file_name(unsigned int i) const {
  return i < neighbor_file_name_number ? neighbor_file_names[i] : nullptr;
}

const char* LASreadOpener::get_file_name_only(unsigned int i) const {
  const char* name = get_file_name(i);
  return name == nullptr ? nullptr : file_name_only(name);
}

const char* LASreadOpener::get_file_extension_only(unsigned int i) const {
  const char* name = get_file_name(i);
  return name == nullptr ? nullptr : file_extension_only(name);
}

const char* LASreadOpener::get_file_name() const {
  return file_name_current > 0 ? get_file_name(file_name_current - 1) : nullptr;
}

// ---------------------------------------------------------------------------
// Point readers

LASreaderLAS* LASreadOpener::open(unsigned int decompress_selective) {
  if (file_name_current >= file_name_number) {
    laserror(use_stdin ? "reading points from stdin is not supported" : "no input file left to open");
    return nullptr;
  }
  const char* name = file_names[file_name_current++];
  LASreaderLAS* reader = new LASreaderLAS(this);
  // The filter reads its fields from every point, dropped or not.
  if (filter != nullptr) decompress_selective |= filter->get_decompress_selective();
  // The transform reads its fields (and those of its own filter) too.
  if (transform != nullptr) decompress_selective |= transform->get_decompress_selective();
  if (!reader->open(name, static_cast<int>(io_ibuffer_size), false, decompress_selective)) {
    delete reader;
    return nullptr;
  }
  // Filter and transform first: setting them discards an area read.
  if (filter != nullptr) reader->set_filter(filter);
  if (transform != nullptr) reader->set_transform(transform);
  if (inside_tile != nullptr) {
    reader->inside_tile(inside_tile[0], inside_tile[1], inside_tile[2]);
  } else if (inside_circle != nullptr) {
    reader->inside_circle(inside_circle[0], inside_circle[1], inside_circle[2]);
  } else if (inside_rectangle != nullptr) {
    reader->inside_rectangle(inside_rectangle[0], inside_rectangle[1], inside_rectangle[2], inside_rectangle[3]);
  }
  if (copc_query != 0 && !reader->inside_copc_depth(copc_query, copc_depth, copc_resolution)) {
    LASMessage(LAS_WARNING, "'%s' has no COPC hierarchy to query. ignoring '%s' ...", name,
               copc_query == 1 ? "-max_depth" : "-resolution");
  }
  return reader;
}

namespace {

bool is_pattern(const char* name) {
  return strpbrk(name, "*?[") != nullptr && access(name, F_OK) != 0;
}

}  // namespace

bool LASreadOpener::expand_wildcards() {
  bool any = false;
  for (uint32_t k = 0; k < file_name_number && !any; k++) any = is_pattern(file_names[k]);
  if (!any) return true;
  bool ok = true;
  std::vector<std::pair<std::string, uint32_t>> names;
  for (uint32_t k = 0; k < file_name_number; k++) {
    if (!is_pattern(file_names[k])) {
      names.emplace_back(file_names[k], file_names_ID[k]);
      continue;
    }
    glob_t found;
    if (glob(file_names[k], 0, nullptr, &found) != 0 || found.gl_pathc == 0) {
      laserror("no file matches '%s'", file_names[k]);
      ok = false;
    } else {
      for (size_t m = 0; m < found.gl_pathc; m++) names.emplace_back(found.gl_pathv[m], file_names_ID[k]);
    }
    globfree(&found);
  }
  for (uint32_t k = 0; k < file_name_number; k++) free(file_names[k]);
  file_name_number = 0;
  file_name_current = 0;
  file_name_index.clear();
  file_name_index_built = false;
  for (const auto& name : names) add_file_name(name.first.c_str(), name.second, unique);
  return ok;
}

bool LASreadOpener::is_buffered() const {
  return buffer_size > 0.0f && (file_name_number > 1 || neighbor_file_name_number > 0);
}

bool LASreadOpener::contains_file_name(const char* name) {
  if (!file_name_index_built) {
    file_name_index.reserve(file_name_number);
    for (uint32_t k = 0; k < file_name_number; k++) file_name_index.insert(file_names[k]);
    file_name_index_built = true;
  }
  return file_name_index.count(name) != 0;
}

bool LASreadOpener::ensure_file_capacity() {
  if (file_name_number < file_name_allocated) return true;
  if (file_name_allocated > UINT32_MAX / 2) {
    laserror("alloc for file_names pointer array failed at %d", static_cast<int>(file_name_allocated));
    return false;
  }
  const uint32_t grown = file_name_allocated == 0 ? kFirstCapacity : file_name_allocated * 2;
  const size_t n = grown;
  char** names = static_cast<char**>(realloc_las(file_names, n * sizeof(char*)));
  if (names == nullptr) {
    laserror("alloc for file_names pointer array failed at %d", static_cast<int>(grown));
    return false;
  }
  file_names = names;
  uint32_t* ids = static_cast<uint32_t*>(realloc_las(file_names_ID, n * sizeof(uint32_t)));
  if (ids == nullptr) {
    laserror("alloc for file_names_ID array failed at %d", static_cast<int>(grown));
    return false;
  }
  file_names_ID = ids;
  if (file_names_npoints != nullptr) {
    int64_t* npoints = static_cast<int64_t*>(realloc_las(file_names_npoints, n * sizeof(int64_t)));
    if (npoints == nullptr) {
      laserror("alloc for file_names_npoints array failed at %d", static_cast<int>(grown));
      return false;
    }
    file_names_npoints = npoints;
    double** boxes[4] = {&file_names_min_x, &file_names_min_y, &file_names_max_x, &file_names_max_y};
    if (!resize_boxes(boxes, "file_names", n, grown)) return false;
  }
  file_name_allocated = grown;
  return true;
}

// Allocates the point-count and bounding-box arrays (at the current
// capacity) and the rectangle store when the first bounding box arrives;
// names listed before it get a count and box of 0.
bool LASreadOpener::ensure_file_bounding_boxes() {
  if (file_names_npoints != nullptr) return true;
  const size_t n = file_name_allocated;
  int64_t* npoints = static_cast<int64_t*>(malloc_las(n * sizeof(int64_t)));
  if (npoints == nullptr) {
    laserror("alloc for file_names_npoints array failed at %d", static_cast<int>(n));
    return false;
  }
  double** boxes[4] = {&file_names_min_x, &file_names_min_y, &file_names_max_x, &file_names_max_y};
  if (!resize_boxes(boxes, "file_names", n, n, true)) {
    free(npoints);
    return false;
  }
  for (uint32_t k = 0; k < file_name_number; k++) {
    npoints[k] = 0;
    file_names_min_x[k] = file_names_min_y[k] = file_names_max_x[k] = file_names_max_y[k] = 0.0;
  }
  file_names_npoints = npoints;
  if (file_names_kdtree == nullptr) file_names_kdtree = new LASkdtreeRectangles();
  file_names_kdtree->init();
  return true;
}

bool LASreadOpener::append_file_name(const char* name, unsigned int ID) {
  char* copy = copy_string(name);
  if (copy == nullptr) {
    laserror("alloc for file_names pointer array failed at %d", static_cast<int>(file_name_allocated));
    return false;
  }
  file_names[file_name_number] = copy;
  file_names_ID[file_name_number] = ID;
  if (file_names_npoints != nullptr) {
    file_names_npoints[file_name_number] = 0;
    file_names_min_x[file_name_number] = file_names_min_y[file_name_number] = 0.0;
    file_names_max_x[file_name_number] = file_names_max_y[file_name_number] = 0.0;
  }
  if (file_name_index_built) file_name_index.insert(copy);
  file_name_number++;
  return true;
}

bool LASreadOpener::add_file_name(const char* name, bool only_unique) {
  if (only_unique && contains_file_name(name)) return false;
  if (!ensure_file_capacity()) return false;
  // Without an ID of its own a name is identified by its position.
  return append_file_name(name, file_name_number);
}

bool LASreadOpener::add_file_name(const char* name, unsigned int ID, bool only_unique) {
  if (only_unique && contains_file_name(name)) return false;
  if (!ensure_file_capacity()) return false;
  return append_file_name(name, ID);
}

bool LASreadOpener::add_file_name(const char* name, unsigned int ID, long long npoints, double min_x, double min_y,
                                  double max_x, double max_y, bool only_unique) {
  if (only_unique && contains_file_name(name)) return false;
  if (!ensure_file_capacity()) return false;
  if (!ensure_file_bounding_boxes()) return false;
  const uint32_t k = file_name_number;
  if (!append_file_name(name, ID)) return false;
  file_names_npoints[k] = npoints;
  file_names_min_x[k] = min_x;
  file_names_min_y[k] = min_y;
  file_names_max_x[k] = max_x;
  file_names_max_y[k] = max_y;
  file_names_kdtree->add(min_x, min_y, max_x, max_y);
  return true;
}

bool LASreadOpener::contains_neighbor_file_name(const char* name) const {
  for (uint32_t k = 0; k < neighbor_file_name_number; k++)
    if (strcmp(neighbor_file_names[k], name) == 0) return true;
  return false;
}

bool LASreadOpener::ensure_neighbor_capacity() {
  if (neighbor_file_name_number < neighbor_file_name_allocated) return true;
  if (neighbor_file_name_allocated > UINT32_MAX / 2) {
    laserror("alloc for neighbor_file_names pointer array failed at %d",
             static_cast<int>(neighbor_file_name_allocated));
    return false;
  }
  const uint32_t grown = neighbor_file_name_allocated == 0 ? kFirstCapacity : neighbor_file_name_allocated * 2;
  const size_t n = grown;
  char** names = static_cast<char**>(realloc_las(neighbor_file_names, n * sizeof(char*)));
  if (names == nullptr) {
    laserror("alloc for neighbor_file_names pointer array failed at %d", static_cast<int>(grown));
    return false;
  }
  neighbor_file_names = names;
  if (neighbor_file_names_npoints != nullptr) {
    int64_t* npoints = static_cast<int64_t*>(realloc_las(neighbor_file_names_npoints, n * sizeof(int64_t)));
    if (npoints == nullptr) {
      laserror("alloc for neighbor_file_names_npoints pointer array failed at %d", static_cast<int>(grown));
      return false;
    }
    neighbor_file_names_npoints = npoints;
    double** boxes[4] = {&neighbor_file_names_min_x, &neighbor_file_names_min_y, &neighbor_file_names_max_x,
                         &neighbor_file_names_max_y};
    if (!resize_boxes(boxes, "neighbor_file_names", n, grown)) return false;
  }
  neighbor_file_name_allocated = grown;
  return true;
}

bool LASreadOpener::ensure_neighbor_bounding_boxes() {
  if (neighbor_file_names_npoints != nullptr) return true;
  const size_t n = neighbor_file_name_allocated;
  int64_t* npoints = static_cast<int64_t*>(malloc_las(n * sizeof(int64_t)));
  if (npoints == nullptr) {
    laserror("alloc for neighbor_file_names_npoints pointer array failed at %d", static_cast<int>(n));
    return false;
  }
  double** boxes[4] = {&neighbor_file_names_min_x, &neighbor_file_names_min_y, &neighbor_file_names_max_x,
                       &neighbor_file_names_max_y};
  if (!resize_boxes(boxes, "neighbor_file_names", n, n, true)) {
    free(npoints);
    return false;
  }
  for (uint32_t k = 0; k < neighbor_file_name_number; k++) {
    npoints[k] = 0;
    neighbor_file_names_min_x[k] = neighbor_file_names_min_y[k] = 0.0;
    neighbor_file_names_max_x[k] = neighbor_file_names_max_y[k] = 0.0;
  }
  neighbor_file_names_npoints = npoints;
  if (neighbor_kdtree == nullptr) neighbor_kdtree = new LASkdtreeRectangles();
  neighbor_kdtree->init();
  return true;
}

bool LASreadOpener::append_neighbor_file_name(const char* name) {
  char* copy = copy_string(name);
  if (copy == nullptr) {
    laserror("alloc for neighbor_file_names pointer array failed at %d",
             static_cast<int>(neighbor_file_name_allocated));
    return false;
  }
  const uint32_t k = neighbor_file_name_number;
  neighbor_file_names[k] = copy;
  if (neighbor_file_names_npoints != nullptr) {
    neighbor_file_names_npoints[k] = 0;
    neighbor_file_names_min_x[k] = neighbor_file_names_min_y[k] = 0.0;
    neighbor_file_names_max_x[k] = neighbor_file_names_max_y[k] = 0.0;
  }
  neighbor_file_name_number++;
  return true;
}

bool LASreadOpener::add_neighbor_file_name(const char* name, bool only_unique) {
  if (only_unique && contains_neighbor_file_name(name)) return false;
  if (!ensure_neighbor_capacity()) return false;
  return append_neighbor_file_name(name);
}

bool LASreadOpener::add_neighbor_file_name(const char* name, long long npoints, double min_x, double min_y,
                                           double max_x, double max_y, bool only_unique) {
  if (only_unique && contains_neighbor_file_name(name)) return false;
  if (!ensure_neighbor_capacity()) return false;
  if (!ensure_neighbor_bounding_boxes()) return false;
  const uint32_t k = neighbor_file_name_number;
  if (!append_neighbor_file_name(name)) return false;
  neighbor_file_names_npoints[k] = npoints;
  neighbor_file_names_min_x[k] = min_x;
  neighbor_file_names_min_y[k] = min_y;
  neighbor_file_names_max_x[k] = max_x;
  neighbor_file_names_max_y[k] = max_y;
  neighbor_kdtree->add(min_x, min_y, max_x, max_y);
  return true;
}

// ---------------------------------------------------------------------------
// List files

// Reads a list file line by line. A line longer than the buffer is taken
// in pieces, each piece as a line of its own. Blanks, tabs and line feeds
// are cut from the end of a line (never its first character), and so is the
// carriage return of list files written with CRLF line ends; lines with
// nothing else are skipped.
bool LASreadOpener::read_list_file(const char* list_file, bool only_unique, bool neighbors) {
  FILE* file = LASfopen(list_file, "r");
  if (file == nullptr) {
    laserror("cannot open '%s'", list_file);
    return false;
  }
  char line[kListLineSize];
  unsigned int line_number = 0;
  while (fgets(line, kListLineSize, file) != nullptr) {
    line_number++;
    size_t len = strlen(line);
    while (len > 1 &&
           (line[len - 1] == ' ' || line[len - 1] == '\t' || line[len - 1] == '\n' || line[len - 1] == '\r')) {
      line[--len] = '\0';
    }
    if (is_blank_line(line)) continue;

    unsigned int ID = 0;
    long long npoints = 0;
    double min_x = 0.0, min_y = 0.0, max_x = 0.0, max_y = 0.0;
    int after = 0;
    if (sscanf(line, "%u,%lld,%lf,%lf,%lf,%lf,%n", &ID, &npoints, &min_x, &min_y, &max_x, &max_y, &after) == 6 &&
        after > 0) {
      const char* name = skip_blanks(line + after);
      if (*name == '\0') {
        LASMessage(LAS_WARNING, "line %u of list of files '%s' has a bounding box but no file name. skipping ...",
                   line_number, list_file);
        continue;
      }
      if (neighbors) {
        add_neighbor_file_name(name, npoints, min_x, min_y, max_x, max_y, only_unique);
      } else {
        add_file_name(name, ID, npoints, min_x, min_y, max_x, max_y, only_unique);
      }
      continue;
    }
    if (!neighbors) {
      after = 0;
      if (sscanf(line, "%u,%n", &ID, &after) == 1 && after > 0) {
        const char* probe = line + after;
        while (*probe == ' ' || *probe == '\t' || *probe == '\r' || *probe == '\v' || *probe == '\f') probe++;
        if (*probe != '\0') {
          add_file_name(skip_blanks(line + after), ID, only_unique);
          continue;
        }
      }
      add_file_name(line, only_unique);
    } else {
      add_neighbor_file_name(line, false);
    }
  }
  fclose(file);
  return true;
}

bool LASreadOpener::add_list_of_files(const char* list_file, bool only_unique) {
  return read_list_file(list_file, only_unique, false);
}

bool LASreadOpener::add_neighbor_list_of_files(const char* list_file, bool only_unique) {
  return read_list_file(list_file, only_unique, true);
}

// ---------------------------------------------------------------------------
// Input options

namespace {

// The entry of a table whose name is `arg`, or null.
template <typename Row, size_t N>
const Row* find(const Row (&rows)[N], const char* arg) {
  for (const Row& row : rows)
    if (is(arg, row.name)) return &row;
  return nullptr;
}

// Options without arguments that set one switch, or two at once.
struct FlagOption {
  const char* name;
  bool LASreadOpener::*field;
  bool LASreadOpener::*also;  // null for a single switch
  bool value;
};

const FlagOption kFlagOptions[] = {
    {"-stdin", &LASreadOpener::use_stdin, nullptr, true},
    {"-unique", &LASreadOpener::unique, nullptr, true},
    {"-merged", &LASreadOpener::merged, nullptr, true},
    {"-stored", &LASreadOpener::stored, nullptr, true},
    {"-pipe_on", &LASreadOpener::pipe_on, nullptr, true},
    {"-populate", &LASreadOpener::populate_header, nullptr, true},
    {"-do_not_populate", &LASreadOpener::populate_header, nullptr, false},
    {"-apply_file_source_ID", &LASreadOpener::apply_file_source_ID, nullptr, true},
    {"-auto_reoffset", &LASreadOpener::auto_reoffset, nullptr, true},
    {"-offset_adjust", &LASreadOpener::offset_adjust, nullptr, true},
    {"-itxt", &LASreadOpener::itxt, nullptr, true},
    {"-ipts", &LASreadOpener::itxt, &LASreadOpener::ipts, true},
    {"-iptx", &LASreadOpener::itxt, &LASreadOpener::iptx, true},
    {"-iptx_transform", &LASreadOpener::itxt, &LASreadOpener::iptx_transform, true},
    {"-comma_not_point", &LASreadOpener::comma_not_point, nullptr, true},
};

struct StreamOrderOption {
  const char* name;
  uint8_t order;
};

const StreamOrderOption kStreamOrderOptions[] = {
    {"-stream_order_normal", 0}, {"-stream_order_spatial", 1}, {"-stream_order_level", 2}};

// Options with one number: the messages for a missing, an unreadable and
// an unacceptable number, the test of the number and where it goes.
template <typename T>
struct NumberOption {
  const char* name;
  const char* missing;   // takes the option
  const char* invalid;   // takes the option and the argument
  const char* rejected;  // takes the option and the number
  bool (*accepted)(T value);
  void (*store)(LASreadOpener& o, T value);
};

bool scan(const char* text, float& value) { return sscanf(text, "%f", &value) == 1; }
bool scan(const char* text, double& value) { return sscanf(text, "%lf", &value) == 1; }
bool scan(const char* text, unsigned int& value) { return sscanf(text, "%u", &value) == 1; }
bool scan(const char* text, int& value) { return sscanf(text, "%d", &value) == 1; }

// Written so that a NaN passes `nonzero` but not `positive`.
template <typename T>
bool positive(T value) {
  return value > 0;
}
template <typename T>
bool nonzero(T value) {
  return !(value == 0);
}
bool not_negative(int value) { return value >= 0; }

const NumberOption<float> kFloatOptions[] = {
    {"-buffered", "'%s' needs 1 argument: buffer_size",
     "'%s' needs 1 argument: buffer_size. but '%s' is not a valid buffer_size",
     "'%s' needs 1 argument: buffer_size, but %f is not valid", positive<float>,
     [](LASreadOpener& o, float v) { o.buffer_size = v; }},
    {"-itranslate_intensity", "'%s' needs 1 argument: translation",
     "'%s' needs 1 argument: translation but '%s' is not valid.",
     "'%s' needs 1 argument: translation but %f is not valid.", nonzero<float>,
     [](LASreadOpener& o, float v) { o.translate_intensity = v; }},
    {"-itranslate_scan_angle", "'%s' needs 1 argument: translation",
     "'%s' needs 1 argument: translation but '%s' is not valid.",
     "'%s' needs 1 argument: translation but %f is not valid.", nonzero<float>,
     [](LASreadOpener& o, float v) { o.translate_scan_angle = v; }},
    {"-iscale_intensity", "'%s' needs 1 argument: scale", "'%s' needs 1 argument: scale but '%s' is not valid.",
     "'%s' needs 1 argument: scale but %f is not valid.", nonzero<float>,
     [](LASreadOpener& o, float v) { o.scale_intensity = v; }},
    {"-iscale_scan_angle", "'%s' needs 1 argument: scale", "'%s' needs 1 argument: scale but '%s' is not valid.",
     "'%s' needs 1 argument: scale but %f is not valid.", nonzero<float>,
     [](LASreadOpener& o, float v) { o.scale_scan_angle = v; }},
    {"-resolution", "'%s' needs 1 argument: resolution",
     "'%s' needs 1 argument: resolution, but '%s' is not a valid resolution",
     "'%s' needs 1 argument: resolution, but %lf is not a valid resolution", positive<float>,
     [](LASreadOpener& o, float v) {
       o.copc_query = 2;
       o.copc_resolution = v;
     }},
};

const NumberOption<double> kDoubleOptions[] = {
    {"-rescale_z", "'%s' needs 1 argument: rescale_z",
     "'%s' needs 1 argument: rescale_z, but '%s' is not a valid rescale_z",
     "'%s' needs 1 argument: rescale_z, but %lf is not a valid rescale_z", nonzero<double>,
     [](LASreadOpener& o, double v) {
       if (o.scale_factor == nullptr) o.scale_factor = new double[3];
       o.scale_factor[0] = 0.0;
       o.scale_factor[1] = 0.0;
       o.scale_factor[2] = v;
     }},
};

const NumberOption<unsigned int> kUnsignedOptions[] = {
    {"-iskip", "'%s' needs 1 argument: number_of_lines",
     "'%s' needs 1 argument: number_of_lines but '%s' is not a valid number.",
     "'%s' needs 1 argument: number_of_lines but %u is not valid.", nonzero<unsigned int>,
     [](LASreadOpener& o, unsigned int v) { o.skip_lines = v; }},
    {"-io_ibuffer", "'%s' needs 1 argument: size", "'%s' needs 1 argument: size but '%s' is not a valid size.",
     "'%s' needs 1 argument: size but %u is not valid.", nonzero<unsigned int>,
     [](LASreadOpener& o, unsigned int v) { o.io_ibuffer_size = v; }},
};

const NumberOption<int> kIntOptions[] = {
    {"-max_depth", "'%s' needs 1 argument: depth", "'%s' needs 1 argument: depth, but '%s' is not a valid depth",
     "'%s' needs 1 argument: depth, but %d is not a valid depth", not_negative,
     [](LASreadOpener& o, int v) {
       o.copc_query = 1;
       o.copc_depth = v;
     }},
};

// Takes a one-number option and its number (or what there is of it).
template <typename T>
int take_number(LASreadOpener& o, const NumberOption<T>& option, int i, int argc, char** argv) {
  const char* arg = argv[i];
  if (i + 1 >= argc) {
    laserror(option.missing, arg);
    return 1;
  }
  T value;
  if (!scan(argv[i + 1], value)) {
    laserror(option.invalid, arg, argv[i + 1]);
  } else if (!option.accepted(value)) {
    laserror(option.rejected, arg, value);
  } else {
    option.store(o, value);
  }
  return 1;
}

// The steps of the options with arguments below. Each is called once the
// arguments it needs are there and answers how many it took.

// The first argument is a name whatever it looks like; more follow up to
// the next option or blanked argument.
int take_names(LASreadOpener& o, int i, int argc, char** argv, bool neighbors) {
  int took = 0;
  do {
    const char* name = argv[i + took + 1];
    if (neighbors) {
      o.add_neighbor_file_name(name, false);
    } else {
      o.add_file_name(name, o.unique);
    }
    took++;
  } while (i + took + 1 < argc && argv[i + took + 1][0] != '\0' && argv[i + took + 1][0] != '-');
  return took;
}

int take_list_of_files(LASreadOpener& o, int i, int, char** argv) {
  if (!o.add_list_of_files(argv[i + 1], o.unique)) laserror("cannot load list of files '%s'", argv[i + 1]);
  return 1;
}

int take_neighbor_list_of_files(LASreadOpener& o, int i, int, char** argv) {
  if (!o.add_neighbor_list_of_files(argv[i + 1], o.unique)) {
    laserror("cannot load neighbor list of files '%s'", argv[i + 1]);
  }
  return 1;
}

int take_temp_files(LASreadOpener& o, int i, int, char** argv) {
  o.temp_file_base = argv[i + 1];
  return 1;
}

int take_parse_string(LASreadOpener& o, int i, int, char** argv) {
  delete[] o.parse_string;
  o.parse_string = copy_string_new(argv[i + 1]);
  return 1;
}

// -rescale and -rescale_xy: n scale factors, none zero; those not given are 0.
int take_rescale(LASreadOpener& o, char** argv, int i, int n, const char* const* invalid, const char* const* zero) {
  double v[3] = {0.0, 0.0, 0.0};
  if (scan_values(argv, i, "%lf", v, n, invalid)) {
    int bad = -1;
    for (int k = 0; k < n && bad < 0; k++)
      if (v[k] == 0.0) bad = k;
    if (bad >= 0) {
      laserror(zero[bad], argv[i], v[bad]);
    } else {
      if (o.scale_factor == nullptr) o.scale_factor = new double[3];
      for (int k = 0; k < 3; k++) o.scale_factor[k] = v[k];
    }
  }
  return n;
}

int take_rescale_xyz(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[3] = {
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but '%s' is not a valid rescale_x",
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but '%s' is not a valid rescale_y",
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but '%s' is not a valid rescale_z"};
  static const char* const zero[3] = {
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but %lf is not a valid rescale_x",
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but %lf is not a valid rescale_y",
      "'%s' needs 3 arguments: rescale_x rescale_y rescale_z, but %lf is not a valid rescale_z"};
  return take_rescale(o, argv, i, 3, invalid, zero);
}

int take_rescale_xy(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[2] = {
      "'%s' needs 3 arguments: rescale_x rescale_y, but '%s' is not a valid rescale_x",
      "'%s' needs 3 arguments: rescale_x rescale_y, but '%s' is not a valid rescale_y"};
  static const char* const zero[2] = {"'%s' needs 3 arguments: rescale_x rescale_y, but %lf is not a valid rescale_x",
                                      "'%s' needs 3 arguments: rescale_x rescale_y, but %lf is not a valid rescale_y"};
  return take_rescale(o, argv, i, 2, invalid, zero);
}

int take_reoffset(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[3] = {
      "'%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but '%s' is not a valid reoffset_x",
      "'%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but '%s' is not a valid reoffset_y",
      "'%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but '%s' is not a valid reoffset_z"};
  double v[3];
  if (scan_values(argv, i, "%lf", v, 3, invalid)) {
    if (o.offset == nullptr) o.offset = new double[3];
    for (int k = 0; k < 3; k++) o.offset[k] = v[k];
  }
  return 3;
}

int take_inside_tile(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[3] = {"'%s' needs 3 arguments: ll_x ll_y size, but '%s' is not a valid ll_x.",
                                         "'%s' needs 3 arguments: ll_x ll_y size, but '%s' is not a valid ll_y.",
                                         "'%s' needs 3 arguments: ll_x ll_y size, but '%s' is not a valid size."};
  float v[3];
  if (scan_values(argv, i, "%f", v, 3, invalid)) {
    if (!(v[2] > 0.0f)) {
      laserror("'%s' needs 3 arguments: ll_x ll_y size, but %f is not valid a size.", argv[i], v[2]);
    } else {
      if (o.inside_tile == nullptr) o.inside_tile = new float[3];
      for (int k = 0; k < 3; k++) o.inside_tile[k] = v[k];
    }
  }
  return 3;
}

int take_inside_circle(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[3] = {
      "'%s' needs 3 arguments: center_x center_y radius, but '%s' is not a valid center_x.",
      "'%s' needs 3 arguments: center_x center_y radius, but '%s' is not a valid center_y.",
      "'%s' needs 3 arguments: center_x center_y radius, but '%s' is not a valid radius."};
  double v[3];
  if (scan_values(argv, i, "%lf", v, 3, invalid)) {
    if (!(v[2] > 0.0)) {
      laserror("'%s' needs 3 arguments: center_x center_y radius, but %lf is not valid a radius.", argv[i], v[2]);
    } else {
      if (o.inside_circle == nullptr) o.inside_circle = new double[3];
      for (int k = 0; k < 3; k++) o.inside_circle[k] = v[k];
    }
  }
  return 3;
}

int take_inside_rectangle(LASreadOpener& o, int i, int, char** argv) {
  static const char* const invalid[4] = {
      "'%s' needs 4 arguments: min_x min_y max_x max_y, but '%s' is not a valid min_x.",
      "'%s' needs 4 arguments: min_x min_y max_x max_y, but '%s' is not a valid min_y.",
      "'%s' needs 4 arguments: min_x min_y max_x max_y, but '%s' is not a valid max_x.",
      "'%s' needs 4 arguments: min_x min_y max_x max_y, but '%s' is not a valid max_y."};
  double v[4];
  if (scan_values(argv, i, "%lf", v, 4, invalid)) {
    if (!(v[0] < v[2])) {
      laserror("'%s' needs 4 arguments: min_x min_y max_x max_y, but %lf / %lf are not a valid min_x / max_x pair.",
               argv[i], v[0], v[2]);
    } else if (!(v[1] < v[3])) {
      laserror("'%s' needs 4 arguments: min_x min_y max_x max_y, but %lf / %lf are not a valid min_y / max_y pair.",
               argv[i], v[1], v[3]);
    } else {
      if (o.inside_rectangle == nullptr) o.inside_rectangle = new double[4];
      for (int k = 0; k < 4; k++) o.inside_rectangle[k] = v[k];
    }
  }
  return 4;
}

// scale, offset, pre_scale, pre_offset and no_data after the three fixed
// arguments: the list ends at the first that is missing or reads as 0, but
// offsets and no_data may be a literal zero. Answers how many were given.
int attribute_numbers(int i, int argc, char** argv, double values[5]) {
  const bool zero_allowed[5] = {false, true, false, true, true};
  int given = 0;
  while (given < 5 && i + 4 + given < argc) {
    const char* text = argv[i + 4 + given];
    const double v = strtod(text, nullptr);
    if (v == 0.0 && !(zero_allowed[given] && (is(text, "0") || is(text, "0.0")))) break;
    values[given] = v;
    given++;
  }
  return given;
}

int take_attribute(LASreadOpener& o, int i, int argc, char** argv) {
  const int data_type = int_value(argv[i + 1]);
  const char* name = argv[i + 2];
  const char* description = argv[i + 3];
  double values[5] = {1.0, 0.0, 1.0, 0.0, kDefaultNoData};
  const int given = attribute_numbers(i, argc, argv, values);
  if (data_type < 1 || data_type > 10) {
    LASMessage(LAS_WARNING, "attribute data type %d not supported. ignoring attribute '%s'.", data_type, name);
  } else if (o.number_attributes >= LASreadOpener::MAX_ATTRIBUTES) {
    laserror("cannot add attribute '%s'. at most %d extra attributes are supported", name,
             LASreadOpener::MAX_ATTRIBUTES);
  } else {
    const int k = o.number_attributes++;
    o.attribute_data_types[k] = data_type;
    o.attribute_names[k] = copy_string_new(name);
    o.attribute_descriptions[k] = copy_string_new(description);
    o.attribute_scales[k] = values[0];
    o.attribute_offsets[k] = values[1];
    o.attribute_pre_scales[k] = values[2];
    o.attribute_pre_offsets[k] = values[3];
    o.attribute_no_datas[k] = values[4];
  }
  return 3 + given;
}

// Options that need `count` arguments: the error when fewer follow (which
// takes the option; the option and what there is of its arguments are
// blanked) and the step that takes them.
struct ArgumentOption {
  const char* name;
  int count;
  const char* missing;
  int (*take)(LASreadOpener& o, int i, int argc, char** argv);
};

const ArgumentOption kArgumentOptions[] = {
    {"-i", 1, "'%s' needs at least 1 argument: file_name or wild_card",
     [](LASreadOpener& o, int i, int argc, char** argv) { return take_names(o, i, argc, argv, false); }},
    {"-lof", 1, "'%s' needs 1 argument: list_of_files", take_list_of_files},
    {"-temp_files", 1, "'%s' needs 1 argument: base name", take_temp_files},
    {"-neighbors", 1, "'%s' needs at least 1 argument: file_name or wild_card",
     [](LASreadOpener& o, int i, int argc, char** argv) { return take_names(o, i, argc, argv, true); }},
    {"-neighbors_lof", 1, "'%s' needs at least 1 argument: file_name", take_neighbor_list_of_files},
    {"-rescale", 3, "'%s' needs 3 arguments: rescale_x rescale_y rescale_z", take_rescale_xyz},
    {"-rescale_xy", 2, "'%s' needs 2 argument: rescale_x rescale_y", take_rescale_xy},
    {"-reoffset", 3, "'%s' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z", take_reoffset},
    {"-iparse", 1, "'%s' needs 1 argument: string", take_parse_string},
    {"-iadd_extra", 3, "'%s' needs 3 arguments: data_type name description", take_attribute},
    {"-iadd_attribute", 3, "'%s' needs 3 arguments: data_type name description", take_attribute},
    {"-inside_tile", 3, "'%s' needs 3 arguments: ll_x ll_y size", take_inside_tile},
    {"-inside_circle", 3, "'%s' needs 3 arguments: center_x center_y radius", take_inside_circle},
    {"-inside", 4, "'%s' needs 4 arguments: min_x min_y max_x max_y", take_inside_rectangle},
    {"-inside_rectangle", 4, "'%s' needs 4 arguments: min_x min_y max_x max_y", take_inside_rectangle},
};

// -faf with an optional start value (an argument starting with 1 to 9).
int take_flightlines(LASreadOpener& o, int i, int argc, char** argv) {
  int took = 0;
  int start = 1;
  if (i + 1 < argc && argv[i + 1][0] >= '1' && argv[i + 1][0] <= '9') {
    start = int_value(argv[i + 1]);
    took = 1;
  }
  o.files_are_flightlines = static_cast<uint32_t>(start);
  if (start > 65535) {
    LASMessage(LAS_WARNING, "files_are_flightlines start value %d is too large", start);
  } else if (static_cast<long long>(start) + o.files_are_flightlines_index > 65535) {
    LASMessage(LAS_WARNING, "files_are_flightlines start value %d plus index %d is too large", start,
               o.files_are_flightlines_index);
  }
  return took;
}

// -faf_index: one index, stored less one; an argument that is not a number
// is taken all the same.
int take_flightline_index(LASreadOpener& o, int i, int argc, char** argv) {
  int index;
  if (i + 1 >= argc || sscanf(argv[i + 1], "%d", &index) != 1) {
    laserror("'%s' needs 1 argument: index", argv[i]);
  } else {
    o.files_are_flightlines_index = clamp_to_i32(static_cast<long long>(index) - 1);
    if (index > 65535) {
      LASMessage(LAS_WARNING, "files_are_flightlines_index index value %d is too large", index);
    } else if (static_cast<long long>(index) + o.files_are_flightlines > 65535) {
      LASMessage(LAS_WARNING, "files_are_flightlines start value %d plus index %d is too large",
                 static_cast<int>(o.files_are_flightlines), index);
    }
  }
  return i + 1 < argc ? 1 : 0;
}

// -z_from_attribute with an optional attribute index.
int take_z_from_attribute(LASreadOpener& o, int i, int argc, char** argv) {
  o.z_from_attribute = true;
  if (i + 1 >= argc || argv[i + 1][0] == '-' || argv[i + 1][0] == '\0') return 0;
  const int index = int_value(argv[i + 1]);
  o.z_from_attribute_index = static_cast<int16_t>(index < -32768 ? -32768 : index > 32767 ? 32767 : index);
  return 1;
}

// Takes the option at i if it is an input option (other than help and
// ignore options). Answers how many arguments after it were taken, all of
// which and the option are then blanked, or -1 for someone else's option.
int take_option(LASreadOpener& o, int i, int argc, char** argv) {
  const char* arg = argv[i];
  if (const FlagOption* flag = find(kFlagOptions, arg)) {
    o.*flag->field = flag->value;
    if (flag->also != nullptr) o.*flag->also = flag->value;
    return 0;
  }
  if (const StreamOrderOption* order = find(kStreamOrderOptions, arg)) {
    o.copc_stream_order = order->order;
    return 0;
  }
  if (const auto* number = find(kFloatOptions, arg)) return take_number(o, *number, i, argc, argv);
  if (const auto* number = find(kDoubleOptions, arg)) return take_number(o, *number, i, argc, argv);
  if (const auto* number = find(kUnsignedOptions, arg)) return take_number(o, *number, i, argc, argv);
  if (const auto* number = find(kIntOptions, arg)) return take_number(o, *number, i, argc, argv);
  if (const ArgumentOption* option = find(kArgumentOptions, arg)) {
    if (i + option->count >= argc) {
      laserror(option->missing, arg);
      return option->count;
    }
    return option->take(o, i, argc, argv);
  }
  if (is(arg, "-files_are_flightlines") || is(arg, "-faf")) return take_flightlines(o, i, argc, argv);
  if (is(arg, "-faf_index")) return take_flightline_index(o, i, argc, argv);
  if (is(arg, "-z_from_attribute")) return take_z_from_attribute(o, i, argc, argv);
  if (strncmp(arg, "-inside", 7) == 0) {
    laserror("unknown '-inside' option '%s'", arg);
    return 0;
  }
  return -1;
}

// "-hh": the overviews of the filter, transform and ignore options and of
// the input options.
void print_usage() {
  LASfilter().usage();
  LAStransform().usage();
  LASignore().usage();
  LASMessage(LAS_INFO,
             "Supported LAS Inputs\n"
             "  -i lidar.las\n"
             "  -i lidar.ptc\n"
             "  -i lidar1.las lidar2.las lidar3.las -merged\n"
             "  -i *.las - merged\n"
             "  -i flight0??.ptc flight1??.ptc\n"
             "  -i terrasolid.bin\n"
             "  -i esri.shp\n"
             "  -i lidar.txt -iparse xyzti -iskip 2 (on-the-fly from ASCII)\n"
             "  -i lidar.txt -iparse xyzi -itranslate_intensity 1024\n"
             "  -lof file_list.txt\n"
             "  -stdin (pipe from stdin)\n"
             "  -rescale 0.01 0.01 0.001\n"
             "  -rescale_xy 0.01 0.01\n"
             "  -rescale_z 0.01\n"
             "  -reoffset 600000 4000000 0\n"
             "Fast AOI Queries for LAS/PTC with spatial indexing LAX files\n"
             "  -inside min_x min_y max_x max_y\n"
             "  -inside_tile ll_x ll_y size\n"
             "  -inside_circle center_x center_y radius\n"
             "Fast AOI Queries for PTC 1.4 with spatial indexing COPC VLR\n"
             "  -inside min_x min_y max_x max_y\n"
             "  -inside_circle center_x center_y radius\n"
             "  -max_depth 3\n"
             "  -resolution 0.1");
}

}  // namespace

// ---------------------------------------------------------------------------
// Command line

void LASreadOpener::parse(int argc, char** argv, bool parse_ignore, bool keep_ignore) {
  if (!parse_options(argc, argv, parse_ignore, keep_ignore)) return;

  if (neighbor_file_name_number > 0) {
    if (file_name_number > 1) {
      laserror("neighbors only supported for one buffered input file, not for %d", static_cast<int>(file_name_number));
    }
    if (buffer_size == 0.0f) {
      laserror("neighbors only make sense when used with '-buffered 50' or similar");
    }
  }

  if (filter != nullptr) {
    filter->clean();
  } else {
    filter = new LASfilter();
  }
  if (!filter->parse(argc, argv)) {
    delete filter;
    filter = nullptr;
    return;
  }
  if (filter->num_criteria == 0) {
    delete filter;
    filter = nullptr;
  }

  if (transform != nullptr) {
    transform->clean();
  } else {
    transform = new LAStransform();
  }
  if (!transform->parse(argc, argv)) {
    delete transform;
    transform = nullptr;
    return;
  }
  if (transform->num_operations > 0) {
    if (transform->filtered) {
      if (filter != nullptr) {
        transform->setFilter(filter);
        filter = nullptr;
      } else {
        LASMessage(LAS_WARNING, "no LASfilter specified. '-filtered_transform' has no effect.");
      }
    }
  } else {
    if (transform->filtered) {
      LASMessage(LAS_WARNING, "no LAStransform specified. '-filtered_transform' has no effect.");
    }
    delete transform;
    transform = nullptr;
  }

  if (files_are_flightlines != 0 || apply_file_source_ID) {
    if (transform == nullptr) transform = new LAStransform();
    transform->setPointSource(0);
  }
}

// The argument walk. False when it stopped early ("-h", "-hh", a failed
// ignore option), so that no filter or transform is built.
bool LASreadOpener::parse_options(int argc, char** argv, bool parse_ignore, bool keep_ignore) {
  int i = 1;
  while (i < argc) {
    char* arg = argv[i];
    if (arg[0] == '\0') {
      i++;
      continue;
    }
    if (is(arg, "-h") || is(arg, "-help")) return false;
    if (is(arg, "-hh")) {
      print_usage();
      return false;
    }
    if (strncmp(arg, "-ignore_", 8) == 0) {
      if (parse_ignore) {
        if (!parse_ignore_option(i, argc, argv)) return false;
      } else if (!keep_ignore) {
        LASMessage(LAS_WARNING, "this tool does not process '-ignore_xxxx' options");
      }
      i++;
      continue;
    }
    const int took = take_option(*this, i, argc, argv);
    if (took < 0) {
      i++;
    } else {
      blank(argc, argv, i, took);
      i += took + 1;
    }
  }
  return true;
}

// Hands the ignore option at i to the LASignore, which blanks what it
// takes and leaves i on the last of it. False (and no LASignore) if it fails.
bool LASreadOpener::parse_ignore_option(int& i, int argc, char** argv) {
  if (ignore == nullptr) ignore = new LASignore();
  if (ignore->parse(i, argc, argv)) return true;
  delete ignore;
  ignore = nullptr;
  return false;
}

// ---------------------------------------------------------------------------
// Rendering

int LASreadOpener::unparse(std::string& text) const {
  const size_t start = text.size();
  if (inside_tile != nullptr) {
    string_appendf(text, "-inside_tile %g %g %g ", inside_tile[0], inside_tile[1], inside_tile[2]);
  } else if (inside_circle != nullptr) {
    string_appendf(text, "-inside_circle %lf %lf %lf ", inside_circle[0], inside_circle[1], inside_circle[2]);
  } else if (inside_rectangle != nullptr) {
    string_appendf(text, "-inside_rectangle %lf %lf %lf %lf ", inside_rectangle[0], inside_rectangle[1],
                   inside_rectangle[2], inside_rectangle[3]);
  }
  if (stored) string_appendf(text, "-stored ");
  if (merged) string_appendf(text, "-merged ");
  if (files_are_flightlines != 0) {
    if (files_are_flightlines == 1) {
      string_appendf(text, "-faf ");
    } else {
      string_appendf(text, "-faf %d ", static_cast<int>(files_are_flightlines));
    }
  }
  if (apply_file_source_ID) string_appendf(text, "-apply_file_source_ID ");
  if (scale_factor != nullptr) {
    const double x = scale_factor[0], y = scale_factor[1], z = scale_factor[2];
    if (z != 0.0 && x != 0.0) {
      string_appendf(text, "-rescale %lf %lf %lf ", x, y, z);
    } else if (z != 0.0 && x == 0.0 && y == 0.0) {
      string_appendf(text, "-rescale_z %lf ", z);
    } else if (z != 0.0 && y != 0.0) {
      string_appendf(text, "-rescale %lf %lf %lf ", x, y, z);
    } else if (z == 0.0 && x != 0.0 && y != 0.0) {
      string_appendf(text, "-rescale_xy %lf %lf ", x, y);
    }
  }
  if (offset != nullptr) {
    string_appendf(text, "-reoffset %lf %lf %lf ", offset[0], offset[1], offset[2]);
  } else if (auto_reoffset) {
    string_appendf(text, "-auto_reoffset ");
  } else if (offset_adjust) {
    string_appendf(text, "-offset_adjust ");
  }
  if (populate_header) string_appendf(text, "-populate ");
  if (io_ibuffer_size != kDefaultIoBufferSize) string_appendf(text, "-io_ibuffer %u ", io_ibuffer_size);
  if (!temp_file_base.empty()) string_appendf(text, "-temp_files \"%s\" ", temp_file_base.c_str());
  if (parse_string != nullptr) string_appendf(text, "-iparse \"%s\" ", parse_string);
  if (skip_lines != 0) string_appendf(text, "-iskip %d ", static_cast<int>(skip_lines));
  if (itxt) {
    if (ipts) {
      string_appendf(text, "-ipts ");
    } else if (iptx) {
      string_appendf(text, "-iptx ");
    } else if (iptx_transform) {
      string_appendf(text, "-iptx_transform ");
    } else {
      string_appendf(text, "-itxt ");
    }
  }
  if (copc_resolution != 0.0f) string_appendf(text, "-resolution %lf ", static_cast<double>(copc_resolution));
  if (unique) string_appendf(text, "-unique ");
  if (comma_not_point) string_appendf(text, "-comma_not_point ");
  if (copc_stream_order == 0) {
    string_appendf(text, "-stream_order_normal ");
  } else if (copc_stream_order == 2) {
    string_appendf(text, "-stream_order_level ");
  }
  if (copc_depth != -1) string_appendf(text, "-max_depth %d ", copc_depth);
  if (z_from_attribute) string_appendf(text, "-z_from_attribute ");
  return static_cast<int>(text.size() - start);
}

int LASreadOpener::unparse(char* string) const {
  std::string text;
  const int n = unparse(text);
  memcpy(string + strlen(string), text.c_str(), text.size() + 1);
  return n;
}
