// The interface of one point operation of a transform, and the operation
// that the read opener adds itself (setting the point source ID).
#ifndef FILTER_LASOPERATION_HPP
#define FILTER_LASOPERATION_HPP

#include <cstdint>  // uint32_t masks, int64_t overflow counts

#include "las/lasquantizer.hpp"  // LASquantizer, the offset-adjust pair

class LASpoint;

class LASoperation {
 public:
  // Number of values that had to be clamped.
  int64_t overflow = 0;
  // With offset adjustment the point's coordinates come in through
  // quantizer_in and leave through quantizer_out, whose offset the
  // operation has moved the way it moves coordinates.
  LASquantizer quantizer_in;
  LASquantizer quantizer_out;
  bool offset_adjust = false;

  // The option word without its dash, for example "translate_z".
  virtual const char* name() const = 0;
  // Writes the option text that recreates the operation; returns its length.
  virtual int get_command(char* string) const = 0;
  // The point-record fields the operation reads (selective decompression).
  virtual uint32_t get_decompress_selective() const = 0;
  // Moves a coordinate triple the way the operation moves point coordinates
  // (nothing for operations that leave coordinates alone).
  virtual void transform_coords_for_offset_adjustment(double& x, double& y, double& z) const {
    (void)x, (void)y, (void)z;
  }
  // False when the operation's effect on coordinates depends on more than
  // the coordinates themselves (raw integers, other fields, clamping).
  virtual bool supports_offset_adjust() const { return true; }
  // Changes the point in place.
  virtual void transform(LASpoint* point) = 0;
  virtual void reset() { overflow = 0; }
  virtual ~LASoperation() = default;

  // Rewrites the point's stored coordinates from quantizer_in to
  // quantizer_out (clamped and counted like every other result).
  void adjust_offset(LASpoint* point);
};

// "-set_point_source value": every point gets the same point source ID.
class LASoperationSetPointSource : public LASoperation {
 public:
  explicit LASoperationSetPointSource(unsigned short value) : psid(value) {}
  const char* name() const override { return "set_point_source"; }
  int get_command(char* string) const override;
  uint32_t get_decompress_selective() const override { return 0; }
  void transform(LASpoint* point) override;

 private:
  unsigned short psid;
};

#endif
