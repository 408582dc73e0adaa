// COPC files: the flattening of the octree hierarchy pages into one list of
// data nodes (EPToctree), and the area, depth and resolution queries over
// those nodes that give the point intervals a reader decodes (COPCindex).
#ifndef INDEX_COPCINDEX_HPP
#define INDEX_COPCINDEX_HPP

#include <cstdint>  // offsets, counts
#include <vector>   // nodes, intervals

#include "las/lasheader.hpp"  // LASheader, LASvlr_copc_entry

// The fields of the COPC info record that the queries use.
struct COPCinfo {
  double center_x = 0.0;
  double center_y = 0.0;
  double center_z = 0.0;
  double halfsize = 0.0;
  double spacing = 0.0;
  uint64_t root_hier_offset = 0;
  uint64_t root_hier_size = 0;

  // From the 160-byte info payload.
  static COPCinfo from(const unsigned char* payload);
};

class EPToctree {
 public:
  // Reads the hierarchy from the EVLR payload (`size` bytes that start at
  // file position `offset`): the pages breadth first from the root page
  // named by the header's COPC info, the data nodes sorted by file position
  // into the header. A page that does not lie inside the payload rejects
  // the hierarchy (false, no entries); so does a node count sum that
  // differs from the header's point count (with a warning).
  static bool set_vlr_entries(const unsigned char* data, uint64_t size, uint64_t offset, LASheader& header);
};

class COPCindex {
 public:
  // The interval being read (both inclusive).
  uint64_t start;
  uint64_t end;

  // Works on the header's entries and COPC info (both must outlive it).
  explicit COPCindex(const LASheader& header);

  // Nodes deeper than `depth` are left out (negative: no limit).
  void set_depth_limit(int depth);
  // Leaves out the nodes finer than needed for points `resolution` apart.
  void set_resolution(float resolution);
  int get_max_depth() const { return max_depth; }

  // Collect the nodes that may hold points of the area, within the depth
  // limit; true when there are some.
  bool intersect_rectangle(double r_min_x, double r_min_y, double r_max_x, double r_max_y);
  bool intersect_circle(double center_x, double center_y, double radius);
  // All nodes within the depth limit.
  bool query_depth();
  // The next interval of the last query into start and end.
  bool has_intervals();

 private:
  struct Node {
    int32_t level, x, y;
    uint64_t first;  // index of the node's first point
    uint64_t count;
  };
  bool collect(bool circle, double min_x, double min_y, double max_x, double max_y, double cx, double cy,
               double radius_squared);

  COPCinfo info;
  std::vector<Node> nodes;
  int max_depth;
  std::vector<std::pair<uint64_t, uint64_t>> intervals;
  size_t next_interval;
};

#endif
