// The abstract input byte stream: bytes, byte runs and 16/32/64-bit values in
// either file byte order, position and seeking. Running out of data throws the
// integer -1 so that point decoders notice truncated input.
#ifndef LAS_BYTESTREAMIN_HPP
#define LAS_BYTESTREAMIN_HPP

#include "las/endianness.hpp"  // Endian::IS_LITTLE_ENDIAN, for the creators

class ByteStreamIn {
 public:
  // Next byte (0..255); throws -1 at the end of the data.
  virtual int getByte() = 0;
  // Copies exactly num_bytes bytes; throws -1 when fewer remain.
  virtual void getBytes(unsigned char* bytes, long long num_bytes) = 0;
  // Read a value stored least significant byte first (LE) or most
  // significant byte first (BE) and store it in host order at dest.
  virtual void get16bitsLE(unsigned char* dest) = 0;
  virtual void get32bitsLE(unsigned char* dest) = 0;
  virtual void get64bitsLE(unsigned char* dest) = 0;
  virtual void get16bitsBE(unsigned char* dest) = 0;
  virtual void get32bitsBE(unsigned char* dest) = 0;
  virtual void get64bitsBE(unsigned char* dest) = 0;
  virtual bool isSeekable() const = 0;
  virtual long long tell() const = 0;
  // Absolute position; false (position unchanged) when it cannot be reached.
  virtual bool seek(long long position) = 0;
  // Positions distance bytes before the end.
  virtual bool seekEnd(long long distance = 0) = 0;
  virtual ~ByteStreamIn() = default;
};

#endif
