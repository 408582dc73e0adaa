// Little-endian reads and writes of the index records, with the end of the
// data turned into a false result instead of the byte streams' -1.
#ifndef INDEX_INDEX_IO_HPP
#define INDEX_INDEX_IO_HPP

#include <cstdint>  // fixed-width values
#include <cstring>  // memcpy, memcmp

#include "las/bytestreamin.hpp"   // ByteStreamIn
#include "las/bytestreamout.hpp"  // ByteStreamOut

namespace indexio {

template <typename T>
bool get(ByteStreamIn* stream, T& value) {
  static_assert(sizeof(T) == 4 || sizeof(T) == 8, "index fields are 32 or 64 bits");
  try {
    if constexpr (sizeof(T) == 4) {
      stream->get32bitsLE(reinterpret_cast<unsigned char*>(&value));
    } else {
      stream->get64bitsLE(reinterpret_cast<unsigned char*>(&value));
    }
    return true;
  } catch (...) {
    return false;
  }
}

// Four signature bytes, terminated for messages.
inline bool get_signature(ByteStreamIn* stream, char signature[5]) {
  try {
    stream->getBytes(reinterpret_cast<unsigned char*>(signature), 4);
    signature[4] = '\0';
    return true;
  } catch (...) {
    return false;
  }
}

inline bool is(const char signature[5], const char* expected) { return memcmp(signature, expected, 4) == 0; }

template <typename T>
bool put(ByteStreamOut* stream, T value) {
  static_assert(sizeof(T) == 4, "index fields are 32 bits");
  return stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&value));
}

inline bool put_signature(ByteStreamOut* stream, const char* signature) {
  return stream->putBytes(reinterpret_cast<const unsigned char*>(signature), 4);
}

}  // namespace indexio

#endif
