// Input byte streams over a FILE: position, seeking and the creator.
#include "las/bytestreamin_file.hpp"

#include <sys/types.h>  // off_t for fseeko/ftello

bool ByteStreamInFile::isSeekable() const { return file != stdin; }

long long ByteStreamInFile::tell() const { return static_cast<long long>(ftello(file)); }

bool ByteStreamInFile::seek(long long position) {
  if (tell() == position) return true;
  if (position < 0) return false;
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
}

bool ByteStreamInFile::seekEnd(long long distance) {
  if (distance < 0) return false;
  return fseeko(file, static_cast<off_t>(-distance), SEEK_END) == 0;
}

ByteStreamInFile* new_byte_stream_in_file(FILE* file) {
  if (Endian::IS_LITTLE_ENDIAN) return new ByteStreamInFileLE(file);
  return new ByteStreamInFileBE(file);
}
