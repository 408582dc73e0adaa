// Reader for RasterPTC files: a raster stored as a compressed LAS point file
// with one point per cell that has a value and the raster geometry in the
// RasterPTC VLR. Cells are delivered north row first, west to east. While
// the points come in raster order they are turned into cells as they are
// decoded, with no grid; at the first point out of order the reader goes
// back to the first point and collects all of them in a cell store.
#ifndef RASTER_SRREADER_PTC_HPP
#define RASTER_SRREADER_PTC_HPP

#include <string>  // the file name for messages
#include <vector>  // the cells decoded ahead

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
  bool needs_second_pass() const override { return second_pass; }
  void collect_all_cells_first() override { collect_first = true; }
  void set_threads(unsigned int threads) override;

  // Cells of the raster (0 until the first cell request).
  int64_t grid_cells() const { return grid_count; }
  // Whether the cells come from the store (the points were not in raster
  // order) rather than straight from the points.
  bool from_store() const { return mode == Mode::kStore; }
  // Bytes the cell store holds (0 while streaming).
  uint64_t store_bytes() const;

 private:
  enum class Mode { kStream, kStore };
  // The next point inside the raster: its cell and value. False at the end
  // of the points.
  bool next_point(int64_t& cell, int32_t& v);
  // Streams cells first .. first + n − 1 into values and flags. False when
  // a point came out of order (nothing is delivered then).
  bool stream(int64_t first, int64_t n, int32_t* values, uint8_t* nodata_flags);
  // Reads all points again into the store; `delivered` cells went out
  // already, from the points before point number `break_at`.
  bool build_store(int64_t delivered, int64_t break_at);
  bool next_window();
  // A failure of the cell at r_count: reported (already), used up.
  int64_t fail_cell();
  // The points ended before the header's count: says so.
  bool points_complete();
  bool fail_open(const char* format);
  // Steps of open(); each reports its own failure.
  bool load_raster_vlr(LASvlrRasterPTC& raster);
  void hand_geo_keys(GeoProjectionConverter& converter);
  void set_unit();
  bool check_grid();
  void release_points();

  LASreaderLAS* lasreader = nullptr;
  SRptcGrid grid;
  SRptcStore store{grid};
  Mode mode = Mode::kStream;
  int64_t grid_count = 0;
  bool cell_nodata = false;
  bool started = false;
  bool collect_first = false;  // the store from the first cell on, no streaming
  bool second_pass = false;    // delivered cells turned out wrong: start over
  bool points_done = false;    // all points read (or the reader gave up)
  bool pending = false;        // pending_cell/pending_value hold a point not yet placed
  int64_t pending_cell = 0;
  int32_t pending_value = 0;
  int64_t last_cell = -1;      // cell of the last point placed while streaming
  // Cells window_first .. window_end − 1, decoded ahead while streaming.
  static constexpr int64_t kWindowCells = SR_CELL_BATCH;
  int64_t window_first = 0;
  int64_t window_end = 0;
  std::vector<int32_t> window_values;
  std::vector<uint8_t> window_flags;
  std::string name;
};

#endif
