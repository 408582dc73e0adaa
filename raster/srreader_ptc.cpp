// RasterPTC reader: opening through the LAS file reader, the RasterPTC VLR,
// the grid build and cell delivery.
#include "raster/srreader_ptc.hpp"

#include <algorithm>  // min
#include <cmath>      // std::isfinite
#include <cstdio>     // fprintf
#include <cstring>    // strncmp, memcpy

#include "las/bytestreamin_array.hpp"  // ByteStreamInArrayLE over the VLR data
#include "lasio/lasreaderlas.hpp"        // LASreaderLAS
#include "geo/geoprojectionconverter.hpp"  // set_projection_from_geo_keys
#include "ptcomp/layermask.hpp"         // LayerMask, the layers a raster needs
#include "raster/lasvlrrasterptc.hpp"  // LASvlrRasterPTC
#include "tool/lasutility.hpp"         // get_available_RAM, round_clamp_i32

SRreader_ptc::~SRreader_ptc() { release_points(); }

void SRreader_ptc::release_points() {
  if (lasreader != nullptr) {
    lasreader->close(true);
    delete lasreader;
    lasreader = nullptr;
  }
}

bool SRreader_ptc::fail_open(const char* format) {
  fprintf(stderr, format, name.c_str());
  release_points();
  return false;
}

void SRreader_ptc::set_threads(unsigned int threads) {
  if (lasreader) lasreader->set_threads(threads);
}

bool SRreader_ptc::open(const char* file_name, GeoProjectionConverter* converter) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_ptc\n");
    return false;
  }
  release_points();
  store.release();
  grid.release();
  mode = Mode::kStream;
  grid_count = 0;
  started = points_done = pending = false;
  last_cell = -1;
  cell_nodata = false;
  name = file_name;

  // Only X, Y and z are used: a layered point file decodes its first layer
  // (X and Y) and the Z layer, or the attribute that z comes from, and skips
  // the rest.
  lasreader = new LASreaderLAS(nullptr);
  if (!lasreader->open(file_name, IO_BUFFER_SIZE, false, LayerMask::XYZ)) {
    return fail_open("ERROR: cannot open lasreaderlas with file name '%s'\n");
  }
  LASvlrRasterPTC raster;
  if (!load_raster_vlr(raster)) return false;
  set_unit();
  nrows = raster.nrows;
  ncols = raster.ncols;
  nbits = raster.nbits;
  nbands = raster.nbands;
  stepx = raster.stepx;
  stepy = raster.stepy;
  stepx_y = raster.stepx_y;
  stepy_x = raster.stepy_x;
  llx = raster.llx;
  lly = raster.lly;
  urx = llx + ncols * stepx;
  ury = lly + nrows * stepy;
  if (!check_grid()) return false;

  // the point cloud must lie inside the raster
  const LASheader& h = lasreader->header;
  if (llx > h.min_x) return fail_open("ERROR: invalid RasterPTC (min_x is smaller than llx) for '%s'\n");
  if (lly > h.min_y) return fail_open("ERROR: invalid RasterPTC (min_y is smaller than lly) for '%s'\n");
  if (h.max_x > urx) return fail_open("ERROR: invalid RasterPTC (max_x is larger than urx) for '%s'\n");
  if (h.max_y > ury) return fail_open("ERROR: invalid RasterPTC (max_y is larger than ury) for '%s'\n");
  if (converter && h.vlr_geo_key_directory && !converter->has_projection(true)) hand_geo_keys(*converter);

  r_count = 0;
  return true;
}

namespace {

// Bytes of the (E)VLR payload that starts at `data`, 0 when none does.
uint64_t payload_length(const LASheader& h, const void* data) {
  if (data == nullptr) return 0;
  for (uint32_t i = 0; i < h.number_of_variable_length_records; i++) {
    if (h.vlrs[i].data == data) return h.vlrs[i].record_length_after_header;
  }
  for (uint32_t i = 0; i < h.number_of_extended_variable_length_records; i++) {
    if (h.evlrs[i].data == data) return h.evlrs[i].record_length_after_header;
  }
  return 0;
}

}  // namespace

// The point file's geo keys go to the converter, as many keys and double
// parameters as their records hold.
void SRreader_ptc::hand_geo_keys(GeoProjectionConverter& converter) {
  const LASheader& h = lasreader->header;
  const uint64_t key_bytes = payload_length(h, h.vlr_geo_key_directory);
  const uint64_t room = key_bytes > 8 ? (key_bytes - 8) / sizeof(GeoProjectionGeoKeys) : 0;
  const int keys = static_cast<int>(std::min<uint64_t>(h.vlr_geo_key_directory->number_of_keys, room));
  const int doubles = static_cast<int>(std::min<uint64_t>(payload_length(h, h.vlr_geo_double_params) / 8, INT32_MAX));
  projection = &converter;
  if (!converter.set_projection_from_geo_keys(keys, reinterpret_cast<const GeoProjectionGeoKeys*>(h.vlr_geo_key_entries),
                                              h.vlr_geo_ascii_params, h.vlr_geo_double_params, nullptr, true, doubles)) {
    fprintf(stderr, "WARNING: could not parse projection from geo keys\n");
  }
}

// Finds the RasterPTC VLR among the header's records and loads it.
bool SRreader_ptc::load_raster_vlr(LASvlrRasterPTC& raster) {
  const LASheader& h = lasreader->header;
  const LASvlr* vlr = nullptr;
  for (uint32_t i = 0; h.vlrs != nullptr && i < h.number_of_variable_length_records; i++) {
    if (strncmp(h.vlrs[i].user_id, LASvlrRasterPTC::USER_ID, 16) == 0 &&
        h.vlrs[i].record_id == LASvlrRasterPTC::RECORD_ID) {
      vlr = &h.vlrs[i];
      break;
    }
  }
  if (vlr == nullptr) return fail_open("ERROR: cannot find RasterPTC VLR in '%s'\n");
  ByteStreamInArrayLE payload(vlr->data, vlr->data ? vlr->record_length_after_header : 0);
  if (!raster.load(&payload)) return fail_open("ERROR: corrupt RasterPTC VLR in '%s'\n");
  return true;
}

// Values stay in the point file's z quantisation unless another unit was
// asked for.
void SRreader_ptc::set_unit() {
  const LASheader& h = lasreader->header;
  if (scaled) {
    if (scale[0] == h.z_scale_factor) {
      scaled = false;
    } else {
      scale[1] = h.z_scale_factor / scale[0];
    }
  } else {
    scale[0] = h.z_scale_factor;
  }
  offset[0] = h.z_offset;
}

// Refuses a geometry whose cells cannot be counted before any point is
// read. The memory of the cells is not reserved here: copies in raster
// order need none, the others only what their points fill.
bool SRreader_ptc::check_grid() {
  const char* file_name = name.c_str();
  if (ncols < 1 || nrows < 1) {
    fprintf(stderr, "ERROR: invalid RasterPTC (ncols %d and nrows %d) for '%s'\n", ncols, nrows, file_name);
    release_points();
    return false;
  }
  if (!(std::isfinite(stepx) && stepx > 0.0 && std::isfinite(stepy) && stepy > 0.0 && std::isfinite(llx) &&
        std::isfinite(lly))) {
    fprintf(stderr, "ERROR: invalid RasterPTC (stepx %g, stepy %g, llx %g, lly %g) for '%s'\n", stepx, stepy, llx,
            lly, file_name);
    release_points();
    return false;
  }
  const uint64_t bytes = SRptcGrid::bytes_needed(ncols, nrows);
  if (bytes == 0) {
    fprintf(stderr, "ERROR: invalid RasterPTC (grid of %d x %d cells is too large) for '%s'\n", ncols, nrows,
            file_name);
    release_points();
    return false;
  }
  return true;
}

uint64_t SRreader_ptc::store_bytes() const {
  if (mode != Mode::kStore) return 0;
  return store.dense() ? store.grid_bytes() : store.entry_count() * 16;
}

bool SRreader_ptc::next_point(int64_t& cell, int32_t& v) {
  if (lasreader == nullptr) return false;
  LASreaderLAS* r = lasreader;
  const LASheader& h = r->header;
  const LASpoint& p = r->point;
  const int16_t z_attribute = h.z_attribute_index;
  while (r->read_point()) {
    cell = grid.cell_of(p.X * h.x_scale_factor + h.x_offset, p.Y * h.y_scale_factor + h.y_offset);
    if (cell < 0) continue;  // outside the raster: ignored
    v = z_attribute < 0 ? p.Z : sr_ptc_attribute_z(p, z_attribute, h);
    return true;
  }
  return false;
}

// A copy that could not be decoded completely must not pass for a raster
// whose missing cells have no data.
bool SRreader_ptc::points_complete() {
  points_done = true;
  if (lasreader == nullptr) return true;
  const long long read = lasreader->p_count, announced = lasreader->npoints;
  release_points();
  if (read < announced) {
    fprintf(stderr, "ERROR: corrupt or truncated RasterPTC '%s': only %lld of %lld points could be read\n",
            name.c_str(), read, announced);
    return false;
  }
  return true;
}

bool SRreader_ptc::stream(int64_t first, int64_t n, int32_t* values, uint8_t* nodata_flags) {
  for (int64_t k = 0; k < n; k++) {
    values[k] = 0;
    nodata_flags[k] = 1;
  }
  const int64_t end = first + n;
  int64_t cell;
  int32_t v;
  while (!points_done) {
    if (pending) {
      cell = pending_cell;
      v = pending_value;
      pending = false;
    } else if (!next_point(cell, v)) {
      if (!points_complete()) {
        // what was decoded of this stretch is delivered after the failed
        // first cell
        store.reset();
        for (int64_t k = 1; k < n; k++) {
          if (!nodata_flags[k]) store.put(first + k, values[k]);
        }
        store.finish();
        mode = Mode::kStore;
        return false;
      }
      break;
    }
    if (cell < last_cell) {
      pending = false;
      return false;
    }
    if (cell >= end) {
      pending = true;
      pending_cell = cell;
      pending_value = v;
      break;
    }
    values[cell - first] = v;
    nodata_flags[cell - first] = 0;
    last_cell = cell;
  }
  return true;
}

bool SRreader_ptc::build_store(int64_t delivered, int64_t break_at) {
  mode = Mode::kStore;
  pending = false;
  store.reset();
  if (lasreader == nullptr || !lasreader->seek(0)) {
    fprintf(stderr, "ERROR: cannot go back to the first point of RasterPTC '%s'\n", name.c_str());
    release_points();
    points_done = true;
    store.finish();
    return false;
  }
  bool conflict = false;
  int64_t cell;
  int32_t v;
  int64_t ordinal = 0;  // file order of the point, counting those outside too
  bool marked = false;
  while (next_point(cell, v)) {
    ordinal = lasreader->p_count - 1;
    if (ordinal >= break_at) {
      if (!marked) {
        store.mark_ordered();
        marked = true;
      }
      // a point for a cell that went out already must not change it
      if (cell < delivered && !conflict && !store.holds(cell, v)) conflict = true;
    }
    if (!store.put(cell, v)) {
      fprintf(stderr,
              "ERROR: RasterPTC grid of %d x %d cells needs %.0f MB but only %.0f MB of memory are available for "
              "'%s'\n",
              ncols, nrows, static_cast<double>(store.grid_bytes()) / 1048576.0,
              static_cast<double>(get_available_RAM()) / 1048576.0, name.c_str());
      release_points();
      points_done = true;
      store.finish();
      return false;
    }
  }
  store.finish();
  if (!points_complete()) return false;
  // cells that went out already were wrong: the caller compares again
  // from the start, with the store built before the first cell
  second_pass = conflict;
  return !conflict;
}

bool SRreader_ptc::read_raster() {
  int32_t v;
  uint8_t f;
  return read_cells(1, &v, &f) == 1;
}

int64_t SRreader_ptc::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (r_count < 0 || n <= 0 || second_pass) return 0;
  if (!started) {
    started = true;
    grid_count = cell_count();
    grid.set_geometry(ncols, nrows, llx, ury, stepx, stepy);
    window_first = window_end = 0;
    if (collect_first && !build_store(0, 0)) return fail_cell();
  }
  const int64_t m = std::min(n, grid_count - r_count);
  int64_t k = 0;
  while (k < m) {
    int64_t part = m - k;
    if (mode == Mode::kStream && r_count >= window_end && !next_window()) {
      if (mode == Mode::kStream) {
        // a point out of raster order: from here on the cells come from
        // the store of all points
        if (!build_store(r_count, lasreader->p_count - 1)) return second_pass ? k : k + fail_cell();
      } else {
        return k + fail_cell();  // the points ended early
      }
    }
    if (mode == Mode::kStream) {
      part = std::min(part, window_end - r_count);
      const size_t at = static_cast<size_t>(r_count - window_first);
      memcpy(values + k, window_values.data() + at, static_cast<size_t>(part) * sizeof(int32_t));
      memcpy(nodata_flags + k, window_flags.data() + at, static_cast<size_t>(part));
    } else {
      store.fill(r_count, part, values + k, nodata_flags + k);
    }
    if (scaled) {
      const double factor = scale[1];
      for (int64_t j = k; j < k + part; j++) {
        if (!nodata_flags[j]) values[j] = round_clamp_i32(values[j] * factor);
      }
    }
    r_count += part;
    k += part;
  }
  if (k > 0) {
    value[0] = values[k - 1];
    cell_nodata = nodata_flags[k - 1] != 0;
  }
  return k;
}

// The next stretch of cells from the points, decoded ahead of the caller
// so that a copy out of order is caught before its cells go out.
bool SRreader_ptc::next_window() {
  window_first = r_count;
  window_end = std::min(grid_count, r_count + kWindowCells);
  const int64_t n = window_end - window_first;
  window_values.resize(static_cast<size_t>(n));
  window_flags.resize(static_cast<size_t>(n));
  if (stream(window_first, n, window_values.data(), window_flags.data())) return true;
  window_end = window_first;
  return false;
}

int64_t SRreader_ptc::fail_cell() {
  value[0] = 0;
  cell_nodata = true;
  r_count++;
  return 0;
}

void SRreader_ptc::close(bool) {
  release_points();
  store.release();
  grid.release();
  check_count_on_close("SRreader_ptc");
}
