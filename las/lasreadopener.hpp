// Input file list and input options.
#ifndef LAS_LASREADOPENER_HPP
#define LAS_LASREADOPENER_HPP

#include <cstdint>  // uint32_t
#include <string>   // owned names
#include <vector>   // name list

class LASreadOpener {
 public:
  bool merged = false;
  bool use_stdin = false;
  bool unique = false;
  uint32_t file_name_current = 0;

  LASreadOpener() = default;
  ~LASreadOpener() = default;

  void parse(int argc, char** argv, bool parse_ignore = false, bool keep_ignore = false);
  bool active() const { return file_name_current < names.size() || use_stdin; }
  unsigned int get_file_name_number() const { return static_cast<unsigned int>(names.size()); }
  const char* get_file_name(unsigned int i) const { return names[i].c_str(); }
  const char* get_file_name_only(unsigned int i) const;
  const char* get_file_extension_only(unsigned int i) const;
  bool add_file_name(const char* name, bool unique);

 private:
  std::vector<std::string> names;
};

#endif
