// The base of point readers: owns the header, the current point and the
// point counters, and decides once (when a filter, transform or area query
// is set) which read function `read_point()` calls: the concrete reader's
// own, or a loop that repeats it until a point lies inside the area and
// passes the filter, optionally followed by the transform. With a spatial
// index or a COPC hierarchy an area read decodes only the point intervals
// that the index names for the area, seeking from one to the next.
#ifndef LASIO_LASREADER_HPP
#define LASIO_LASREADER_HPP

#include <cstdint>  // fixed-width fields

#include "las/lasheader.hpp"  // LASheader
#include "las/laspoint.hpp"   // LASpoint

class ByteStreamIn;
class COPCindex;
class LASfilter;
class LASindex;
class LASreadOpener;
class LAStransform;

class LASreader {
 public:
  // Area query kinds stored in `inside`.
  static constexpr uint8_t INSIDE_NONE = 0;
  static constexpr uint8_t INSIDE_TILE = 1;
  static constexpr uint8_t INSIDE_CIRCLE = 2;
  static constexpr uint8_t INSIDE_RECTANGLE = 3;

  // A null opener is reported at VERBOSE.
  explicit LASreader(LASreadOpener* opener);
  virtual ~LASreader();
  LASreader(const LASreader&) = delete;
  LASreader& operator=(const LASreader&) = delete;

  // 1 for LAS, 2 for PTC (compressed) files.
  virtual int get_format() const = 0;
  virtual bool has_layers() const { return false; }
  // Not owned. Both discard an area query chosen earlier: set the area
  // query after the filter and the transform.
  virtual void set_filter(LASfilter* filter);
  virtual void set_transform(LAStransform* transform);
  virtual bool inside_none();
  // Lower edges inside, upper edges outside.
  virtual bool inside_tile(float ll_x, float ll_y, float size);
  // Strictly inside the radius.
  virtual bool inside_circle(double center_x, double center_y, double radius);
  // Lower edges inside, upper edges outside.
  virtual bool inside_rectangle(double min_x, double min_y, double max_x, double max_y);
  // Mode 1 limits the COPC octree depth, mode 2 the resolution; false
  // without a COPC hierarchy or for another mode.
  virtual bool inside_copc_depth(uint8_t mode, int depth, float resolution);
  virtual bool seek(long long p_index) = 0;
  virtual ByteStreamIn* get_stream() const = 0;
  virtual void close(bool close_stream = true) = 0;

  // Takes over a spatial index (null removes it). Area queries set after
  // this use it.
  void set_index(LASindex* index);
  LASindex* get_index() const { return index; }
  COPCindex* get_copc_index() const { return copc_index; }
  // True while an area query is answered by an index, seeking from one
  // point interval to the next.
  bool reads_by_index() const { return area_index != AreaIndex::NONE; }

  // The next point (after area, filter and transform), or false at the end.
  bool read_point() { return (this->*read_simple)(); }

  LASreadOpener* opener;
  LASheader header;
  LASpoint point;
  int64_t npoints;
  int64_t p_count;  // points delivered by read_point_default so far
  int64_t p_idx;    // moves together with p_count

  LASindex* index;          // owned
  COPCindex* copc_index;    // owned

  LASfilter* filter;
  LAStransform* transform;

  uint8_t inside;
  float t_ll_x, t_ll_y, t_size, t_ur_x, t_ur_y;
  double c_center_x, c_center_y, c_radius, c_radius_squared;
  double r_min_x, r_min_y, r_max_x, r_max_y;
  double orig_min_x, orig_min_y, orig_max_x, orig_max_y;

  uint8_t copc_stream_mode;
  float copc_resolution;
  int32_t copc_depth;

 protected:
  // The concrete reader's read of the next point.
  virtual bool read_point_default() = 0;
  // Takes over a COPC index (null removes it).
  void set_copc_index(COPCindex* copc_index);

 private:
  typedef bool (LASreader::*ReadFunction)();

  // Puts an area read where the filter and transform functions find it.
  void set_area_read(ReadFunction function);
  enum class AreaIndex : uint8_t { NONE, QUADTREE, COPC };
  // The indexed area read, answered by `which`.
  void use_index(AreaIndex which);
  void choose_read_simple();
  // Saves the header's box in the orig_ fields.
  void save_box();
  double point_x() const { return header.get_x(point.X); }
  double point_y() const { return header.get_y(point.Y); }

  bool read_point_none();
  bool read_point_inside_tile();
  bool read_point_inside_circle();
  bool read_point_inside_rectangle();
  bool point_inside() const;
  // Positions the reader on the next candidate point of the index in use;
  // false when no interval is left.
  bool seek_next_candidate();
  bool read_point_inside_indexed();
  bool read_point_inside_depth_copc_indexed();
  bool read_point_filtered();
  bool read_point_transformed();
  bool read_point_filtered_and_transformed();

  ReadFunction read_simple;
  ReadFunction read_complex;

  // The index that answers the current area query, and the point interval
  // being read (last point included).
  AreaIndex area_index;
  bool have_interval;
  int64_t interval_end;
};

#endif
