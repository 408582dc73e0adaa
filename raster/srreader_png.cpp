// PNG reader: header and world file at open, then rows decoded by libpng
// one at a time (the whole image at once when it is interlaced). libpng
// errors come back through setjmp and fail the open or the cell read.
#include "raster/srreader_png.hpp"

#include <png.h>       // libpng decoding
#include <sys/stat.h>  // fstat for the buffer plausibility check

#include <algorithm>  // min
#include <csetjmp>    // setjmp for libpng's error return
#include <cstdlib>    // free
#include <cstring>    // memset
#include <string>     // world file names

#include "tool/lasutility.hpp"  // LASfopen, malloc_las, sscanf_las

namespace {

// Deflate expands at most about 1032-fold, so a decoded image larger than
// this many times its file cannot be real.
constexpr double kMaxInflation = 1100.0;

// libpng's own limits. Rows are at most this many pixels wide, so that one
// decoded row of four 16-bit samples stays below 2 GB; nrows is a signed
// 32-bit field. No chunk other than image data may claim more than 8 MB,
// and at most 128 ancillary chunks are kept.
constexpr png_uint_32 kMaxWidth = png_uint_32(1) << 28;
constexpr png_uint_32 kMaxHeight = PNG_UINT_31_MAX;
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxCachedChunks = 128;

// No ancillary chunk (text, palettes, profiles) matters for the samples:
// libpng is told to skip them all unread, so that a chunk announcing
// gigabytes costs a seek instead of an allocation.
void set_limits(png_structp png) {
  png_set_user_limits(png, kMaxWidth, kMaxHeight);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
}

// The libpng calls that can fail, each in a function of its own so that
// setjmp guards nothing but plain values.
bool decode_header(png_structp png, png_infop info, FILE* file) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_set_sig_bytes(png, 8);
  png_read_info(png, info);
  // png_read_image de-interlaces the passes itself; it expects to be told
  // so before the row setup (the samples and row size stay the same)
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool decode_row(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool decode_image(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

inline int32_t sample16(const uint8_t* p) { return (static_cast<int32_t>(p[0]) << 8) | p[1]; }

}  // namespace

SRreader_png::~SRreader_png() { release(); }

void SRreader_png::release() {
  if (png != nullptr) {
    png_structp p = png;
    png_infop i = info;
    png_destroy_read_struct(&p, i ? &i : nullptr, nullptr);
    png = nullptr;
    info = nullptr;
  }
  if (file) {
    fclose(file);
    file = nullptr;
  }
  free(row_buffer);
  row_buffer = nullptr;
  free(row_pointers);
  row_pointers = nullptr;
  row = nullptr;
}

bool SRreader_png::read_world_file(const char* file_name) {
  // The world file name replaces the three characters after the extension
  // dot, which must have at least three characters after it.
  const std::string image(file_name);
  const size_t len = image.size();
  size_t dot = std::string::npos;
  if (len >= 4) {
    for (size_t i = len - 4 + 1; i-- > 0;) {
      if (image[i] == '.') {
        dot = i;
        break;
      }
    }
  }
  if (dot == std::string::npos) {
    fprintf(stderr, "ERROR: file name '%s' is not a valid PNG file\n", file_name);
    return false;
  }
  std::string world = image;
  FILE* f = nullptr;
  for (const char* ext : {"pgw", "PGW"}) {
    world.replace(dot + 1, 3, ext);
    f = LASfopen(world.c_str(), "r");
    if (f) break;
  }
  if (f == nullptr) {
    const std::string base = image.substr(0, dot);
    fprintf(stderr, "WARNING: cannot open world file '%s.pgw' or '%s.PGW'\n", base.c_str(), base.c_str());
    return false;
  }
  const bool ok = set_extent_from_world_file(f);
  fclose(f);
  if (!ok) {
    fprintf(stderr, "WARNING: corrupt world file\n");
    return false;
  }
  return true;
}

bool SRreader_png::open(const char* file_name) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_png\n");
    return false;
  }
  file = LASfopen(file_name, "rb");
  if (file == nullptr) {
    fprintf(stderr, "ERROR in SRreader_png::open(): cannot open '%s'\n", file_name);
    return false;
  }
  setvbuf(file, nullptr, _IOFBF, 1 << 20);
  png_byte signature[8];
  if (fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0) {
    fprintf(stderr, "ERROR: file '%s' not recognized as a PNG file\n", file_name);
    return false;
  }
  png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) {
    fprintf(stderr, "ERROR: png_create_read_struct failed\n");
    return false;
  }
  info = png_create_info_struct(png);
  if (info == nullptr) {
    fprintf(stderr, "ERROR: png_create_info_struct failed\n");
    return false;
  }
  set_limits(png);
  if (!decode_header(png, info, file)) {
    fprintf(stderr, "ERROR: png_jmpbuf failed\n");
    return false;
  }
  // libpng keeps width and height below 2^31 (and by default below one
  // million), so they fit the signed fields.
  ncols = static_cast<int32_t>(png_get_image_width(png, info));
  nrows = static_cast<int32_t>(png_get_image_height(png, info));
  color_type = png_get_color_type(png, info);
  interlace_type = png_get_interlace_type(png, info);
  nbits = png_get_bit_depth(png, info);
  channels = png_get_channels(png, info);
  switch (color_type) {
    case PNG_COLOR_TYPE_GRAY: nbands = 1; break;
    case PNG_COLOR_TYPE_RGB: nbands = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: nbands = 2; break;
    case PNG_COLOR_TYPE_RGB_ALPHA: nbands = 4; break;
    default: nbands = -1; break;
  }

  if (!read_world_file(file_name)) return false;

  if (nbits != 8 && nbits != 16) {
    fprintf(stderr, "ERROR: nbits %d not supported by SRreader_png\n", nbits);
    return false;
  }
  row_bytes = png_get_rowbytes(png, info);
  if (row_bytes < static_cast<size_t>(ncols) * channels * (nbits / 8)) {
    fprintf(stderr, "ERROR: file '%s' has rows of %lu bytes for %d columns\n", file_name,
            static_cast<unsigned long>(row_bytes), ncols);
    return false;
  }
  // what is allocated below (the whole image when interlaced, one row
  // otherwise) must be decodable from the file's bytes
  struct stat st;
  const bool interlaced = interlace_type != PNG_INTERLACE_NONE;
  const double buffer_bytes = static_cast<double>(row_bytes) * (interlaced ? nrows : 1);
  if (fstat(fileno(file), &st) == 0 && buffer_bytes > kMaxInflation * static_cast<double>(st.st_size) + 65536.0) {
    fprintf(stderr, "ERROR: %d rows of %lu bytes cannot be decoded from the %lld bytes of '%s'\n", nrows,
            static_cast<unsigned long>(row_bytes), static_cast<long long>(st.st_size), file_name);
    return false;
  }
  if (interlaced) {
    row_buffer = static_cast<uint8_t*>(malloc_las(row_bytes * static_cast<size_t>(nrows)));
    if (row_buffer == nullptr) {
      fprintf(stderr, "ERROR: allocating space for all %d rows\n", nrows);
      return false;
    }
    row_pointers = static_cast<uint8_t**>(malloc_las(sizeof(uint8_t*) * static_cast<size_t>(nrows)));
    if (row_pointers == nullptr) {
      fprintf(stderr, "ERROR: allocating space for all %d row pointers\n", nrows);
      return false;
    }
    for (int32_t r = 0; r < nrows; r++) row_pointers[r] = row_buffer + static_cast<size_t>(r) * row_bytes;
  } else {
    row_buffer = static_cast<uint8_t*>(malloc_las(row_bytes));
    if (row_buffer == nullptr) {
      fprintf(stderr, "ERROR: allocating space for one row\n");
      return false;
    }
  }
  row_counter = 0;
  r_count = 0;
  col = ncols;  // the first cell starts a row
  failed = false;
  return true;
}

// Decodes (or, for interlaced images, looks up) the next row.
bool SRreader_png::next_row() {
  if (failed || row_counter >= nrows || png == nullptr) return false;
  if (interlace_type != PNG_INTERLACE_NONE) {
    if (row_counter == 0 && !decode_image(png, row_pointers)) {
      fprintf(stderr, "ERROR: setjmp(png_jmpbuf(png_ptr)) failed\n");
      failed = true;
      return false;
    }
    row = row_pointers[row_counter];
  } else {
    if (!decode_row(png, row_buffer)) {
      fprintf(stderr, "ERROR: setjmp(png_jmpbuf(png_ptr)) failed\n");
      failed = true;
      return false;
    }
    row = row_buffer;
  }
  row_counter++;
  col = 0;
  return true;
}

int64_t SRreader_png::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (r_count < 0 || row_buffer == nullptr) return 0;
  const bool wide = nbits == 16;
  const int32_t step = channels * (wide ? 2 : 1);
  int64_t k = 0;
  while (k < n) {
    if (col >= ncols && !next_row()) return k;
    const int32_t run = static_cast<int32_t>(std::min<int64_t>(n - k, ncols - col));
    if (run <= 0) return k;  // only on a broken state: no cell left in the row
    int32_t* out = values + k;
    uint8_t* flags = nodata_flags + k;
    if (nbands < 1) {
      // palette images: no sample is a value, value stays as it is
      for (int32_t i = 0; i < run; i++) {
        out[i] = value[0];
        flags[i] = value[0] == nodata;
      }
    } else {
      const uint8_t* p = row + static_cast<size_t>(col) * step;
      if (!wide && step == 1) {
        for (int32_t i = 0; i < run; i++) out[i] = p[i];
      } else if (!wide) {
        for (int32_t i = 0; i < run; i++) out[i] = p[static_cast<size_t>(i) * step];
      } else {
        for (int32_t i = 0; i < run; i++) out[i] = sample16(p + static_cast<size_t>(i) * step);
      }
      // PNG samples are unsigned and below 2^nbits: a nodata value outside
      // that range (the default -9999) matches no cell.
      if (nodata < 0 || nodata >= (1 << nbits)) {
        memset(flags, 0, static_cast<size_t>(run));
      } else {
        for (int32_t i = 0; i < run; i++) flags[i] = out[i] == nodata;
      }
      // the further samples of the last pixel, as the per-cell path sets them
      const uint8_t* last = p + static_cast<size_t>(run - 1) * step;
      for (int32_t b = 1; b < nbands && b < 10; b++) {
        value[b] = wide ? sample16(last + 2 * b) : last[b];
      }
      value[0] = out[run - 1];
    }
    col += run;
    r_count += run;
    k += run;
  }
  return k;
}

bool SRreader_png::read_raster() {
  int32_t v;
  uint8_t flag;
  return read_cells(1, &v, &flag) == 1;
}

void SRreader_png::close(bool) {
  release();
  check_count_on_close("SRreader_png");
}
