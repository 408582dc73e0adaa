// Reads one row of an EPSG table: the file is scanned line by line for the
// code, so nothing of it stays in memory.
#include "geo/geoepsgtables.hpp"

#include <cstdio>   // FILE, fgets
#include <cstdlib>  // strtol, strtod
#include <cstring>  // strchr, strlen

#include "geo/geoprojectionconverter.hpp"  // unit2decdeg, geo_epsg_table_directory
#include "tool/lasutility.hpp"             // exe_path, LASfopen

namespace {

constexpr int kLineSize = 1024;

bool readable(const std::string& path) {
  FILE* file = LASfopen(path.c_str(), "r");
  if (file == nullptr) return false;
  fclose(file);
  return true;
}

// Splits a tab-separated line in place; returns the number of fields.
int split(char* line, char** fields, int max_fields) {
  line[strcspn(line, "\r\n")] = '\0';
  int n = 0;
  char* p = line;
  while (n < max_fields) {
    fields[n++] = p;
    char* tab = strchr(p, '\t');
    if (tab == nullptr) break;
    *tab = '\0';
    p = tab + 1;
  }
  return n;
}

int to_int(const char* text) { return static_cast<int>(strtol(text, nullptr, 10)); }
double to_double(const char* text) { return strtod(text, nullptr); }

// Finds the line of `code` in table `file_name` and splits it into exactly
// `expected` fields. False when the table or the code is missing or the
// line is malformed.
bool find_row(const char* file_name, int code, char* line, char** fields, int expected) {
  const std::string directory = geo_epsg_table_directory();
  if (directory.empty() || code <= 0) return false;
  FILE* file = LASfopen((directory + file_name).c_str(), "r");
  if (file == nullptr) return false;
  char prefix[16];
  const int prefix_length = snprintf(prefix, sizeof(prefix), "%d\t", code);
  bool found = false;
  while (fgets(line, kLineSize, file)) {
    if (strncmp(line, prefix, prefix_length) != 0) continue;
    found = split(line, fields, expected) == expected;
    break;
  }
  fclose(file);
  return found;
}

}  // namespace

std::string geo_epsg_table_directory() {
  static const std::string directory = [] {
    const std::string program = exe_path();
    if (program.empty()) return std::string();
    // installed: PREFIX/bin and PREFIX/share/rastcmp; build tree: the
    // programs and the test programs one or two levels below share/rastcmp
    for (const char* up : {"../share/rastcmp/", "../../share/rastcmp/", "../../../share/rastcmp/"}) {
      const std::string candidate = program + up;
      if (readable(candidate + "pcs.txt")) return candidate;
    }
    return std::string();
  }();
  return directory;
}

bool geo_epsg_find_pcs(int code, GeoEpsgPcs& row) {
  constexpr int kFields = 5 + 3 * GeoEpsgPcs::PARAMETERS;
  char line[kLineSize];
  char* f[kFields];
  if (!find_row("pcs.txt", code, line, f, kFields)) return false;
  row.code = code;
  row.gcs = to_int(f[1]);
  row.method = to_int(f[2]);
  row.unit = to_int(f[3]);
  for (int i = 0; i < GeoEpsgPcs::PARAMETERS; i++) {
    row.parameter[i] = to_int(f[4 + 3 * i]);
    row.value[i] = to_double(f[5 + 3 * i]);
    row.value_unit[i] = to_int(f[6 + 3 * i]);
  }
  row.name = f[kFields - 1];
  return true;
}

bool geo_epsg_find_gcs(int code, GeoEpsgGcs& row) {
  constexpr int kFields = 9;
  char line[kLineSize];
  char* f[kFields];
  if (!find_row("gcs.txt", code, line, f, kFields)) return false;
  row.code = code;
  row.ellipsoid_code = to_int(f[1]);
  row.semi_major_axis = to_double(f[2]);
  row.inverse_flattening = to_double(f[3]);
  row.semi_minor_axis = to_double(f[4]);
  const int unit = to_int(f[6]);
  const bool angle_unit = unit == 9102 || unit == 9122 || unit == 9105 || unit == 9110;
  // in an unknown unit only "zero" is sure: anything else stays non-zero
  row.prime_meridian = angle_unit ? GeoProjectionConverter::unit2decdeg(to_double(f[5]), unit, true) : to_double(f[5]);
  row.datum_name = f[7];
  row.name = f[8];
  // an ellipsoid without a usable size cannot be used
  return row.semi_major_axis > 0.0 && (row.inverse_flattening >= 1.0 || row.semi_minor_axis > 0.0);
}
