// RasterPTC writer: header, VLR, quantisation of the cell centres and the
// point stream.
#include "raster/srwriter_ptc.hpp"

#include <cmath>    // std::floor, std::log10, std::pow, std::isfinite
#include <cstdlib>  // free for the VLR payload
#include <cstring>  // strncpy
#include <ctime>    // time, gmtime_r for the creation date

#include "tool/lasmessage.hpp"  // laserror

namespace {

// Quantised centres of n cells of size step from origin with the given scale.
bool quantise(int32_t n, double origin, double step, double scale, SRptcAxis& axis) {
  if (!(scale > 0.0) || !std::isfinite(scale)) return false;
  axis.scale = scale;
  axis.offset = origin;
  axis.centre.resize(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; k++) {
    const double q = ((k + 0.5) * step) / scale + 0.5;
    if (!(q >= 0.0 && q < 2147483647.0)) return false;
    axis.centre[k] = static_cast<int32_t>(q);
  }
  return true;
}

// Whether every column's centre falls into that column by the reader's
// formula (col = (x − llx) / stepx, truncated) and inside [llx, urx].
bool x_fits(const SRptcAxis& a, int32_t ncols, double llx, double stepx) {
  const double urx = llx + ncols * stepx;
  for (int32_t col = 0; col < ncols; col++) {
    const double x = a.centre[col] * a.scale + a.offset;
    const double c = (x - llx) / stepx;
    if (!(x >= llx && x <= urx && c > -1.0 && c < ncols) || static_cast<int32_t>(c) != col) return false;
  }
  return true;
}

// The same for rows: row = (ury − y) / stepy with ury = lly + nrows·stepy;
// centre j is the j-th row from the south.
bool y_fits(const SRptcAxis& a, int32_t nrows, double lly, double stepy) {
  const double ury = lly + nrows * stepy;
  for (int32_t j = 0; j < nrows; j++) {
    const double y = a.centre[j] * a.scale + a.offset;
    const double r = (ury - y) / stepy;
    if (!(y >= lly && y <= ury && r > -1.0 && r < nrows) || static_cast<int32_t>(r) != nrows - 1 - j) return false;
  }
  return true;
}

bool quantise_axis(int32_t n, double origin, double step, bool is_x, SRptcAxis& axis) {
  const double decimal = std::pow(10.0, std::floor(std::log10(step)) - 1.0);
  const double scales[2] = {decimal, step / 2.0};
  for (double scale : scales) {
    if (!quantise(n, origin, step, scale, axis)) continue;
    if (is_x ? x_fits(axis, n, origin, step) : y_fits(axis, n, origin, step)) return true;
  }
  return false;
}

}  // namespace

bool SRwriter_ptc::open(const char* file_name, const LASvlrRasterPTC& raster, double z_scale, double z_offset,
                        uint16_t compressor, uint32_t chunk_size, uint8_t point_format) {
  // Record lengths of point formats 0 to 10 without extra bytes.
  static const uint16_t record_lengths[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  if (is_open) close();
  if (file_name == nullptr) {
    laserror("file name pointer is zero");
    return false;
  }
  if (point_format > 10) {
    laserror("cannot write RasterPTC '%s' with point format %d. use 0 to 10", file_name, point_format);
    return false;
  }
  if (raster.ncols < 1 || raster.nrows < 1) {
    laserror("cannot write RasterPTC '%s' with %d columns and %d rows", file_name, raster.ncols, raster.nrows);
    return false;
  }
  if (!(std::isfinite(raster.stepx) && raster.stepx > 0.0 && std::isfinite(raster.stepy) && raster.stepy > 0.0 &&
        std::isfinite(raster.llx) && std::isfinite(raster.lly))) {
    laserror("cannot write RasterPTC '%s' with cell size %g x %g and lower left corner %g %g", file_name,
             raster.stepx, raster.stepy, raster.llx, raster.lly);
    return false;
  }
  if (!quantise_axis(raster.ncols, raster.llx, raster.stepx, true, x_axis) ||
      !quantise_axis(raster.nrows, raster.lly, raster.stepy, false, y_axis)) {
    laserror("cannot place the cell centres of RasterPTC '%s' into their cells with 32-bit coordinates", file_name);
    return false;
  }
  nrows = raster.nrows;

  header.clean();
  header.version_major = 1;
  header.version_minor = point_format <= 3 ? 2 : point_format <= 5 ? 3 : 4;
  header.point_data_format = point_format;
  header.point_data_record_length = record_lengths[point_format];
  strncpy(header.system_identifier, "RasterPTC", 32);
  strncpy(header.generating_software, "rast2ptc", 32);
  const time_t now = time(nullptr);
  struct tm day;
  if (gmtime_r(&now, &day) != nullptr) {
    header.file_creation_day = static_cast<uint16_t>(day.tm_yday + 1);
    header.file_creation_year = static_cast<uint16_t>(day.tm_year + 1900);
  }
  header.x_scale_factor = x_axis.scale;
  header.y_scale_factor = y_axis.scale;
  header.z_scale_factor = z_scale;
  header.x_offset = x_axis.offset;
  header.y_offset = y_axis.offset;
  header.z_offset = z_offset;
  unsigned char* payload = raster.get_payload();
  if (payload == nullptr) return false;
  const bool added = header.add_vlr(LASvlrRasterPTC::USER_ID, LASvlrRasterPTC::RECORD_ID,
                                    static_cast<uint16_t>(LASvlrRasterPTC::PAYLOAD_SIZE), payload, false,
                                    "raster geometry");
  free(payload);
  if (!added) {
    laserror("cannot add the RasterPTC VLR for '%s'", file_name);
    return false;
  }
  if (!writer.open(file_name, &header, compressor, chunk_size)) return false;
  if (!point.init(&header, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &header)) {
    writer.close(false);
    laserror("cannot lay out the points of '%s'", file_name);
    return false;
  }
  is_open = true;
  return true;
}

int64_t SRwriter_ptc::close() {
  if (!is_open) return -1;
  is_open = false;
  return writer.close(true);
}
