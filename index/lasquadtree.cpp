// The quadtree of a spatial index: record, adaptive cells and area queries.
#include "index/lasquadtree.hpp"

#include <cmath>  // nextafterf

#include "index/index_io.hpp"   // get, put, signatures
#include "tool/lasmessage.hpp"  // LASMessage

namespace {

bool warn(const char* text) {
  LASMessage(LAS_WARNING, "%s", text);
  return false;
}

// The float nearest to v on the side away from the extent's inside.
float float_below(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) > v) f = std::nextafterf(f, -INFINITY);
  return f;
}
float float_above(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) < v) f = std::nextafterf(f, INFINITY);
  return f;
}

}  // namespace

LASquadtree::LASquadtree()
    : levels(0),
      min_x(0.0f),
      max_x(0.0f),
      min_y(0.0f),
      max_y(0.0f),
      next_cell_index(0),
      current_cell(0),
      adaptive(false) {}

uint32_t LASquadtree::level_offset(uint32_t level) {
  return static_cast<uint32_t>(((uint64_t(1) << (2 * level)) - 1) / 3);
}

uint32_t LASquadtree::level_of(uint32_t cell) {
  uint32_t level = 0;
  while (level < 16 && level_offset(level + 1) <= cell) level++;
  return level;
}

uint64_t LASquadtree::cell_count(uint32_t tree_levels) { return ((uint64_t(1) << (2 * (tree_levels + 1))) - 1) / 3; }

bool LASquadtree::setup(double new_min_x, double new_max_x, double new_min_y, double new_max_y, uint32_t new_levels) {
  if (new_levels > MAX_LEVELS || !(new_min_x <= new_max_x) || !(new_min_y <= new_max_y)) return false;
  levels = new_levels;
  min_x = float_below(new_min_x);
  max_x = float_above(new_max_x);
  min_y = float_below(new_min_y);
  max_y = float_above(new_max_y);
  adaptive = false;
  subdivided.clear();
  current_cells.clear();
  return std::isfinite(min_x) && std::isfinite(max_x) && std::isfinite(min_y) && std::isfinite(max_y);
}

bool LASquadtree::read(ByteStreamIn* stream) {
  char signature[5];
  if (!indexio::get_signature(stream, signature)) return warn("(LASquadtree): reading LASspatial signature");
  if (!indexio::is(signature, "LASS")) {
    LASMessage(LAS_WARNING, "(LASquadtree): wrong LASspatial signature %4s instead of 'LASS'", signature);
    return false;
  }
  uint32_t type;
  if (!indexio::get(stream, type)) return warn("(LASquadtree): reading LASspatial type");
  if (type != 0) {
    LASMessage(LAS_WARNING, "(LASquadtree): unknown LASspatial type %u", type);
    return false;
  }
  if (!indexio::get_signature(stream, signature)) return warn("(LASquadtree): reading signature");
  if (indexio::is(signature, "LASQ")) {
    uint32_t version;
    if (!indexio::get(stream, version)) return warn("(LASquadtree): reading version");
    if (!indexio::get(stream, levels)) return warn("(LASquadtree): reading levels");
  } else {
    // The older block has no signature: its first four bytes are the levels.
    memcpy(&levels, signature, 4);
    if (!Endian::IS_LITTLE_ENDIAN) levels = __builtin_bswap32(levels);
  }
  uint32_t unused;
  if (!indexio::get(stream, unused)) return warn("(LASquadtree): reading level_index");
  if (!indexio::get(stream, unused)) return warn("(LASquadtree): reading implicit_levels");
  if (!indexio::get(stream, min_x)) return warn("(LASquadtree): reading min_x");
  if (!indexio::get(stream, max_x)) return warn("(LASquadtree): reading max_x");
  if (!indexio::get(stream, min_y)) return warn("(LASquadtree): reading min_y");
  if (!indexio::get(stream, max_y)) return warn("(LASquadtree): reading max_y");
  if (levels > MAX_LEVELS) {
    LASMessage(LAS_WARNING, "(LASquadtree): %u levels are more than the %u supported", levels, MAX_LEVELS);
    return false;
  }
  adaptive = false;
  subdivided.clear();
  current_cells.clear();
  return true;
}

bool LASquadtree::write(ByteStreamOut* stream) const {
  return indexio::put_signature(stream, "LASS") && indexio::put(stream, uint32_t(0)) &&
         indexio::put_signature(stream, "LASQ") && indexio::put(stream, uint32_t(0)) && indexio::put(stream, levels) &&
         indexio::put(stream, uint32_t(0)) && indexio::put(stream, uint32_t(0)) && indexio::put(stream, min_x) &&
         indexio::put(stream, max_x) && indexio::put(stream, min_y) && indexio::put(stream, max_y);
}

void LASquadtree::manage_cell(uint32_t cell) {
  adaptive = true;
  subdivided.erase(cell);
  uint32_t level = level_of(cell);
  uint32_t local = cell - level_offset(level);
  while (level > 0) {
    level--;
    local >>= 2;
    if (!subdivided.insert(level_offset(level) + local).second) break;
  }
}

uint32_t LASquadtree::get_cell_index(double x, double y, uint32_t level) const {
  double cell_min_x = min_x, cell_max_x = max_x, cell_min_y = min_y, cell_max_y = max_y;
  uint32_t local = 0;
  for (uint32_t l = 0; l < level; l++) {
    const double cx = (cell_min_x + cell_max_x) / 2;
    const double cy = (cell_min_y + cell_max_y) / 2;
    uint32_t child = 0;
    if (x < cx) {
      cell_max_x = cx;
    } else {
      cell_min_x = cx;
      child |= 1;
    }
    if (y < cy) {
      cell_max_y = cy;
    } else {
      cell_min_y = cy;
      child |= 2;
    }
    local = 4 * local + child;
  }
  return level_offset(level) + local;
}

void LASquadtree::get_cell_bounding_box(uint32_t cell, double* cell_min_x, double* cell_min_y, double* cell_max_x,
                                        double* cell_max_y) const {
  const uint32_t level = level_of(cell);
  const uint32_t local = cell - level_offset(level);
  double x0 = min_x, x1 = max_x, y0 = min_y, y1 = max_y;
  for (int l = static_cast<int>(level) - 1; l >= 0; l--) {
    const uint32_t child = (local >> (2 * l)) & 3;
    const double cx = (x0 + x1) / 2;
    const double cy = (y0 + y1) / 2;
    if (child & 1) x0 = cx; else x1 = cx;
    if (child & 2) y0 = cy; else y1 = cy;
  }
  *cell_min_x = x0;
  *cell_min_y = y0;
  *cell_max_x = x1;
  *cell_max_y = y1;
}

uint32_t LASquadtree::intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y) {
  return intersect({false, r_min_x, r_min_y, r_max_x, r_max_y, 0.0, 0.0, 0.0});
}

uint32_t LASquadtree::intersect_tile(float ll_x, float ll_y, float size) {
  const float ur_x = ll_x + size;
  const float ur_y = ll_y + size;
  return intersect({false, ll_x, ll_y, ur_x, ur_y, 0.0, 0.0, 0.0});
}

uint32_t LASquadtree::intersect_circle(double center_x, double center_y, double radius) {
  return intersect({true, center_x - radius, center_y - radius, center_x + radius, center_y + radius, center_x,
                    center_y, radius * radius});
}

uint32_t LASquadtree::intersect(const Query& q) {
  current_cells.clear();
  // Only cells that the index lists hold points; a tree without any has
  // nothing to find (and is not descended to its full depth).
  if (!adaptive) return 0;
  if (min_x >= q.max_x || max_x < q.min_x || min_y >= q.max_y || max_y < q.min_y) return 0;
  descend(q, 0, 0, min_x, min_y, max_x, max_y);
  return static_cast<uint32_t>(current_cells.size());
}

namespace {

// Whether any point of the cell can lie strictly inside the circle: the
// point of the cell nearest the centre is closer than the radius. No point of
// the cell is nearer than that point, so nothing inside is missed.
bool circle_touches(double cx, double cy, double radius_squared, double x0, double y0, double x1, double y1) {
  const double nx = cx < x0 ? x0 : (cx > x1 ? x1 : cx);
  const double ny = cy < y0 ? y0 : (cy > y1 ? y1 : cy);
  const double dx = cx - nx;
  const double dy = cy - ny;
  return dx * dx + dy * dy < radius_squared;
}

}  // namespace

void LASquadtree::descend(const Query& q, uint32_t level, uint32_t local, double x0, double y0, double x1,
                          double y1) {
  if (q.circle && !circle_touches(q.center_x, q.center_y, q.radius_squared, x0, y0, x1, y1)) return;
  const uint32_t cell = level_offset(level) + local;
  if (level == levels || !subdivided.count(cell)) {
    current_cells.push_back(cell);
    return;
  }
  const double cx = (x0 + x1) / 2;
  const double cy = (y0 + y1) / 2;
  const bool left = cx > q.min_x;
  const bool right = cx < q.max_x;
  const bool lower = cy > q.min_y;
  const bool upper = cy < q.max_y;
  const uint32_t first = 4 * local;
  if (lower && left) descend(q, level + 1, first, x0, y0, cx, cy);
  if (lower && right) descend(q, level + 1, first + 1, cx, y0, x1, cy);
  if (upper && left) descend(q, level + 1, first + 2, x0, cy, cx, y1);
  if (upper && right) descend(q, level + 1, first + 3, cx, cy, x1, y1);
}

bool LASquadtree::get_intersected_cells() {
  next_cell_index = 0;
  return !current_cells.empty();
}

bool LASquadtree::has_more_cells() {
  if (next_cell_index >= current_cells.size()) return false;
  current_cell = current_cells[next_cell_index++];
  return true;
}
