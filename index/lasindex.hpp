// The spatial index of a point file: a quadtree over the file's xy extent and
// per leaf cell the intervals of point indices in it. An area query collects
// the leaf cells it touches and hands out their intervals merged into a short
// sorted list; the point reader seeks from interval to interval.
#ifndef INDEX_LASINDEX_HPP
#define INDEX_LASINDEX_HPP

#include <cstdint>  // point indices
#include <memory>   // owned quadtree and intervals

#include "index/lasinterval.hpp"  // LASinterval
#include "index/lasquadtree.hpp"  // LASquadtree

class ByteStreamIn;
class ByteStreamOut;

class LASindex {
 public:
  // The interval being read (both inclusive).
  uint32_t start;
  uint32_t end;
  // Point counts of the last query: spanned by its intervals, and in its cells.
  uint32_t full;
  uint32_t total;
  // Cells the last query touched.
  uint32_t cells;

  LASindex();

  // Reads an index record. Every problem is a warning and leaves the index
  // empty: a file reads correctly without it. Intervals must lie below
  // `npoints` and cells inside the tree.
  bool read(ByteStreamIn* stream, uint64_t npoints);
  // The same from a file of its own (the ".lax" beside a point file).
  bool read(const char* file_name, uint64_t npoints);
  bool write(ByteStreamOut* stream) const;
  bool write(const char* file_name) const;
  bool is_loaded() const { return spatial != nullptr; }

  // Building an index for points in file order: prepare, add every point,
  // complete. Cells with fewer than `minimum_points` points are joined with
  // their siblings into their parent, from the leaves up.
  bool prepare(double min_x, double max_x, double min_y, double max_y, uint64_t npoints);
  bool add(double x, double y, uint32_t p_index);
  void complete(uint32_t minimum_points = 1000);

  // Area queries; true when the area has candidate intervals.
  bool intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y);
  bool intersect_tile(float ll_x, float ll_y, float size);
  bool intersect_circle(double center_x, double center_y, double radius);
  // The next merged interval of the last query into start and end.
  bool has_intervals();

  const LASquadtree* get_spatial() const { return spatial.get(); }
  const LASinterval* get_interval() const { return interval.get(); }

 private:
  bool merge_intervals();
  bool validate(uint64_t npoints) const;

  std::unique_ptr<LASquadtree> spatial;
  std::unique_ptr<LASinterval> interval;
};

#endif
