// Input byte streams over a caller's memory block (VLR payloads, coded layers).
// The block is not owned; reads past its end throw -1 and leave the position.
#ifndef LAS_BYTESTREAMIN_ARRAY_HPP
#define LAS_BYTESTREAMIN_ARRAY_HPP

#include <cstring>  // memcpy

#include "las/bytestreamin.hpp"  // ByteStreamIn

class ByteStreamInArray : public ByteStreamIn {
 public:
  ByteStreamInArray() = default;
  ByteStreamInArray(const unsigned char* data, long long size) { init(data, size); }
  // (Re)targets the stream; a null data pointer gives an empty stream.
  bool init(const unsigned char* data, long long size);

  int getByte() override {
    if (curr >= size) throw int(-1);
    return data[curr++];
  }
  void getBytes(unsigned char* bytes, long long num_bytes) override { take(bytes, num_bytes); }
  bool isSeekable() const override { return true; }
  long long tell() const override { return curr; }
  bool seek(long long position) override;
  bool seekEnd(long long distance = 0) override;

  long long get_size() const { return size; }

 protected:
  // The direct copy shared by every fixed-width read (no virtual call).
  void take(unsigned char* bytes, long long num_bytes) {
    if (num_bytes < 0 || num_bytes > size - curr) throw int(-1);
    if (num_bytes) memcpy(bytes, data + curr, static_cast<size_t>(num_bytes));
    curr += num_bytes;
  }
  void take_reversed(unsigned char* dest, int n) {
    take(swapped, n);
    for (int i = 0; i < n; i++) dest[i] = swapped[n - 1 - i];
  }

  const unsigned char* data = nullptr;
  long long size = 0;
  long long curr = 0;
  unsigned char swapped[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// For little-endian hosts: LE reads copy, BE reads reverse.
class ByteStreamInArrayLE final : public ByteStreamInArray {
 public:
  ByteStreamInArrayLE() = default;
  ByteStreamInArrayLE(const unsigned char* data, long long size) : ByteStreamInArray(data, size) {}
  void get16bitsLE(unsigned char* dest) override { take(dest, 2); }
  void get32bitsLE(unsigned char* dest) override { take(dest, 4); }
  void get64bitsLE(unsigned char* dest) override { take(dest, 8); }
  void get16bitsBE(unsigned char* dest) override { take_reversed(dest, 2); }
  void get32bitsBE(unsigned char* dest) override { take_reversed(dest, 4); }
  void get64bitsBE(unsigned char* dest) override { take_reversed(dest, 8); }
};

// For big-endian hosts: LE reads reverse, BE reads copy.
class ByteStreamInArrayBE final : public ByteStreamInArray {
 public:
  ByteStreamInArrayBE() = default;
  ByteStreamInArrayBE(const unsigned char* data, long long size) : ByteStreamInArray(data, size) {}
  void get16bitsLE(unsigned char* dest) override { take_reversed(dest, 2); }
  void get32bitsLE(unsigned char* dest) override { take_reversed(dest, 4); }
  void get64bitsLE(unsigned char* dest) override { take_reversed(dest, 8); }
  void get16bitsBE(unsigned char* dest) override { take(dest, 2); }
  void get32bitsBE(unsigned char* dest) override { take(dest, 4); }
  void get64bitsBE(unsigned char* dest) override { take(dest, 8); }
};

// The array stream for this host's byte order (caller owns the result).
ByteStreamInArray* new_byte_stream_in_array(const unsigned char* data, long long size);

#endif
