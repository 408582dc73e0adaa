// Erdas Imagine reader: opens the file with GDAL restricted to its HFA
// driver, loads one block row per band at a time and converts the samples
// of each row into cells.
#include "raster/srreader_img.hpp"

#include <algorithm>  // min
#include <cmath>      // isnan, fabs
#include <cstdio>     // fprintf
#include <cstdlib>    // free, strtol
#include <cstring>    // memcpy, strcmp, strstr
#include <string>     // file name and GDAL's reason in messages

#include "geo/geoprojectionconverter.hpp"  // set_gcs, set_epsg_code, set_utm_projection
#include "raster/gdal_runtime.hpp"  // GDAL's functions, loaded on first use
#include "tool/lasutility.hpp"         // malloc_las, round_clamp_i32

namespace {

// GDAL's functions; only called once open() has made sure they are loaded.
inline const GdalRuntime& gdal() { return *gdal_runtime(); }

// One block row of one band may not claim more memory than this, whatever
// the header says about block and raster sizes.
constexpr int64_t kMaxBlockRowBytes = int64_t(1) << 30;

// Keeps GDAL's own error printing quiet while our calls run: failures are
// reported in this reader's words.
struct QuietGdal {
  QuietGdal() { gdal().CPLPushErrorHandler(gdal().CPLQuietErrorHandler); }
  ~QuietGdal() { gdal().CPLPopErrorHandler(); }
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
};

// Listens to GDAL while blocks are read. The HFA driver reports a short
// read of an uncompressed block only as a debug note (and hands out a block
// of zeros), so the debug notes of its band reader are switched on for the
// duration and such a note marks the block as failed. Nothing is printed.
class BlockReadWatch {
 public:
  BlockReadWatch() {
    const char* before = gdal().CPLGetThreadLocalConfigOption("CPL_DEBUG", nullptr);
    had_debug_ = before != nullptr;
    if (had_debug_) debug_before_ = before;
    gdal().CPLSetThreadLocalConfigOption("CPL_DEBUG", "HFABand");
    gdal().CPLPushErrorHandlerEx(&BlockReadWatch::handler, this);
  }
  ~BlockReadWatch() {
    gdal().CPLPopErrorHandler();
    gdal().CPLSetThreadLocalConfigOption("CPL_DEBUG", had_debug_ ? debug_before_.c_str() : nullptr);
  }
  BlockReadWatch(const BlockReadWatch&) = delete;
  BlockReadWatch& operator=(const BlockReadWatch&) = delete;

  void reset() {
    failed_ = false;
    reason_.clear();
  }
  bool failed() const { return failed_; }
  const std::string& reason() const { return reason_; }

 private:
  static void CPL_STDCALL handler(CPLErr level, CPLErrorNum, const char* message) {
    BlockReadWatch* self = static_cast<BlockReadWatch*>(gdal().CPLGetErrorHandlerUserData());
    if (self == nullptr || message == nullptr) return;
    const bool short_read = level == CE_Debug && strstr(message, "HFABand") != nullptr &&
                            strstr(message, "Read of") != nullptr && strstr(message, "failed") != nullptr;
    if (level >= CE_Failure || short_read) {
      self->failed_ = true;
      if (self->reason_.empty()) {
        self->reason_ = message;
        while (!self->reason_.empty() && (self->reason_.back() == '\n' || self->reason_.back() == '\r'))
          self->reason_.pop_back();
      }
    }
  }

  bool failed_ = false;
  std::string reason_;
  bool had_debug_ = false;
  std::string debug_before_;
};

// The HFA pixel type number of a band as GDAL presents it: sub-byte types
// carry an NBITS item and signed bytes a PIXELTYPE item in the image
// structure metadata. -1 for types HFA does not have.
int32_t hfa_type_of(GDALRasterBandH band) {
  switch (gdal().GDALGetRasterDataType(band)) {
    case GDT_Byte: {
      const char* bits = gdal().GDALGetMetadataItem(band, "NBITS", "IMAGE_STRUCTURE");
      if (bits != nullptr) {
        if (strcmp(bits, "1") == 0) return 0;
        if (strcmp(bits, "2") == 0) return 1;
        if (strcmp(bits, "4") == 0) return 2;
      }
      const char* type = gdal().GDALGetMetadataItem(band, "PIXELTYPE", "IMAGE_STRUCTURE");
      if (type != nullptr && strcmp(type, "SIGNEDBYTE") == 0) return 4;
      return 3;
    }
#if GDAL_VERSION_NUM >= 3070000
    case GDT_Int8: return 4;
#endif
    case GDT_UInt16: return 5;
    case GDT_Int16: return 6;
    case GDT_UInt32: return 7;
    case GDT_Int32: return 8;
    case GDT_Float32: return 9;
    case GDT_Float64: return 10;
    case GDT_CFloat32: return 11;
    case GDT_CFloat64: return 12;
    default: return -1;
  }
}

int32_t bytes_of(int32_t hfa_type) {
  switch (hfa_type) {
    case 3: case 4: return 1;
    case 5: case 6: return 2;
    case 7: case 8: case 9: return 4;
    case 10: return 8;
    default: return 0;
  }
}

template <typename T>
inline T load(const uint8_t* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

// Integer samples are delivered as stored (unsigned 32-bit as the same 32
// bits read signed).
template <typename T>
void convert_int(const uint8_t* src, int64_t run, int32_t nodata, int32_t* out, uint8_t* flags) {
  for (int64_t i = 0; i < run; i++) {
    const int32_t v = static_cast<int32_t>(load<T>(src + i * static_cast<int64_t>(sizeof(T))));
    out[i] = v;
    flags[i] = v == nodata;
  }
}

// Floating-point samples in the unit of scale; NaN is nodata.
template <typename T>
void convert_float(const uint8_t* src, int64_t run, double scale, int32_t nodata, int32_t* out, uint8_t* flags) {
  for (int64_t i = 0; i < run; i++) {
    const double s = static_cast<double>(load<T>(src + i * static_cast<int64_t>(sizeof(T))));
    if (std::isnan(s)) {
      out[i] = nodata;
      flags[i] = 1;
    } else {
      const int32_t v = round_clamp_i32(s / scale);
      out[i] = v;
      flags[i] = v == nodata;
    }
  }
}

void convert(int32_t hfa_type, const uint8_t* src, int64_t run, double scale, int32_t nodata, int32_t* out,
             uint8_t* flags) {
  switch (hfa_type) {
    case 3: convert_int<uint8_t>(src, run, nodata, out, flags); break;
    case 4: convert_int<int8_t>(src, run, nodata, out, flags); break;
    case 5: convert_int<uint16_t>(src, run, nodata, out, flags); break;
    case 6: convert_int<int16_t>(src, run, nodata, out, flags); break;
    case 7: convert_int<uint32_t>(src, run, nodata, out, flags); break;
    case 8: convert_int<int32_t>(src, run, nodata, out, flags); break;
    case 9: convert_float<float>(src, run, scale, nodata, out, flags); break;
    case 10: convert_float<double>(src, run, scale, nodata, out, flags); break;
    default: break;
  }
}

// One RGB sample as stored: 8 or 16 bits, signed or not.
inline int32_t rgb_sample(int32_t hfa_type, const uint8_t* p) {
  switch (hfa_type) {
    case 3: return *p;
    case 4: return static_cast<int8_t>(*p);
    case 5: return load<uint16_t>(p);
    default: return load<int16_t>(p);
  }
}

}  // namespace

SRreader_img::~SRreader_img() {
  free_blocks();
  if (dataset) gdal().GDALClose(static_cast<GDALDatasetH>(dataset));
}

bool SRreader_img::alloc_blocks(uint8_t**& array, const char* band_name) {
  const size_t block_bytes = static_cast<size_t>(block_width) * static_cast<size_t>(block_height) * sample_bytes;
  array = static_cast<uint8_t**>(malloc_las(sizeof(uint8_t*) * static_cast<size_t>(blocks_per_row)));
  if (array == nullptr) {
    fprintf(stderr, "ERROR in SRreader_img::open(): failed to alloc %d blocks%s for '%s'\n", blocks_per_row,
            band_name, name.c_str());
    return false;
  }
  for (int32_t b = 0; b < blocks_per_row; b++) array[b] = nullptr;
  for (int32_t b = 0; b < blocks_per_row; b++) {
    array[b] = static_cast<uint8_t*>(malloc_las(block_bytes));
    if (array[b] == nullptr) {
      fprintf(stderr, "ERROR in SRreader_img::open(): failed to alloc blocks%s %d of %d for '%s'\n", band_name, b,
              blocks_per_row, name.c_str());
      return false;
    }
  }
  return true;
}

void SRreader_img::free_blocks() {
  for (uint8_t*** array : {&blocks, &blocks_red, &blocks_green, &blocks_blue}) {
    if (*array == nullptr) continue;
    for (int32_t b = 0; b < blocks_per_row; b++) free((*array)[b]);
    free(*array);
    *array = nullptr;
  }
  free(block_ok);
  block_ok = nullptr;
  blocks_per_row = 0;
}

bool SRreader_img::open(const char* file_name, GeoProjectionConverter* converter) {
  if (file_name == nullptr) {
    fprintf(stderr, "ERROR: zero file name pointer not supported by SRreader_img::open()\n");
    return false;
  }
  name = file_name;
  const char* why = "";
  if (gdal_runtime(&why) == nullptr) {
    fprintf(stderr, "ERROR: cannot load the GDAL library for SRreader_img::open(): %s\n", why);
    return false;
  }
  QuietGdal quiet;
  gdal().GDALRegister_HFA();
  const char* const drivers[] = {"HFA", nullptr};
  GDALDatasetH ds = gdal().GDALOpenEx(file_name, GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
  if (ds == nullptr) {
    fprintf(stderr, "ERROR: HFAOpen() failed in SRreader_img::open().\n");
    return false;
  }
  dataset = ds;
  if (!read_geometry()) return false;
  if (converter && !converter->has_projection(true)) read_projection(*converter);
  if (!read_pixel_type() || !allocate_block_rows()) return false;

  block_column = 0;
  next_block_row = 0;
  index_in_block = 0;
  col_in_block = 0;
  col = 0;
  row_counter = 0;
  r_count = 0;
  return true;
}

namespace {

// EPSG code of a node of the coordinate system, 0 when it has none.
int epsg_of(OGRSpatialReferenceH srs, const char* node) {
  const char* authority = gdal().OSRGetAuthorityName(srs, node);
  const char* code = gdal().OSRGetAuthorityCode(srs, node);
  if (authority == nullptr || code == nullptr || strcmp(authority, "EPSG") != 0) return 0;
  const long value = strtol(code, nullptr, 10);
  return value > 0 && value <= 32767 ? static_cast<int>(value) : 0;
}

const char* text_or_unknown(const char* text) { return text ? text : "unknown"; }

}  // namespace

// The datum and projection of the file, as GDAL's HFA driver describes
// them: NAD83 and NAD27 by name, other datums by their EPSG code; a
// geographic system, a UTM zone (either hemisphere) or an EPSG-coded
// projected system. Anything else is reported and left out.
void SRreader_img::read_projection(GeoProjectionConverter& converter) {
  OGRSpatialReferenceH srs = gdal().GDALGetSpatialRef(static_cast<GDALDatasetH>(dataset));
  if (srs == nullptr) return;  // no projection parameters
  projection = &converter;
  const char* gcs = gdal().OSRGetAttrValue(srs, "GEOGCS", 0);
  const char* datum = gdal().OSRGetAttrValue(srs, "DATUM", 0);
  auto named = [gcs, datum](const char* short_name, const char* long_name) {
    return (gcs && strcmp(gcs, short_name) == 0) || (datum && strcmp(datum, long_name) == 0);
  };
  if (named("NAD83", "North_American_Datum_1983")) {
    converter.set_gcs(4269, nullptr);
  } else if (named("NAD27", "North_American_Datum_1927")) {
    converter.set_gcs(4267, nullptr);
  } else if (const int code = epsg_of(srs, "GEOGCS"); code == 0 || !converter.set_gcs(static_cast<short>(code))) {
    fprintf(stderr, "WARNING: not implemented datum '%s' in file '%s'.\n", text_or_unknown(datum), name.c_str());
    converter.set_gcs(32767, nullptr);  // user-defined: not the default WGS 84
  }
  int north = 0;
  if (gdal().OSRIsGeographic(srs)) {
    converter.set_longlat_projection(nullptr, true);
    return;
  }
  const int pcs = epsg_of(srs, "PROJCS");
  if (pcs && converter.set_epsg_code(static_cast<short>(pcs), nullptr, true)) return;
  if (const int zone = gdal().OSRGetUTMZone(srs, &north)) {
    converter.set_utm_projection(zone, north != 0, nullptr, true, nullptr, false);
  } else {
    fprintf(stderr, "WARNING: not implemented projection '%s' in file '%s'.\n",
            text_or_unknown(gdal().OSRGetAttrValue(srs, "PROJCS", 0)), name.c_str());
    return;
  }
  const double metres = gdal().OSRGetLinearUnits(srs, nullptr);
  if (metres == 1.0) converter.set_ProjLinearUnitsGeoKey(9001, true);
  if (metres == 0.3048) converter.set_ProjLinearUnitsGeoKey(9002, true);
  if (std::fabs(metres - 0.3048006096012) < 1e-12) converter.set_ProjLinearUnitsGeoKey(9003, true);
}

// Size, band count and the extent from the map information: GDAL turns the
// upper-left cell centre and the pixel size into a geotransform whose
// origin is the upper-left corner.
bool SRreader_img::read_geometry() {
  GDALDatasetH ds = static_cast<GDALDatasetH>(dataset);
  const char* file_name = name.c_str();
  ncols = gdal().GDALGetRasterXSize(ds);
  nrows = gdal().GDALGetRasterYSize(ds);
  nbands = gdal().GDALGetRasterCount(ds);
  if (ncols < 1) {
    fprintf(stderr, "ERROR in SRreader_img::open(): ncols is %d in '%s'\n", ncols, file_name);
    return false;
  }
  if (nrows < 1) {
    fprintf(stderr, "ERROR in SRreader_img::open(): nrows is %d in '%s'\n", nrows, file_name);
    return false;
  }
  if (nbands != 1 && nbands != 3) {
    fprintf(stderr, "ERROR in SRreader_img::open(): nbands is %d in '%s'\n", nbands, file_name);
    return false;
  }
  double gt[6];
  if (gdal().GDALGetGeoTransform(ds, gt) != CE_None) {
    fprintf(stderr, "ERROR in SRreader_img::open(): no map information in '%s'\n", file_name);
    return false;
  }
  stepx = gt[1];
  stepy = -gt[5];
  if (!(stepx > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_img::open(): stepx is %g in '%s'\n", stepx, file_name);
    return false;
  }
  if (!(stepy > 0.0)) {
    fprintf(stderr, "ERROR in SRreader_img::open(): stepy is %g in '%s'\n", stepy, file_name);
    return false;
  }
  // Rotation terms are passed on so that the driver refuses such rasters
  // instead of comparing them as if they were axis aligned.
  stepx_y = gt[4];
  stepy_x = gt[2];
  axis_aligned = stepx_y == 0.0 && stepy_x == 0.0;
  llx = gt[0];
  ury = gt[3];
  urx = llx + ncols * stepx;
  lly = ury - nrows * stepy;
  return true;
}

// The pixel type and block size of band 1, its bits and signedness.
bool SRreader_img::read_pixel_type() {
  GDALRasterBandH band1 = gdal().GDALGetRasterBand(static_cast<GDALDatasetH>(dataset), 1);
  data_type = hfa_type_of(band1);
  gdal().GDALGetBlockSize(band1, &block_width, &block_height);
  if (nbands == 3) {
    if (!check_rgb_type()) return false;
  } else {
    switch (data_type) {
      case 3: case 4: nbits = 8; break;
      case 5: case 6: nbits = 16; break;
      case 7: case 8: case 9: nbits = 32; break;
      case 10: nbits = 64; break;
      default:
        fprintf(stderr, "ERROR in SRreader_img::open(): unsupported data type %d in '%s'\n", data_type, name.c_str());
        return false;
    }
    unsigned_values = data_type == 3 || data_type == 5 || data_type == 7;
    float_values = data_type >= 9;
  }
  sample_bytes = bytes_of(data_type);
  return true;
}

// RGB images: 8- or 16-bit integers, the same type and blocks in all bands.
bool SRreader_img::check_rgb_type() {
  const char* file_name = name.c_str();
  if (data_type == 10) {
    fprintf(stderr, "ERROR in SRreader_img::open(): unsupported 64 bit data type for RGB %d in '%s'\n", data_type,
            file_name);
    return false;
  }
  if (data_type >= 7 && data_type <= 9) {
    fprintf(stderr, "ERROR in SRreader_img::open(): unsupported 32 bit data type for RGB %d in '%s'\n", data_type,
            file_name);
    return false;
  }
  if (data_type < 3 || data_type > 10) {
    fprintf(stderr, "ERROR in SRreader_img::open(): unsupported data type %d in '%s'\n", data_type, file_name);
    return false;
  }
  nbits = data_type <= 4 ? 8 : 16;
  unsigned_values = data_type == 3 || data_type == 5;
  static const char* const channel[2] = {"G", "B"};
  for (int k = 0; k < 2; k++) {
    GDALRasterBandH other = gdal().GDALGetRasterBand(static_cast<GDALDatasetH>(dataset), k + 2);
    const int32_t type = hfa_type_of(other);
    int bw = 0, bh = 0;
    gdal().GDALGetBlockSize(other, &bw, &bh);
    if (type != data_type) {
      fprintf(stderr, "ERROR in SRreader_img::open(): R and %s channel have different data type %d and %d in '%s'\n",
              channel[k], data_type, type, file_name);
      return false;
    }
    if (bw != block_width) {
      fprintf(stderr,
              "ERROR in SRreader_img::open(): R and %s channel have different block x size %d and %d in '%s'\n",
              channel[k], block_width, bw, file_name);
      return false;
    }
    if (bh != block_height) {
      fprintf(stderr,
              "ERROR in SRreader_img::open(): R and %s channel have different block y size %d and %d in '%s'\n",
              channel[k], block_height, bh, file_name);
      return false;
    }
  }
  return true;
}

// Block row buffers for every band read, after the block size is checked,
// and the unit and nodata of the delivered values.
bool SRreader_img::allocate_block_rows() {
  const char* file_name = name.c_str();
  if (block_width < 1 || block_height < 1) {
    fprintf(stderr, "ERROR in SRreader_img::open(): block size %d x %d in '%s'\n", block_width, block_height,
            file_name);
    return false;
  }
  const int64_t per_row = (static_cast<int64_t>(ncols) + block_width - 1) / block_width;
  // in double precision: the product of hostile sizes overflows 64 bits
  const double row_bytes = static_cast<double>(per_row) * block_width * static_cast<double>(block_height) * sample_bytes;
  if (row_bytes > static_cast<double>(kMaxBlockRowBytes)) {
    fprintf(stderr, "ERROR in SRreader_img::open(): blocks of %d x %d samples are too large in '%s'\n", block_width,
            block_height, file_name);
    return false;
  }
  blocks_per_row = static_cast<int32_t>(per_row);
  block_ok = static_cast<uint8_t*>(malloc_las(static_cast<size_t>(blocks_per_row)));
  if (block_ok == nullptr) {
    fprintf(stderr, "ERROR in SRreader_img::open(): failed to alloc %d blocks for '%s'\n", blocks_per_row, file_name);
    return false;
  }
  if (nbands == 3) {
    if (!alloc_blocks(blocks_red, "R") || !alloc_blocks(blocks_green, "G") || !alloc_blocks(blocks_blue, "B")) {
      return false;
    }
    if (!scaled) scale[0] = scale[1] = scale[2] = 1.0;
    offset[0] = offset[1] = offset[2] = 0.0;
    return true;
  }
  set_unit_and_nodata();
  return alloc_blocks(blocks, "");
}

// Floating-point samples are delivered in hundredths; integer samples as
// stored, so their unit is 1 (a copy written with 0.01 would hold
// elevations a hundred times too small).
void SRreader_img::set_unit_and_nodata() {
  if (!scaled) scale[0] = float_values ? 0.01 : 1.0;
  offset[0] = 0.0;
  int has_nodata = 0;
  const double nd =
      gdal().GDALGetRasterNoDataValue(gdal().GDALGetRasterBand(static_cast<GDALDatasetH>(dataset), 1), &has_nodata);
  // Without a nodata value, or with NaN (such cells are nodata anyway), the
  // default stays.
  if (!has_nodata || std::isnan(nd)) return;
  if (float_values) {
    nodata = round_clamp_i32(nd / scale[0]);
  } else if (data_type == 7 && nd >= 0.0 && nd <= 4294967295.0 && nd == std::floor(nd)) {
    // the same reinterpretation as the cells, so that the nodata cells match
    nodata = static_cast<int32_t>(static_cast<uint32_t>(nd));
  } else {
    nodata = round_clamp_i32(nd);
  }
}

void SRreader_img::load_block_row() {
  BlockReadWatch watch;
  GDALDatasetH ds = static_cast<GDALDatasetH>(dataset);
  const int band_count = nbands == 3 ? 3 : 1;
  uint8_t** arrays[3] = {nbands == 3 ? blocks_red : blocks, blocks_green, blocks_blue};
  for (int32_t b = 0; b < blocks_per_row; b++) {
    watch.reset();
    bool ok = true;
    for (int k = 0; k < band_count && ok; k++) {
      ok = gdal().GDALReadBlock(gdal().GDALGetRasterBand(ds, k + 1), b, next_block_row, arrays[k][b]) == CE_None && !watch.failed();
    }
    block_ok[b] = ok ? 1 : 0;
    if (!ok) {
      fprintf(stderr, "ERROR in SRreader_img::read_raster(): cannot read block %d of block row %d in '%s'%s%s\n", b,
              next_block_row, name.c_str(), watch.reason().empty() ? "" : ": ", watch.reason().c_str());
    }
  }
  next_block_row++;
}

// Begins a new row: loads the next block row when the row is the first of
// its block row. False when all rows were delivered.
bool SRreader_img::start_row() {
  if (row_counter >= nrows) return false;
  const int32_t y = row_counter % block_height;
  if (y == 0) load_block_row();
  index_in_block = y * block_width;
  block_column = 0;
  col_in_block = 0;
  row_counter++;
  return true;
}

// Moves the position on by run cells of the current row segment.
void SRreader_img::advance(int32_t run) {
  index_in_block += run;
  col_in_block += run;
  col += run;
  if (col == ncols) {
    col = 0;  // the next cell starts a row
  } else if (col_in_block == block_width) {
    block_column++;
    index_in_block -= block_width;
    col_in_block = 0;
  }
}

int64_t SRreader_img::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (dataset == nullptr || r_count < 0 || block_ok == nullptr) return 0;
  int64_t k = 0;
  while (k < n) {
    if (col == 0 && !start_row()) return k;
    // the cells left in this block and this row, converted in one loop
    const int32_t run = static_cast<int32_t>(
        std::min<int64_t>({n - k, static_cast<int64_t>(block_width - col_in_block), static_cast<int64_t>(ncols - col)}));
    const int64_t at = static_cast<int64_t>(index_in_block) * sample_bytes;
    if (!block_ok[block_column]) {
      // A block that could not be read: this cell fails and is passed
      // over, so that the following cells stay in step.
      value[0] = nodata;
      advance(1);
      return k;
    }
    if (nbands == 3) {
      const uint8_t* r = blocks_red[block_column] + at;
      for (int32_t i = 0; i < run; i++) {
        const int32_t v = rgb_sample(data_type, r + static_cast<int64_t>(i) * sample_bytes);
        values[k + i] = v;
        nodata_flags[k + i] = v == nodata;
      }
      const int64_t last = at + static_cast<int64_t>(run - 1) * sample_bytes;
      value[1] = rgb_sample(data_type, blocks_green[block_column] + last);
      value[2] = rgb_sample(data_type, blocks_blue[block_column] + last);
    } else {
      convert(data_type, blocks[block_column] + at, run, scale[0], nodata, values + k, nodata_flags + k);
    }
    value[0] = values[k + run - 1];
    r_count += run;
    k += run;
    advance(run);
  }
  return k;
}

bool SRreader_img::read_raster() {
  int32_t v;
  uint8_t flag;
  return read_cells(1, &v, &flag) == 1;
}

void SRreader_img::close(bool) {
  projection = nullptr;
  if (dataset) {
    QuietGdal quiet;
    gdal().GDALClose(static_cast<GDALDatasetH>(dataset));
    dataset = nullptr;
  }
  free_blocks();
  check_count_on_close("SRreader_img");
}
