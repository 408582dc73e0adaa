// Reader for GeoTIFF rasters through libtiff and libgeotiff: tiled or
// stripped, contiguous or planar, with the GDAL nodata tag and world files.
#ifndef RASTER_SRREADER_TIF_HPP
#define RASTER_SRREADER_TIF_HPP

#include <cstddef>  // size_t tile columns
#include <cstdint>  // fixed-width fields
#include <vector>   // geo key double parameters, failed chunks

#include "raster/srreader.hpp"  // SRreader
#include "raster/srsample.hpp"  // SRsampleRule, SRsampleType

struct tiff;
struct gtiff;

// One entry of a GeoTIFF key directory: key id, the tag that holds the value
// (0: the value is the entry itself), count, and the value or the index of
// the value in that tag's array.
struct SRgeoKeyEntry {
  uint16_t key_id = 0;
  uint16_t tiff_tag_location = 0;
  uint16_t count = 0;
  uint16_t value_offset = 0;
};

class SRreader_tif : public SRreader {
 public:
  SRreader_tif();
  ~SRreader_tif() override;

  // The converter would receive the file's geo keys; the tool passes none.
  bool open(const char* file_name, GeoProjectionConverter* converter);
  bool read_raster() override;
  bool is_nodata() const override { return cell_nodata; }
  void close(bool close_file = true) override;
  int64_t read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) override;

  // Geo keys collected at open. Keys of double type point into
  // geo_double_params (location 34736, the GeoTIFF double parameter tag).
  int32_t geo_key_count = 0;
  SRgeoKeyEntry geo_keys[64];
  std::vector<double> geo_double_params;

  // Layout read at open (for inspection; read only).
  bool ycbcr = false;
  bool planar_separate = false;
  bool tiled = false;
  int32_t tile_width = -1;
  int32_t tile_length = -1;
  int32_t rows_per_strip = 0;  // limited to nrows
  int64_t chunk_size = 0;      // bytes of the temporary tile or plane buffer; -1 when none is needed
  double nodata_raw = -32767.0;  // nodata in the file's own unit (float rasters: the float nodata)

 private:
  // Steps of open(), in their order; each reports its own failure.
  bool fail_open(const char* message);
  bool read_size_and_samples();
  bool read_nodata();
  bool read_chunk_layout();
  bool read_extent(const char* file_name);
  void read_geo_keys();
  bool set_units();
  bool allocate_buffers();
  bool justified_by_stored_bytes(uint64_t decoded);
  void prepare_rules();

  bool load_band(int32_t first_row);
  bool load_tile(size_t t, int32_t first_row);
  bool load_strip(int32_t first_row);
  void release();

  tiff* tif = nullptr;
  gtiff* gtif = nullptr;
  uint8_t* band_buffer = nullptr;  // one strip or one row of tiles, pixel-interleaved or tile-major
  uint8_t* chunk = nullptr;        // one tile, one plane of a strip, or one RGBA strip
  int32_t spp = 1;                 // samples per pixel in band_buffer (4 for YCbCr, decoded to RGBA)
  int32_t sample_bytes = 1;        // bytes per sample in band_buffer
  bool tile_major = false;         // band_buffer holds whole tiles one after the other
  bool pieces = false;             // large strips: band_buffer holds a few rows, read one by one
  uint64_t tile_bytes = 0;         // bytes of one tile in band_buffer (tile-major only)
  int32_t band_rows_max = 0;       // rows per band: tile length or rows per strip
  int32_t band_first = 0;          // first row held by band_buffer
  int32_t band_rows = 0;           // rows held by band_buffer (0: none yet)
  int32_t band_row = 0;            // row of band_buffer that cells come from
  int32_t col = 0;                 // next cell within the row; ncols: a row is needed
  int32_t row = 0;                 // number of the next row to be made available
  bool any_failed = false;         // some chunk of the current band could not be read
  std::vector<uint8_t> failed;     // per tile column (one entry for strips)
  bool cell_nodata = false;        // nodata test of the last delivered cell
  SRsampleType sample_type = SRsampleType::kInt16;
  SRsampleRule rule;        // band 0 (and every band of 32- and 64-bit images)
  SRsampleRule band_rule;   // further bands of 8- and 16-bit images: the raw sample
};

#endif
