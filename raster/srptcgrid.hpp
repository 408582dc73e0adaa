// The cell stores of the RasterPTC reader: the dense grid (one presence
// bit and one 32-bit value per cell) and, in front of it, a list of the
// cells that points fell into, for copies whose points are not in raster
// order. Both are filled point by point (a later point in a cell replaces
// an earlier one) and read back cell by cell, north row first.
#ifndef RASTER_SRPTCGRID_HPP
#define RASTER_SRPTCGRID_HPP

#include <cstddef>  // size_t
#include <cstdint>  // cell indexes and values
#include <vector>   // the cell list

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
  // Only the geometry, for cell_of(); no cell storage.
  void set_geometry(int32_t ncols, int32_t nrows, double llx, double ury, double stepx, double stepy);
  // Storage for the geometry set; false when the memory is not there.
  bool allocate_cells();
  void free_cells();  // storage only; the geometry stays
  void release();

  // The cell that contains (x, y): col = (x − llx) / stepx and
  // row = (ury − y) / stepy, both truncated toward zero; -1 when the row or
  // column falls outside the grid.
  int64_t cell_of(double x, double y) const {
    const double c = (x - llx) / stepx;
    const double r = (ury - y) / stepy;
    // trunc(c) lies in [0, ncols) exactly when c lies in (-1, ncols); NaN fails
    if (!(c > -1.0 && c < ncols_d && r > -1.0 && r < nrows_d)) return -1;
    return static_cast<int64_t>(static_cast<int32_t>(r)) * ncols + static_cast<int32_t>(c);
  }
  void set(int64_t i, int32_t value) {
    bitmap[i >> 5] |= 1u << (i & 31);
    values[i] = value;
  }
  // Puts a value into the cell that contains (x, y); false (and nothing
  // stored) for points outside the grid.
  bool place(double x, double y, int32_t value) {
    const int64_t i = cell_of(x, y);
    if (i < 0) return false;
    set(i, value);
    return true;
  }

  bool has(int64_t i) const { return (bitmap[i >> 5] >> (i & 31)) & 1u; }
  int32_t at(int64_t i) const { return values[i]; }
  int64_t cells() const { return count; }
  int32_t columns() const { return ncols; }
  int32_t rows() const { return nrows; }
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

// Cells of a copy read in any order. Points go into a list of (cell,
// value) entries first, so that memory grows only with the points actually
// read; once the list would take more than the dense grid, the grid takes
// over. A damaged record announcing a huge raster thus costs no more than
// the points its file holds.
class SRptcStore {
 public:
  explicit SRptcStore(SRptcGrid& grid) : grid(grid) {}

  // Empties the store for the grid's geometry (set beforehand).
  void reset();
  void release();
  // Adds a point's value to its cell. False when the list has to become
  // the grid and the grid's memory is not there.
  bool put(int64_t cell, int32_t value);
  // Called once at a point from which on cells may come out of order: the
  // entries so far are in cell order, and holds() looks only at them.
  void mark_ordered() { ordered = entries.size(); }
  // Whether the cell holds exactly this value among the entries in cell
  // order (or in the grid, once there is one).
  bool holds(int64_t cell, int32_t value) const;
  // Sorts the list by cell, the later of two entries of a cell winning.
  void finish();
  // Cells first .. first + n − 1 of the finished store (nodata flag 1 and
  // value 0 where no point fell), in increasing runs of calls.
  void fill(int64_t first, int64_t n, int32_t* values, uint8_t* nodata_flags);
  bool dense() const { return grid.allocated(); }
  // Bytes the dense grid would take; 0 when it cannot exist.
  uint64_t grid_bytes() const { return grid_bytes_needed; }
  size_t entry_count() const { return entries.size(); }

 private:
  struct Entry {
    int64_t cell;
    int32_t value;
  };
  bool make_dense();

  SRptcGrid& grid;
  std::vector<Entry> entries;
  size_t ordered = 0;
  size_t cursor = 0;
  uint64_t grid_bytes_needed = 0;
};

// The value of a point whose z lives in extra-bytes attribute `index`, in
// the z quantisation of `quantizer`: the attribute's first component (read
// by data type, scaled and offset as its options say; 0.0 without a
// description or when the point's extra bytes do not hold it), then
// (v − z offset) / z scale rounded half away from zero and clamped to the
// signed 32-bit range.
int32_t sr_ptc_attribute_z(const LASpoint& point, int32_t index, const LASquantizer& quantizer);

#endif
