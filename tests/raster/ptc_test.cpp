// RasterPTC: the VLR payload bytes and its failures, the cell grid, the
// z-from-attribute rule, and the reader on point files written here: cell
// placement, units, later points winning, extent and geometry refusals,
// and files whose points end early.
#include "geo/geoprojectionconverter.hpp"        // GeoProjectionConverter
#include "las/laspoint.hpp"                      // LASpoint, LASattributer
#include "lasio/laswriterlas.hpp"                // LASwriterLAS for the test files
#include "raster/lasvlrrasterptc.hpp"            // LASvlrRasterPTC
#include "raster/srptcgrid.hpp"                  // SRptcGrid
#include "raster/srreader_ptc.hpp"               // SRreader_ptc, sr_ptc_attribute_z
#include "raster/srwriter_ptc.hpp"               // SRwriter_ptc
#include "tests/lasio/las_file_helpers.hpp"      // Messages, read_bytes
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tests/support/reader_cells.hpp"        // open_reader, cells_batched
#include "tool/lasutility.hpp"                   // set_available_RAM_override

namespace {

using namespace testsupport;

using lastest::Messages;

constexpr int ND = kNodataCell;

// The raster of the worked example: 4 x 3 cells of 1 x 1 from (1000, 2000).
LASvlrRasterPTC example_raster() {
  LASvlrRasterPTC r;
  r.nbands = 1, r.nbits = 32, r.ncols = 4, r.nrows = 3;
  r.stepx = 1.0, r.stepy = 1.0, r.llx = 1000.0, r.lly = 2000.0;
  return r;
}

// ---------------------------------------------------------------------------
// The VLR payload

TEST(RasterPtcVlr, PayloadBytesOfTheExampleAndEveryFieldRoundTrips) {
  LASvlrRasterPTC r = example_raster();
  ASSERT_EQ(r.get_payload_size(), 80);
  unsigned char* bytes = r.get_payload();
  ASSERT_NE(bytes, nullptr);
  // four 32-bit integers, two reserved ones, then the doubles in payload
  // order (stepx, stepx_y, stepy, stepy_x, llx, lly, sigmaxy), little-endian
  std::vector<unsigned char> expected = {1, 0, 0, 0, 0x20, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0};
  expected.resize(24, 0);
  for (double d : {1.0, 0.0, 1.0, 0.0, 1000.0, 2000.0, 0.0}) {
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&d);
    expected.insert(expected.end(), b, b + 8);
  }
  EXPECT_EQ(std::vector<unsigned char>(bytes, bytes + 80), expected);
  free(bytes);
  r = LASvlrRasterPTC();
  r.nbands = 2, r.nbits = 16, r.ncols = -7, r.nrows = 123456, r.reserved1 = -5, r.reserved2 = 77;
  r.stepx = 0.25, r.stepx_y = -0.125, r.stepy = 3.5, r.stepy_x = 1e-9, r.llx = -123456.789, r.lly = 9876543.21;
  r.sigmaxy = 0.015625;
  bytes = r.get_payload();
  LASvlrRasterPTC b;
  ASSERT_TRUE(b.set_payload(bytes, 80));
  free(bytes);
  EXPECT_EQ(std::vector<int>({b.nbands, b.nbits, b.ncols, b.nrows, b.reserved1, b.reserved2}),
            std::vector<int>({2, 16, -7, 123456, -5, 77}));
  EXPECT_EQ(std::vector<double>({b.stepx, b.stepx_y, b.stepy, b.stepy_x, b.llx, b.lly, b.sigmaxy}),
            std::vector<double>({0.25, -0.125, 3.5, 1e-9, -123456.789, 9876543.21, 0.015625}));
}

// The field at each payload offset, as the load message names it.
struct FieldCase {
  int bytes;  // bytes available
  const char* field;
};

const FieldCase kFields[] = {{0, "nbands"},    {3, "nbands"},    {4, "nbits"},  {8, "ncols"},  {12, "nrows"},
                             {16, "reserved1"}, {20, "reserved2"}, {24, "stepx"}, {31, "stepx"}, {32, "stepx_y"},
                             {40, "stepy"},     {48, "stepy_x"},   {56, "llx"},   {64, "lly"},   {72, "sigmax"},
                             {79, "sigmax"}};


class ShortPayload : public ::testing::TestWithParam<FieldCase> {};

// Reading a payload of that many bytes fails at the field (the last one is
// named sigmax).
TEST_P(ShortPayload, NamesTheFirstFieldThatCannotBeRead) {
  Messages messages;
  unsigned char* bytes = example_raster().get_payload();
  ASSERT_NE(bytes, nullptr);
  LASvlrRasterPTC r;
  EXPECT_FALSE(r.set_payload(GetParam().bytes ? bytes : nullptr, GetParam().bytes));
  free(bytes);
  EXPECT_EQ(messages.texts(LAS_ERROR),
            std::vector<std::string>({"reading LASvlrRasterPTC." + std::string(GetParam().field)}));
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortPayload, ::testing::ValuesIn(kFields), [](const auto& info) {
  return std::string(info.param.field) + "_" + std::to_string(info.param.bytes);
});

// ---------------------------------------------------------------------------
// The grid

TEST(RasterPtcGrid, BytesNeededRefusesEmptyNegativeAndAbsurdSizes) {
  EXPECT_EQ(SRptcGrid::bytes_needed(4, 3), 12u * 4 + 4);
  EXPECT_EQ(SRptcGrid::bytes_needed(32, 2), 64u * 4 + 8);
  EXPECT_EQ(SRptcGrid::bytes_needed(33, 1), 33u * 4 + 8);
  EXPECT_EQ(SRptcGrid::bytes_needed(0, 3), 0u);
  EXPECT_EQ(SRptcGrid::bytes_needed(3, -1), 0u);
  EXPECT_EQ(SRptcGrid::bytes_needed(INT32_MIN, INT32_MIN), 0u);
  EXPECT_EQ(SRptcGrid::bytes_needed(INT32_MAX, INT32_MAX), 0u);
  // past 2^31 cells the count stays exact
  EXPECT_EQ(SRptcGrid::bytes_needed(65536, 65537), 65536ull * 65537 * 4 + 65536ull * 65537 / 32 * 4);
}

// Points that a file cannot bring here (the reader refuses a file with
// points west of llx); cells and edges are in PtcCells.
TEST(RasterPtcGrid, PlacesByTruncationAndIgnoresWhatLiesOutside) {
  SRptcGrid g;
  ASSERT_TRUE(g.allocate(4, 3, 1000.0, 2003.0, 1.0, 1.0));
  EXPECT_EQ(g.cells(), 12);
  EXPECT_TRUE(g.place(999.5, 2002.5, 5));  // truncation toward zero: column 0
  EXPECT_FALSE(g.place(998.9, 2002.5, 1));  // column -1
  EXPECT_FALSE(g.place(std::nan(""), 2002.5, 1));
  EXPECT_FALSE(g.place(1e300, -1e300, 1));
  EXPECT_EQ(g.at(0), 5);
  for (int64_t i = 0; i < 12; i++) EXPECT_EQ(g.has(i), i == 0) << i;
}

// ---------------------------------------------------------------------------
// z from an extra-bytes attribute

struct AttributeCase {
  const char* name;
  unsigned char data_type;
  std::vector<unsigned char> bytes;  // the attribute's bytes in the point
  unsigned char options;
  double scale, offset;
  int32_t expected;  // with z scale 0.01 and z offset 100
  int32_t index = 1;  // of the attribute asked for
};

class AttributeZ : public ::testing::TestWithParam<AttributeCase> {};

template <typename T>
std::vector<unsigned char> as_bytes(T v) {
  std::vector<unsigned char> b(sizeof(T));
  memcpy(b.data(), &v, sizeof(T));
  return b;
}

TEST_P(AttributeZ, ReadsByTypeScalesOffsetsAndQuantises) {
  const AttributeCase& c = GetParam();
  LASquantizer q;
  q.z_scale_factor = 0.01, q.z_offset = 100.0;
  LASattributer table;
  // a 1-byte attribute before the one that carries z
  ASSERT_EQ(table.add_attribute(LASattribute(1, "first")), 0);
  LASattribute a(c.data_type, "z", nullptr, c.data_type == 0 ? static_cast<unsigned char>(c.bytes.size()) : 0);
  a.options = c.options, a.scale[0] = c.scale, a.offset[0] = c.offset;
  ASSERT_EQ(table.add_attribute(a), 1);
  const LASitem items[2] = {{LASitem::POINT10, 20, 0},
                            {LASitem::BYTE, static_cast<uint16_t>(1 + c.bytes.size()), 0}};
  LASpoint p;
  ASSERT_TRUE(p.init(&q, 2, items, &table));
  memcpy(p.extra_bytes + 1, c.bytes.data(), c.bytes.size());
  EXPECT_EQ(sr_ptc_attribute_z(p, c.index, q), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Types, AttributeZ,
    ::testing::Values(
        AttributeCase{"U8", 1, {200}, 0, 1, 0, 10000},
        AttributeCase{"I8", 2, as_bytes<int8_t>(-56), 0, 1, 0, -15600},
        AttributeCase{"U16", 3, as_bytes<uint16_t>(65000), 0, 1, 0, 6490000},
        AttributeCase{"I16", 4, as_bytes<int16_t>(-2), 0, 1, 0, -10200},
        AttributeCase{"U32", 5, as_bytes<uint32_t>(3000000000u), 0, 1, 0, INT32_MAX},
        AttributeCase{"I32", 6, as_bytes<int32_t>(-7), 0, 1, 0, -10700},
        AttributeCase{"U64", 7, as_bytes<uint64_t>(150), 0, 1, 0, 5000},
        AttributeCase{"I64", 8, as_bytes<int64_t>(-1000000000000ll), 0, 1, 0, INT32_MIN},
        AttributeCase{"F32", 9, as_bytes<float>(100.125f), 0, 1, 0, 13},  // 12.5 rounds away from zero
        AttributeCase{"F64", 10, as_bytes<double>(99.875), 0, 1, 0, -13},  // -12.5 rounds away from zero
        AttributeCase{"ArrayTakesFirst", 14, {101, 0, 5, 0}, 0, 1, 0, 100},  // 2 x i16, the first
        AttributeCase{"TypeZeroIsDouble", 0, as_bytes<double>(101.5), 0, 1, 0, 150},
        AttributeCase{"Scaled", 4, as_bytes<int16_t>(12345), 0x08, 0.01, 0, 2345},
        AttributeCase{"Offset", 4, as_bytes<int16_t>(5), 0x10, 0.01, 100.0, 500},
        AttributeCase{"ScaledAndOffset", 4, as_bytes<int16_t>(-250), 0x18, 0.1, 120.0, -500},
        AttributeCase{"NaN", 10, as_bytes<double>(std::nan("")), 0, 1, 0, 0},
        // no attribute to read: the value is 0
        AttributeCase{"IndexBeyondTheTable", 4, as_bytes<int16_t>(5), 0, 1, 0, -10000, 2},
        AttributeCase{"WiderThanThePoint", 10, as_bytes<int16_t>(5), 0, 1, 0, -10000}),
    CaseName());

// ---------------------------------------------------------------------------
// Point files

struct Pt {
  double x, y;
  int32_t z;
};

// What a test file holds: the raster record (as given, cut or renamed) and
// points at arbitrary coordinates, xy quantised to 0.001.
struct PtcFile {
  LASvlrRasterPTC raster = example_raster();
  std::vector<Pt> points;
  double z_offset = 0.0;
  bool with_vlr = true;
  const char* user_id = "Raster PTC";
  uint16_t record_id = 7113, vlr_length = 80;
  uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT;
  std::vector<uint16_t> geo_keys;  // the GeoKeyDirectoryTag payload, empty: none
  std::vector<double> geo_doubles;  // the GeoDoubleParamsTag payload, empty: none
  uint8_t point_format = 0;  // 6: layered, with intensity and GPS time varying
};

bool write_ptc(const std::string& path, const PtcFile& f) {
  LASheader h;
  h.x_scale_factor = h.y_scale_factor = 0.001, h.z_scale_factor = 0.01, h.z_offset = f.z_offset;
  // another record first, so that the reader has to search
  const char wkt[] = "LOCAL_CS[\"test\"]";
  if (!h.add_vlr("LASF_Projection", 2112, sizeof(wkt), (unsigned char*)wkt, false)) return false;
  if (!f.geo_keys.empty() && !h.add_vlr("LASF_Projection", 34735, 2 * f.geo_keys.size(),
                                        (unsigned char*)f.geo_keys.data(), false)) {
    return false;
  }
  if (!f.geo_doubles.empty() && !h.add_vlr("LASF_Projection", 34736, 8 * f.geo_doubles.size(),
                                           (unsigned char*)f.geo_doubles.data(), false)) {
    return false;
  }
  if (f.with_vlr) {
    unsigned char* payload = f.raster.get_payload();
    const bool ok = h.add_vlr(f.user_id, f.record_id, f.vlr_length, payload, false);
    free(payload);
    if (!ok) return false;
  }
  const bool layered = f.point_format >= 6;
  h.point_data_format = f.point_format;
  h.point_data_record_length = layered ? 30 : 20;
  LASwriterLAS w;
  if (!w.open(path.c_str(), &h, layered ? PTcomp::COMPRESSOR_LAYERED_CHUNKED : PTcomp::COMPRESSOR_POINTWISE_CHUNKED,
              f.chunk_size)) {
    return false;
  }
  LASpoint p;
  if (!p.init(&h, w.get_ptcomp().num_items, w.get_ptcomp().items, &h)) return false;
  for (const Pt& pt : f.points) {
    if (layered) {
      p.intensity = static_cast<uint16_t>(p.intensity + 1234);
      p.gps_time += 0.5;
    }
    p.X = static_cast<int32_t>(std::llround(pt.x / 0.001));
    p.Y = static_cast<int32_t>(std::llround(pt.y / 0.001));
    p.Z = pt.z;
    if (!w.write_point(&p)) return false;
  }
  return w.close() > 0;
}

Opened<SRreader_ptc> open_ptc(const std::string& path, double scale = 0.0) {
  return open_reader<SRreader_ptc>(path, scale, nullptr);
}

std::vector<int> cells_in_batches(SRreader* r) { return cells_batched(r, {1, 5, 31, 32, 33, 70, 2}); }

template <typename Case>
class PtcReader : public DirTest<Case> {
 protected:
  std::string file(const PtcFile& f) {
    const std::string path = this->dir.file("r.ptc");
    EXPECT_TRUE(write_ptc(path, f));
    return path;
  }
};

// Points in the 4 x 3 example raster (z offset 50, chunks of 2 points) and
// the cells they fill, in the point file's unit (0.01) or the one asked for.
struct CellCase {
  const char* name;
  std::vector<Pt> points;
  std::vector<std::pair<int, int>> cells;  // cell, value; all others nodata
  double set_scale = 0.0;                  // 0: none
  uint8_t point_format = 0;                // 6: only X, Y and Z are decoded
};

class PtcCells : public PtcReader<CellCase> {};

TEST_P(PtcCells, GeometryAndEveryCellOneByOneAndInBatches) {
  const CellCase& c = GetParam();
  PtcFile f;
  f.points = std::vector<Pt>(c.points);
  f.z_offset = 50.0;
  f.point_format = c.point_format;
  f.chunk_size = 2;
  const std::string path = file(f);
  std::vector<int> expected(12, ND);
  for (auto [cell, value] : c.cells) expected[cell] = value;
  auto o = open_ptc(path, c.set_scale);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, c.point_format ? "WARNING: LAS version 1.2 does not allow point format 6\n" : "");
  const SRreader& r = *o.r;
  EXPECT_EQ(std::vector<int>({r.ncols, r.nrows, r.nbits, r.nbands}), std::vector<int>({4, 3, 32, 1}));
  EXPECT_EQ(std::vector<double>({r.llx, r.lly, r.urx, r.ury, r.stepx, r.stepy, r.scale[0], r.offset[0]}),
            std::vector<double>({1000, 2000, 1004, 2003, 1, 1, c.set_scale ? c.set_scale : 0.01, 50}));
  std::vector<int> one_by_one;
  while (o.r->read_raster()) {
    one_by_one.push_back(r.is_nodata() ? ND : r.value[0]);
    EXPECT_TRUE(!r.is_nodata() || r.value[0] == 0);  // nodata cells have value zero
  }
  EXPECT_EQ(one_by_one, expected);
  EXPECT_EQ(r.r_count, 12);
  EXPECT_EQ(close_messages(o.r.get()), "");
  auto b = open_ptc(path, c.set_scale);
  EXPECT_EQ(cells_in_batches(b.r.get()), expected);
  EXPECT_EQ(b.r->grid_cells(), 12);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PtcCells,
    ::testing::Values(
        CellCase{"TheTwoCornerCells", {{1000.5, 2002.5, 1234}, {1003.5, 2000.5, -77}}, {{0, 1234}, {11, -77}}},
        CellCase{"WestEdgeOfColumnOne", {{1001.0, 2001.5, 99}}, {{5, 99}}},
        CellCase{"NorthEdgeOfRowOne", {{1002.5, 2002.0, 99}}, {{6, 99}}},
        CellCase{"LowerLeftCorner", {{1000.0, 2000.001, 99}}, {{8, 99}}},
        CellCase{"UpperLeftCorner", {{1000.0, 2003.0, 99}}, {{0, 99}}},
        CellCase{"EastEdgeIsOutside", {{1004.0, 2001.5, 99}}, {}},
        CellCase{"SouthEdgeIsOutside", {{1001.5, 2000.0, 99}}, {}},
        CellCase{"JustInsideTheEast", {{1003.999, 2001.5, 99}}, {{7, 99}}},
        CellCase{"LaterPointsWin", {{1002.2, 2001.2, 1}, {1000.5, 2002.5, 5}, {1002.9, 2001.9, 2}, {1002.5, 2001.5, 3}},
                 {{0, 5}, {6, 3}}},
        CellCase{"SameUnitAsFile", {{1000.5, 2002.5, 12345}}, {{0, 12345}}, 0.01},
        CellCase{"Tenths", {{1000.5, 2002.5, 12345}, {1001.5, 2002.5, -12345}}, {{0, 1235}, {1, -1235}}, 0.1},
        CellCase{"Finer", {{1000.5, 2002.5, 12345}}, {{0, 123450}}, 0.001},
        CellCase{"FinerClamps", {{1000.5, 2002.5, 2000000000}}, {{0, INT32_MAX}}, 0.00001},
        CellCase{"LayeredFormatSix",
                 {{1000.5, 2002.5, 1234}, {1003.5, 2000.5, -77}, {1002.2, 2001.2, 1}, {1002.9, 2001.9, 2},
                  {1002.5, 2001.5, 3}},
                 {{0, 1234}, {11, -77}, {6, 3}}, 0.0, 6}),
    CaseName());

// Files refused at open: points outside the raster the record describes,
// no RasterPTC record, and geometry that no grid (or not the memory
// available) can hold, refused before any point is read.
struct RefusalCase {
  const char* name;
  std::function<void(PtcFile&)> change;
  std::string message;  // %s: the file name
  uint64_t ram = 0;     // bytes of memory available; 0: as much as there is
};

class PtcRefused : public PtcReader<RefusalCase> {};

TEST_P(PtcRefused, WithItsMessage) {
  Messages messages;  // keeps the run going after a load error
  PtcFile f;
  f.points = std::vector<Pt>{{1001.5, 2001.5, 1}};
  GetParam().change(f);
  const std::string path = file(f);
  set_available_RAM_override(GetParam().ram);
  auto o = open_ptc(path);
  set_available_RAM_override(0);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, with_path(GetParam().message, path));
}

// A second point at (x, y).
std::function<void(PtcFile&)> add(double x, double y) {
  return [=](PtcFile& f) { f.points.push_back({x, y, 2}); };
}

// A record of the given grid, without points.
std::function<void(PtcFile&)> grid(int32_t ncols, int32_t nrows, double stepx, double stepy) {
  return [=](PtcFile& f) {
    f.raster.ncols = ncols, f.raster.nrows = nrows, f.raster.stepx = stepx, f.raster.stepy = stepy;
    f.points.clear();
  };
}

std::string invalid(const std::string& why) { return "ERROR: invalid RasterPTC (" + why + ") for '%s'\n"; }

const std::string kNoRecord = "ERROR: cannot find RasterPTC VLR in '%s'\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, PtcRefused,
    ::testing::Values(
        RefusalCase{"West", add(999.99, 2001.0), invalid("min_x is smaller than llx")},
        RefusalCase{"South", add(1001.0, 1999.99), invalid("min_y is smaller than lly")},
        RefusalCase{"East", add(1004.01, 2001.0), invalid("max_x is larger than urx")},
        RefusalCase{"North", add(1001.0, 2003.01), invalid("max_y is larger than ury")},
        RefusalCase{"WestWins", add(999.0, 2004.0), invalid("min_x is smaller than llx")},
        RefusalCase{"NoRecord", [](PtcFile& f) { f.with_vlr = false; }, kNoRecord},
        RefusalCase{"OtherRecordId", [](PtcFile& f) { f.record_id = 7114; }, kNoRecord},
        RefusalCase{"OtherUserId", [](PtcFile& f) { f.user_id = "Raster PTX"; }, kNoRecord},
        RefusalCase{"ShortRecord", [](PtcFile& f) { f.vlr_length = 44; }, "ERROR: corrupt RasterPTC VLR in '%s'\n"},
        RefusalCase{"NoColumns", grid(0, 3, 1, 1), invalid("ncols 0 and nrows 3")},
        RefusalCase{"NegativeRows", grid(4, -3, 1, 1), invalid("ncols 4 and nrows -3")},
        RefusalCase{"ZeroStep", grid(4, 3, 0, 1), invalid("stepx 0, stepy 1, llx 1000, lly 2000")},
        RefusalCase{"NaNStep", grid(4, 3, 1, std::nan("")), invalid("stepx 1, stepy nan, llx 1000, lly 2000")},
        RefusalCase{"Absurd", grid(INT32_MAX, INT32_MAX, 1e-9, 1e-9),
                    invalid("grid of 2147483647 x 2147483647 cells is too large")}),
    CaseName());

// A copy of 120 x 80 cells whose points end early must fail the first cell
// request and then deliver what could be decoded.
class TruncatedPoints : public PtcReader<double> {};

TEST_P(TruncatedPoints, FirstCellFailsAndTheReaderSaysWhy) {
  PtcFile f;
  f.raster.ncols = 120, f.raster.nrows = 80, f.raster.lly = 2003.0 - 80;
  f.chunk_size = 1000;
  for (int row = 0; row < 80; row++)
    for (int col = 0; col < 120; col++)
      f.points.push_back({1000.5 + col, 2002.5 - row, (row * 7919 + col * 104729) % 100000});
  const std::string path = file(f);
  const std::vector<unsigned char> bytes = lastest::read_bytes(path);
  uint32_t header_end = 0;
  memcpy(&header_end, bytes.data() + lastest::AT_OFFSET_TO_POINT_DATA, 4);
  // keep the header, the chunk table pointer and a share of the chunks
  const size_t start = header_end + 8;
  const size_t keep = start + static_cast<size_t>((bytes.size() - start) * GetParam());
  ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(keep)), 0);

  Messages messages;
  auto o = open_ptc(path);
  ASSERT_TRUE(o.ok) << o.err;
  std::vector<int32_t> v(100);
  std::vector<uint8_t> nd(100);
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.r->read_cells(100, v.data(), nd.data()), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("ERROR: corrupt or truncated RasterPTC '" + path + "': only ", 0), 0u) << err;
  EXPECT_NE(err.find(" of 9600 points could be read\n"), std::string::npos) << err;
  EXPECT_GE(messages.at_least(LAS_WARNING), 1) << messages.dump();
  EXPECT_EQ(o.r->r_count, 1);
  EXPECT_TRUE(o.r->is_nodata());
  // the rest comes as far as it was decoded, without another failure
  EXPECT_EQ(cells_in_batches(o.r.get()).size(), 9599u);
}

INSTANTIATE_TEST_SUITE_P(Shares, TruncatedPoints, ::testing::Values(0.0, 0.1, 0.5, 0.9, 0.99));

// ---------------------------------------------------------------------------
// Points in raster order are streamed; any other order falls back to a
// store of all points, with the same cells. 300 x 250 cells, every 7th
// without a point: more than one stretch of cells decoded ahead.

constexpr int kOrderCols = 300, kOrderRows = 250;

std::vector<Pt> raster_order() {
  std::vector<Pt> pts;
  for (int i = 0; i < kOrderCols * kOrderRows; i++) {
    if (i % 7 == 3) continue;
    pts.push_back({1000.5 + i % kOrderCols, 2002.5 - i / kOrderCols, (i * 7919) % 100000 - 50000});
  }
  return pts;
}

std::vector<Pt> shuffled(std::vector<Pt> pts, size_t from) {
  for (size_t i = pts.size() - 1; i > from; i--) std::swap(pts[i], pts[from + (i * 2654435761u) % (i - from + 1)]);
  return pts;
}

// a, then b; with `raised`, every point of a comes first with z + 1.
std::vector<Pt> join(const std::vector<Pt>& a, const std::vector<Pt>& b, bool raised = false) {
  std::vector<Pt> pts;
  for (const Pt& p : a) {
    if (raised) pts.push_back({p.x, p.y, p.z + 1});
    pts.push_back(p);
  }
  for (const Pt& p : b) pts.push_back(p);
  return pts;
}

struct OrderCase {
  const char* name;
  std::vector<Pt> points;
  bool from_store;
  std::string error;  // %s: the file name; the first failed cell says it
  uint64_t ram = 0;   // bytes of memory available; 0: as much as there is
  int32_t ncols = kOrderCols;
  bool second_pass = false;  // cells went out wrong: a fresh reader collects first
};

class PtcOrder : public PtcReader<OrderCase> {};

TEST_P(PtcOrder, SameCellsWhateverTheOrder) {
  const OrderCase& c = GetParam();
  PtcFile f;
  f.raster.ncols = c.ncols, f.raster.nrows = kOrderRows, f.raster.lly = 2003.0 - kOrderRows;
  f.points = std::vector<Pt>(c.points);
  const std::string path = file(f);
  // the first 300 x 250 cells, later points winning
  std::vector<int> expected(static_cast<size_t>(kOrderCols) * kOrderRows, ND);
  for (const Pt& p : f.points) {
    const size_t cell = static_cast<size_t>(2003.0 - p.y) * c.ncols + static_cast<size_t>(p.x - 1000.0);
    if (cell < expected.size()) expected[cell] = p.z;
  }
  set_available_RAM_override(c.ram);
  for (bool one_by_one : {false, true}) {
    auto o = open_ptc(path);
    ASSERT_TRUE(o.ok) << o.err;
    std::vector<int32_t> v(expected.size());
    std::vector<uint8_t> nd(expected.size());
    testing::internal::CaptureStderr();
    size_t got = 0;
    if (one_by_one) {
      for (; got < v.size() && o.r->read_raster(); got++) v[got] = o.r->value[0], nd[got] = o.r->is_nodata();
    } else {
      got = static_cast<size_t>(o.r->read_cells(static_cast<int64_t>(v.size()), v.data(), nd.data()));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), with_path(c.error, path));
    EXPECT_EQ(o.r->needs_second_pass(), c.second_pass);
    if (c.second_pass) {
      EXPECT_LT(got, v.size());
      o = open_ptc(path);
      ASSERT_TRUE(o.ok) << o.err;
      o.r->collect_all_cells_first();
      got = static_cast<size_t>(o.r->read_cells(static_cast<int64_t>(v.size()), v.data(), nd.data()));
      EXPECT_FALSE(o.r->needs_second_pass());
    }
    EXPECT_EQ(o.r->from_store(), c.from_store);
    // the store holds no more than the points that were read
    EXPECT_LE(o.r->store_bytes(), f.points.size() * 32);
    if (!c.error.empty()) {
      EXPECT_LT(got, v.size());
      continue;
    }
    ASSERT_EQ(got, v.size());
    for (size_t i = 0; i < got; i++) v[i] = nd[i] ? ND : v[i];
    EXPECT_EQ(std::vector<int>(v.begin(), v.end()), expected) << one_by_one;
  }
  set_available_RAM_override(0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PtcOrder,
    ::testing::Values(
        OrderCase{"RasterOrder", raster_order(), false, ""},
        OrderCase{"Shuffled", shuffled(raster_order(), 0), true, ""},
        // past the first stretch of cells decoded ahead
        OrderCase{"SecondHalfShuffled", shuffled(raster_order(), 40000), true, ""},
        OrderCase{"EachPointTwiceTheSecondWins", join(raster_order(), {}, true), false, ""},
        OrderCase{"AllPointsTwice", join(raster_order(), raster_order()), true, ""},
        OrderCase{"ComesBackWithAnotherValue", join(raster_order(), {{1000.5, 2002.5, 1}}), true, "", 0, kOrderCols,
                  true},
        // about 309 kB of grid
        OrderCase{"BeyondMemory", shuffled(raster_order(), 0), true,
                  "ERROR: RasterPTC grid of 300 x 250 cells needs 0 MB but only 0 MB of memory are available for '%s'\n",
                  100000},
        // a record that claims 10^10 cells: the few points out of order
        // cost a list, not a grid of 40 GB
        OrderCase{"HugeRecordFewPoints",
                  {{1005.5, 2002.5, 7}, {1000.5, 2002.5, 8}, {1000.5, 2002.5 - 249, 9}, {1005.5, 2002.5, 10}}, true, "",
                  0, 40000000}),
    CaseName());

// ---------------------------------------------------------------------------
// The writer's quantisation puts every centre back into its own cell

struct AxisCase {
  const char* name;
  int32_t ncols, nrows;
  double llx, lly, stepx, stepy;
  double xscale;  // expected x scale factor
};

class WriterPlacement : public PtcReader<AxisCase> {};

TEST_P(WriterPlacement, EveryCellComesBackWithItsValue) {
  const AxisCase& c = GetParam();
  LASvlrRasterPTC g = example_raster();
  g.ncols = c.ncols, g.nrows = c.nrows, g.llx = c.llx, g.lly = c.lly, g.stepx = c.stepx, g.stepy = c.stepy;
  const std::string path = dir.file("w.ptc");
  SRwriter_ptc w;
  ASSERT_TRUE(w.open(path.c_str(), g, 0.01, 0.0));
  EXPECT_EQ(w.get_x_axis().scale, c.xscale);
  // every other cell, last row first, so that order does not matter
  std::vector<int> expected(static_cast<size_t>(c.ncols) * c.nrows, ND);
  for (int32_t row = c.nrows - 1; row >= 0; row--) {
    for (int32_t col = 0; col < c.ncols; col++) {
      const int64_t i = static_cast<int64_t>(row) * c.ncols + col;
      if (i % 2) continue;
      expected[i] = static_cast<int>(i * 3 - 1000);
      ASSERT_TRUE(w.write_cell(col, row, expected[i]));
    }
  }
  ASSERT_GT(w.close(), 0);
  auto o = open_ptc(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.r->ncols, c.ncols);
  EXPECT_EQ(o.r->nrows, c.nrows);
  EXPECT_EQ(cells_in_batches(o.r.get()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, WriterPlacement,
    ::testing::Values(AxisCase{"Metre", 7, 5, 1000.0, 2000.0, 1.0, 1.0, 0.1},
                      AxisCase{"HalfMetreUtm", 9, 4, 500000.0, 4100000.0, 0.5, 0.5, 0.01},
                      AxisCase{"ThirtyMetre", 3, 6, 300015.0, 5000000.0, 30.0, 30.0, 1.0},
                      AxisCase{"ArcSecond", 8, 8, -105.0, 40.0, 1.0 / 3600, 1.0 / 3600, 1e-5},
                      AxisCase{"Thirds", 6, 6, 12.3456789, -98.7654321, 1.0 / 3, 0.7, 0.01},
                      AxisCase{"NonSquare", 5, 3, -10.0, -20.0, 2.0, 0.25, 0.1}),
    CaseName());

TEST(PtcWriter, FallsBackToBinaryScaleWhenDecimalIndexesOverflow) {
  TempDir dir;
  LASvlrRasterPTC g = example_raster();
  g.ncols = 22000000, g.nrows = 1, g.stepx = 9.9;  // 99 decimal steps of 0.1 per cell exceed 32 bits
  SRwriter_ptc w;
  ASSERT_TRUE(w.open(dir.file("wide.ptc").c_str(), g, 1.0, 0.0));
  EXPECT_EQ(w.get_x_axis().scale, 4.95);
  EXPECT_EQ(w.get_x_axis().centre[0], 1);
  EXPECT_EQ(w.get_x_axis().centre[21999999], 43999999);
  EXPECT_EQ(w.get_y_axis().scale, 0.1);
  EXPECT_GT(w.close(), 0);
  // a geometry without cells is refused
  Messages messages;
  g.stepx = -1.0;
  SRwriter_ptc bad;
  EXPECT_FALSE(bad.open(dir.file("bad.ptc").c_str(), g, 1.0, 0.0));
  EXPECT_EQ(messages.count(LAS_ERROR), 1) << messages.dump();
}


// ---------------------------------------------------------------------------
// Geo keys of the point file handed to a converter: a directory that
// claims more keys than its record holds, and double parameters indexed
// beyond their record, are read only as far as the records go.

struct GeoKeyCase {
  const char* name;
  std::vector<uint16_t> keys;  // directory head and entries
  int kind;                    // GeoProjectionKind, -1: no projection
  double false_easting;
  const char* err;
};

class PtcGeoKeys : public PtcReader<GeoKeyCase> {};

TEST_P(PtcGeoKeys, ReachTheConverterWithinTheirRecords) {
  PtcFile f;
  f.geo_keys = GetParam().keys;
  f.geo_doubles = {1640416.667, 0.0, 49.0, -2.0, 0.9996};
  f.points = {{1000.5, 2000.5, 7}};
  GeoProjectionConverter c;
  auto o = open_reader<SRreader_ptc>(file(f), 0.0, &c);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, GetParam().err);
  if (GetParam().kind < 0) {
    EXPECT_FALSE(c.has_projection(true));
    return;
  }
  ASSERT_TRUE(c.has_projection(true));
  EXPECT_EQ(c.get_projection(true)->type, GetParam().kind);
  EXPECT_NEAR(c.get_projection(true)->false_easting, GetParam().false_easting, 1e-3);
}

// model type projected, user-defined system, transverse Mercator in US
// survey feet and its first four parameters as indexes 0 to 3, the
// directory claiming the scale (index 4) as well (1640416.667 US survey
// feet are 500000 m; international feet would give 499999.0 m)
// clang-format off
const std::vector<uint16_t> kTm = {1, 1, 0, 9,
                                   1024, 0, 1, 1,  3072, 0, 1, 32767,  3075, 0, 1, 1,  3076, 0, 1, 9003,
                                   3082, 34736, 1, 0,  3083, 34736, 1, 1,  3081, 34736, 1, 2,  3080, 34736, 1, 3};
// clang-format on
// keys and more entries, the directory claiming count of them
std::vector<uint16_t> with(std::vector<uint16_t> keys, std::vector<uint16_t> more, uint16_t count = 9) {
  keys.insert(keys.end(), more.begin(), more.end());
  keys[3] = count;
  return keys;
}
const char* const kUnparsed = "WARNING: could not parse projection from geo keys\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, PtcGeoKeys,
    ::testing::Values(
        GeoKeyCase{"Utm", {1, 1, 0, 1, 3072, 0, 1, 26917}, GEO_PROJECTION_UTM, 500000.0, ""},
        GeoKeyCase{"SurveyFeetBecomeMetres", with(kTm, {3092, 34736, 1, 4}), GEO_PROJECTION_TM, 500000.0, ""},
        GeoKeyCase{"NoScaleNoProjection", with(kTm, {}, 8), -1, 0, kUnparsed},
        // the last entry, named by the directory, is not in the record
        GeoKeyCase{"MoreKeysThanTheRecordHolds", kTm, -1, 0, kUnparsed},
        GeoKeyCase{"IndexBeyondTheDoubles", with(kTm, {3092, 34736, 1, 5}), -1, 0, kUnparsed}),
    CaseName());

}  // namespace
