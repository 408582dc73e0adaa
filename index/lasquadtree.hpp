// The quadtree of a spatial index: the cell numbering of the file's xy
// extent, the adaptive subdivision that the indexed cells imply, the cell of
// a point, and the leaf cells that a rectangle, tile or circle touches.
#ifndef INDEX_LASQUADTREE_HPP
#define INDEX_LASQUADTREE_HPP

#include <cstdint>        // cell numbers
#include <unordered_set>  // the subdivided cells
#include <vector>         // the cells found by a query

class ByteStreamIn;
class ByteStreamOut;

// Level 0 is one cell over the extent. The children of local cell n of level
// l are the local cells 4n + c of level l + 1, c = 0 lower left, 1 lower
// right, 2 upper left, 3 upper right; a point on a centre line belongs to the
// right or upper side. Global cell number = level_offset(l) + local number.
class LASquadtree {
 public:
  // The deepest tree whose global cell numbers fit a signed 32-bit number.
  static constexpr uint32_t MAX_LEVELS = 15;

  uint32_t levels;
  float min_x;
  float max_x;
  float min_y;
  float max_y;
  uint32_t next_cell_index;
  uint32_t current_cell;

  LASquadtree();

  // (4^l - 1) / 3: the global number of the first cell of level l (l <= 16).
  static uint32_t level_offset(uint32_t level);
  // The level a global cell number belongs to.
  static uint32_t level_of(uint32_t cell);
  // Number of global cells of a tree of `levels` levels (all levels).
  static uint64_t cell_count(uint32_t levels);

  // A tree over an extent for writing an index; the float extent is rounded
  // outwards so that it still holds every point of the double extent.
  bool setup(double min_x, double max_x, double min_y, double max_y, uint32_t levels);
  // Warnings (never errors) on failure: a damaged index only costs speed.
  bool read(ByteStreamIn* stream);
  bool write(ByteStreamOut* stream) const;

  // Makes `cell` a leaf and every ancestor of it subdivided.
  void manage_cell(uint32_t cell);
  bool is_adaptive() const { return adaptive; }
  bool is_subdivided(uint32_t cell) const { return subdivided.count(cell) != 0; }

  // The global number of the cell at `level` that holds the point.
  uint32_t get_cell_index(double x, double y, uint32_t level) const;
  // The bounds of a global cell.
  void get_cell_bounding_box(uint32_t cell, double* cell_min_x, double* cell_min_y, double* cell_max_x,
                             double* cell_max_y) const;

  // Collect the leaf cells that may hold points of the area (upper edges of
  // rectangles and tiles are outside, as in the point tests); the number of
  // cells found.
  uint32_t intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y);
  uint32_t intersect_tile(float ll_x, float ll_y, float size);
  uint32_t intersect_circle(double center_x, double center_y, double radius);

  bool get_intersected_cells();
  // Sets current_cell to the next cell found (a global number).
  bool has_more_cells();

 private:
  struct Query {
    bool circle;
    double min_x, min_y, max_x, max_y;  // the rectangle, or the circle's box
    double center_x, center_y, radius_squared;
  };
  uint32_t intersect(const Query& q);
  void descend(const Query& q, uint32_t level, uint32_t local, double cell_min_x, double cell_min_y,
               double cell_max_x, double cell_max_y);

  bool adaptive;
  std::unordered_set<uint32_t> subdivided;  // global numbers of inner cells
  std::vector<uint32_t> current_cells;
};

#endif
