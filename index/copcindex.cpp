// COPC hierarchy loading and the queries over its data nodes.
#include "index/copcindex.hpp"

#include <algorithm>      // sort, reverse
#include <cmath>          // ldexp, log2, ceil
#include <cstring>        // memcpy
#include <set>            // visited pages
#include <utility>        // pair

#include "las/endianness.hpp"  // Endian::IS_LITTLE_ENDIAN
#include "tool/lasmessage.hpp"  // LASMessage

namespace {

constexpr uint64_t ENTRY_SIZE = 32;

template <typename T>
T take(const unsigned char* at) {
  T value;
  memcpy(&value, at, sizeof(T));
  if (!Endian::IS_LITTLE_ENDIAN) {
    unsigned char* bytes = reinterpret_cast<unsigned char*>(&value);
    std::reverse(bytes, bytes + sizeof(T));
  }
  return value;
}

LASvlr_copc_entry entry_at(const unsigned char* at) {
  LASvlr_copc_entry e;
  e.level = take<int32_t>(at);
  e.x = take<int32_t>(at + 4);
  e.y = take<int32_t>(at + 8);
  e.z = take<int32_t>(at + 12);
  e.offset = take<uint64_t>(at + 16);
  e.byte_size = take<int32_t>(at + 24);
  e.point_count = take<int32_t>(at + 28);
  return e;
}

}  // namespace

COPCinfo COPCinfo::from(const unsigned char* payload) {
  COPCinfo info;
  info.center_x = take<double>(payload);
  info.center_y = take<double>(payload + 8);
  info.center_z = take<double>(payload + 16);
  info.halfsize = take<double>(payload + 24);
  info.spacing = take<double>(payload + 32);
  info.root_hier_offset = take<uint64_t>(payload + 40);
  info.root_hier_size = take<uint64_t>(payload + 48);
  return info;
}

bool EPToctree::set_vlr_entries(const unsigned char* data, uint64_t size, uint64_t offset, LASheader& header) {
  if (data == nullptr || header.vlr_copc_info == nullptr) return false;
  const COPCinfo info = COPCinfo::from(header.vlr_copc_info);
  std::vector<LASvlr_copc_entry> found;
  std::vector<std::pair<uint64_t, uint64_t>> pages = {{info.root_hier_offset, info.root_hier_size}};
  std::set<uint64_t> visited;
  for (size_t p = 0; p < pages.size(); p++) {
    const uint64_t page_offset = pages[p].first;
    const uint64_t page_size = pages[p].second;
    // The whole page must lie inside the payload.
    if (page_offset < offset || page_offset - offset > size || page_size > size - (page_offset - offset)) {
      return false;
    }
    // A page listed again adds nothing new (and a cycle of pages would
    // never end).
    if (!visited.insert(page_offset).second) continue;
    const unsigned char* page = data + (page_offset - offset);
    for (uint64_t k = 0; k < page_size / ENTRY_SIZE; k++) {
      const LASvlr_copc_entry e = entry_at(page + k * ENTRY_SIZE);
      if (e.point_count >= 0) {
        found.push_back(e);
      } else if (e.point_count == -1) {
        pages.push_back({e.offset, e.byte_size < 0 ? UINT64_MAX : uint64_t(e.byte_size)});
      }
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const LASvlr_copc_entry& a, const LASvlr_copc_entry& b) { return a.offset < b.offset; });
  uint64_t sum = 0;
  for (const LASvlr_copc_entry& e : found) sum += uint64_t(e.point_count);
  const uint64_t expected =
      header.extended_number_of_point_records ? header.extended_number_of_point_records : header.number_of_point_records;
  if (sum != expected) {
    LASMessage(LAS_WARNING, "COPC EPT hierarchy EVLR number of point does not match with the header.");
    return false;
  }
  delete[] header.vlr_copc_entries;
  header.vlr_copc_entries = nullptr;
  header.number_of_copc_entries = static_cast<uint32_t>(found.size());
  header.number_of_copc_pages = static_cast<uint32_t>(visited.size());
  if (!found.empty()) {
    header.vlr_copc_entries = new LASvlr_copc_entry[found.size()];
    std::copy(found.begin(), found.end(), header.vlr_copc_entries);
  }
  return true;
}

COPCindex::COPCindex(const LASheader& header) : start(0), end(0), max_depth(-1), next_interval(0) {
  if (header.vlr_copc_info) info = COPCinfo::from(header.vlr_copc_info);
  uint64_t first = 0;
  for (uint32_t i = 0; i < header.number_of_copc_entries; i++) {
    const LASvlr_copc_entry& e = header.vlr_copc_entries[i];
    const uint64_t count = static_cast<uint64_t>(e.point_count);
    if (count) nodes.push_back({e.level, e.x, e.y, first, count});
    first += count;
  }
}

void COPCindex::set_depth_limit(int depth) { max_depth = depth < 0 ? -1 : depth; }

void COPCindex::set_resolution(float resolution) {
  if (!(resolution > 0.0f) || !(info.spacing > 0.0)) {
    max_depth = -1;
    return;
  }
  // Node spacing halves with every level: the first level at which it is no
  // more than the resolution.
  const double levels = std::ceil(std::log2(info.spacing / resolution));
  max_depth = levels <= 0.0 ? 0 : (levels >= 64.0 ? 64 : static_cast<int>(levels));
}

bool COPCindex::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y) {
  return collect(false, r_min_x, r_min_y, r_max_x, r_max_y, 0.0, 0.0, 0.0);
}

bool COPCindex::intersect_circle(double center_x, double center_y, double radius) {
  return collect(true, center_x - radius, center_y - radius, center_x + radius, center_y + radius, center_x, center_y,
                 radius * radius);
}

bool COPCindex::query_depth() {
  return collect(false, -INFINITY, -INFINITY, INFINITY, INFINITY, 0.0, 0.0, 0.0);
}

bool COPCindex::collect(bool circle, double min_x, double min_y, double max_x, double max_y, double cx, double cy,
                        double radius_squared) {
  intervals.clear();
  next_interval = 0;
  for (const Node& n : nodes) {
    if (max_depth >= 0 && n.level > max_depth) continue;
    // The node's cube, closed on all sides: a point on a shared face may
    // belong to either node.
    // A level no octree has (a damaged hierarchy) counts as the root: its
    // points stay candidates of every area.
    const bool placed = n.level >= 0 && n.level <= 62;
    const double side = std::ldexp(2.0 * info.halfsize, placed ? -n.level : 0);
    const double x0 = info.center_x - info.halfsize + (placed ? n.x * side : 0.0);
    const double y0 = info.center_y - info.halfsize + (placed ? n.y * side : 0.0);
    const double x1 = x0 + side;
    const double y1 = y0 + side;
    if (x0 > max_x || x1 < min_x || y0 > max_y || y1 < min_y) continue;
    if (circle) {
      const double nx = cx < x0 ? x0 : (cx > x1 ? x1 : cx);
      const double ny = cy < y0 ? y0 : (cy > y1 ? y1 : cy);
      if ((cx - nx) * (cx - nx) + (cy - ny) * (cy - ny) >= radius_squared) continue;
    }
    const uint64_t last = n.first + n.count - 1;
    if (!intervals.empty() && intervals.back().second + 1 == n.first) {
      intervals.back().second = last;
    } else {
      intervals.push_back({n.first, last});
    }
  }
  return !intervals.empty();
}

bool COPCindex::has_intervals() {
  if (next_interval >= intervals.size()) return false;
  start = intervals[next_interval].first;
  end = intervals[next_interval].second;
  next_interval++;
  return true;
}
