// Output options of a point-file writer, as far as the process fan-out
// passes them on to child processes (this program writes no point files).
#ifndef FANOUT_LASWRITEOPENER_HPP
#define FANOUT_LASWRITEOPENER_HPP

#include <cstdint>  // uint32_t cut
#include <string>   // names and format texts

struct LASwriteOpener {
  std::string file_name;     // "-o"
  std::string directory;     // "-odir"
  std::string appendix;      // "-odix"
  uint32_t cut = 0;          // "-ocut"
  std::string format_name;   // "-o<format>", empty when not set
  std::string parse_string;  // "-oparse", text output only
  std::string separator;     // "-osep", text output only

  bool is_text() const { return format_name == "txt"; }
};

#endif
