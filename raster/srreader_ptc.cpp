// RasterPTC reader: opening through the LAS file reader, the RasterPTC VLR,
// the grid build and cell delivery.
#include "raster/srreader_ptc.hpp"

#include <algorithm>  // min
#include <cmath>      // std::isfinite
#include <cstdio>     // fprintf
#include <cstring>    // strncmp

#include "las/bytestreamin_array.hpp"  // ByteStreamInArrayLE over the VLR data
#include "lasio/lasreaderlas.hpp"        // LASreaderLAS
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

bool SRreader_ptc::open(const char* file_name, GeoProjectionConverter* converter) {
  // no projection converter in this build takes geo keys, so the point
  // file's keys are not handed on
  (void)converter;
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_ptc\n");
    return false;
  }
  release_points();
  grid.release();
  grid_count = 0;
  grid_tried = false;
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

  r_count = 0;
  return true;
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

// The grid is sized by the VLR: refuses what no grid can hold before any
// point is read.
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
  const uint64_t available = get_available_RAM();
  if (available != 0 && bytes > available) {
    fprintf(stderr,
            "ERROR: RasterPTC grid of %d x %d cells needs %.0f MB but only %.0f MB of memory are available for "
            "'%s'\n",
            ncols, nrows, static_cast<double>(bytes) / 1048576.0, static_cast<double>(available) / 1048576.0,
            file_name);
    release_points();
    return false;
  }
  return true;
}

bool SRreader_ptc::build_grid() {
  grid_tried = true;
  grid_count = cell_count();
  if (lasreader == nullptr) return false;
  if (!grid.allocate(ncols, nrows, llx, ury, stepx, stepy)) {
    fprintf(stderr, "ERROR: cannot allocate the grid of %d x %d cells for '%s'\n", ncols, nrows, name.c_str());
    release_points();
    return false;
  }
  LASreaderLAS* r = lasreader;
  const LASheader& h = r->header;
  const LASpoint& p = r->point;
  const double xs = h.x_scale_factor, xo = h.x_offset;
  const double ys = h.y_scale_factor, yo = h.y_offset;
  const int16_t z_attribute = h.z_attribute_index;
  if (z_attribute < 0) {
    while (r->read_point()) grid.place(p.X * xs + xo, p.Y * ys + yo, p.Z);
  } else {
    while (r->read_point()) grid.place(p.X * xs + xo, p.Y * ys + yo, sr_ptc_attribute_z(p, z_attribute, h));
  }
  // a copy that could not be decoded completely must not pass for a raster
  // whose missing cells have no data
  const long long read = r->p_count, announced = r->npoints;
  release_points();
  if (read < announced) {
    fprintf(stderr, "ERROR: corrupt or truncated RasterPTC '%s': only %lld of %lld points could be read\n",
            name.c_str(), read, announced);
    return false;
  }
  return true;
}

bool SRreader_ptc::read_raster() {
  int32_t v;
  uint8_t f;
  return read_cells(1, &v, &f) == 1;
}

int64_t SRreader_ptc::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (r_count < 0 || n <= 0) return 0;
  if (!grid_tried && !build_grid()) {
    // the first cell is used up by the failure; the rest is delivered as far
    // as it was decoded
    value[0] = 0;
    cell_nodata = true;
    r_count++;
    return 0;
  }
  const int64_t m = std::min(n, grid_count - r_count);
  if (m <= 0) return 0;
  const int64_t first = r_count;
  if (!grid.allocated()) {
    for (int64_t k = 0; k < m; k++) {
      values[k] = 0;
      nodata_flags[k] = 1;
    }
  } else if (!scaled) {
    for (int64_t k = 0; k < m; k++) {
      const int64_t i = first + k;
      const bool has = grid.has(i);
      values[k] = has ? grid.at(i) : 0;
      nodata_flags[k] = !has;
    }
  } else {
    const double factor = scale[1];
    for (int64_t k = 0; k < m; k++) {
      const int64_t i = first + k;
      const bool has = grid.has(i);
      values[k] = has ? round_clamp_i32(grid.at(i) * factor) : 0;
      nodata_flags[k] = !has;
    }
  }
  r_count += m;
  value[0] = values[m - 1];
  cell_nodata = nodata_flags[m - 1] != 0;
  return m;
}

void SRreader_ptc::close(bool) {
  release_points();
  grid.release();
  check_count_on_close("SRreader_ptc");
}
