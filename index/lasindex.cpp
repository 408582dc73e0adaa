// The spatial index: record reading and writing, building, and area queries
// turned into merged point intervals.
#include "index/lasindex.hpp"

#include <cstdio>  // FILE

#include "index/index_io.hpp"          // get, put, signatures
#include "las/bytestreamin_file.hpp"   // new_byte_stream_in_file
#include "las/bytestreamout_file.hpp"  // new_byte_stream_out_file
#include "tool/lasmessage.hpp"         // LASMessage
#include "tool/lasutility.hpp"         // LASfopen

namespace {

bool warn(const char* text) {
  LASMessage(LAS_WARNING, "%s", text);
  return false;
}

}  // namespace

LASindex::LASindex() : start(0), end(0), full(0), total(0), cells(0) {}

bool LASindex::read(ByteStreamIn* stream, uint64_t npoints) {
  spatial.reset();
  interval.reset();
  char signature[5];
  if (!indexio::get_signature(stream, signature)) return warn("(LASindex): reading signature");
  if (!indexio::is(signature, "LASX")) {
    LASMessage(LAS_WARNING, "(LASindex): wrong signature %4s instead of 'LASX'", signature);
    return false;
  }
  uint32_t version;
  if (!indexio::get(stream, version)) return warn("(LASindex): reading version");
  auto tree = std::make_unique<LASquadtree>();
  if (!tree->read(stream)) return warn("(LASindex): cannot read LASspatial (LASquadtree)");
  auto intervals = std::make_unique<LASinterval>(1000);
  if (!intervals->read(stream)) return warn("(LASindex): reading LASinterval");
  spatial = std::move(tree);
  interval = std::move(intervals);
  if (!validate(npoints)) {
    spatial.reset();
    interval.reset();
    return false;
  }
  return true;
}

// Cells inside the tree, intervals inside the file, and points only in
// leaves: an index that breaks one of these would make an area read miss
// points or deliver points twice.
bool LASindex::validate(uint64_t npoints) const {
  const uint64_t cell_limit = LASquadtree::cell_count(spatial->levels);
  for (const auto& entry : interval->get_cell_map()) {
    if (entry.first < 0 || uint64_t(entry.first) >= cell_limit) {
      LASMessage(LAS_WARNING, "(LASindex): cell %d lies outside a tree of %u levels", entry.first, spatial->levels);
      return false;
    }
    for (const LASintervalCell& i : entry.second.intervals) {
      if (i.start > i.end) {
        LASMessage(LAS_WARNING, "(LASindex): interval %u-%u ends before it starts", i.start, i.end);
        return false;
      }
      if (i.end >= npoints) {
        LASMessage(LAS_WARNING, "(LASindex): interval %u-%u lies beyond the %llu points", i.start, i.end,
                   static_cast<unsigned long long>(npoints));
        return false;
      }
    }
    spatial->manage_cell(static_cast<uint32_t>(entry.first));
  }
  for (const auto& entry : interval->get_cell_map()) {
    if (spatial->is_subdivided(static_cast<uint32_t>(entry.first))) {
      LASMessage(LAS_WARNING, "(LASindex): cell %d is both a leaf and the parent of other cells", entry.first);
      return false;
    }
  }
  return true;
}

bool LASindex::read(const char* file_name, uint64_t npoints) {
  FILE* file = LASfopen(file_name, "rb");
  if (file == nullptr) return false;
  ByteStreamIn* stream = new_byte_stream_in_file(file);
  const bool ok = read(stream, npoints);
  delete stream;
  fclose(file);
  return ok;
}

bool LASindex::write(ByteStreamOut* stream) const {
  if (!spatial || !interval) return false;
  return indexio::put_signature(stream, "LASX") && indexio::put(stream, uint32_t(0)) && spatial->write(stream) &&
         interval->write(stream);
}

bool LASindex::write(const char* file_name) const {
  FILE* file = LASfopen(file_name, "wb");
  if (file == nullptr) return false;
  ByteStreamOut* stream = new_byte_stream_out_file(file);
  const bool ok = write(stream);
  delete stream;
  return (fclose(file) == 0) && ok;
}

bool LASindex::prepare(double min_x, double max_x, double min_y, double max_y, uint64_t npoints) {
  // Leaves of about 250 points on average before the small ones are joined.
  uint32_t levels = 0;
  while (levels < 10 && (uint64_t(250) << (2 * levels)) < npoints) levels++;
  auto tree = std::make_unique<LASquadtree>();
  if (!tree->setup(min_x, max_x, min_y, max_y, levels)) return false;
  spatial = std::move(tree);
  interval = std::make_unique<LASinterval>(1000);
  return true;
}

bool LASindex::add(double x, double y, uint32_t p_index) {
  if (!spatial) return false;
  interval->add(p_index, static_cast<int32_t>(spatial->get_cell_index(x, y, spatial->levels)));
  return true;
}

void LASindex::complete(uint32_t minimum_points) {
  if (!spatial) return;
  // From the deepest level up: the children of a parent are joined into it
  // when none of them is subdivided and together they hold few points.
  std::map<int32_t, bool> parents;  // parent -> one of its children stays subdivided
  for (uint32_t level = spatial->levels; level > 0; level--) {
    const int32_t first = static_cast<int32_t>(LASquadtree::level_offset(level));
    const int32_t after = static_cast<int32_t>(LASquadtree::level_offset(level + 1));
    const int32_t parent_first = static_cast<int32_t>(LASquadtree::level_offset(level - 1));
    std::map<int32_t, uint64_t> points;  // parent -> points in its listed children
    std::map<int32_t, bool> blocked;
    for (auto it = interval->get_cell_map().lower_bound(first); it != interval->get_cell_map().end() && it->first < after;
         ++it) {
      points[parent_first + ((it->first - first) >> 2)] += it->second.total;
    }
    for (const auto& p : parents) {
      if (p.second) blocked[parent_first + ((p.first - first) >> 2)] = true;
    }
    std::map<int32_t, bool> next_parents;
    for (const auto& p : points) {
      const bool keep = blocked.count(p.first) || p.second >= minimum_points;
      next_parents[p.first] = keep;
      if (keep) continue;
      const int32_t child_first = first + 4 * (p.first - parent_first);
      for (int32_t c = 0; c < 4; c++) interval->merge_cells(child_first + c, p.first);
    }
    for (const auto& p : blocked) next_parents[p.first] = true;
    parents = std::move(next_parents);
  }
  for (const auto& entry : interval->get_cell_map()) spatial->manage_cell(static_cast<uint32_t>(entry.first));
}

bool LASindex::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y) {
  if (!spatial) return false;
  cells = spatial->intersect_rectangle(r_min_x, r_min_y, r_max_x, r_max_y);
  return merge_intervals();
}

bool LASindex::intersect_tile(float ll_x, float ll_y, float size) {
  if (!spatial) return false;
  cells = spatial->intersect_tile(ll_x, ll_y, size);
  return merge_intervals();
}

bool LASindex::intersect_circle(double center_x, double center_y, double radius) {
  if (!spatial) return false;
  cells = spatial->intersect_circle(center_x, center_y, radius);
  return merge_intervals();
}

bool LASindex::merge_intervals() {
  full = 0;
  total = 0;
  interval->clear_merge_cell_set();
  if (spatial->get_intersected_cells()) {
    while (spatial->has_more_cells()) {
      if (interval->get_cell(static_cast<int32_t>(spatial->current_cell))) {
        interval->add_current_cell_to_merge_cell_set();
      }
    }
  }
  if (!interval->merge()) return false;
  full = interval->full;
  total = interval->total;
  return true;
}

bool LASindex::has_intervals() {
  if (!interval || !interval->has_intervals()) return false;
  start = interval->start;
  end = interval->end;
  return true;
}
