// The interface of one point operation of a transform, and the operation
// that the read opener adds itself (setting the point source ID).
#ifndef FILTER_LASOPERATION_HPP
#define FILTER_LASOPERATION_HPP

#include <cstdint>  // uint32_t masks, int64_t overflow counts

class LASpoint;

class LASoperation {
 public:
  // Number of values that had to be clamped.
  int64_t overflow = 0;

  // The option word without its dash, for example "translate_z".
  virtual const char* name() const = 0;
  // Writes the option text that recreates the operation; returns its length.
  virtual int get_command(char* string) const = 0;
  // The point-record fields the operation reads (selective decompression).
  virtual uint32_t get_decompress_selective() const = 0;
  // Changes the point in place.
  virtual void transform(LASpoint* point) = 0;
  virtual void reset() { overflow = 0; }
  virtual ~LASoperation() = default;
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
