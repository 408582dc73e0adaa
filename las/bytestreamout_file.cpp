// Output byte streams into a FILE: position, seeking and the creator.
#include "las/bytestreamout_file.hpp"

#include <sys/types.h>  // off_t for fseeko/ftello

bool ByteStreamOutFile::isSeekable() const { return file != stdout; }

long long ByteStreamOutFile::tell() const { return static_cast<long long>(ftello(file)); }

bool ByteStreamOutFile::seek(long long position) {
  if (position < 0) return false;
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool ByteStreamOutFile::seekEnd() { return fseeko(file, 0, SEEK_END) == 0; }

ByteStreamOutFile* new_byte_stream_out_file(FILE* file) {
  if (Endian::IS_LITTLE_ENDIAN) return new ByteStreamOutFileLE(file);
  return new ByteStreamOutFileBE(file);
}
