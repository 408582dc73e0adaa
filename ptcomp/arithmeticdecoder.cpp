// Decoder start: attaching the stream and reading the start bytes.
#include "ptcomp/arithmeticdecoder.hpp"

bool ArithmeticDecoder::init(ByteStreamIn* new_stream, bool read_start_bytes) {
  if (new_stream == nullptr) return false;
  st.stream = new_stream;
  st.length = AC_MAX_LENGTH;
  st.value = 0;
  if (read_start_bytes) {
    uint32_t v = static_cast<uint32_t>(new_stream->getByte()) << 24;
    v |= static_cast<uint32_t>(new_stream->getByte()) << 16;
    v |= static_cast<uint32_t>(new_stream->getByte()) << 8;
    v |= static_cast<uint32_t>(new_stream->getByte());
    // A valid stream keeps value below length; FF FF FF FF would not, and
    // the symbol lookup would then index past its table.
    if (v >= st.length) throw int(4711);
    st.value = v;
  }
  return true;
}
