// The RasterPTC VLR ("Raster PTC", record 7113): the raster geometry that a
// compressed point file carries so that its points can be read back as the
// cells of a raster. 80 bytes of little-endian payload.
#ifndef RASTER_LASVLRRASTERPTC_HPP
#define RASTER_LASVLRRASTERPTC_HPP

#include <cstdint>  // int32_t fields

#include "las/lasvlrpayload.hpp"  // LASvlrPayload

class LASvlrRasterPTC : public LASvlrPayload {
 public:
  static constexpr uint16_t RECORD_ID = 7113;
  static constexpr const char* USER_ID = "Raster PTC";
  static constexpr int64_t PAYLOAD_SIZE = 80;

  char user_id[16] = {'R', 'a', 's', 't', 'e', 'r', ' ', 'P', 'T', 'C', 0, 0, 0, 0, 0, 0};
  int32_t nbands = -1;
  int32_t nbits = -1;
  int32_t ncols = -1;
  int32_t nrows = -1;
  int32_t reserved1 = 0;
  int32_t reserved2 = 0;
  double stepx = 1.0;
  double stepx_y = 0.0;
  double stepy = 1.0;
  double stepy_x = 0.0;
  double llx = 0.0;
  double lly = 0.0;
  double sigmaxy = 0.0;

  uint16_t get_record_id() const override { return RECORD_ID; }
  const char* get_user_id() const override { return user_id; }
  int64_t get_payload_size() const override { return PAYLOAD_SIZE; }
  unsigned char* get_payload() const override;
  bool set_payload(const unsigned char* data, long long size) override;
  // Writes the thirteen fields in payload order; the first failing put is
  // reported at ERROR naming its field.
  bool save(ByteStreamOut* stream) const override;
  // Reads the thirteen fields; running out of data is reported through
  // laserror naming the field that could not be read.
  bool load(ByteStreamIn* stream) override;
};

#endif
