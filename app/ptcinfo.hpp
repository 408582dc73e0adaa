// ptcinfo: reports what a LAS or PTC point file holds (header, VLRs, EVLRs,
// point count and bounding box) and, with -check, reads every point and
// reports the ranges of its main fields. The library side of the tool: the
// thin main in ptcinfo_main.cpp only hands argv over.
#ifndef APP_PTCINFO_HPP
#define APP_PTCINFO_HPP

#include <cstdio>  // FILE, the report's destination

#include "lasio/lasreadopener.hpp"  // LASreadOpener, the files and their filter and area

class LASreaderLAS;

struct PtcinfoOptions {
  LASreadOpener opener;  // the files: "-i", "-lof" and plain names; filters and area queries for -check
  bool check = false;    // "-check": read every point
  bool help = false;     // "-h" or "-help"
};

// Takes the arguments after the program name: the read opener's input
// options first, then plain names and the tool's options. False (after an
// ERROR) for an unknown option, an option error or when no file is named.
bool ptcinfo_parse(int argc, char** argv, PtcinfoOptions& options);

// Reports one file to `out`. True when the file opened and, with check,
// every point the header announces was read.
bool ptcinfo_file(const char* file_name, bool check, FILE* out);
// The same for a reader that is open (with its filter and area query, which
// decide which points -check reports on).
bool ptcinfo_reader(LASreaderLAS& reader, bool check, FILE* out);

// The whole tool: parses, reports every file (errors do not stop the run)
// and returns the exit status the messages call for.
int ptcinfo_run(int argc, char** argv, FILE* out);

#endif
