// Serialisation of the RasterPTC VLR payload.
#include "raster/lasvlrrasterptc.hpp"

#include <memory>  // unique_ptr for the in-memory streams

#include "las/bytestreamin_array.hpp"   // new_byte_stream_in_array
#include "las/bytestreamout_array.hpp"  // new_byte_stream_out_array
#include "tool/lasmessage.hpp"          // LASMessage, laserror

namespace {

bool put32(ByteStreamOut* stream, const int32_t& v, const char* what) {
  if (stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&v))) return true;
  laserror("%s", what);
  return false;
}

bool put64(ByteStreamOut* stream, const double& v, const char* what) {
  if (stream->put64bitsLE(reinterpret_cast<const unsigned char*>(&v))) return true;
  laserror("%s", what);
  return false;
}

bool get32(ByteStreamIn* stream, int32_t& v, const char* what) {
  try {
    stream->get32bitsLE(reinterpret_cast<unsigned char*>(&v));
  } catch (...) {
    laserror("%s", what);
    return false;
  }
  return true;
}

bool get64(ByteStreamIn* stream, double& v, const char* what) {
  try {
    stream->get64bitsLE(reinterpret_cast<unsigned char*>(&v));
  } catch (...) {
    laserror("%s", what);
    return false;
  }
  return true;
}

}  // namespace

bool LASvlrRasterPTC::save(ByteStreamOut* stream) const {
  if (stream == nullptr) return false;
  return put32(stream, nbands, "writing LASvlrRasterPTC.nbands") &&
         put32(stream, nbits, "writing LASvlrRasterPTC.nbits") &&
         put32(stream, ncols, "writing LASvlrRasterPTC.ncols") &&
         put32(stream, nrows, "writing LASvlrRasterPTC.nrows") &&
         put32(stream, reserved1, "writing LASvlrRasterPTC.reserved1") &&
         put32(stream, reserved2, "writing LASvlrRasterPTC.reserved2") &&
         put64(stream, stepx, "writing LASvlrRasterPTC.stepx") &&
         put64(stream, stepx_y, "writing LASvlrRasterPTC.stepx_y") &&
         put64(stream, stepy, "writing LASvlrRasterPTC.stepy") &&
         put64(stream, stepy_x, "writing LASvlrRasterPTC.stepy_x") &&
         put64(stream, llx, "writing LASvlrRasterPTC.llx") && put64(stream, lly, "writing LASvlrRasterPTC.lly") &&
         put64(stream, sigmaxy, "writing LASvlrRasterPTC.sigmaxy");
}

bool LASvlrRasterPTC::load(ByteStreamIn* stream) {
  if (stream == nullptr) return false;
  return get32(stream, nbands, "reading LASvlrRasterPTC.nbands") &&
         get32(stream, nbits, "reading LASvlrRasterPTC.nbits") &&
         get32(stream, ncols, "reading LASvlrRasterPTC.ncols") &&
         get32(stream, nrows, "reading LASvlrRasterPTC.nrows") &&
         get32(stream, reserved1, "reading LASvlrRasterPTC.reserved1") &&
         get32(stream, reserved2, "reading LASvlrRasterPTC.reserved2") &&
         get64(stream, stepx, "reading LASvlrRasterPTC.stepx") &&
         get64(stream, stepx_y, "reading LASvlrRasterPTC.stepx_y") &&
         get64(stream, stepy, "reading LASvlrRasterPTC.stepy") &&
         get64(stream, stepy_x, "reading LASvlrRasterPTC.stepy_x") &&
         get64(stream, llx, "reading LASvlrRasterPTC.llx") && get64(stream, lly, "reading LASvlrRasterPTC.lly") &&
         get64(stream, sigmaxy, "reading LASvlrRasterPTC.sigmax");
}

unsigned char* LASvlrRasterPTC::get_payload() const {
  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(get_payload_size()));
  if (!out || !save(out.get())) return nullptr;
  return out->take_data();
}

bool LASvlrRasterPTC::set_payload(const unsigned char* data, long long size) {
  if (size < 0) size = 0;
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(data, data ? size : 0));
  return in && load(in.get());
}
