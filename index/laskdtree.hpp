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
// them. Overlap queries (which rectangles touch an area, e.g. the files
// next to a tile) go through a kd-tree over the rectangle centres whose
// nodes know the bounds of their subtrees; it is built at the first query
// after a change.
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
  // The sequence numbers of the rectangles that share at least a point with
  // the query rectangle (edges included), in ascending order.
  void overlap(double q_min_x, double q_min_y, double q_max_x, double q_max_y, std::vector<uint32_t>& found);
  const LASkdtreeRectangle& get_rectangle(uint32_t i) const { return rectangles[i]; }

 private:
  struct Node {
    double min_x, min_y, max_x, max_y;  // bounds of every rectangle below
    uint32_t first, after;              // the rectangles below, in `order`
    int32_t low, high;                  // children, -1 for a leaf
  };
  int32_t build(uint32_t first, uint32_t after, int depth);
  void search(int32_t node, double q_min_x, double q_min_y, double q_max_x, double q_max_y,
              std::vector<uint32_t>& found) const;

  std::vector<LASkdtreeRectangle> rectangles;
  uint32_t count;
  std::vector<uint32_t> order;  // rectangle numbers, grouped by tree node
  std::vector<Node> nodes;
  bool built;
};

#endif
