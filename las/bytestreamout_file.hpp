// Output byte streams into a standard I/O FILE for the writer side. The FILE
// is not owned: the stream never opens or closes it.
#ifndef LAS_BYTESTREAMOUT_FILE_HPP
#define LAS_BYTESTREAMOUT_FILE_HPP

#include <cstdio>  // FILE, putc, fwrite

#include "las/bytestreamout.hpp"  // ByteStreamOut

class ByteStreamOutFile : public ByteStreamOut {
 public:
  explicit ByteStreamOutFile(FILE* file) : file(file) {}
  bool putByte(unsigned char byte) override { return putc(byte, file) != EOF; }
  bool putBytes(const unsigned char* bytes, unsigned int num_bytes) override { return put(bytes, num_bytes); }
  // Seekable unless the FILE is the process's standard output.
  bool isSeekable() const override;
  long long tell() const override;
  bool seek(long long position) override;
  bool seekEnd() override;

 protected:
  bool put(const unsigned char* bytes, unsigned int num_bytes) {
    return fwrite(bytes, 1, num_bytes, file) == num_bytes;
  }
  bool put_reversed(const unsigned char* src, int n) {
    for (int i = 0; i < n; i++) swapped[i] = src[n - 1 - i];
    return put(swapped, n);
  }

  FILE* file;
  unsigned char swapped[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// For little-endian hosts: LE writes copy, BE writes reverse.
class ByteStreamOutFileLE final : public ByteStreamOutFile {
 public:
  explicit ByteStreamOutFileLE(FILE* file) : ByteStreamOutFile(file) {}
  bool put16bitsLE(const unsigned char* src) override { return put(src, 2); }
  bool put32bitsLE(const unsigned char* src) override { return put(src, 4); }
  bool put64bitsLE(const unsigned char* src) override { return put(src, 8); }
  bool put16bitsBE(const unsigned char* src) override { return put_reversed(src, 2); }
  bool put32bitsBE(const unsigned char* src) override { return put_reversed(src, 4); }
  bool put64bitsBE(const unsigned char* src) override { return put_reversed(src, 8); }
};

// For big-endian hosts: LE writes reverse, BE writes copy.
class ByteStreamOutFileBE final : public ByteStreamOutFile {
 public:
  explicit ByteStreamOutFileBE(FILE* file) : ByteStreamOutFile(file) {}
  bool put16bitsLE(const unsigned char* src) override { return put_reversed(src, 2); }
  bool put32bitsLE(const unsigned char* src) override { return put_reversed(src, 4); }
  bool put64bitsLE(const unsigned char* src) override { return put_reversed(src, 8); }
  bool put16bitsBE(const unsigned char* src) override { return put(src, 2); }
  bool put32bitsBE(const unsigned char* src) override { return put(src, 4); }
  bool put64bitsBE(const unsigned char* src) override { return put(src, 8); }
};

// The file stream for this host's byte order (caller owns the result).
ByteStreamOutFile* new_byte_stream_out_file(FILE* file);

#endif
