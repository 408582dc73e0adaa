// Allocation of the RasterPTC cell grid, the cell list in front of it, and
// the z-from-attribute rule.
#include "raster/srptcgrid.hpp"

#include <algorithm>  // stable_sort, upper_bound
#include <cmath>    // std::isnan
#include <cstdio>   // fprintf of the memory refusal
#include <cstdlib>  // free
#include <cstring>  // memcpy, memset

#include "las/lasattributer.hpp"  // LASattribute, LASattributer
#include "las/laspoint.hpp"       // LASpoint
#include "las/lasquantizer.hpp"   // LASquantizer
#include "tool/lasutility.hpp"    // malloc_las, get_available_RAM

uint64_t SRptcGrid::bytes_needed(int32_t ncols, int32_t nrows) {
  if (ncols <= 0 || nrows <= 0) return 0;
  const uint64_t cells = static_cast<uint64_t>(ncols) * static_cast<uint64_t>(nrows);  // < 2^62
  // 4 bytes of value and 1/8 byte of bitmap per cell; beyond 2^60 cells
  // the sum would not fit any address space
  if (cells > (uint64_t(1) << 60)) return 0;
  const uint64_t bytes = cells * 4 + ((cells + 31) / 32) * 4;
  if (bytes > static_cast<uint64_t>(SIZE_MAX / 2)) return 0;
  return bytes;
}

bool SRptcGrid::allocate(int32_t cols, int32_t rows, double ll_x, double ur_y, double step_x, double step_y) {
  set_geometry(cols, rows, ll_x, ur_y, step_x, step_y);
  return allocate_cells();
}

void SRptcGrid::set_geometry(int32_t cols, int32_t rows, double ll_x, double ur_y, double step_x, double step_y) {
  release();
  count = (cols > 0 && rows > 0) ? static_cast<int64_t>(cols) * rows : 0;
  ncols = cols;
  nrows = rows;
  ncols_d = cols;
  nrows_d = rows;
  llx = ll_x;
  ury = ur_y;
  stepx = step_x;
  stepy = step_y;
}

void SRptcGrid::free_cells() {
  free(bitmap);
  free(values);
  bitmap = nullptr;
  values = nullptr;
}

bool SRptcGrid::allocate_cells() {
  free_cells();
  if (bytes_needed(ncols, nrows) == 0) return false;
  const size_t words = static_cast<size_t>((count + 31) / 32);
  bitmap = static_cast<uint32_t*>(malloc_las(words * sizeof(uint32_t)));
  values = static_cast<int32_t*>(malloc_las(static_cast<size_t>(count) * sizeof(int32_t)));
  if (bitmap == nullptr || values == nullptr) {
    free_cells();
    return false;
  }
  // the values of cells without a point are never read
  memset(bitmap, 0, words * sizeof(uint32_t));
  return true;
}

void SRptcGrid::release() {
  free(bitmap);
  free(values);
  bitmap = nullptr;
  values = nullptr;
  count = 0;
}

void SRptcStore::reset() {
  release();
  grid_bytes_needed = SRptcGrid::bytes_needed(grid.columns(), grid.rows());
}

void SRptcStore::release() {
  std::vector<Entry>().swap(entries);
  grid.free_cells();
  ordered = 0;
  cursor = 0;
}

bool SRptcStore::put(int64_t cell, int32_t value) {
  if (grid.allocated()) {
    grid.set(cell, value);
    return true;
  }
  if (grid_bytes_needed != 0 && (entries.size() + 1) * sizeof(Entry) > grid_bytes_needed) {
    if (!make_dense()) return false;
    grid.set(cell, value);
    return true;
  }
  entries.push_back(Entry{cell, value});
  return true;
}

// The list has grown to the size of the grid: the grid holds the same for
// less from here on. The entries go in in file order, so later ones win.
bool SRptcStore::make_dense() {
  const uint64_t available = get_available_RAM();
  if (available != 0 && grid_bytes_needed > available) return false;
  if (!grid.allocate_cells()) return false;
  for (const Entry& e : entries) grid.set(e.cell, e.value);
  std::vector<Entry>().swap(entries);
  return true;
}

bool SRptcStore::holds(int64_t cell, int32_t value) const {
  if (grid.allocated()) return grid.has(cell) && grid.at(cell) == value;
  const auto end = entries.begin() + static_cast<std::ptrdiff_t>(std::min(ordered, entries.size()));
  const auto after = std::upper_bound(entries.begin(), end, cell,
                                      [](int64_t c, const Entry& e) { return c < e.cell; });
  return after != entries.begin() && (after - 1)->cell == cell && (after - 1)->value == value;
}

void SRptcStore::finish() {
  cursor = 0;
  if (grid.allocated()) return;
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.cell < b.cell; });
  // the last entry of each cell stays
  size_t out = 0;
  for (size_t i = 0; i < entries.size(); i++) {
    if (i + 1 < entries.size() && entries[i + 1].cell == entries[i].cell) continue;
    entries[out++] = entries[i];
  }
  entries.resize(out);
}

void SRptcStore::fill(int64_t first, int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (grid.allocated()) {
    for (int64_t k = 0; k < n; k++) {
      const bool has = grid.has(first + k);
      values[k] = has ? grid.at(first + k) : 0;
      nodata_flags[k] = !has;
    }
    return;
  }
  for (int64_t k = 0; k < n; k++) {
    values[k] = 0;
    nodata_flags[k] = 1;
  }
  while (cursor < entries.size() && entries[cursor].cell < first) cursor++;
  for (; cursor < entries.size() && entries[cursor].cell < first + n; cursor++) {
    values[entries[cursor].cell - first] = entries[cursor].value;
    nodata_flags[entries[cursor].cell - first] = 0;
  }
}

namespace {

template <typename T>
double load_as(const uint8_t* at) {
  T v;
  memcpy(&v, at, sizeof(T));
  return static_cast<double>(v);
}

// Component sizes by (data_type − 1) mod 10.
constexpr int kComponentBytes[10] = {1, 1, 2, 2, 4, 4, 8, 8, 4, 8};

}  // namespace

int32_t sr_ptc_attribute_z(const LASpoint& point, int32_t index, const LASquantizer& quantizer) {
  double v = 0.0;
  const LASattributer* table = point.attributer;
  if (table != nullptr && index >= 0 && index < table->number_attributes && table->attributes != nullptr &&
      table->attribute_starts != nullptr) {
    const LASattribute& a = table->attributes[index];
    // (t − 1) mod 10, so that data type 0 reads as a double
    const int type = (a.data_type + 9) % 10;
    const int64_t start = table->attribute_starts[index];
    if (point.extra_bytes != nullptr && start >= 0 && start + kComponentBytes[type] <= point.extra_bytes_number) {
      const uint8_t* at = point.extra_bytes + start;
      switch (type) {
        case 0: v = load_as<uint8_t>(at); break;
        case 1: v = load_as<int8_t>(at); break;
        case 2: v = load_as<uint16_t>(at); break;
        case 3: v = load_as<int16_t>(at); break;
        case 4: v = load_as<uint32_t>(at); break;
        case 5: v = load_as<int32_t>(at); break;
        case 6:
        case 7: v = load_as<int64_t>(at); break;
        case 8: v = load_as<float>(at); break;
        default: v = load_as<double>(at); break;
      }
      if (a.options & 0x08) v *= a.scale[0];
      if (a.options & 0x10) v += a.offset[0];
    }
  }
  const double q = (v - quantizer.z_offset) / quantizer.z_scale_factor;
  const double r = v >= quantizer.z_offset ? q + 0.5 : q - 0.5;
  if (std::isnan(r)) return 0;
  if (r < -2147483647.0) return INT32_MIN;
  if (r > 2147483646.0) return INT32_MAX;
  return static_cast<int32_t>(r);
}
