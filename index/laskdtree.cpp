// Store of axis-aligned rectangles with their overall bounds.
#include "index/laskdtree.hpp"

LASkdtreeRectangles::LASkdtreeRectangles() { init(); }

void LASkdtreeRectangles::init() {
  rectangles.clear();
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
}
