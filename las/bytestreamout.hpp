// The abstract output byte stream: bytes, byte runs and 16/32/64-bit values
// written in either file byte order, position and seeking. Failures are
// reported as false results; earlier bytes stay written.
#ifndef LAS_BYTESTREAMOUT_HPP
#define LAS_BYTESTREAMOUT_HPP

#include "las/endianness.hpp"  // Endian::IS_LITTLE_ENDIAN, for the creators

class ByteStreamOut {
 public:
  virtual bool putByte(unsigned char byte) = 0;
  virtual bool putBytes(const unsigned char* bytes, unsigned int num_bytes) = 0;
  // Write the host-order value at src least significant byte first (LE) or
  // most significant byte first (BE).
  virtual bool put16bitsLE(const unsigned char* src) = 0;
  virtual bool put32bitsLE(const unsigned char* src) = 0;
  virtual bool put64bitsLE(const unsigned char* src) = 0;
  virtual bool put16bitsBE(const unsigned char* src) = 0;
  virtual bool put32bitsBE(const unsigned char* src) = 0;
  virtual bool put64bitsBE(const unsigned char* src) = 0;
  virtual bool isSeekable() const = 0;
  virtual long long tell() const = 0;
  virtual bool seek(long long position) = 0;
  // Positions at the end of what was written.
  virtual bool seekEnd() = 0;
  virtual ~ByteStreamOut() = default;
};

#endif
