// ptcinfo: reports what a LAS or PTC point file holds (header, VLRs, EVLRs,
// point count and bounding box) and, with -check, reads every point and
// reports the ranges of its main fields. The library side of the tool: the
// thin main in ptcinfo_main.cpp only hands argv over.
#ifndef APP_PTCINFO_HPP
#define APP_PTCINFO_HPP

#include <cstdio>  // FILE, the report's destination
#include <memory>  // shared_ptr of the transform
#include <string>  // file names
#include <vector>  // the file list

class LAStransform;

struct PtcinfoOptions {
  std::vector<std::string> files;
  bool check = false;  // "-check": read every point
  bool help = false;   // "-h" or "-help"
  std::shared_ptr<LAStransform> transform;  // transform options: the checked points are transformed
};

// Takes the arguments after the program name. False (after an ERROR) for an
// unknown option or when no file is named.
bool ptcinfo_parse(int argc, char** argv, PtcinfoOptions& options);

// Reports one file to `out`. True when the file opened and, with check,
// every point the header announces was read.
bool ptcinfo_file(const char* file_name, bool check, FILE* out, LAStransform* transform = nullptr);

// The whole tool: parses, reports every file (errors do not stop the run)
// and returns the exit status the messages call for.
int ptcinfo_run(int argc, char** argv, FILE* out);

#endif
