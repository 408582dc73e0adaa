// Output naming options of the raster-writing tools: directory, name,
// appendix, cut and format, rendered back into option text for child
// processes (this program keeps them at their defaults).
#ifndef FANOUT_SRWRITEOPENER_HPP
#define FANOUT_SRWRITEOPENER_HPP

#include <cstdint>  // uint32_t cut, int32_t nodata and sizes
#include <string>   // rendered option text

class SRwriteOpener {
 public:
  SRwriteOpener();
  ~SRwriteOpener();
  SRwriteOpener(const SRwriteOpener&) = delete;
  SRwriteOpener& operator=(const SRwriteOpener&) = delete;

  // Writes the option text of the non-default settings at `buffer` (which
  // must be large enough) and returns its length. Without `with_names` only
  // the tiling, nodata and compression texts are written.
  int unparse(char* buffer, bool with_names) const;
  // The same text as a string, for callers that cannot bound its length.
  std::string unparse(bool with_names) const;

  // Null clears the output name. Otherwise the name's last four characters
  // choose the format; a name that is too short or has an unknown ending is
  // refused with a message on stderr and changes nothing. The stored
  // directory, appendix and cut are then applied to the new name.
  void set_file_name(const char* name);
  // Puts the current name into `directory` (null: the stored directory).
  void add_directory(const char* directory = nullptr);
  // Inserts `appendix` before the name's extension (null: the stored one).
  void add_appendix(const char* appendix = nullptr);

  // Settings of the raster-writing tools; none of them is set by this
  // program's parsers. Setting a directory, appendix or cut also applies it
  // to the current name.
  void set_directory(const char* directory);
  void set_appendix(const char* appendix);
  void set_cut(uint32_t cut);
  void set_format(const char* format);
  void set_kml(bool kml) { this->kml = kml; }
  void set_world_file(bool world_file) { this->world_file = world_file; }
  void set_nodata(int32_t nodata);
  void set_tiling(const char* name, int32_t size);
  void set_compression_quality(int32_t quality) { compression_quality = quality; }

  const char* get_file_name() const { return file_name; }
  const char* get_directory() const { return directory; }
  const char* get_appendix() const { return appendix; }
  const char* get_format() const { return format; }
  uint32_t get_cut() const { return cut; }

 private:
  void cut_characters();

  char* directory;
  char* file_name;
  char* appendix;
  uint32_t cut;
  char* format;
  bool kml;
  bool world_file;
  int32_t nodata;
  bool nodata_set;
  char* tiling_name;
  int32_t tiling_size;
  int32_t compression_quality;
};

#endif
