// The point intervals of a spatial index: per cell the runs of point indices
// whose points lie in the cell, and the merging of the runs of several cells
// into one sorted list in which gaps up to a threshold are read through.
#ifndef INDEX_LASINTERVAL_HPP
#define INDEX_LASINTERVAL_HPP

#include <cstddef>  // size_t
#include <cstdint>  // cell numbers, point indices
#include <map>      // cells by number, in number order
#include <vector>   // intervals

class ByteStreamIn;
class ByteStreamOut;

// Both ends are point indices and both are inside the interval.
struct LASintervalCell {
  uint32_t start;
  uint32_t end;
};

// A cell's intervals in file order, its point count as stored and the
// number of indices its intervals span.
struct LASintervalStartCell {
  uint32_t total = 0;
  uint32_t full = 0;
  std::vector<LASintervalCell> intervals;
};

class LASinterval {
 public:
  // Set by get_cells/has_cells and has_intervals.
  int32_t index;
  uint32_t start;
  uint32_t end;
  uint32_t full;
  uint32_t total;
  uint32_t threshold;

  explicit LASinterval(uint32_t threshold = 1000);

  // Warnings (never errors) on failure.
  bool read(ByteStreamIn* stream);
  bool write(ByteStreamOut* stream) const;

  // Building: point p_index lies in `cell`; runs of consecutive indices
  // become one interval.
  void add(uint32_t p_index, int32_t cell);
  // Moves the intervals of `from` into `to` (sorted, runs joined).
  void merge_cells(int32_t from, int32_t to);

  const std::map<int32_t, LASintervalStartCell>& get_cell_map() const { return cells; }
  uint32_t get_number_of_cells() const { return static_cast<uint32_t>(cells.size()); }
  uint64_t get_number_of_intervals() const;

  // Iterates all cells: index, full and total describe the current one.
  void get_cells();
  bool has_cells();
  // Makes `cell` the current cell; false when the index does not list it.
  bool get_cell(int32_t cell);

  void add_current_cell_to_merge_cell_set();
  // Merges the intervals of the cells in the merge set: sorted by start, an
  // interval that begins at most `threshold` indices after the end of the
  // one before (or overlaps it) extends it. full and total describe the
  // result. false when the set is empty.
  bool merge();
  void clear_merge_cell_set();
  // The next merged interval into start and end.
  bool has_intervals();

 private:
  std::map<int32_t, LASintervalStartCell> cells;
  std::map<int32_t, LASintervalStartCell>::const_iterator walk;
  const LASintervalStartCell* current = nullptr;
  std::vector<const LASintervalStartCell*> merge_set;
  std::vector<LASintervalCell> merged;
  size_t current_interval = 0;
};

#endif
