// Output naming options for raster outputs (kept at their defaults here).
#ifndef TOOL_SRWRITEOPENER_HPP
#define TOOL_SRWRITEOPENER_HPP

#include <string>  // file name

class SRwriteOpener {
 public:
  SRwriteOpener() = default;
  void set_file_name(const char* name);
  const char* get_file_name() const { return file_name.empty() ? nullptr : file_name.c_str(); }
  int unparse(char* string, bool omit_file_name) const;

 private:
  std::string file_name;
};

#endif
