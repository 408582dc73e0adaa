// Reader for RasterPTC files: a raster stored as a compressed LAS point file
// with one point per cell that has a value and the raster geometry in the
// RasterPTC VLR. All points are read into a cell grid at the first cell
// request; cells are then delivered north row first, west to east.
#ifndef RASTER_SRREADER_PTC_HPP
#define RASTER_SRREADER_PTC_HPP

#include <string>  // the file name for messages

#include "raster/srptcgrid.hpp"  // SRptcGrid
#include "raster/srreader.hpp"   // SRreader
#include "tool/lasutility.hpp"   // LAS_IO_BUFFER_SIZE

class LASreaderLAS;
class LASvlrRasterPTC;

class SRreader_ptc : public SRreader {
 public:
  static constexpr int IO_BUFFER_SIZE = LAS_IO_BUFFER_SIZE;

  SRreader_ptc() = default;
  ~SRreader_ptc() override;

  bool open(const char* file_name, GeoProjectionConverter* converter);
  bool read_raster() override;
  bool is_nodata() const override { return cell_nodata; }
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  // Cells of the loaded grid (0 until the first cell request).
  int64_t grid_cells() const { return grid_count; }

 private:
  // Reads every point into the grid. False, after a message, when the grid
  // cannot be allocated or the points end before the header's count.
  bool build_grid();
  bool fail_open(const char* format);
  // Steps of open(); each reports its own failure.
  bool load_raster_vlr(LASvlrRasterPTC& raster);
  void hand_geo_keys(GeoProjectionConverter& converter);
  void set_unit();
  bool check_grid();
  void release_points();

  LASreaderLAS* lasreader = nullptr;
  SRptcGrid grid;
  int64_t grid_count = 0;
  bool cell_nodata = false;
  bool grid_tried = false;
  std::string name;
};

#endif
