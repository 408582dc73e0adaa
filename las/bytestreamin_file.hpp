// Input byte streams over a standard I/O FILE (LAS and PTC files). The FILE is
// not owned: the stream never opens or closes it. Buffering is left to stdio.
#ifndef LAS_BYTESTREAMIN_FILE_HPP
#define LAS_BYTESTREAMIN_FILE_HPP

#include <cstdio>  // FILE, getc_unlocked, fread

#include "las/bytestreamin.hpp"  // ByteStreamIn

class ByteStreamInFile : public ByteStreamIn {
 public:
  explicit ByteStreamInFile(FILE* file) : file(file) {}
  // The arithmetic decoder's byte source: the unlocked read is the inline
  // buffer step of stdio, without a lock and a call per byte. A stream is
  // read by one thread at a time.
  int getByte() override {
    const int byte = getc_unlocked(file);
    if (byte == EOF) throw int(-1);
    return byte;
  }
  void getBytes(unsigned char* bytes, long long num_bytes) override { take(bytes, num_bytes); }
  // Seekable unless the FILE is the process's standard input.
  bool isSeekable() const override;
  long long tell() const override;
  bool seek(long long position) override;
  bool seekEnd(long long distance = 0) override;

 protected:
  // The direct read shared by every fixed-width read (no virtual call).
  void take(unsigned char* bytes, long long num_bytes) {
    if (num_bytes < 0) throw int(-1);
    if (fread(bytes, 1, static_cast<size_t>(num_bytes), file) != static_cast<size_t>(num_bytes)) throw int(-1);
  }
  void take_reversed(unsigned char* dest, int n) {
    take(swapped, n);
    for (int i = 0; i < n; i++) dest[i] = swapped[n - 1 - i];
  }

  FILE* file;
  unsigned char swapped[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};

// For little-endian hosts: LE reads copy, BE reads reverse.
class ByteStreamInFileLE final : public ByteStreamInFile {
 public:
  explicit ByteStreamInFileLE(FILE* file) : ByteStreamInFile(file) {}
  void get16bitsLE(unsigned char* dest) override { take(dest, 2); }
  void get32bitsLE(unsigned char* dest) override { take(dest, 4); }
  void get64bitsLE(unsigned char* dest) override { take(dest, 8); }
  void get16bitsBE(unsigned char* dest) override { take_reversed(dest, 2); }
  void get32bitsBE(unsigned char* dest) override { take_reversed(dest, 4); }
  void get64bitsBE(unsigned char* dest) override { take_reversed(dest, 8); }
};

// For big-endian hosts: LE reads reverse, BE reads copy.
class ByteStreamInFileBE final : public ByteStreamInFile {
 public:
  explicit ByteStreamInFileBE(FILE* file) : ByteStreamInFile(file) {}
  void get16bitsLE(unsigned char* dest) override { take_reversed(dest, 2); }
  void get32bitsLE(unsigned char* dest) override { take_reversed(dest, 4); }
  void get64bitsLE(unsigned char* dest) override { take_reversed(dest, 8); }
  void get16bitsBE(unsigned char* dest) override { take(dest, 2); }
  void get32bitsBE(unsigned char* dest) override { take(dest, 4); }
  void get64bitsBE(unsigned char* dest) override { take(dest, 8); }
};

// The file stream for this host's byte order (caller owns the result).
ByteStreamInFile* new_byte_stream_in_file(FILE* file);

#endif
