// ESRI ASCII grid reader: header keywords, then rows parsed in place.
#include "raster/srreader_asc.hpp"

#include <sys/stat.h>  // fstat for the size plausibility check

#include <algorithm>  // min
#include <charconv>   // from_chars: locale-free number parsing
#include <cmath>     // isnan
#include <cstdlib>   // free, strtod
#include <cstring>   // strstr, strlen

#include "tool/lasmessage.hpp"  // LASMessage, do_halt_on_error, byebye
#include "tool/lasutility.hpp"  // LASfopen, round_clamp_i32, sscanf_las

namespace {

inline bool is_blank(char c) { return c >= 1 && c <= 32; }

// Parses one number at p (after optional blanks were skipped by the caller).
// Returns the end of the number text or null when nothing parses.
inline const char* parse_double(const char* p, const char* end, double& out) {
  const char* q = p;
  if (q < end && *q == '+') q++;
  auto res = std::from_chars(q, end, out, std::chars_format::general);
  if (res.ec == std::errc() ) return res.ptr;
  if (res.ec == std::errc::result_out_of_range) {
    // from_chars leaves out untouched; strtod gives the saturated value
    char* e = nullptr;
    out = strtod(p, &e);
    return e == p ? nullptr : e;
  }
  char* e = nullptr;
  out = strtod(p, &e);  // rare spellings: hex floats, "infinity", "+nan"
  if (e == p) return nullptr;
  return e;
}

// Reads one line of any length into a growing malloc'd buffer. Returns the
// length without the line end, or -1 at end of file.
ssize_t read_line(FILE* f, char*& buffer, size_t& capacity) {
  ssize_t n = getline(&buffer, &capacity, f);
  if (n < 0) return -1;
  while (n > 0 && (buffer[n - 1] == '\n' || buffer[n - 1] == '\r')) buffer[--n] = '\0';
  return n;
}

// The header keywords and the format that reads each.
struct Keyword {
  const char* word;
  const char* format;
};
const Keyword kKeywords[] = {
    {"ncols", "ncols %d"},
    {"nrows", "nrows %d"},
    {"xllcorner", "xllcorner %lf"},
    {"yllcorner", "yllcorner %lf"},
    {"cellsize", "cellsize %lf"},
    {"NODATA_value", "NODATA_value %lf"},
    {"nodata_value", "nodata_value %lf"},
};

}  // namespace

SRreader_asc::~SRreader_asc() {
  if (file) fclose(file);
  free(line_buffer);
}

bool SRreader_asc::open(const char* file_name, bool) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): zero file name pointer not supported\n");
    return false;
  }
  file = LASfopen(file_name, "r");
  if (file == nullptr) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): cannot open '%s'\n", file_name);
    return false;
  }
  setvbuf(file, nullptr, _IOFBF, 1 << 20);
  name = file_name;
  warned_cell = warned_row = false;
  if (!read_header() || !check_header(file_name)) return false;

  nbits = 32;
  nbands = 1;
  urx = llx + ncols * stepx;
  ury = lly + nrows * stepy;
  if (!scaled) scale[0] = 0.01;
  offset[0] = 0.0;

  row = 0;
  col = ncols - 1;
  r_count = 0;
  return true;
}

// Reads the keyword lines up to the nodata line or, in a grid without one,
// up to the first row. False after a message when a keyword's value does
// not parse.
bool SRreader_asc::read_header() {
  bool header_done = false;
  while (!header_done) {
    const ssize_t len = read_line(file, line_buffer, line_capacity);
    if (len < 0) break;  // end of file inside the header: the checks decide
    int which = -1;
    for (int k = 0; k < 7; k++) {
      if (strstr(line_buffer, kKeywords[k].word) != nullptr) {
        which = k;
        break;
      }
    }
    if (which < 0) {
      // A grid without a nodata line: the first line that starts (after
      // blanks) like a number is the first row.
      const char* p = line_buffer;
      while (is_blank(*p)) p++;
      if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.') {
        pending_row = true;
        header_done = true;
      }
      continue;
    }
    if (!parse_keyword(which, header_done)) {
      LASMessage(LAS_ERROR, "Error: Failed to parse '%s' from line: %s\n", kKeywords[which].word, line_buffer);
      if (do_halt_on_error()) byebye();
      return false;
    }
  }
  return true;
}

// Takes the value of keyword number `which` from the current line. The
// nodata line ends the header.
bool SRreader_asc::parse_keyword(int which, bool& header_done) {
  if (which <= 1) {
    int v = 0;
    if (sscanf_las(line_buffer, kKeywords[which].format, &v) != 1) return false;
    (which == 0 ? ncols : nrows) = v;
    return true;
  }
  double v = 0.0;
  if (sscanf_las(line_buffer, kKeywords[which].format, &v) != 1) return false;
  switch (which) {
    case 2: llx = v; break;
    case 3: lly = v; break;
    case 4: stepx = v; stepy = v; break;
    default:
      // Float grids carry nodata texts such as -3.4028234663852886e+38:
      // cells are compared against the double, the integer is rounded.
      nodata_value = v;
      nodata = round_clamp_i32(v);
      header_done = true;
      break;
  }
  return true;
}

// Every value of the header is present, and the file is large enough for
// the cells it announces.
bool SRreader_asc::check_header(const char* file_name) const {
  if (ncols < 1) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): ncols is %d in '%s'\n", ncols, file_name);
    return false;
  }
  if (nrows < 1) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): nrows is %d in '%s'\n", nrows, file_name);
    return false;
  }
  if (llx == SR_NOT_SET) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): xllcorner is %g in '%s'\n", llx, file_name);
    return false;
  }
  if (lly == SR_NOT_SET) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): yllcorner is %g in '%s'\n", lly, file_name);
    return false;
  }
  if (!(stepx > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_asc::open(): cellsize is %g in '%s'\n", stepx, file_name);
    return false;
  }
  // Every cell needs at least one character and a separator: a header
  // announcing more cells than that is refused before anything is read.
  struct stat st;
  if (fstat(fileno(file), &st) == 0) {
    const int64_t cells = static_cast<int64_t>(nrows) * static_cast<int64_t>(ncols);
    if (cells > static_cast<int64_t>(st.st_size) / 2 + 1) {
      fprintf(stderr,
              "ERROR in SRreader_asc::open(): ncols %d and nrows %d announce %lld cells but '%s' has only %lld bytes\n",
              ncols, nrows, static_cast<long long>(cells), file_name, static_cast<long long>(st.st_size));
      return false;
    }
  }
  return true;
}

bool SRreader_asc::next_row() {
  if (row == nrows) return false;
  if (pending_row) {
    pending_row = false;
  } else if (read_line(file, line_buffer, line_capacity) < 0) {
    return false;
  }
  cursor = line_buffer;
  while (is_blank(*cursor)) cursor++;
  row++;
  col = 0;
  return true;
}

bool SRreader_asc::parse_cell() {
  const char* end = cursor + strlen(cursor);
  const char* p = parse_double(cursor, end, raw_value);
  if (p == nullptr) return false;
  if (std::isnan(raw_value)) {
    value[0] = nodata;
  } else {
    value[0] = round_clamp_i32((raw_value - offset[0]) / scale[0]);
  }
  if (*p && !is_blank(*p)) note_cell_text(cursor, p);
  while (*p && !is_blank(*p)) p++;
  while (is_blank(*p)) p++;
  cursor = p;
  r_count++;
  if (col == ncols - 1) end_of_row();
  return true;
}

// The number at `start` ends at `number_end` but its cell text goes on: the
// cell keeps the number, and the first such cell of a grid is reported.
void SRreader_asc::note_cell_text(const char* start, const char* number_end) {
  if (warned_cell) return;
  warned_cell = true;
  while (*number_end && !is_blank(*number_end)) number_end++;
  const std::string text(start, number_end);
  LASMessage(LAS_WARNING, "cell text '%s' in row %d of '%s' is not a number", text.c_str(), row - 1, name.c_str());
}

// After the last cell of a row: values left on its line, and after the last
// row any text left in the file, are reported (once per grid).
void SRreader_asc::end_of_row() {
  if (*cursor && !warned_row) {
    warned_row = true;
    LASMessage(LAS_WARNING, "row %d of '%s' holds more than %d values", row - 1, name.c_str(), ncols);
  }
  if (row != nrows) return;
  int c;
  while ((c = getc(file)) != EOF) {
    if (!is_blank(static_cast<char>(c))) {
      LASMessage(LAS_WARNING, "'%s' has text after its last row", name.c_str());
      break;
    }
  }
}

bool SRreader_asc::read_raster() {
  if (file == nullptr || line_buffer == nullptr) return false;
  col++;
  if (col >= ncols) {
    if (!next_row()) return false;
  }
  return parse_cell();
}

bool SRreader_asc::is_nodata() const { return raw_value == nodata_value || std::isnan(raw_value); }

int64_t SRreader_asc::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (file == nullptr || line_buffer == nullptr) return 0;
  const double off = offset[0];
  const double sc = scale[0];
  const double nd = nodata_value;
  int64_t k = 0;
  while (k < n) {
    col++;
    if (col >= ncols && !next_row()) return k;
    // cells left in this row, taken in one tight loop
    int64_t run = std::min<int64_t>(n - k, static_cast<int64_t>(ncols - col));
    const char* p = cursor;
    const char* end = p + strlen(p);
    for (int64_t j = 0; j < run; j++) {
      double v;
      const char* q = parse_double(p, end, v);
      if (q == nullptr) {
        cursor = p;
        col += static_cast<int32_t>(j);
        r_count += j;
        if (j > 0) value[0] = values[k + j - 1];
        return k + j;
      }
      raw_value = v;
      if (q < end && !is_blank(*q)) note_cell_text(p, q);
      if (std::isnan(v)) {
        values[k + j] = nodata;
        nodata_flags[k + j] = 1;
      } else {
        values[k + j] = round_clamp_i32((v - off) / sc);
        nodata_flags[k + j] = (v == nd) ? 1 : 0;
      }
      while (q < end && !is_blank(*q)) q++;
      while (q < end && is_blank(*q)) q++;
      p = q;
    }
    cursor = p;
    col += static_cast<int32_t>(run) - 1;
    r_count += run;
    value[0] = values[k + run - 1];
    k += run;
    if (col == ncols - 1) end_of_row();
  }
  return k;
}

void SRreader_asc::close(bool close_file) {
  free(line_buffer);
  line_buffer = nullptr;
  line_capacity = 0;
  if (close_file && file) {
    fclose(file);
    file = nullptr;
  }
  if (r_count != -1) {
    const int64_t cells = static_cast<int64_t>(nrows) * static_cast<int64_t>(ncols);
    if (r_count != cells) {
      fprintf(stderr, "WARNING (SRreader_asc): r_count is %lld but nrows (%d) * ncols (%d) is %lld\n",
              static_cast<long long>(r_count), nrows, ncols, static_cast<long long>(cells));
    }
  }
  r_count = -1;
}
