// The coordinate quantizer of a point file: scale factors and offsets that map
// stored integer coordinates to world coordinates, and back with rounding
// half away from zero. Also names the attribute that carries z, if any.
#ifndef LAS_LASQUANTIZER_HPP
#define LAS_LASQUANTIZER_HPP

#include <cstdint>  // int16_t, int32_t, int64_t

class LASquantizer {
 public:
  double x_scale_factor = 0.01;
  double y_scale_factor = 0.01;
  double z_scale_factor = 0.01;
  double x_offset = 0.0;
  double y_offset = 0.0;
  double z_offset = 0.0;
  // When >= 0 the point's z lives in this extra-bytes attribute.
  int16_t z_attribute_index = -1;

  double get_x(int32_t X) const { return x_scale_factor * X + x_offset; }
  double get_y(int32_t Y) const { return y_scale_factor * Y + y_offset; }
  double get_z(int32_t Z) const { return z_scale_factor * Z + z_offset; }
  // Unclamped rounded quantisation; callers test the range (see LASpoint).
  int64_t get_X(double x) const { return round_away((x - x_offset) / x_scale_factor); }
  int64_t get_Y(double y) const { return round_away((y - y_offset) / y_scale_factor); }
  int64_t get_Z(double z) const { return round_away((z - z_offset) / z_scale_factor); }

  void reset_quantizer() { *this = LASquantizer(); }

  // Rounds half away from zero; out-of-range and NaN inputs give INT64_MIN
  // (never a valid 32-bit coordinate) instead of an undefined conversion.
  static int64_t round_away(double v) {
    const double r = v >= 0.0 ? v + 0.5 : v - 0.5;
    if (!(r > -9.2e18 && r < 9.2e18)) return INT64_MIN;
    return static_cast<int64_t>(r);
  }
};

#endif
