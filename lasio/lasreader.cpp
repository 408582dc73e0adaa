// The point reader base: choice of the read function, area tests, filter and
// transform hooks.
#include "lasio/lasreader.hpp"

#include "filter/lasfilter.hpp"     // LASfilter::filter, reset
#include "filter/lastransform.hpp"  // LAStransform::transform, check_for_overflow
#include "index/copcindex.hpp"      // COPCindex
#include "index/lasindex.hpp"       // LASindex
#include "tool/lasmessage.hpp"      // LASMessage

LASreader::LASreader(LASreadOpener* opener)
    : opener(opener),
      npoints(0),
      p_count(0),
      p_idx(0),
      index(nullptr),
      copc_index(nullptr),
      filter(nullptr),
      transform(nullptr),
      inside(INSIDE_NONE),
      t_ll_x(0.0f),
      t_ll_y(0.0f),
      t_size(0.0f),
      t_ur_x(0.0f),
      t_ur_y(0.0f),
      c_center_x(0.0),
      c_center_y(0.0),
      c_radius(0.0),
      c_radius_squared(0.0),
      r_min_x(0.0),
      r_min_y(0.0),
      r_max_x(0.0),
      r_max_y(0.0),
      orig_min_x(0.0),
      orig_min_y(0.0),
      orig_max_x(0.0),
      orig_max_y(0.0),
      copc_stream_mode(0),
      copc_resolution(0.0f),
      copc_depth(-1),
      read_simple(&LASreader::read_point_default),
      read_complex(nullptr),
      area_index(AreaIndex::NONE),
      have_interval(false),
      interval_end(-1) {
  if (opener == nullptr) LASMessage(LAS_VERBOSE, "reader opened without opener");
}

LASreader::~LASreader() {
  delete index;
  delete copc_index;
  if (transform) transform->check_for_overflow();
}

void LASreader::set_index(LASindex* new_index) {
  if (new_index != index) delete index;
  index = new_index;
}

void LASreader::set_copc_index(COPCindex* new_copc_index) {
  if (new_copc_index != copc_index) delete copc_index;
  copc_index = new_copc_index;
}

void LASreader::choose_read_simple() {
  if (filter && transform) {
    read_simple = &LASreader::read_point_filtered_and_transformed;
  } else if (filter) {
    read_simple = &LASreader::read_point_filtered;
  } else if (transform) {
    read_simple = &LASreader::read_point_transformed;
  } else {
    read_simple = &LASreader::read_point_default;
  }
  read_complex = &LASreader::read_point_default;
}

void LASreader::set_filter(LASfilter* new_filter) {
  filter = new_filter;
  // Counting, random and thinning criteria start afresh with every file, so
  // a file gives the same points whichever files were read before it.
  if (filter) filter->reset();
  choose_read_simple();
}

void LASreader::set_transform(LAStransform* new_transform) {
  transform = new_transform;
  choose_read_simple();
}

void LASreader::set_area_read(ReadFunction function) {
  if (filter || transform) {
    read_complex = function;
  } else {
    read_simple = function;
  }
}

void LASreader::save_box() {
  orig_min_x = header.min_x;
  orig_min_y = header.min_y;
  orig_max_x = header.max_x;
  orig_max_y = header.max_y;
}

bool LASreader::inside_none() {
  set_area_read(&LASreader::read_point_default);
  area_index = AreaIndex::NONE;
  have_interval = false;
  if (inside) {
    header.min_x = orig_min_x;
    header.min_y = orig_min_y;
    header.max_x = orig_max_x;
    header.max_y = orig_max_y;
    inside = INSIDE_NONE;
  }
  return true;
}

void LASreader::use_index(AreaIndex which) {
  area_index = which;
  have_interval = false;
  set_area_read(&LASreader::read_point_inside_indexed);
}

bool LASreader::inside_tile(float ll_x, float ll_y, float size) {
  inside = INSIDE_TILE;
  t_ll_x = ll_x;
  t_ll_y = ll_y;
  t_size = size;
  t_ur_x = ll_x + size;
  t_ur_y = ll_y + size;
  save_box();
  header.min_x = ll_x;
  header.min_y = ll_y;
  header.max_x = t_ur_x - header.x_scale_factor;
  header.max_y = t_ur_y - header.y_scale_factor;
  if (orig_min_x > header.max_x || orig_min_y > header.max_y || ll_x > orig_max_x || ll_y > orig_max_y) {
    set_area_read(&LASreader::read_point_none);
  } else if (index && index->is_loaded()) {
    index->intersect_tile(ll_x, ll_y, size);
    use_index(AreaIndex::QUADTREE);
  } else {
    set_area_read(&LASreader::read_point_inside_tile);
  }
  return true;
}

bool LASreader::inside_circle(double center_x, double center_y, double radius) {
  inside = INSIDE_CIRCLE;
  c_center_x = center_x;
  c_center_y = center_y;
  c_radius = radius;
  c_radius_squared = radius * radius;
  save_box();
  header.min_x = center_x - radius;
  header.min_y = center_y - radius;
  header.max_x = center_x + radius;
  header.max_y = center_y + radius;
  if (orig_min_x > header.max_x || orig_min_y > header.max_y || header.min_x > orig_max_x ||
      header.min_y > orig_max_y) {
    set_area_read(&LASreader::read_point_none);
  } else if (index && index->is_loaded()) {
    index->intersect_circle(center_x, center_y, radius);
    use_index(AreaIndex::QUADTREE);
  } else if (copc_index) {
    copc_index->intersect_circle(center_x, center_y, radius);
    use_index(AreaIndex::COPC);
  } else {
    set_area_read(&LASreader::read_point_inside_circle);
  }
  return true;
}

bool LASreader::inside_rectangle(double min_x, double min_y, double max_x, double max_y) {
  inside = INSIDE_RECTANGLE;
  r_min_x = min_x;
  r_min_y = min_y;
  r_max_x = max_x;
  r_max_y = max_y;
  save_box();
  header.min_x = min_x;
  header.min_y = min_y;
  header.max_x = max_x;
  header.max_y = max_y;
  if (orig_min_x > max_x || orig_min_y > max_y || min_x > orig_max_x || min_y > orig_max_y) {
    set_area_read(&LASreader::read_point_none);
  } else if (index && index->is_loaded()) {
    index->intersect_rectangle(min_x, min_y, max_x, max_y);
    use_index(AreaIndex::QUADTREE);
  } else if (copc_index) {
    copc_index->intersect_rectangle(min_x, min_y, max_x, max_y);
    use_index(AreaIndex::COPC);
  } else {
    set_area_read(&LASreader::read_point_inside_rectangle);
  }
  return true;
}

bool LASreader::inside_copc_depth(uint8_t mode, int depth, float resolution) {
  if (header.vlr_copc_info == nullptr || copc_index == nullptr || (mode != 1 && mode != 2)) return false;
  copc_stream_mode = mode;
  copc_depth = depth;
  copc_resolution = resolution;
  if (mode == 1) {
    copc_index->set_depth_limit(depth);
  } else {
    copc_index->set_resolution(resolution);
  }
  // An area query answered by the COPC index is asked again under the limit.
  if (inside && area_index == AreaIndex::COPC) {
    if (inside == INSIDE_CIRCLE) {
      copc_index->intersect_circle(c_center_x, c_center_y, c_radius);
    } else {
      copc_index->intersect_rectangle(r_min_x, r_min_y, r_max_x, r_max_y);
    }
    have_interval = false;
  } else if (!inside) {
    copc_index->query_depth();
    area_index = AreaIndex::COPC;
    have_interval = false;
    set_area_read(&LASreader::read_point_inside_depth_copc_indexed);
  }
  return true;
}

bool LASreader::read_point_none() { return false; }

bool LASreader::read_point_inside_tile() {
  while (read_point_default()) {
    const double x = point_x();
    const double y = point_y();
    if (t_ll_x <= x && x < t_ur_x && t_ll_y <= y && y < t_ur_y) return true;
  }
  return false;
}

bool LASreader::read_point_inside_circle() {
  while (read_point_default()) {
    const double dx = c_center_x - point_x();
    const double dy = c_center_y - point_y();
    if (dx * dx + dy * dy < c_radius_squared) return true;
  }
  return false;
}

bool LASreader::read_point_inside_rectangle() {
  while (read_point_default()) {
    const double x = point_x();
    const double y = point_y();
    if (r_min_x <= x && x < r_max_x && r_min_y <= y && y < r_max_y) return true;
  }
  return false;
}

bool LASreader::point_inside() const {
  const double x = point_x();
  const double y = point_y();
  switch (inside) {
    case INSIDE_TILE:
      return t_ll_x <= x && x < t_ur_x && t_ll_y <= y && y < t_ur_y;
    case INSIDE_CIRCLE:
      return (c_center_x - x) * (c_center_x - x) + (c_center_y - y) * (c_center_y - y) < c_radius_squared;
    case INSIDE_RECTANGLE:
      return r_min_x <= x && x < r_max_x && r_min_y <= y && y < r_max_y;
    default:
      return true;
  }
}

bool LASreader::seek_next_candidate() {
  while (!have_interval) {
    int64_t first;
    if (area_index == AreaIndex::QUADTREE) {
      if (!index->has_intervals()) return false;
      first = index->start;
      interval_end = index->end;
    } else {
      if (!copc_index->has_intervals()) return false;
      first = static_cast<int64_t>(copc_index->start);
      interval_end = static_cast<int64_t>(copc_index->end);
    }
    // An interval the reader cannot reach is skipped.
    have_interval = (p_count == first && first < npoints) || seek(first);
  }
  // The point at interval_end is the last one read from this interval.
  if (p_count >= interval_end) have_interval = false;
  return true;
}

bool LASreader::read_point_inside_indexed() {
  while (seek_next_candidate()) {
    if (!read_point_default()) {
      // A damaged stretch of points ends its interval, not the read.
      have_interval = false;
      continue;
    }
    if (point_inside()) return true;
  }
  return false;
}

bool LASreader::read_point_inside_depth_copc_indexed() {
  while (seek_next_candidate()) {
    if (read_point_default()) return true;
    have_interval = false;
  }
  return false;
}

bool LASreader::read_point_filtered() {
  while ((this->*read_complex)()) {
    if (!filter->filter(&point)) return true;
  }
  return false;
}

bool LASreader::read_point_transformed() {
  if ((this->*read_complex)()) {
    transform->transform(&point);
    return true;
  }
  return false;
}

bool LASreader::read_point_filtered_and_transformed() {
  if (read_point_filtered()) {
    transform->transform(&point);
    return true;
  }
  return false;
}
