// BIL reader: keyword header, checks, then one raw row at a time.
#include "raster/srreader_bil.hpp"

#include <strings.h>   // strcasecmp for the case-insensitive keywords
#include <sys/stat.h>  // fstat for the data size check

#include <algorithm>  // min
#include <charconv>   // from_chars: locale-free header numbers
#include <cmath>      // isnan
#include <cstdlib>    // malloc, free
#include <cstring>    // strlen, strchr, memcpy
#include <string>     // header file name
#include <utility>    // swap of sample bytes

#include "tool/lasutility.hpp"  // LASfopen, round_clamp_i32

namespace {

inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Parses the number at the start of text (blanks before it allowed) into
// out; anything after the number is ignored. False when no number is there
// or it does not fit.
template <typename T>
bool parse_number(const char* text, T& out) {
  while (is_blank(*text)) text++;
  const char* end = text + strlen(text);
  if (text < end && *text == '+') text++;
  T v{};
  auto res = std::from_chars(text, end, v);
  if (res.ec != std::errc()) return false;
  out = v;
  return true;
}

// Swaps the bytes of each of the n samples of `bytes` bytes in place.
void swap_samples(uint8_t* data, int64_t n, int bytes) {
  if (bytes == 2) {
    for (int64_t i = 0; i < n; i++) std::swap(data[2 * i], data[2 * i + 1]);
  } else if (bytes == 4) {
    for (int64_t i = 0; i < n; i++) {
      uint32_t v;
      memcpy(&v, data + 4 * i, 4);
      v = __builtin_bswap32(v);
      memcpy(data + 4 * i, &v, 4);
    }
  }
}

}  // namespace

SRreader_bil::~SRreader_bil() {
  if (file) fclose(file);
  free(line_buffer);
}

// Reads the keyword lines of the header (at most 255 characters each).
// Keywords are case-insensitive and stand first on their line; the value
// follows after blanks. A value that does not parse leaves its field
// unchanged. False only for a byte order this reader cannot honour.
bool SRreader_bil::read_header(const char* header_name, FILE* header) {
  char line[256];
  bool ok = true;
  while (fgets(line, sizeof(line), header) != nullptr) {
    // a longer line counts by its first 255 characters; the rest is skipped
    if (strchr(line, '\n') == nullptr) {
      int c;
      while ((c = fgetc(header)) != EOF && c != '\n') {
      }
    }
    char* p = line;
    while (is_blank(*p)) p++;
    char* word = p;
    while (*p && !is_blank(*p)) p++;
    if (*p) *p++ = '\0';
    while (is_blank(*p)) p++;
    char* arg = p;
    // the value ends at the line end (or trailing blanks)
    size_t len = strlen(arg);
    while (len > 0 && is_blank(arg[len - 1])) arg[--len] = '\0';

    if (strcasecmp(word, "ncols") == 0) {
      parse_number(arg, ncols);
    } else if (strcasecmp(word, "nrows") == 0) {
      parse_number(arg, nrows);
    } else if (strcasecmp(word, "nbits") == 0) {
      parse_number(arg, nbits);
    } else if (strcasecmp(word, "nbands") == 0) {
      parse_number(arg, nbands);
    } else if (strcasecmp(word, "ulxmap") == 0) {
      parse_number(arg, llx);
    } else if (strcasecmp(word, "ulymap") == 0) {
      parse_number(arg, ury);
    } else if (strcasecmp(word, "xdim") == 0) {
      parse_number(arg, stepx);
    } else if (strcasecmp(word, "ydim") == 0) {
      parse_number(arg, stepy);
    } else if (strcasecmp(word, "nodata") == 0 || strcasecmp(word, "nodata_value") == 0) {
      // float rasters carry texts such as -3.4028234663852886e+38
      parse_number(arg, nodata_raw);
    } else if (strcasecmp(word, "pixeltype") == 0) {
      if (strcasecmp(arg, "float") == 0) {
        float_values = true;
      } else if (strcasecmp(arg, "unsignedint") == 0) {
        unsigned_values = true;
        float_values = false;
      } else if (strcasecmp(arg, "signedint") == 0) {
        unsigned_values = false;
        float_values = false;
      }
    } else if (strcasecmp(word, "byteorder") == 0) {
      // I (Intel) or LSBFIRST: little-endian; M (Motorola) or MSBFIRST: big-endian
      if (strcasecmp(arg, "i") == 0 || strcasecmp(arg, "lsbfirst") == 0) {
        big_endian = false;
      } else if (strcasecmp(arg, "m") == 0 || strcasecmp(arg, "msbfirst") == 0) {
        big_endian = true;
      } else {
        fprintf(stderr, "ERROR in SRreader_bil::open(%s): byte order '%s' not supported\n", header_name, arg);
        ok = false;
      }
    } else if (strcasecmp(word, "skipbytes") == 0) {
      parse_number(arg, skip_bytes);
    } else if (strcasecmp(word, "bandrowbytes") == 0) {
      parse_number(arg, band_row_bytes);
    } else if (strcasecmp(word, "totalrowbytes") == 0) {
      parse_number(arg, total_row_bytes);
    }
  }
  return ok;
}

bool SRreader_bil::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): zero file name pointer not supported\n");
    return false;
  }
  if (!open_header(file_name) || !check_samples(file_name)) return false;
  offset[0] = 0.0;
  if (std::isnan(nodata_raw)) {
    nodata = round_clamp_i32(nodata / scale[0]);  // NaN cells are nodata anyway
  } else {
    nodata = round_clamp_i32(nodata_raw / scale[0]);
  }
  lly = ury - nrows * stepy;
  urx = llx + ncols * stepx;
  if (!check_row_layout(file_name) || !open_data(file_name)) return false;

  sr_sample_type(nbits, unsigned_values, float_values, sample_type);
  prepare_rule(rule, nodata_raw);

  row = 0;
  col = ncols;  // the first cell asks for a row
  r_count = 0;
  return true;
}

// Finds the ".hdr" (or ".HDR") beside the data file and reads it.
bool SRreader_bil::open_header(const char* file_name) {
  std::string header_name = file_name;
  if (header_name.size() >= 3) header_name.replace(header_name.size() - 3, 3, "hdr");
  FILE* header = LASfopen(header_name.c_str(), "r");
  if (header == nullptr) {
    // writers on case-preserving systems also name the header ".HDR"
    std::string upper = header_name;
    if (upper.size() >= 3) upper.replace(upper.size() - 3, 3, "HDR");
    header = LASfopen(upper.c_str(), "r");
  }
  if (header == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): cannot open '%s'\n", header_name.c_str());
    return false;
  }
  const bool header_ok = read_header(header_name.c_str(), header);
  fclose(header);
  return header_ok;
}

// One band of 8, 16 or 32 bits (floats only at 32), the unit of its values
// and a size of at least one cell.
bool SRreader_bil::check_samples(const char* file_name) {
  if (nbands != 1) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): %d bands with %d bits not supported\n", file_name, nbands,
            nbits);
    return false;
  }
  if (nbits == 32 && float_values) {
    if (!scaled) scale[0] = 0.01;
  } else if (nbits == 32 || nbits == 16 || nbits == 8) {
    float_values = false;  // a float pixel type only counts at 32 bits
    if (scaled && scale[0] == 1.0) {
      scaled = false;
    } else if (scaled) {
      scale[1] = 1.0 / scale[0];
    } else {
      scale[0] = 1.0;
    }
  } else {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): 1 band with %d bits not supported\n", file_name, nbits);
    return false;
  }
  if (ncols < 1) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): ncols is %d\n", file_name, ncols);
    return false;
  }
  if (nrows < 1) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): nrows is %d\n", file_name, nrows);
    return false;
  }
  return true;
}

// Row layout: packed samples, then padding up to the announced row size.
bool SRreader_bil::check_row_layout(const char* file_name) {
  const int64_t packed = static_cast<int64_t>(ncols) * (nbits / 8);
  row_stride = packed;
  if (total_row_bytes >= 0) {
    row_stride = total_row_bytes;
  } else if (band_row_bytes >= 0) {
    row_stride = band_row_bytes;
  }
  if (row_stride < packed) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): rows of %lld bytes cannot hold %d samples of %d bits\n",
            file_name, static_cast<long long>(row_stride), ncols, nbits);
    return false;
  }
  if (skip_bytes < 0) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): skipbytes is %lld\n", file_name,
            static_cast<long long>(skip_bytes));
    return false;
  }
  return true;
}

// Opens the data, checks that it holds every row the header announces (the
// last row needs no padding), which also bounds the row buffer by the real
// file size, and moves to the first row.
bool SRreader_bil::open_data(const char* file_name) {
  const int64_t packed = static_cast<int64_t>(ncols) * (nbits / 8);
  file = LASfopen(file_name, "rb");
  if (file == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(): cannot open '%s'\n", file_name);
    return false;
  }
  struct stat st;
  if (fstat(fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
    int64_t rows_bytes = 0, needed = 0;
    const bool overflow = __builtin_mul_overflow(static_cast<int64_t>(nrows - 1), row_stride, &rows_bytes) ||
                          __builtin_add_overflow(rows_bytes, packed, &needed) ||
                          __builtin_add_overflow(needed, skip_bytes, &needed);
    if (overflow || needed > static_cast<int64_t>(st.st_size)) {
      fprintf(stderr, "ERROR in SRreader_bil::open(%s): file has %lld bytes but %d rows of %d cells need %s%lld\n",
              file_name, static_cast<long long>(st.st_size), nrows, ncols, overflow ? "more than " : "",
              static_cast<long long>(overflow ? INT64_MAX : needed));
      return false;
    }
  }
  if (skip_bytes > 0 && fseeko(file, static_cast<off_t>(skip_bytes), SEEK_SET) != 0) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): cannot skip %lld bytes\n", file_name,
            static_cast<long long>(skip_bytes));
    return false;
  }
  line_buffer = static_cast<uint8_t*>(malloc(static_cast<size_t>(packed)));
  if (line_buffer == nullptr) {
    fprintf(stderr, "ERROR in SRreader_bil::open(%s): cannot allocate a row of %lld bytes\n", file_name,
            static_cast<long long>(packed));
    return false;
  }
  return true;
}

// Reads the next row into line_buffer in host byte order and steps over its
// padding. Marks the row as failed when the file ends early.
bool SRreader_bil::load_row() {
  const int bytes = nbits / 8;
  const size_t packed = static_cast<size_t>(ncols) * bytes;
  row_failed = fread(line_buffer, 1, packed, file) != packed;
  if (row_failed) {
    fprintf(stderr, "ERROR in SRreader_bil::read_raster(): cannot read row %d of %d\n", row, nrows);
  } else {
    if (big_endian && bytes > 1) swap_samples(line_buffer, ncols, bytes);
    const int64_t padding = row_stride - static_cast<int64_t>(packed);
    if (padding > 0 && row + 1 < nrows) fseeko(file, static_cast<off_t>(padding), SEEK_CUR);
  }
  row++;
  col = 0;
  return !row_failed;
}

int64_t SRreader_bil::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (file == nullptr || line_buffer == nullptr) return 0;
  const int bytes = nbits / 8;
  int64_t k = 0;
  while (k < n) {
    if (col >= ncols) {
      if (row == nrows) return k;
      load_row();
    }
    if (row_failed) {
      // the cell is used up but has no value
      col++;
      value[0] = nodata;
      cell_nodata = true;
      return k;
    }
    const int64_t run = std::min<int64_t>(n - k, ncols - col);
    sr_convert_buffer(sample_type, line_buffer + static_cast<size_t>(col) * bytes, 1, run, rule, values + k,
                      nodata_flags + k);
    col += static_cast<int32_t>(run);
    k += run;
    r_count += run;
    value[0] = values[k - 1];
    cell_nodata = nodata_flags[k - 1] != 0;
  }
  return k;
}

bool SRreader_bil::read_raster() {
  int32_t v;
  uint8_t f;
  return read_cells(1, &v, &f) == 1;
}

void SRreader_bil::close(bool) {
  free(line_buffer);
  line_buffer = nullptr;
  if (file) {
    fclose(file);
    file = nullptr;
  }
  check_count_on_close("SRreader_bil");
}
