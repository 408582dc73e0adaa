// The abstract raster reader: geometry filled at open, then cells one by
// one (or in batches) as 32-bit integers in the reader's unit.
#ifndef RASTER_SRREADER_HPP
#define RASTER_SRREADER_HPP

#include <cstdint>  // int32_t, int64_t
#include <cstdio>   // FILE for world files

class GeoProjectionConverter;
struct SRsampleRule;

constexpr double SR_NOT_SET = -32767.0;

// Cells per read_cells() call when a caller walks a whole raster.
constexpr int64_t SR_CELL_BATCH = 1 << 16;

class SRreader {
 public:
  int32_t nrows = -1;
  int32_t ncols = -1;
  int32_t nbits = -1;
  int32_t nbands = -1;
  int32_t nodata = -9999;
  bool unsigned_values = false;
  bool float_values = false;
  bool axis_aligned = true;
  double llx = SR_NOT_SET;
  double lly = SR_NOT_SET;
  double urx = SR_NOT_SET;
  double ury = SR_NOT_SET;
  double stepx = SR_NOT_SET;
  double stepy = SR_NOT_SET;
  double stepx_y = 0.0;
  double stepy_x = 0.0;
  GeoProjectionConverter* projection = nullptr;
  int32_t value[10] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
  bool scaled = false;
  double scale[10] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
  double offset[10] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
  int64_t r_count = -1;

  SRreader() = default;
  SRreader(const SRreader&) = delete;
  SRreader& operator=(const SRreader&) = delete;

  virtual void set_scale(double s);
  virtual bool has_projection() const { return projection != nullptr; }
  virtual bool read_raster() = 0;
  virtual bool is_nodata() const { return value[0] == nodata; }
  virtual void close(bool close_file = true) = 0;
  virtual ~SRreader() = default;

  // Batch delivery for the comparison loop: up to n next cells, entry 0 of
  // each cell's value into values[k] and its nodata test into nodata[k].
  // Returns how many cells were delivered; fewer than n means that
  // read_raster() failed for cell number (return value). The default goes
  // through read_raster()/is_nodata(); readers override it for speed and
  // must keep r_count, value[0] and is_nodata() as the per-cell path would.
  virtual int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags);

  // A reader that found, while delivering, that cells it had delivered
  // already were wrong (a RasterPTC copy whose points came back to them)
  // stops short and says so here, without a message. The caller opens the
  // raster again, calls collect_all_cells_first() before the first cell and
  // starts over.
  virtual bool needs_second_pass() const { return false; }
  virtual void collect_all_cells_first() {}
  // Decoding threads for readers of compressed points (the others have
  // none); takes effect at the next chunk.
  virtual void set_threads(unsigned int /*threads*/) {}

  // Total number of cells as a 64-bit count (0 while the geometry is unset).
  int64_t cell_count() const {
    return (nrows > 0 && ncols > 0) ? static_cast<int64_t>(nrows) * ncols : 0;
  }

 protected:
  // Reads the six lines of a world file (cell width, rotation terms, cell
  // height, centre of the upper-left cell) and sets the extent from them
  // for the current nrows and ncols. False when a line does not hold a
  // number; the caller reports it and closes the file.
  bool set_extent_from_world_file(FILE* file);

  // Sets up the conversion rule of this reader's samples (unit, scale,
  // offset, nodata) with nodata_raw as the file's own nodata value.
  void prepare_rule(SRsampleRule& rule, double nodata_raw) const;

  // The shared count check of close(): warns in `who`'s words when fewer or
  // more cells were delivered than the raster holds, then marks it closed.
  void check_count_on_close(const char* who);
};

// Creates and opens the reader for a file's extension (without the dot).
// Null when the extension is unknown (reported) or the open failed.
SRreader* open_raster(const char* extension, const char* file_name);
// The same, handing `converter` (may be null) to the readers that take a
// coordinate system from their file (GeoTIFF, IMG, RasterPTC); the reader
// keeps a pointer to it, so it must outlive the reader.
SRreader* open_raster(const char* extension, const char* file_name, GeoProjectionConverter* converter);

#endif
