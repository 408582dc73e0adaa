// Writer of RasterPTC files: a LAS point file (of format 0 in LAS 1.2 by
// default; formats 6 to 10 in LAS 1.4 with layered compression) with chunked
// compression, the RasterPTC VLR with the raster's geometry, and one point
// per cell that has a value, placed at the cell centre with an xy
// quantisation that puts every point back into its own cell when the file
// is read as a raster. Cells are written in any order; the caller streams
// them in, nothing is held per cell.
#ifndef RASTER_SRWRITER_PTC_HPP
#define RASTER_SRWRITER_PTC_HPP

#include <cstdint>  // cell indexes, quantised values
#include <vector>   // the quantised centre of every column and row

#include "las/lasheader.hpp"           // LASheader, the file's header
#include "las/laspoint.hpp"            // LASpoint, the point being written
#include "lasio/laswriterlas.hpp"        // LASwriterLAS
#include "raster/lasvlrrasterptc.hpp"  // LASvlrRasterPTC, the raster geometry

// A quantisation of one axis: coordinate = index × scale + offset, and the
// quantised centre of each of the axis's cells, counted away from the
// origin (x: columns from llx; y: rows from lly northwards). A decimal scale
// of step/10 to step/100 is used when its indexes fit and place every
// centre back into its cell; otherwise a binary scale of step/2, whose
// centres are exact.
struct SRptcAxis {
  double scale = 1.0;
  double offset = 0.0;
  std::vector<int32_t> centre;
};

class SRwriter_ptc {
 public:
  SRwriter_ptc() = default;
  SRwriter_ptc(const SRwriter_ptc&) = delete;
  SRwriter_ptc& operator=(const SRwriter_ptc&) = delete;

  // Creates the file for the raster described by `raster` with z values in
  // the unit z_scale and offset z_offset, as points of `point_format` (0 to
  // 10; fields other than X, Y and Z are zero) in the oldest LAS version
  // that has the format (1.2, 1.3 or 1.4). Errors go through laserror.
  bool open(const char* file_name, const LASvlrRasterPTC& raster, double z_scale, double z_offset,
            uint16_t compressor = PTcomp::COMPRESSOR_POINTWISE_CHUNKED,
            uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT, uint8_t point_format = 0);
  // The number of threads that encode the point chunks, from the next open
  // on (0 or 1: the calling thread only); the file is the same either way.
  void set_threads(unsigned n) { writer.set_threads(n); }
  // One point at the centre of cell (col, row), row 0 being the north row,
  // with the quantised z value z.
  bool write_cell(int32_t col, int32_t row, int32_t z) {
    point.X = x_axis.centre[col];
    point.Y = y_axis.centre[static_cast<size_t>(nrows - 1 - row)];
    point.Z = z;
    return writer.write_point(&point);
  }
  // Ends the file and patches counts and bounding box; the bytes written,
  // or -1 after an error.
  int64_t close();

  const SRptcAxis& get_x_axis() const { return x_axis; }
  const SRptcAxis& get_y_axis() const { return y_axis; }
  int64_t get_point_count() const { return writer.get_point_count(); }

 private:
  LASheader header;
  LASwriterLAS writer;
  LASpoint point;
  SRptcAxis x_axis;
  SRptcAxis y_axis;
  int32_t nrows = 0;
  bool is_open = false;
};

#endif
