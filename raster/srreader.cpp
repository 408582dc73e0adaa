// Shared behaviour of all raster readers.
#include "raster/srreader.hpp"

#include <cstdio>  // fprintf for the count warning, fgets for world files

#include "raster/srsample.hpp"  // SRsampleRule, sr_prepare_rule
#include "tool/lasutility.hpp"  // sscanf_las

void SRreader::set_scale(double s) {
  scaled = true;
  for (double& e : scale) e = s;
}

bool SRreader::set_extent_from_world_file(FILE* file) {
  double w[6];
  char line[256];
  for (int i = 0; i < 6; i++) {
    if (fgets(line, sizeof(line), file) == nullptr || sscanf_las(line, "%lf", &w[i]) != 1) return false;
  }
  stepx = w[0];
  stepx_y = w[1];
  stepy_x = w[2];
  stepy = -w[3];
  const double cx = w[4], cy = w[5];
  if (stepx_y == 0.0 && stepy_x == 0.0) {
    axis_aligned = true;
    llx = cx - stepx / 2;
    ury = cy + stepy / 2;
    lly = ury - nrows * stepy;
    urx = llx + ncols * stepx;
  } else {
    axis_aligned = false;
    const double ox = cx - stepx / 2 - stepy_x / 2;
    const double oy = cy + stepy / 2 - stepx_y / 2;
    llx = ox + nrows * stepy_x;
    lly = oy - nrows * stepy;
    urx = ox + ncols * stepx;
    ury = oy + ncols * stepx_y;
  }
  return true;
}

int64_t SRreader::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  for (int64_t k = 0; k < n; k++) {
    if (!read_raster()) return k;
    values[k] = value[0];
    nodata_flags[k] = is_nodata() ? 1 : 0;
  }
  return n;
}

void SRreader::check_count_on_close(const char* who) {
  if (r_count != -1) {
    const int64_t cells = static_cast<int64_t>(nrows) * static_cast<int64_t>(ncols);
    if (r_count != cells) {
      fprintf(stderr, "WARNING (%s): r_count is %lld but nrows (%d) * ncols (%d) is %lld\n", who,
              static_cast<long long>(r_count), nrows, ncols, static_cast<long long>(cells));
    }
  }
  r_count = -1;
}

void SRreader::prepare_rule(SRsampleRule& rule, double nodata_raw) const {
  rule.scaled = scaled;
  rule.rescale = scale[1];
  rule.offset = offset[0];
  rule.unit = scale[0];
  rule.nodata = nodata;
  rule.nodata_raw = nodata_raw;
  sr_prepare_rule(rule);
}
