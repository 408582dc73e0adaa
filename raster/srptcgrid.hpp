// The cell grid of the RasterPTC reader: one presence bit and one 32-bit
// value per cell, filled point by point (a later point in a cell replaces an
// earlier one) and read back cell by cell, north row first.
#ifndef RASTER_SRPTCGRID_HPP
#define RASTER_SRPTCGRID_HPP

#include <cstdint>  // cell indexes and values

class LASpoint;
class LASquantizer;

class SRptcGrid {
 public:
  SRptcGrid() = default;
  ~SRptcGrid() { release(); }
  SRptcGrid(const SRptcGrid&) = delete;
  SRptcGrid& operator=(const SRptcGrid&) = delete;

  // Bytes that a grid of ncols × nrows cells takes, or 0 when either side is
  // not positive or the size does not fit the address space.
  static uint64_t bytes_needed(int32_t ncols, int32_t nrows);

  // Sets the geometry and allocates an empty grid (every cell without a
  // point). False when the size is invalid or the memory is not there.
  bool allocate(int32_t ncols, int32_t nrows, double llx, double ury, double stepx, double stepy);
  void release();

  // Puts a value into the cell that contains (x, y): col = (x − llx) / stepx
  // and row = (ury − y) / stepy, both truncated toward zero. Points whose
  // row or column falls outside the grid are ignored; false for them.
  bool place(double x, double y, int32_t value) {
    const double c = (x - llx) / stepx;
    const double r = (ury - y) / stepy;
    // trunc(c) lies in [0, ncols) exactly when c lies in (-1, ncols); NaN fails
    if (!(c > -1.0 && c < ncols_d && r > -1.0 && r < nrows_d)) return false;
    const int64_t i = static_cast<int64_t>(static_cast<int32_t>(r)) * ncols + static_cast<int32_t>(c);
    bitmap[i >> 5] |= 1u << (i & 31);
    values[i] = value;
    return true;
  }

  bool has(int64_t i) const { return (bitmap[i >> 5] >> (i & 31)) & 1u; }
  int32_t at(int64_t i) const { return values[i]; }
  int64_t cells() const { return count; }
  bool allocated() const { return values != nullptr; }

 private:
  uint32_t* bitmap = nullptr;
  int32_t* values = nullptr;
  int64_t count = 0;
  int32_t ncols = 0;
  int32_t nrows = 0;
  double ncols_d = 0.0;
  double nrows_d = 0.0;
  double llx = 0.0;
  double ury = 0.0;
  double stepx = 1.0;
  double stepy = 1.0;
};

// The value of a point whose z lives in extra-bytes attribute `index`, in
// the z quantisation of `quantizer`: the attribute's first component (read
// by data type, scaled and offset as its options say; 0.0 without a
// description or when the point's extra bytes do not hold it), then
// (v − z offset) / z scale rounded half away from zero and clamped to the
// signed 32-bit range.
int32_t sr_ptc_attribute_z(const LASpoint& point, int32_t index, const LASquantizer& quantizer);

#endif
