// Output byte streams into an owned memory buffer that grows by the request
// plus 4096 bytes. The finished buffer can be taken over with take_data.
#ifndef LAS_BYTESTREAMOUT_ARRAY_HPP
#define LAS_BYTESTREAMOUT_ARRAY_HPP

#include "las/bytestreamout.hpp"  // ByteStreamOut

class ByteStreamOutArray : public ByteStreamOut {
 public:
  // Allocates the initial capacity at once.
  explicit ByteStreamOutArray(long long alloc = 1024);
  ~ByteStreamOutArray() override;
  ByteStreamOutArray(const ByteStreamOutArray&) = delete;
  ByteStreamOutArray& operator=(const ByteStreamOutArray&) = delete;

  bool putByte(unsigned char byte) override {
    if (curr == alloc && !grow(4096)) return false;
    data[curr++] = byte;
    if (curr > size) size = curr;
    return true;
  }
  bool putBytes(const unsigned char* bytes, unsigned int num_bytes) override { return put(bytes, num_bytes); }
  bool isSeekable() const override { return true; }
  long long tell() const override { return curr; }
  bool seek(long long position) override;
  bool seekEnd() override {
    curr = size;
    return true;
  }

  const unsigned char* get_data() const { return data; }
  long long get_size() const { return size; }
  // Hands the buffer (allocated with malloc_las/realloc_las, release it with
  // free) to the caller and empties the stream.
  unsigned char* take_data();

 protected:
  bool grow(long long extra);
  bool put(const unsigned char* bytes, unsigned int num_bytes);
  bool put_reversed(const unsigned char* src, int n) {
    for (int i = 0; i < n; i++) swapped[i] = src[n - 1 - i];
    return put(swapped, n);
  }

  unsigned char* data = nullptr;
  long long alloc = 0;
  long long size = 0;
  long long curr = 0;
  unsigned char swapped[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// For little-endian hosts: LE writes copy, BE writes reverse.
class ByteStreamOutArrayLE final : public ByteStreamOutArray {
 public:
  explicit ByteStreamOutArrayLE(long long alloc = 1024) : ByteStreamOutArray(alloc) {}
  bool put16bitsLE(const unsigned char* src) override { return put(src, 2); }
  bool put32bitsLE(const unsigned char* src) override { return put(src, 4); }
  bool put64bitsLE(const unsigned char* src) override { return put(src, 8); }
  bool put16bitsBE(const unsigned char* src) override { return put_reversed(src, 2); }
  bool put32bitsBE(const unsigned char* src) override { return put_reversed(src, 4); }
  bool put64bitsBE(const unsigned char* src) override { return put_reversed(src, 8); }
};

// For big-endian hosts: LE writes reverse, BE writes copy.
class ByteStreamOutArrayBE final : public ByteStreamOutArray {
 public:
  explicit ByteStreamOutArrayBE(long long alloc = 1024) : ByteStreamOutArray(alloc) {}
  bool put16bitsLE(const unsigned char* src) override { return put_reversed(src, 2); }
  bool put32bitsLE(const unsigned char* src) override { return put_reversed(src, 4); }
  bool put64bitsLE(const unsigned char* src) override { return put_reversed(src, 8); }
  bool put16bitsBE(const unsigned char* src) override { return put(src, 2); }
  bool put32bitsBE(const unsigned char* src) override { return put(src, 4); }
  bool put64bitsBE(const unsigned char* src) override { return put(src, 8); }
};

// The array stream for this host's byte order (caller owns the result).
ByteStreamOutArray* new_byte_stream_out_array(long long alloc = 1024);

#endif
