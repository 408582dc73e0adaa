// Input byte streams over a memory block: setup, seeking and the creator.
#include "las/bytestreamin_array.hpp"

bool ByteStreamInArray::init(const unsigned char* new_data, long long new_size) {
  data = new_data;
  size = (new_data && new_size > 0) ? new_size : 0;
  curr = 0;
  return true;
}

bool ByteStreamInArray::seek(long long position) {
  if (position < 0 || position > size) return false;
  curr = position;
  return true;
}

bool ByteStreamInArray::seekEnd(long long distance) {
  if (distance < 0 || distance > size) return false;
  curr = size - distance;
  return true;
}

ByteStreamInArray* new_byte_stream_in_array(const unsigned char* data, long long size) {
  if (Endian::IS_LITTLE_ENDIAN) return new ByteStreamInArrayLE(data, size);
  return new ByteStreamInArrayBE(data, size);
}
