// Building and storing the spatial index of a written point file.
#include "lasio/lasindexfile.hpp"

#include <cstdio>   // FILE, fseeko
#include <cstring>  // memcmp

#include "index/lasindex.hpp"           // LASindex
#include "las/bytestreamout_array.hpp"  // the index record in memory
#include "lasio/lasreaderlas.hpp"       // LASreaderLAS
#include "tool/lasmessage.hpp"          // laserror
#include "tool/lasutility.hpp"          // LASfopen

std::string lax_file_name(const char* file_name) {
  std::string lax = file_name;
  const size_t dot = lax.find_last_of('.');
  const size_t slash = lax.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) lax.resize(dot);
  return lax + ".lax";
}

namespace {

bool fail(const char* text, const char* file_name) {
  laserror(text, file_name);
  return false;
}

template <typename T>
bool read_at(FILE* file, long long position, T* value) {
  return fseeko(file, position, SEEK_SET) == 0 && fread(value, sizeof(T), 1, file) == 1;
}

// The file position of the compressor settings payload, or -1.
long long find_settings(FILE* file) {
  uint16_t header_size;
  uint32_t count;
  if (!read_at(file, 94, &header_size) || !read_at(file, 100, &count)) return -1;
  long long position = header_size;
  for (uint32_t i = 0; i < count; i++) {
    char user_id[16];
    uint16_t length;
    if (!read_at(file, position + 2, &user_id) || !read_at(file, position + 20, &length)) return -1;
    if (memcmp(user_id, "ptcomp encoded", 15) == 0) return position + 54;
    position += 54 + length;
  }
  return -1;
}

// Appends the record as a special record and points the settings at it.
bool append_special_record(const char* file_name, const ByteStreamOutArray& record) {
  FILE* file = LASfopen(file_name, "r+b");
  if (file == nullptr) return false;
  const long long settings = find_settings(file);
  bool ok = settings >= 0 && fseeko(file, 0, SEEK_END) == 0;
  const int64_t offset = ok ? static_cast<int64_t>(ftello(file)) : 0;
  unsigned char header[60] = {0};
  memcpy(header + 2, "Kestrel", 7);
  header[18] = 30;  // record id
  const uint64_t length = static_cast<uint64_t>(record.get_size());
  memcpy(header + 20, &length, 8);
  memcpy(header + 28, "spatial index", 13);
  const int64_t count = 1;
  ok = ok && fwrite(header, 60, 1, file) == 1 &&
       fwrite(record.get_data(), static_cast<size_t>(record.get_size()), 1, file) == 1 &&
       fseeko(file, settings + 16, SEEK_SET) == 0 && fwrite(&count, 8, 1, file) == 1 &&
       fwrite(&offset, 8, 1, file) == 1;
  return (fclose(file) == 0) && ok;
}

}  // namespace

bool index_point_file(const char* file_name, uint32_t minimum_points) {
  LASindex index;
  bool compressed = false;
  {
    LASreaderLAS reader;
    if (!reader.open(file_name)) return fail("cannot open '%s' for indexing", file_name);
    const LASheader& h = reader.header;
    if (reader.npoints > int64_t(UINT32_MAX) || !index.prepare(h.min_x, h.max_x, h.min_y, h.max_y, reader.npoints)) {
      return fail("cannot index the points of '%s'", file_name);
    }
    compressed = reader.get_format() == 2;
    while (reader.read_point()) {
      index.add(h.get_x(reader.point.X), h.get_y(reader.point.Y), static_cast<uint32_t>(reader.p_count - 1));
    }
    if (reader.p_count != reader.npoints) return fail("cannot read every point of '%s' for indexing", file_name);
  }
  index.complete(minimum_points);
  if (!compressed) {
    if (!index.write(lax_file_name(file_name).c_str())) return fail("cannot write the index of '%s'", file_name);
    return true;
  }
  ByteStreamOutArrayLE record;
  if (!index.write(&record) || !append_special_record(file_name, record)) {
    return fail("cannot add the index to '%s'", file_name);
  }
  return true;
}
