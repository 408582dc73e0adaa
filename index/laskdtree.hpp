// Store of axis-aligned rectangles (the bounding boxes of input files) with
// their overall bounds.
#ifndef INDEX_LASKDTREE_HPP
#define INDEX_LASKDTREE_HPP

#include <cstdint>  // uint32_t sequence numbers
#include <vector>   // the rectangle list

struct LASkdtreeRectangle {
  double min_x;
  double min_y;
  double max_x;
  double max_y;
  uint32_t index;  // sequence number in the order of add()
};

// Collects rectangles in the order they are added. The overall bounds
// start inverted (min 2e307, max -2e307) so that the first rectangle sets
// them. Nothing in this program queries the rectangles spatially.
class LASkdtreeRectangles {
 public:
  double min_x;
  double min_y;
  double max_x;
  double max_y;

  LASkdtreeRectangles();

  // Empties the list and resets the bounds.
  void init();
  // Widens the bounds to include the rectangle and appends it.
  void add(double min_x, double min_y, double max_x, double max_y);

  uint32_t get_count() const { return count; }
  const LASkdtreeRectangle& get_rectangle(uint32_t i) const { return rectangles[i]; }

 private:
  std::vector<LASkdtreeRectangle> rectangles;
  uint32_t count;
};

#endif
