// GeoTIFF reader: tags and extent at open, then one strip or one row of
// tiles at a time decoded into the band buffer.
#include "raster/srreader_tif.hpp"

#include <geotiff.h>   // GTIF, GTIFNew, GTIFKeyInfo, GTIFKeyGet, GTIFFree
#include <tiffio.h>    // TIFF, TIFFGetField, TIFFRead*, TIFFError
#include <xtiffio.h>   // XTIFFOpen, XTIFFClose, the GeoTIFF tag numbers

#include <algorithm>         // min, max, fill
#include <charconv>          // from_chars: locale-free nodata parsing
#include <cmath>             // isnan
#include <cstdio>            // fprintf, world file lines
#include <cstdlib>           // malloc, free
#include <cstring>           // memcpy, strlen
#include <initializer_list>  // size_product factors
#include <string>            // world file names

#include "tool/lasutility.hpp"  // LASfopen, round_clamp_i32, sscanf_las

namespace {

constexpr uint32_t kTagGdalMetadata = 42112;
constexpr uint32_t kTagGdalNodata = 42113;
constexpr uint16_t kTagGeoDoubleParams = 34736;
constexpr int32_t kDefaultNodata = -32767;

// No single buffer of this reader may exceed this size: a header announcing
// more is refused rather than allocated.
constexpr uint64_t kMaxBuffer = uint64_t(1) << 31;

// A strip that decodes to more than this is read a few rows at a time
// rather than whole.
constexpr uint64_t kPieceBytes = uint64_t(4) << 20;

// How many decoded bytes one stored byte can stand for: exactly one when
// uncompressed, and far beyond what any codec reaches (deflate about 1032,
// LZW about 1400, zstd about 33000) otherwise.
uint64_t max_inflation(uint16_t compression) { return compression == COMPRESSION_NONE ? 1 : uint64_t(1) << 16; }

TIFFExtendProc previous_extender = nullptr;
bool extender_installed = false;

// Teaches every opened file the two GDAL tags, then lets the previously
// installed extender (libgeotiff's, GDAL's) add its own.
void gdal_tag_extender(TIFF* tif) {
  static const TIFFFieldInfo info[] = {
      {kTagGdalNodata, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GDALNoDataValue")},
      {kTagGdalMetadata, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char*>("GDALMetadata")},
  };
  TIFFMergeFieldInfo(tif, info, 2);
  if (previous_extender) previous_extender(tif);
}

// The product of sizes read from a file, saturating instead of wrapping, so
// that an absurd header is caught by the buffer limit.
uint64_t size_product(std::initializer_list<uint64_t> factors) {
  uint64_t p = 1;
  for (uint64_t f : factors) {
    if (__builtin_mul_overflow(p, f, &p)) return UINT64_MAX;
  }
  return p;
}

// Reads an array-of-doubles tag whatever width its count has.
bool get_doubles(TIFF* tif, uint32_t tag, uint32_t& count, double*& data) {
  const TIFFField* field = TIFFFindField(tif, tag, TIFF_ANY);
  if (field == nullptr) return false;
  data = nullptr;
  if (TIFFFieldReadCount(field) == TIFF_VARIABLE2) {
    uint32_t c = 0;
    if (!TIFFGetField(tif, tag, &c, &data)) return false;
    count = c;
  } else {
    uint16_t c = 0;
    if (!TIFFGetField(tif, tag, &c, &data)) return false;
    count = c;
  }
  return data != nullptr;
}

// Parses a nodata text: a number, "nan" or "inf" with optional blanks and sign.
bool parse_nodata(const char* text, double& out) {
  while (*text == ' ' || *text == '\t') text++;
  if (*text == '+') text++;
  const char* end = text + strlen(text);
  double v = 0.0;
  auto res = std::from_chars(text, end, v);
  if (res.ec != std::errc()) return false;
  out = v;
  return true;
}

// Prints a fixed message and fails the open step that found it.
bool say(const char* message) {
  fputs(message, stderr);
  return false;
}

// The geo keys handed to a projection converter, in this order.
const int kGeoKeys[] = {1024, 1025, 3072, 3076, 4099, 4096, 2048, 2052, 2056, 3075, 3078, 3079, 3080,
                        3081, 3082, 3083, 3084, 3085, 3086, 3087, 3088, 3089, 3092, 3093, 3094, 3096};

}  // namespace

SRreader_tif::SRreader_tif() {
  nodata = kDefaultNodata;
  if (!extender_installed) {
    previous_extender = TIFFSetTagExtender(gdal_tag_extender);
    extender_installed = true;
  }
}

SRreader_tif::~SRreader_tif() { release(); }

void SRreader_tif::release() {
  if (gtif) {
    GTIFFree(gtif);
    gtif = nullptr;
  }
  if (tif) {
    XTIFFClose(tif);
    tif = nullptr;
  }
  free(band_buffer);
  band_buffer = nullptr;
  if (chunk) {
    _TIFFfree(chunk);
    chunk = nullptr;
  }
}

bool SRreader_tif::open(const char* file_name, GeoProjectionConverter* converter) {
  (void)converter;  // the projection converter keeps its defaults in this tool
  if (file_name == nullptr) {
    fputs("ERROR: zero file name pointer not supported by SRreader_tif::open()\n", stderr);
    release();
    return false;
  }
  // "m": no memory mapping, so that the process holds one band of the file
  // at a time rather than mapping all of it; uncompressed strips and tiles
  // are then read straight into the band buffer
  tif = XTIFFOpen(file_name, "r8m");
  if (tif == nullptr) return fail_open("ERROR: failed in XTIFFOpen\n");
  gtif = GTIFNew(tif);
  if (gtif == nullptr) return fail_open("ERROR: failed in GTIFNew\n");
  // the order of the steps is the order of their messages
  if (!read_size_and_samples() || !read_nodata() || !read_chunk_layout() || !read_extent(file_name)) {
    return fail_open("");
  }
  read_geo_keys();
  if (!set_units() || !allocate_buffers()) return fail_open("");
  prepare_rules();
  row = 0;
  col = ncols;  // the first cell asks for a row
  band_first = 0;
  band_rows = 0;
  r_count = 0;
  return true;
}

bool SRreader_tif::fail_open(const char* message) {
  fputs(message, stderr);
  release();
  return false;
}

// Image size, samples per pixel, bits per sample and sample format.
bool SRreader_tif::read_size_and_samples() {
  uint32_t width = 0, length = 0;
  if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width)) return say("ERROR: failed to get TIFFTAG_IMAGEWIDTH\n");
  if (!TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length)) return say("ERROR: failed to get TIFFTAG_IMAGELENGTH\n");
  if (width < 1 || length < 1 || width > INT32_MAX || length > INT32_MAX) {
    fprintf(stderr, "ERROR: image of %u by %u pixels not supported by SRreader_tif\n", width, length);
    return false;
  }
  ncols = static_cast<int32_t>(width);
  nrows = static_cast<int32_t>(length);

  uint16_t u16 = 0;
  if (!TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &u16)) return say("ERROR: failed to get TIFFTAG_SAMPLESPERPIXEL\n");
  nbands = u16;
  if (nbands > 10 || nbands < 1) {
    fprintf(stderr, "ERROR: images with %d bands not supported\n", nbands);
    return false;
  }
  if (!TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &u16)) return say("ERROR: failed to get TIFFTAG_BITSPERSAMPLE\n");
  nbits = u16;

  if (!TIFFGetField(tif, TIFFTAG_SAMPLEFORMAT, &u16)) {
    fprintf(stderr, "WARNING: failed to get TIFFTAG_SAMPLEFORMAT, assuming SAMPLEFORMAT_UINT.\n");
    unsigned_values = true;
    float_values = false;
  } else if (u16 == SAMPLEFORMAT_UINT) {
    unsigned_values = true;
    float_values = false;
  } else if (u16 == SAMPLEFORMAT_INT) {
    unsigned_values = false;
    float_values = false;
  } else if (u16 == SAMPLEFORMAT_IEEEFP) {
    float_values = true;
  }
  return true;
}

// Nodata from the GDAL tag, in the file's own unit. An RGB image has none.
bool SRreader_tif::read_nodata() {
  if (nbits == 8 && nbands == 3) {
    nodata_raw = std::nan("");  // no byte of an RGB image is nodata
    return true;
  }
  char* text = nullptr;
  if (!TIFFGetField(tif, kTagGdalNodata, &text) || text == nullptr) {
    nodata = kDefaultNodata;
    nodata_raw = kDefaultNodata;
    fprintf(stderr, "WARNING: failed to get TIFFTAG_GDAL_NODATA. assuming nodata is %d\n", kDefaultNodata);
  } else if (float_values) {
    if (!parse_nodata(text, nodata_raw)) {
      nodata_raw = kDefaultNodata;
      fprintf(stderr, "WARNING: failed to parse TIFFTAG_GDAL_NODATA of '%s'. assuming nodata is %g\n", text,
              static_cast<double>(kDefaultNodata));
    }
  } else if (!parse_nodata(text, nodata_raw)) {
    // parsed as a number, not as an integer text: "-9999.0" is -9999
    nodata_raw = kDefaultNodata;
    nodata = kDefaultNodata;
    fprintf(stderr, "WARNING: failed to parse TIFFTAG_GDAL_NODATA of '%s'. assuming nodata is %d\n", text,
            kDefaultNodata);
  } else if (!std::isnan(nodata_raw)) {
    nodata = round_clamp_i32(nodata_raw);
  }
  return true;
}

// Colour model, planar configuration, and tiles or strips.
bool SRreader_tif::read_chunk_layout() {
  uint16_t u16 = 0;
  if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &u16)) {
    ycbcr = u16 == PHOTOMETRIC_YCBCR;
    if (ycbcr && nbands != 3) fprintf(stderr, "WARNING: PHOTOMETRIC_YCBCR and nbands is %d\n", nbands);
  } else {
    ycbcr = false;
  }
  if (!TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &u16)) return say("ERROR: failed to get TIFFTAG_PLANARCONFIG\n");
  planar_separate = u16 == PLANARCONFIG_SEPARATE;

  tiled = TIFFIsTiled(tif);
  tile_width = -1;
  tile_length = -1;
  if (!tiled) {
    uint32_t rps = 1;
    if (!TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rps)) rps = 1;
    // one strip for the whole image is often written as 2^32 - 1
    rows_per_strip = static_cast<int32_t>(std::min<uint32_t>(std::max<uint32_t>(rps, 1), static_cast<uint32_t>(nrows)));
    return true;
  }
  uint32_t tw = 0, tl = 0;
  if (!TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw)) return say("ERROR: failed to get TIFFTAG_TILEWIDTH\n");
  if (!TIFFGetField(tif, TIFFTAG_TILELENGTH, &tl)) return say("ERROR: failed to get TIFFTAG_TILELENGTH\n");
  if (tw < 1 || tl < 1 || tw > INT32_MAX || tl > INT32_MAX) {
    fprintf(stderr, "ERROR: tiles of %u by %u pixels not supported by SRreader_tif\n", tw, tl);
    return false;
  }
  tile_width = static_cast<int32_t>(tw);
  tile_length = static_cast<int32_t>(tl);
  return true;
}

// Extent from the tie point and the pixel scale, or from the world file
// beside the image.
bool SRreader_tif::read_extent(const char* file_name) {
  uint32_t tie_count = 0, scale_count = 0;
  double* tie = nullptr;
  double* pixel_scale = nullptr;
  if (get_doubles(tif, TIFFTAG_GEOTIEPOINTS, tie_count, tie) && tie_count >= 6 &&
      get_doubles(tif, TIFFTAG_GEOPIXELSCALE, scale_count, pixel_scale) && scale_count >= 2) {
    llx = tie[3];
    ury = tie[4];
    stepx = pixel_scale[0];
    stepy = pixel_scale[1];
    lly = ury - nrows * stepy;
    urx = llx + ncols * stepx;
    return true;
  }
  fprintf(stderr, "WARNING: no tags describing tiepoints and pixscale. trying world file ...\n");
  const std::string name = file_name;
  const size_t len = name.size();
  size_t dot = std::string::npos;
  if (len >= 4) dot = name.rfind('.', len - 4);
  if (dot == std::string::npos) {
    fprintf(stderr, "ERROR: file name '%s' is not a valid TIF file\n", file_name);
    return false;
  }
  std::string world = name;
  world.replace(dot + 1, 3, "tfw");
  FILE* wf = LASfopen(world.c_str(), "r");
  if (wf == nullptr) {
    world.replace(dot + 1, 3, "TFW");
    wf = LASfopen(world.c_str(), "r");
  }
  if (wf == nullptr) {
    const std::string base = name.substr(0, dot);
    fprintf(stderr, "WARNING: cannot open world file '%s.tfw' or '%s.TFW'\n", base.c_str(), base.c_str());
    return false;
  }
  const bool ok = set_extent_from_world_file(wf);
  fclose(wf);
  return ok || say("WARNING: corrupt world file\n");
}

// Geo keys: short keys hold their value, double keys an index into the
// double parameters (a short buffer must not receive a double).
void SRreader_tif::read_geo_keys() {
  geo_key_count = 0;
  geo_double_params.clear();
  for (int key : kGeoKeys) {
    int size = 0;
    tagtype_t type = TYPE_UNKNOWN;
    if (GTIFKeyInfo(gtif, static_cast<geokey_t>(key), &size, &type) < 1) continue;
    SRgeoKeyEntry& entry = geo_keys[geo_key_count];
    if (type == TYPE_SHORT) {
      uint16_t v = 0;
      if (GTIFKeyGet(gtif, static_cast<geokey_t>(key), &v, 0, 1) != 1) continue;
      entry = SRgeoKeyEntry{static_cast<uint16_t>(key), 0, 0, v};
    } else if (type == TYPE_DOUBLE) {
      double d = 0.0;
      if (GTIFKeyGet(gtif, static_cast<geokey_t>(key), &d, 0, 1) != 1) continue;
      entry = SRgeoKeyEntry{static_cast<uint16_t>(key), kTagGeoDoubleParams, 1,
                            static_cast<uint16_t>(geo_double_params.size())};
      geo_double_params.push_back(d);
    } else {
      continue;
    }
    geo_key_count++;
  }
}

// The unit of the delivered values, the nodata value in it, and the type of
// the samples in the band buffer (YCbCr images are decoded to 8-bit RGBA).
bool SRreader_tif::set_units() {
  if ((nbits == 8 || nbits == 16 || nbits == 32) && !float_values) {
    if (scaled && scale[0] == 1.0) {
      scaled = false;
    } else if (scaled) {
      scale[1] = 1.0 / scale[0];
    } else {
      scale[0] = 1.0;
    }
    offset[0] = 0.0;
    if (scaled && !std::isnan(nodata_raw)) nodata = round_clamp_i32(nodata_raw * scale[1]);
  } else if ((nbits == 32 || nbits == 64) && float_values) {
    if (!scaled) scale[0] = 0.01;
    offset[0] = 0.0;
    nodata = round_clamp_i32(nodata / scale[0]);
  } else if (nbits == 64 && !float_values) {
    fprintf(stderr, "ERROR: nbits %d only supported for floating point values by SRreader_tif\n", nbits);
    return false;
  } else {
    fprintf(stderr, "ERROR: nbits %d not supported by SRreader_tif\n", nbits);
    return false;
  }
  if (ycbcr) {
    sample_type = SRsampleType::kUint8;
    spp = 4;
    sample_bytes = 1;
  } else {
    sr_sample_type(nbits, unsigned_values, float_values, sample_type);
    spp = nbands;
    sample_bytes = nbits / 8;
  }
  return true;
}

// Buffers: the band buffer holds a row of tiles or one strip; the chunk
// buffer one tile of one plane, one plane of a strip or one decoded RGBA
// strip. Contiguous tiles are read straight into the band buffer, one
// tile after the other (tile-major), the others are copied into it row by
// row (pixel-interleaved).
bool SRreader_tif::allocate_buffers() {
  const bool rgba_bytes = ycbcr;
  band_rows_max = tiled ? tile_length : rows_per_strip;
  const bool planes = planar_separate && nbands > 1 && !rgba_bytes;
  tile_major = tiled && !planes && !rgba_bytes;
  const uint64_t pixel_bytes = uint64_t(spp) * uint64_t(sample_bytes);
  const uint64_t tile_columns = tiled ? (uint64_t(ncols) + tile_width - 1) / tile_width : 1;
  uint64_t band_bytes = size_product({uint64_t(band_rows_max), uint64_t(ncols), pixel_bytes});
  uint64_t chunk_bytes = 0;
  if (tile_major) {
    tile_bytes = size_product({uint64_t(tile_width), uint64_t(tile_length), pixel_bytes});
    band_bytes = size_product({tile_columns, tile_bytes});
  } else if (tiled) {
    const uint64_t bytes = rgba_bytes ? 4u : uint64_t(sample_bytes);
    chunk_bytes = size_product({uint64_t(tile_width), uint64_t(tile_length), bytes});
  } else if (rgba_bytes) {
    chunk_bytes = size_product({uint64_t(rows_per_strip), uint64_t(ncols), 4u});
  } else if (planes) {
    chunk_bytes = size_product({uint64_t(rows_per_strip), uint64_t(ncols), uint64_t(sample_bytes)});
  }
  // one strip or tile as decoded: a plane of it when planes are separate
  const uint64_t decoded = size_product({uint64_t(tiled ? tile_width : ncols), uint64_t(band_rows_max),
                                         planes ? uint64_t(sample_bytes) : pixel_bytes});
  if (decoded > kPieceBytes && !justified_by_stored_bytes(decoded)) return false;
  pieces = !tiled && !planes && !rgba_bytes && band_bytes > kPieceBytes;
  if (pieces) {
    // whole rows, as many as fit the piece size (at least one)
    const uint64_t row_bytes = size_product({uint64_t(ncols), pixel_bytes});
    band_rows_max = static_cast<int32_t>(std::max<uint64_t>(1, std::min<uint64_t>(band_rows_max, kPieceBytes / row_bytes)));
    band_bytes = size_product({uint64_t(band_rows_max), row_bytes});
  }
  if (band_bytes > kMaxBuffer || chunk_bytes > kMaxBuffer) {
    fprintf(stderr, "ERROR: %s of %llu bytes too large for SRreader_tif\n",
            band_bytes > kMaxBuffer ? "band buffer" : "tile buffer",
            static_cast<unsigned long long>(std::max(band_bytes, chunk_bytes)));
    return false;
  }
  band_buffer = static_cast<uint8_t*>(malloc(band_bytes));
  if (band_buffer == nullptr) return say("ERROR: cannot allocate the band buffer of SRreader_tif\n");
  if (chunk_bytes > 0) {
    chunk = static_cast<uint8_t*>(_TIFFmalloc(static_cast<tmsize_t>(chunk_bytes)));
    if (chunk == nullptr) return say("ERROR: cannot allocate the tile buffer of SRreader_tif\n");
    chunk_size = static_cast<int64_t>(chunk_bytes);
  } else {
    chunk_size = -1;
  }
  failed.assign(tiled ? static_cast<size_t>((int64_t(ncols) + tile_width - 1) / tile_width) : 1, 0);
  return true;
}

// A strip or tile that decodes to `decoded` bytes must be stored in enough
// bytes for that: the largest stored strip or tile, times what the
// compression can inflate, decides. Keeps a tiny file that announces a huge
// image from reserving gigabytes.
bool SRreader_tif::justified_by_stored_bytes(uint64_t decoded) {
  uint16_t compression = COMPRESSION_NONE;
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  const uint32_t count = tiled ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
  uint64_t stored = 0;
  for (uint32_t i = 0; i < count; i++) stored = std::max(stored, TIFFGetStrileByteCount(tif, i));
  const uint64_t limit = size_product({stored, max_inflation(compression)});
  if (decoded <= limit || decoded - limit <= 65536) return true;
  fprintf(stderr, "ERROR: %s of %llu bytes cannot be decoded from %llu stored bytes\n", tiled ? "tile" : "strip",
          static_cast<unsigned long long>(decoded), static_cast<unsigned long long>(stored));
  return false;
}

// The conversion rules of band 0 and of the further bands.
void SRreader_tif::prepare_rules() {
  prepare_rule(rule, nodata_raw);
  band_rule = rule;
  if (nbands > 1 && sample_bytes <= 2) {
    // the bands of 8- and 16-bit multi-band images are their raw samples
    rule.scaled = false;
    band_rule.scaled = false;
  }
}

// Decodes the strip or row of tiles that starts at first_row into
// band_buffer. Chunks that libtiff cannot read are reported and marked, so
// that their cells are refused rather than delivered from stale bytes.
bool SRreader_tif::load_band(int32_t first_row) {
  band_first = first_row;
  band_rows = std::min(band_rows_max, nrows - first_row);
  std::fill(failed.begin(), failed.end(), 0);
  any_failed = false;
  if (tiled) {
    for (size_t t = 0; t < failed.size(); t++) {
      if (!load_tile(t, first_row)) {
        failed[t] = 1;
        any_failed = true;
      }
    }
    return !any_failed;
  }
  const bool ok = load_strip(first_row);
  failed[0] = ok ? 0 : 1;
  any_failed = !ok;
  return ok;
}

// Decodes tile column t of the tile row that starts at first_row into its
// place in band_buffer.
bool SRreader_tif::load_tile(size_t t, int32_t first_row) {
  const size_t pixel_bytes = static_cast<size_t>(spp) * sample_bytes;
  const size_t row_bytes = static_cast<size_t>(ncols) * pixel_bytes;
  const size_t tw = static_cast<size_t>(tile_width);
  const uint32_t x = static_cast<uint32_t>(t * tw);
  const size_t used = std::min(tw, static_cast<size_t>(ncols) - x);
  if (ycbcr) {
    // RGBA tiles come bottom-up: image row r of the tile is tile row (tile length - 1 - r)
    if (!TIFFReadRGBATile(tif, x, static_cast<uint32_t>(first_row), reinterpret_cast<uint32_t*>(chunk))) {
      TIFFError("ReadImage", "failure in TIFFReadRGBATile\n");
      return false;
    }
    for (int32_t r = 0; r < band_rows; r++) {
      memcpy(band_buffer + r * row_bytes + x * 4, chunk + (static_cast<size_t>(tile_length - 1 - r) * tw) * 4,
             used * 4);
    }
    return true;
  }
  if (planar_separate && nbands > 1) {
    // one plane of the tile at a time, spread into the band's pixels
    const tmsize_t expected = static_cast<tmsize_t>(tw * tile_length * sample_bytes);
    for (int p = 0; p < nbands; p++) {
      const uint32_t tile = TIFFComputeTile(tif, x, static_cast<uint32_t>(first_row), 0, static_cast<uint16_t>(p));
      if (TIFFReadEncodedTile(tif, tile, chunk, expected) < expected) {
        TIFFError("ReadImage", "failure in TIFFReadTile (band %d)\n", p);
        return false;
      }
      for (int32_t r = 0; r < band_rows; r++) {
        const uint8_t* src = chunk + static_cast<size_t>(r) * tw * sample_bytes;
        uint8_t* dst = band_buffer + r * row_bytes + x * pixel_bytes + static_cast<size_t>(p) * sample_bytes;
        for (size_t c = 0; c < used; c++) memcpy(dst + c * pixel_bytes, src + c * sample_bytes, sample_bytes);
      }
    }
    return true;
  }
  // the tile goes whole into its slot of the band buffer
  const tmsize_t expected = static_cast<tmsize_t>(tile_bytes);
  const uint32_t tile = TIFFComputeTile(tif, x, static_cast<uint32_t>(first_row), 0, 0);
  if (TIFFReadEncodedTile(tif, tile, band_buffer + t * tile_bytes, expected) < expected) {
    TIFFError("ReadImage", "failure in TIFFReadTile\n");
    return false;
  }
  return true;
}

// Decodes the strip that starts at first_row into band_buffer.
bool SRreader_tif::load_strip(int32_t first_row) {
  const size_t pixel_bytes = static_cast<size_t>(spp) * sample_bytes;
  const size_t row_bytes = static_cast<size_t>(ncols) * pixel_bytes;
  const uint32_t strip = static_cast<uint32_t>(first_row / rows_per_strip);
  if (ycbcr) {
    // RGBA strips come bottom-up as well
    if (!TIFFReadRGBAStrip(tif, static_cast<uint32_t>(first_row), reinterpret_cast<uint32_t*>(chunk))) {
      TIFFError("ReadImage", "failure in TIFFReadRGBAStrip for row %d\n", first_row);
      return false;
    }
    for (int32_t k = 0; k < band_rows; k++) {
      memcpy(band_buffer + static_cast<size_t>(band_rows - 1 - k) * row_bytes, chunk + k * row_bytes, row_bytes);
    }
    return true;
  }
  if (planar_separate && nbands > 1) {
    const uint32_t strips_per_plane = static_cast<uint32_t>((int64_t(nrows) + rows_per_strip - 1) / rows_per_strip);
    const tmsize_t expected = static_cast<tmsize_t>(band_rows) * ncols * sample_bytes;
    for (int p = 0; p < nbands; p++) {
      if (TIFFReadEncodedStrip(tif, p * strips_per_plane + strip, chunk, expected) < expected) {
        TIFFError("ReadImage", "failure in TIFFReadEncodedStrip (band %d of %d)\n", p, nbands);
        return false;
      }
      const size_t cells = static_cast<size_t>(band_rows) * ncols;
      uint8_t* dst = band_buffer + static_cast<size_t>(p) * sample_bytes;
      for (size_t i = 0; i < cells; i++) memcpy(dst + i * pixel_bytes, chunk + i * sample_bytes, sample_bytes);
    }
    return true;
  }
  if (pieces) {
    // row after row of a large strip; libtiff decodes a strip's rows in order
    for (int32_t k = 0; k < band_rows; k++) {
      if (TIFFReadScanline(tif, band_buffer + static_cast<size_t>(k) * row_bytes, static_cast<uint32_t>(first_row + k),
                           0) < 0) {
        TIFFError("ReadImage", "failure in ReadScanline\n");
        return false;
      }
    }
    return true;
  }
  if (rows_per_strip == 1) {
    // a strip of one row is the row: decoded straight into the band buffer
    if (TIFFReadEncodedStrip(tif, static_cast<uint32_t>(first_row), band_buffer,
                             static_cast<tmsize_t>(row_bytes)) < static_cast<tmsize_t>(row_bytes)) {
      TIFFError("ReadImage", "failure in ReadScanline\n");
      return false;
    }
    return true;
  }
  const tmsize_t expected = static_cast<tmsize_t>(band_rows * row_bytes);
  if (TIFFReadEncodedStrip(tif, strip, band_buffer, expected) < expected) {
    if (nbands == 1) {
      TIFFError("ReadImage", "failure in TIFFReadEncodedStrip (nbands == 1)\n");
    } else if (nbands == 3) {
      TIFFError("ReadImage", "failure in TIFFReadEncodedStrip (nbands == 3) for row %d\n", first_row);
    } else {
      TIFFError("ReadImage", "failure in TIFFReadEncodedStrip (nbands == %d) for row %d\n", nbands, first_row);
    }
    return false;
  }
  return true;
}

int64_t SRreader_tif::read_cells(int64_t n, int32_t* values, uint8_t* nodata_flags) {
  if (tif == nullptr || band_buffer == nullptr) return 0;
  const size_t pixel_bytes = static_cast<size_t>(spp) * sample_bytes;
  int64_t k = 0;
  while (k < n) {
    if (col >= ncols) {
      if (row == nrows) return k;
      if (row >= band_first + band_rows) load_band(row);
      band_row = row - band_first;
      row++;
      col = 0;
    }
    int64_t run = std::min<int64_t>(n - k, ncols - col);
    if (any_failed) {
      const size_t t = tiled ? static_cast<size_t>(col / tile_width) : 0;
      if (failed[t]) {
        // the cell is used up but has no value
        col++;
        value[0] = nodata;
        cell_nodata = true;
        return k;
      }
      if (tiled) run = std::min<int64_t>(run, static_cast<int64_t>(t + 1) * tile_width - col);
    }
    const uint8_t* src;
    if (tile_major) {
      const int32_t t = col / tile_width;
      const int32_t in_tile = col - t * tile_width;
      run = std::min<int64_t>(run, tile_width - in_tile);
      src = band_buffer + t * tile_bytes + (static_cast<size_t>(band_row) * tile_width + in_tile) * pixel_bytes;
    } else {
      src = band_buffer + (static_cast<size_t>(band_row) * ncols + col) * pixel_bytes;
    }
    sr_convert_buffer(sample_type, src, spp, run, rule, values + k, nodata_flags + k);
    col += static_cast<int32_t>(run);
    k += run;
    r_count += run;
    value[0] = values[k - 1];
    cell_nodata = nodata_flags[k - 1] != 0;
    if (nbands > 1) {
      // the per-cell interface also shows the other bands of the last cell
      const uint8_t* last = src + (run - 1) * pixel_bytes;
      for (int b = 1; b < nbands && b < 10; b++) {
        uint8_t unused;
        sr_convert_buffer(sample_type, last + static_cast<size_t>(b) * sample_bytes, 1, 1, band_rule, &value[b],
                          &unused);
      }
    }
  }
  return k;
}

bool SRreader_tif::read_raster() {
  int32_t v;
  uint8_t f;
  return read_cells(1, &v, &f) == 1;
}

void SRreader_tif::close(bool) {
  release();
  projection = nullptr;
  check_count_on_close("SRreader_tif");
}
