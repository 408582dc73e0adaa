// The interface of typed VLR payloads: a record that knows its user id and
// record id and turns itself into the bytes of a VLR's data and back.
#ifndef LAS_LASVLRPAYLOAD_HPP
#define LAS_LASVLRPAYLOAD_HPP

#include <cstdint>  // uint16_t record ids, int64_t sizes

class ByteStreamIn;
class ByteStreamOut;

class LASvlrPayload {
 public:
  virtual uint16_t get_record_id() const = 0;
  virtual const char* get_user_id() const = 0;
  virtual int64_t get_payload_size() const = 0;
  // A new buffer (malloc_las; the caller frees it) holding the serialised
  // payload, or null when serialisation failed.
  virtual unsigned char* get_payload() const = 0;
  // Loads the payload from `size` bytes at `data`.
  virtual bool set_payload(const unsigned char* data, long long size) = 0;
  virtual ~LASvlrPayload() = default;
  virtual bool save(ByteStreamOut* stream) const = 0;
  virtual bool load(ByteStreamIn* stream) = 0;
};

#endif
