// The input side of the command line: the list of input file names, the
// neighbour files and every input option (rescaling, text input, area
// queries, filter, transform and ignore settings), with their rendering
// back into option text, and the point reader of each listed file with
// those settings attached.
#ifndef LASIO_LASREADOPENER_HPP
#define LASIO_LASREADOPENER_HPP

#include <cstdint>        // fixed-width option fields
#include <string>         // temp_file_base, rendered option text
#include <string_view>    // keys of the uniqueness index
#include <unordered_set>  // uniqueness index over the listed names

class LASfilter;
class LASignore;
class LASkdtreeRectangles;
class LASreaderLAS;
class LAStransform;

class LASreadOpener {
 public:
  static constexpr int MAX_ATTRIBUTES = 32;

  bool z_from_attribute;
  int16_t z_from_attribute_index;
  uint32_t io_ibuffer_size;
  bool merged;
  bool stored;
  uint32_t file_name_current;
  char** file_names;
  uint32_t file_name_number;
  uint32_t file_name_allocated;
  uint32_t* file_names_ID;
  int64_t* file_names_npoints;
  double* file_names_min_x;
  double* file_names_min_y;
  double* file_names_max_x;
  double* file_names_max_y;
  LASkdtreeRectangles* file_names_kdtree;
  float buffer_size;
  std::string temp_file_base;
  char** neighbor_file_names;
  uint32_t neighbor_file_name_number;
  uint32_t neighbor_file_name_allocated;
  int64_t* neighbor_file_names_npoints;
  double* neighbor_file_names_min_x;
  double* neighbor_file_names_min_y;
  double* neighbor_file_names_max_x;
  double* neighbor_file_names_max_y;
  LASkdtreeRectangles* neighbor_kdtree;
  bool comma_not_point;
  double* scale_factor;
  double* offset;
  bool auto_reoffset;
  bool offset_adjust;
  uint32_t files_are_flightlines;
  int32_t files_are_flightlines_index;
  bool apply_file_source_ID;
  bool itxt;
  bool ipts;
  bool iptx;
  bool iptx_transform;
  float translate_intensity;
  float scale_intensity;
  float translate_scan_angle;
  float scale_scan_angle;
  int32_t number_attributes;
  int32_t attribute_data_types[MAX_ATTRIBUTES];
  char* attribute_names[MAX_ATTRIBUTES];
  char* attribute_descriptions[MAX_ATTRIBUTES];
  double attribute_scales[MAX_ATTRIBUTES];
  double attribute_offsets[MAX_ATTRIBUTES];
  double attribute_pre_scales[MAX_ATTRIBUTES];
  double attribute_pre_offsets[MAX_ATTRIBUTES];
  double attribute_no_datas[MAX_ATTRIBUTES];
  char* parse_string;
  uint32_t skip_lines;
  bool populate_header;
  bool pipe_on;
  bool use_stdin;
  bool unique;
  LASfilter* filter;
  LAStransform* transform;
  LASignore* ignore;
  float* inside_tile;         // ll_x, ll_y, size
  double* inside_circle;      // center_x, center_y, radius
  double* inside_rectangle;   // min_x, min_y, max_x, max_y
  uint8_t copc_query;         // 0 none, 1 by depth, 2 by resolution
  uint8_t copc_stream_order;  // 0 normal, 1 spatial, 2 level
  float copc_resolution;
  int32_t copc_depth;

  LASreadOpener();
  ~LASreadOpener();
  LASreadOpener(const LASreadOpener&) = delete;
  LASreadOpener& operator=(const LASreadOpener&) = delete;

  // Walks argv[1..argc-1], takes the input options, blanks what it took and
  // then builds the filter and transform from the remaining arguments.
  // "-h"/"-help" stop the walk at once (nothing after it is touched).
  // Ignore options go to an LASignore only with parse_ignore; otherwise
  // they are left for later parsers (with a warning unless keep_ignore).
  void parse(int argc, char** argv, bool parse_ignore = false, bool keep_ignore = false);

  // Appends the option text of every setting that differs from its default
  // to the zero-terminated `string` (which must be large enough) and
  // returns the number of characters appended.
  int unparse(char* string) const;
  // The same text appended to `text`, for callers that cannot bound it.
  int unparse(std::string& text) const;

  // True while a listed file is still to be opened, or with "-stdin".
  bool active() const { return file_name_current < file_name_number || use_stdin; }

  // Opens the next listed file (then moves on to the one after it) as a
  // LAS/PTC point reader with this opener's filter, transform and area
  // query attached, in that order, and the given layer mask. The caller
  // owns the reader; the filter and transform stay the opener's. Null,
  // after an ERROR, when no file is left or the file cannot be opened.
  LASreaderLAS* open(unsigned int decompress_selective = 0xFFFFFFFFu);
  // The name open() used last (null before the first open).
  const char* get_file_name() const;
  // Back to the first listed file.
  void reset() { file_name_current = 0; }
  // Replaces every listed name that names no file but holds '*', '?' or
  // '[' by the files it matches, in sorted order. False (after an ERROR)
  // when such a pattern matches nothing.
  bool expand_wildcards();

  unsigned int get_file_name_number() const { return file_name_number; }
  // The name as listed; null for an index beyond the list.
  const char* get_file_name(unsigned int i) const;
  // The part of name i after its last '/', '\\' or ':'.
  const char* get_file_name_only(unsigned int i) const;
  // The text after the last '.' of name i; null if there is no '.' after
  // the first character.
  const char* get_file_extension_only(unsigned int i) const;

  unsigned int get_neighbor_file_name_number() const { return neighbor_file_name_number; }
  const char* get_neighbor_file_name(unsigned int i) const;

  bool is_buffered() const;
  float get_buffer_size() const { return buffer_size; }

  // Each adds a private copy of the name. With `unique` a name that is
  // already listed (byte for byte) is not added and false is returned;
  // false also when the arrays cannot grow.
  bool add_file_name(const char* name, bool unique);
  bool add_file_name(const char* name, unsigned int ID, bool unique);
  bool add_file_name(const char* name, unsigned int ID, long long npoints, double min_x, double min_y, double max_x,
                     double max_y, bool unique);
  // Reads a list file: per line "ID,npoints,min_x,min_y,max_x,max_y,name",
  // "ID,name" or just the name. False if it cannot be opened.
  bool add_list_of_files(const char* list_file, bool unique);

  bool add_neighbor_file_name(const char* name, bool unique);
  bool add_neighbor_file_name(const char* name, long long npoints, double min_x, double min_y, double max_x,
                              double max_y, bool unique);
  bool add_neighbor_list_of_files(const char* list_file, bool unique);

 private:
  // Names already listed, built on the first uniqueness test and kept up to
  // date from then on, so that "-unique" stays linear in the list length.
  std::unordered_set<std::string_view> file_name_index;
  bool file_name_index_built;

  bool contains_file_name(const char* name);
  bool ensure_file_capacity();
  bool ensure_file_bounding_boxes();
  bool append_file_name(const char* name, unsigned int ID);
  bool contains_neighbor_file_name(const char* name) const;
  bool ensure_neighbor_capacity();
  bool ensure_neighbor_bounding_boxes();
  bool append_neighbor_file_name(const char* name);
  bool read_list_file(const char* list_file, bool unique, bool neighbors);
  bool parse_options(int argc, char** argv, bool parse_ignore, bool keep_ignore);
  bool parse_ignore_option(int& i, int argc, char** argv);
  void clear_attributes();
};

#endif
