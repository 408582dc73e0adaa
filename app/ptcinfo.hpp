// ptcinfo: reports what a LAS or PTC point file holds (header, VLRs, EVLRs,
// point count and bounding box) and, with -check, reads every point and
// reports the ranges of its main fields. The library side of the tool: the
// thin main in ptcinfo_main.cpp only hands argv over.
#ifndef APP_PTCINFO_HPP
#define APP_PTCINFO_HPP

#include <cstdio>  // FILE, the report's destination
#include <memory>  // the filter
#include <string>  // file names
#include <vector>  // the file list

#include "filter/lasfilter.hpp"     // LASfilter, the points -check reports
#include "filter/lastransform.hpp"  // LAStransform, the points -check changes

struct PtcinfoOptions {
  std::vector<std::string> files;
  bool check = false;  // "-check": read every point
  bool help = false;   // "-h" or "-help"
  unsigned int threads = 0;  // "-threads n": decoding threads of -check; 0: every processor
  // "-inside" / "-inside_rectangle" (min_x min_y max_x max_y), "-inside_tile"
  // (ll_x ll_y size), "-inside_circle" (center_x center_y radius): -check
  // reads only the points of the area ('r', 't', 'c'; 0 for none).
  char inside = 0;
  double area[4] = {0.0, 0.0, 0.0, 0.0};
  std::unique_ptr<LASfilter> filter;  // filter options; null without any
  std::shared_ptr<LAStransform> transform;  // transform options: the checked points are transformed
};

// Takes the arguments after the program name: filter options first, then
// the tool's own. False (after an ERROR) for a bad filter option, an
// unknown option or when no file is named.
bool ptcinfo_parse(int argc, char** argv, PtcinfoOptions& options);

// Reports one file to `out`. True when the file opened and, with check,
// every point the header announces was read. With a filter, check reports
// the points that pass it (count and ranges) against the header's count;
// the completeness test still counts every point decoded. With a transform,
// check reports the transformed points.
bool ptcinfo_file(const char* file_name, bool check, FILE* out, LASfilter* filter = nullptr,
                  LAStransform* transform = nullptr);
// The same with the options' area, filter and transform. With an area, the check
// reports the points inside it and fails only when reading fails.
bool ptcinfo_file(const char* file_name, const PtcinfoOptions& options, FILE* out);

// The whole tool: parses, reports every file (errors do not stop the run)
// and returns the exit status the messages call for.
int ptcinfo_run(int argc, char** argv, FILE* out);

#endif
