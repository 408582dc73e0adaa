// Point intervals per cell: record, building and merging.
#include "index/lasinterval.hpp"

#include <algorithm>  // sort

#include "index/index_io.hpp"   // get, put, signatures
#include "tool/lasmessage.hpp"  // LASMessage

namespace {

bool warn(const char* text) {
  LASMessage(LAS_WARNING, "%s", text);
  return false;
}

// Sorts by start and joins intervals whose gap is at most `threshold`
// (overlapping ones always); `full` grows by the indices the result spans.
void sort_and_join(std::vector<LASintervalCell>& list, uint32_t threshold, uint32_t* full) {
  std::sort(list.begin(), list.end(),
            [](const LASintervalCell& a, const LASintervalCell& b) { return a.start < b.start; });
  size_t out = 0;
  uint64_t spanned = 0;
  for (size_t i = 0; i < list.size(); i++) {
    const LASintervalCell& next = list[i];
    if (out > 0 && int64_t(next.start) - int64_t(list[out - 1].end) <= int64_t(threshold)) {
      LASintervalCell& last = list[out - 1];
      if (next.end > last.end) {
        spanned += next.end - last.end;
        last.end = next.end;
      }
    } else {
      list[out++] = next;
      spanned += uint64_t(next.end) - next.start + 1;
    }
  }
  list.resize(out);
  if (full) *full = spanned > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(spanned);
}

}  // namespace

LASinterval::LASinterval(uint32_t threshold)
    : index(0), start(0), end(0), full(0), total(0), threshold(threshold), walk(cells.end()) {}

bool LASinterval::read(ByteStreamIn* stream) {
  cells.clear();
  walk = cells.end();
  current = nullptr;
  merge_set.clear();
  merged.clear();
  char signature[5];
  if (!indexio::get_signature(stream, signature)) return warn("(LASinterval): reading signature");
  if (!indexio::is(signature, "LASV")) {
    LASMessage(LAS_WARNING, "(LASinterval): wrong signature %4s instead of 'LASV'", signature);
    return false;
  }
  uint32_t version, number_cells;
  if (!indexio::get(stream, version)) return warn("(LASinterval): reading version");
  if (!indexio::get(stream, number_cells)) return warn("(LASinterval): reading number of cells");
  // Every count comes from the file: nothing is reserved ahead, so a wrong
  // count ends at the end of the data instead of in a huge allocation.
  for (uint32_t c = 0; c < number_cells; c++) {
    int32_t cell_index;
    uint32_t number_intervals, number_points;
    if (!indexio::get(stream, cell_index)) return warn("(LASinterval): reading cell index");
    if (!indexio::get(stream, number_intervals)) return warn("(LASinterval): reading number of intervals in cell");
    if (!indexio::get(stream, number_points)) return warn("(LASinterval): reading number of points in cell");
    // A cell listed twice keeps the intervals of both listings.
    LASintervalStartCell& cell = cells[cell_index];
    cell.total += number_points;
    for (uint32_t i = 0; i < number_intervals; i++) {
      LASintervalCell interval;
      if (!indexio::get(stream, interval.start)) {
        LASMessage(LAS_WARNING, "(LASinterval): reading start %d of interval", static_cast<int>(i));
        return false;
      }
      if (!indexio::get(stream, interval.end)) {
        LASMessage(LAS_WARNING, "(LASinterval): reading end %d of interval", static_cast<int>(i));
        return false;
      }
      cell.intervals.push_back(interval);
      cell.full += interval.end - interval.start + 1;
    }
  }
  return true;
}

bool LASinterval::write(ByteStreamOut* stream) const {
  if (!indexio::put_signature(stream, "LASV") || !indexio::put(stream, uint32_t(0)) ||
      !indexio::put(stream, static_cast<uint32_t>(cells.size()))) {
    return false;
  }
  for (const auto& entry : cells) {
    const LASintervalStartCell& cell = entry.second;
    if (!indexio::put(stream, entry.first) || !indexio::put(stream, static_cast<uint32_t>(cell.intervals.size())) ||
        !indexio::put(stream, cell.total)) {
      return false;
    }
    for (const LASintervalCell& interval : cell.intervals) {
      if (!indexio::put(stream, interval.start) || !indexio::put(stream, interval.end)) return false;
    }
  }
  return true;
}

void LASinterval::add(uint32_t p_index, int32_t cell_index) {
  LASintervalStartCell& cell = cells[cell_index];
  cell.total++;
  cell.full++;
  if (!cell.intervals.empty() && cell.intervals.back().end + 1 == p_index) {
    cell.intervals.back().end = p_index;
  } else {
    cell.intervals.push_back({p_index, p_index});
  }
}

void LASinterval::merge_cells(int32_t from, int32_t to) {
  auto found = cells.find(from);
  if (found == cells.end() || from == to) return;
  LASintervalStartCell moved = std::move(found->second);
  cells.erase(found);
  LASintervalStartCell& target = cells[to];
  target.total += moved.total;
  target.intervals.insert(target.intervals.end(), moved.intervals.begin(), moved.intervals.end());
  // Runs that now touch become one interval.
  sort_and_join(target.intervals, 1, &target.full);
  walk = cells.end();
  current = nullptr;
}

uint64_t LASinterval::get_number_of_intervals() const {
  uint64_t n = 0;
  for (const auto& entry : cells) n += entry.second.intervals.size();
  return n;
}

void LASinterval::get_cells() { walk = cells.begin(); }

bool LASinterval::has_cells() {
  if (walk == cells.end()) return false;
  index = walk->first;
  full = walk->second.full;
  total = walk->second.total;
  current = &walk->second;
  ++walk;
  return true;
}

bool LASinterval::get_cell(int32_t cell) {
  auto found = cells.find(cell);
  if (found == cells.end()) {
    current = nullptr;
    return false;
  }
  index = cell;
  full = found->second.full;
  total = found->second.total;
  current = &found->second;
  return true;
}

void LASinterval::add_current_cell_to_merge_cell_set() {
  if (current) merge_set.push_back(current);
}

bool LASinterval::merge() {
  merged.clear();
  current_interval = 0;
  if (merge_set.empty()) return false;
  uint64_t sum = 0;
  for (const LASintervalStartCell* cell : merge_set) {
    sum += cell->total;
    merged.insert(merged.end(), cell->intervals.begin(), cell->intervals.end());
  }
  total = sum > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(sum);
  sort_and_join(merged, threshold, &full);
  clear_merge_cell_set();
  return !merged.empty();
}

void LASinterval::clear_merge_cell_set() { merge_set.clear(); }

bool LASinterval::has_intervals() {
  if (current_interval >= merged.size()) return false;
  start = merged[current_interval].start;
  end = merged[current_interval].end;
  current_interval++;
  return true;
}
