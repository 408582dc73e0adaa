// Difference rasters as GeoTIFF through libtiff and libgeotiff.
#include "raster/srwriter_diff.hpp"

#include <geotiff.h>        // GTIF, GTIFNew, GTIFKeySet, GTIFWriteKeys
#include <geovalues.h>      // RasterPixelIsArea
#include <tiffio.h>         // TIFFSetField, TIFFWriteEncodedTile
#include <xtiffio.h>        // XTIFFOpen, XTIFFClose, the GeoTIFF tags

#include <algorithm>  // min, fill_n
#include <cstdio>     // snprintf
#include <new>        // nothrow

#include "tool/lasmessage.hpp"  // LASMessage

namespace {

constexpr uint32_t kTagGdalNodata = 42113;
// The band of tile rows stays below this size, so wide rasters get lower tiles.
constexpr uint64_t kBandBytes = uint64_t(32) << 20;

TIFFExtendProc previous_extender = nullptr;

// Teaches every file the GDAL nodata tag (unless another extender did).
void nodata_tag_extender(TIFF* tif) {
  static const TIFFFieldInfo info[] = {
      {kTagGdalNodata, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GDALNoDataValue")}};
  if (TIFFFindField(tif, kTagGdalNodata, TIFF_ANY) == nullptr) TIFFMergeFieldInfo(tif, info, 1);
  if (previous_extender) previous_extender(tif);
}

bool fail(const char* what, const std::string& name) {
  LASMessage(LAS_ERROR, "cannot %s difference raster '%s'", what, name.c_str());
  return false;
}

}  // namespace

SRwriter_diff::~SRwriter_diff() {
  if (tif_) XTIFFClose(tif_);
}

bool SRwriter_diff::open(const char* file_name, int32_t ncols, int32_t nrows, const SRgeoreference& geo) {
  static const bool installed = (previous_extender = TIFFSetTagExtender(nodata_tag_extender), true);
  (void)installed;
  name_ = file_name;
  if (ncols < 1 || nrows < 1) return fail("size", name_);
  ncols_ = ncols;
  nrows_ = nrows;
  // tiles are multiples of 16 on a side
  const uint64_t row_bytes = uint64_t(ncols) * 2 * sizeof(float);
  tile_ = static_cast<uint32_t>(std::min<uint64_t>(256, std::max<uint64_t>(16, kBandBytes / row_bytes / 16 * 16)));
  const uint64_t padded_cols = (uint64_t(ncols) + tile_ - 1) / tile_ * tile_;
  band_.reset(new (std::nothrow) float[padded_cols * tile_ * 2]);
  tile_buffer_.reset(new (std::nothrow) float[uint64_t(tile_) * tile_ * 2]);
  if (!band_ || !tile_buffer_) return fail("allocate the buffers of", name_);
  // BigTIFF when the uncompressed samples alone approach 4 GB
  const bool big = row_bytes * uint64_t(nrows) > (uint64_t(3) << 30);
  tif_ = XTIFFOpen(file_name, big ? "w8" : "w");
  if (tif_ == nullptr) return fail("create", name_);
  TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(ncols));
  TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(nrows));
  TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, 2);
  TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, 32);
  TIFFSetField(tif_, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
  TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  const uint16_t extra[1] = {EXTRASAMPLE_UNSPECIFIED};
  TIFFSetField(tif_, TIFFTAG_EXTRASAMPLES, 1, extra);
  TIFFSetField(tif_, TIFFTAG_TILEWIDTH, tile_);
  TIFFSetField(tif_, TIFFTAG_TILELENGTH, tile_);
  TIFFSetField(tif_, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
  TIFFSetField(tif_, TIFFTAG_ZIPQUALITY, 1);  // fast: these files are large and mostly alike
  TIFFSetField(tif_, TIFFTAG_PREDICTOR, PREDICTOR_FLOATINGPOINT);
  char nodata_text[64];
  snprintf(nodata_text, sizeof(nodata_text), "%.9g", static_cast<double>(SR_DIFF_NODATA));
  TIFFSetField(tif_, kTagGdalNodata, nodata_text);
  const double scale[3] = {geo.stepx, geo.stepy, 0.0};
  const double tiepoint[6] = {0.0, 0.0, 0.0, geo.ulx, geo.uly, 0.0};
  TIFFSetField(tif_, TIFFTAG_GEOPIXELSCALE, 3, scale);
  TIFFSetField(tif_, TIFFTAG_GEOTIEPOINTS, 6, tiepoint);
  GTIF* gtif = GTIFNew(tif_);
  if (gtif == nullptr) return fail("georeference", name_);
  GTIFKeySet(gtif, GTRasterTypeGeoKey, TYPE_SHORT, 1, RasterPixelIsArea);
  GTIFWriteKeys(gtif);
  GTIFFree(gtif);
  cells_in_band_ = 0;
  band_row_ = 0;
  failed_ = false;
  return true;
}

void SRwriter_diff::write_cells(int64_t n, const float* difference, const uint8_t* cell_class) {
  if (tif_ == nullptr) return;
  const uint64_t padded_cols = (uint64_t(ncols_) + tile_ - 1) / tile_ * tile_;
  int64_t k = 0;
  while (k < n && band_row_ < nrows_) {
    const int64_t rows_here = std::min<int64_t>(tile_, nrows_ - band_row_);
    const int64_t room = rows_here * ncols_ - cells_in_band_;
    const int64_t take = std::min(room, n - k);
    // row by row: one division per row piece, not per cell
    for (int64_t i = 0; i < take;) {
      const int64_t cell = cells_in_band_ + i;
      const int64_t col = cell % ncols_, piece = std::min<int64_t>(ncols_ - col, take - i);
      float* out = band_.get() + 2 * ((cell / ncols_) * padded_cols + col);
      for (int64_t j = 0; j < piece; j++) {
        out[2 * j] = difference[k + i + j];
        out[2 * j + 1] = cell_class[k + i + j];
      }
      i += piece;
    }
    k += take;
    cells_in_band_ += take;
    if (cells_in_band_ == rows_here * ncols_ && !flush_band()) failed_ = true;
  }
}

bool SRwriter_diff::flush_band() {
  const uint64_t padded_cols = (uint64_t(ncols_) + tile_ - 1) / tile_ * tile_;
  const int64_t rows_here = std::min<int64_t>(tile_, nrows_ - band_row_);
  bool ok = true;
  for (uint32_t x0 = 0; x0 < static_cast<uint32_t>(ncols_); x0 += tile_) {
    float* t = tile_buffer_.get();
    for (uint32_t r = 0; r < tile_; r++) {
      float* row = t + 2 * uint64_t(r) * tile_;
      const uint32_t cols_here = std::min<uint32_t>(tile_, static_cast<uint32_t>(ncols_) - x0);
      if (r < rows_here) {
        std::copy_n(band_.get() + 2 * (r * padded_cols + x0), 2 * cols_here, row);
      } else {
        std::fill_n(row, 2 * cols_here, SR_DIFF_NODATA);
      }
      std::fill_n(row + 2 * cols_here, 2 * (tile_ - cols_here), SR_DIFF_NODATA);
    }
    const tmsize_t bytes = static_cast<tmsize_t>(uint64_t(tile_) * tile_ * 2 * sizeof(float));
    if (TIFFWriteEncodedTile(tif_, TIFFComputeTile(tif_, x0, band_row_, 0, 0), t, bytes) != bytes) ok = false;
  }
  band_row_ += static_cast<int32_t>(rows_here);
  cells_in_band_ = 0;
  return ok;
}

bool SRwriter_diff::close() {
  if (tif_ == nullptr) return false;
  const bool complete = band_row_ == nrows_;
  XTIFFClose(tif_);
  tif_ = nullptr;
  band_.reset();
  tile_buffer_.reset();
  if (failed_ || !complete) return fail("write", name_);
  return true;
}
