// Output byte streams into a growing memory buffer: growth, seeking, hand-over.
#include "las/bytestreamout_array.hpp"

#include <cstdlib>  // free
#include <cstring>  // memcpy

#include "tool/lasutility.hpp"  // malloc_las, realloc_las

ByteStreamOutArray::ByteStreamOutArray(long long initial_alloc) {
  if (initial_alloc > 0) {
    data = static_cast<unsigned char*>(malloc_las(static_cast<size_t>(initial_alloc)));
    if (data) alloc = initial_alloc;
  }
}

ByteStreamOutArray::~ByteStreamOutArray() { free(data); }

bool ByteStreamOutArray::grow(long long extra) {
  const long long new_alloc = alloc + extra;
  unsigned char* grown = static_cast<unsigned char*>(realloc_las(data, static_cast<size_t>(new_alloc)));
  if (grown == nullptr) return false;
  data = grown;
  alloc = new_alloc;
  return true;
}

bool ByteStreamOutArray::put(const unsigned char* bytes, unsigned int num_bytes) {
  if (curr + num_bytes > alloc && !grow(static_cast<long long>(num_bytes) + 4096)) return false;
  if (num_bytes) memcpy(data + curr, bytes, num_bytes);
  curr += num_bytes;
  if (curr > size) size = curr;
  return true;
}

bool ByteStreamOutArray::seek(long long position) {
  if (position < 0 || position > size) return false;
  curr = position;
  return true;
}

unsigned char* ByteStreamOutArray::take_data() {
  unsigned char* taken = data;
  data = nullptr;
  alloc = size = curr = 0;
  return taken;
}

ByteStreamOutArray* new_byte_stream_out_array(long long alloc) {
  if (Endian::IS_LITTLE_ENDIAN) return new ByteStreamOutArrayLE(alloc);
  return new ByteStreamOutArrayBE(alloc);
}
