// Store of axis-aligned rectangles with their overall bounds.
#include "index/laskdtree.hpp"

#include <algorithm>  // nth_element, sort

LASkdtreeRectangles::LASkdtreeRectangles() { init(); }

void LASkdtreeRectangles::init() {
  rectangles.clear();
  order.clear();
  nodes.clear();
  built = false;
  count = 0;
  min_x = 2e307;
  min_y = 2e307;
  max_x = -2e307;
  max_y = -2e307;
}

void LASkdtreeRectangles::add(double rmin_x, double rmin_y, double rmax_x, double rmax_y) {
  if (rmin_x < min_x) min_x = rmin_x;
  if (rmin_y < min_y) min_y = rmin_y;
  if (rmax_x > max_x) max_x = rmax_x;
  if (rmax_y > max_y) max_y = rmax_y;
  rectangles.push_back({rmin_x, rmin_y, rmax_x, rmax_y, count});
  count++;
  built = false;
}

namespace {
constexpr uint32_t LEAF_SIZE = 8;
}

int32_t LASkdtreeRectangles::build(uint32_t first, uint32_t after, int depth) {
  const int32_t id = static_cast<int32_t>(nodes.size());
  nodes.push_back({2e307, 2e307, -2e307, -2e307, first, after, -1, -1});
  Node bounds = nodes[id];
  for (uint32_t i = first; i < after; i++) {
    const LASkdtreeRectangle& r = rectangles[order[i]];
    bounds.min_x = std::min(bounds.min_x, r.min_x);
    bounds.min_y = std::min(bounds.min_y, r.min_y);
    bounds.max_x = std::max(bounds.max_x, r.max_x);
    bounds.max_y = std::max(bounds.max_y, r.max_y);
  }
  nodes[id] = bounds;
  if (after - first <= LEAF_SIZE) return id;
  // Split at the median centre along x on even depths, y on odd ones.
  const uint32_t middle = first + (after - first) / 2;
  const bool along_x = (depth % 2) == 0;
  std::nth_element(order.begin() + first, order.begin() + middle, order.begin() + after,
                   [this, along_x](uint32_t a, uint32_t b) {
                     const LASkdtreeRectangle& ra = rectangles[a];
                     const LASkdtreeRectangle& rb = rectangles[b];
                     return along_x ? ra.min_x + ra.max_x < rb.min_x + rb.max_x
                                    : ra.min_y + ra.max_y < rb.min_y + rb.max_y;
                   });
  const int32_t low = build(first, middle, depth + 1);
  const int32_t high = build(middle, after, depth + 1);
  nodes[id].low = low;
  nodes[id].high = high;
  return id;
}

void LASkdtreeRectangles::search(int32_t id, double q_min_x, double q_min_y, double q_max_x, double q_max_y,
                                 std::vector<uint32_t>& found) const {
  const Node& n = nodes[id];
  if (n.min_x > q_max_x || n.max_x < q_min_x || n.min_y > q_max_y || n.max_y < q_min_y) return;
  if (n.low < 0) {
    for (uint32_t i = n.first; i < n.after; i++) {
      const LASkdtreeRectangle& r = rectangles[order[i]];
      if (r.min_x <= q_max_x && r.max_x >= q_min_x && r.min_y <= q_max_y && r.max_y >= q_min_y) {
        found.push_back(r.index);
      }
    }
    return;
  }
  search(n.low, q_min_x, q_min_y, q_max_x, q_max_y, found);
  search(n.high, q_min_x, q_min_y, q_max_x, q_max_y, found);
}

void LASkdtreeRectangles::overlap(double q_min_x, double q_min_y, double q_max_x, double q_max_y,
                                  std::vector<uint32_t>& found) {
  found.clear();
  if (count == 0) return;
  if (!built) {
    order.resize(count);
    for (uint32_t i = 0; i < count; i++) order[i] = i;
    nodes.clear();
    build(0, count, 0);
    built = true;
  }
  search(0, q_min_x, q_min_y, q_max_x, q_max_y, found);
  std::sort(found.begin(), found.end());
}
