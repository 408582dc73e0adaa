// RasterPTC: the VLR payload bytes and its failures, the cell grid, the
// z-from-attribute rule, and the reader on point files written here: cell
// placement, units, later points winning, extent and geometry refusals,
// and files whose points end early.
#include <gtest/gtest.h>
#include <unistd.h>  // truncate

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout.hpp"
#include "las/laspoint.hpp"
#include "lasio/laswriterlas.hpp"
#include "raster/lasvlrrasterptc.hpp"
#include "raster/srptcgrid.hpp"
#include "raster/srreader.hpp"
#include "raster/srreader_ptc.hpp"
#include "raster/srwriter_ptc.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasutility.hpp"

namespace {

using lastest::Messages;
using testsupport::TempDir;

constexpr int kNodataCell = INT_MIN;

// The raster of the worked example: 4 x 3 cells of 1 x 1 from (1000, 2000).
LASvlrRasterPTC example_raster() {
  LASvlrRasterPTC r;
  r.nbands = 1;
  r.nbits = 32;
  r.ncols = 4;
  r.nrows = 3;
  r.stepx = 1.0;
  r.stepy = 1.0;
  r.llx = 1000.0;
  r.lly = 2000.0;
  return r;
}

// ---------------------------------------------------------------------------
// The VLR payload

TEST(RasterPtcVlr, PayloadBytesOfTheExampleAndRoundTrip) {
  const LASvlrRasterPTC r = example_raster();
  EXPECT_EQ(r.get_record_id(), 7113);
  EXPECT_STREQ(r.get_user_id(), "Raster PTC");
  ASSERT_EQ(r.get_payload_size(), 80);
  unsigned char* bytes = r.get_payload();
  ASSERT_NE(bytes, nullptr);
  const unsigned char head[16] = {1, 0, 0, 0, 0x20, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0};
  EXPECT_EQ(0, memcmp(bytes, head, 16));
  // reserved fields, then the doubles in payload order, little-endian
  const unsigned char zeros[8] = {0};
  EXPECT_EQ(0, memcmp(bytes + 16, zeros, 8));
  const unsigned char one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};           // 1.0
  const unsigned char thousand[8] = {0, 0, 0, 0, 0, 0x40, 0x8F, 0x40};   // 1000.0
  const unsigned char two_thousand[8] = {0, 0, 0, 0, 0, 0x40, 0x9F, 0x40};  // 2000.0
  EXPECT_EQ(0, memcmp(bytes + 24, one, 8));
  EXPECT_EQ(0, memcmp(bytes + 32, zeros, 8));
  EXPECT_EQ(0, memcmp(bytes + 40, one, 8));
  EXPECT_EQ(0, memcmp(bytes + 48, zeros, 8));
  EXPECT_EQ(0, memcmp(bytes + 56, thousand, 8));
  EXPECT_EQ(0, memcmp(bytes + 64, two_thousand, 8));
  EXPECT_EQ(0, memcmp(bytes + 72, zeros, 8));

  LASvlrRasterPTC back;
  ASSERT_TRUE(back.set_payload(bytes, 80));
  free(bytes);
  EXPECT_EQ(back.nbands, 1);
  EXPECT_EQ(back.nbits, 32);
  EXPECT_EQ(back.ncols, 4);
  EXPECT_EQ(back.nrows, 3);
  EXPECT_EQ(back.llx, 1000.0);
  EXPECT_EQ(back.lly, 2000.0);
  EXPECT_EQ(back.stepx, 1.0);
  EXPECT_EQ(back.stepy, 1.0);
}

TEST(RasterPtcVlr, EveryFieldRoundTripsIncludingReservedAndSigma) {
  LASvlrRasterPTC r;
  r.nbands = 2;
  r.nbits = 16;
  r.ncols = -7;
  r.nrows = 123456;
  r.reserved1 = -5;
  r.reserved2 = 77;
  r.stepx = 0.25;
  r.stepx_y = -0.125;
  r.stepy = 3.5;
  r.stepy_x = 1e-9;
  r.llx = -123456.789;
  r.lly = 9876543.21;
  r.sigmaxy = 0.015625;
  unsigned char* bytes = r.get_payload();
  ASSERT_NE(bytes, nullptr);
  LASvlrRasterPTC b;
  ASSERT_TRUE(b.set_payload(bytes, 80));
  free(bytes);
  EXPECT_EQ(b.nbands, 2);
  EXPECT_EQ(b.nbits, 16);
  EXPECT_EQ(b.ncols, -7);
  EXPECT_EQ(b.nrows, 123456);
  EXPECT_EQ(b.reserved1, -5);
  EXPECT_EQ(b.reserved2, 77);
  EXPECT_EQ(b.stepx, 0.25);
  EXPECT_EQ(b.stepx_y, -0.125);
  EXPECT_EQ(b.stepy, 3.5);
  EXPECT_EQ(b.stepy_x, 1e-9);
  EXPECT_EQ(b.llx, -123456.789);
  EXPECT_EQ(b.lly, 9876543.21);
  EXPECT_EQ(b.sigmaxy, 0.015625);
}

// The field at each payload offset, as the load and save messages name it.
struct FieldCase {
  int bytes;  // bytes available (load) or accepted (save)
  const char* field;
};

const FieldCase kFields[] = {{0, "nbands"},    {3, "nbands"},    {4, "nbits"},     {8, "ncols"},   {12, "nrows"},
                             {16, "reserved1"}, {20, "reserved2"}, {24, "stepx"},    {31, "stepx"},  {32, "stepx_y"},
                             {40, "stepy"},     {48, "stepy_x"},   {56, "llx"},      {64, "lly"},    {72, "sigmax"},
                             {79, "sigmax"}};

class ShortPayload : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ShortPayload, NamesTheFirstFieldThatCannotBeRead) {
  Messages messages;
  const LASvlrRasterPTC full = example_raster();
  unsigned char* bytes = full.get_payload();
  ASSERT_NE(bytes, nullptr);
  LASvlrRasterPTC r;
  EXPECT_FALSE(r.set_payload(GetParam().bytes ? bytes : nullptr, GetParam().bytes));
  free(bytes);
  ASSERT_EQ(messages.count(LAS_ERROR), 1) << messages.dump();
  EXPECT_EQ(messages.entries.back().text, std::string("reading LASvlrRasterPTC.") + GetParam().field);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ShortPayload, ::testing::ValuesIn(kFields),
                         [](const ::testing::TestParamInfo<FieldCase>& info) {
                           return std::string(info.param.field) + "_" + std::to_string(info.param.bytes);
                         });

// An output stream that takes `room` bytes and then fails.
class FullStream : public ByteStreamOut {
 public:
  explicit FullStream(int room) : room(room) {}
  bool putByte(unsigned char) override { return take(1); }
  bool putBytes(const unsigned char*, unsigned int n) override { return take(static_cast<int>(n)); }
  bool put16bitsLE(const unsigned char*) override { return take(2); }
  bool put32bitsLE(const unsigned char*) override { return take(4); }
  bool put64bitsLE(const unsigned char*) override { return take(8); }
  bool put16bitsBE(const unsigned char*) override { return take(2); }
  bool put32bitsBE(const unsigned char*) override { return take(4); }
  bool put64bitsBE(const unsigned char*) override { return take(8); }
  bool isSeekable() const override { return false; }
  long long tell() const override { return used; }
  bool seek(long long) override { return false; }
  bool seekEnd() override { return false; }

 private:
  bool take(int n) {
    if (used + n > room) return false;
    used += n;
    return true;
  }
  int room;
  int used = 0;
};

class FullOutput : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FullOutput, NamesTheFirstFieldThatCannotBeWritten) {
  const FieldCase c = GetParam();
  Messages messages;
  FullStream out(c.bytes);
  EXPECT_FALSE(example_raster().save(&out));
  ASSERT_EQ(messages.count(LAS_ERROR), 1) << messages.dump();
  // the reading message of the last field says sigmax, the writing one sigmaxy
  const std::string field = std::string(c.field) == "sigmax" ? "sigmaxy" : c.field;
  EXPECT_EQ(messages.entries.back().text, "writing LASvlrRasterPTC." + field);
}

INSTANTIATE_TEST_SUITE_P(Room, FullOutput, ::testing::ValuesIn(kFields),
                         [](const ::testing::TestParamInfo<FieldCase>& info) {
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

TEST(RasterPtcGrid, PlacesByTruncationAndIgnoresWhatLiesOutside) {
  SRptcGrid g;
  ASSERT_TRUE(g.allocate(4, 3, 1000.0, 2003.0, 1.0, 1.0));
  EXPECT_EQ(g.cells(), 12);
  for (int64_t i = 0; i < 12; i++) EXPECT_FALSE(g.has(i));
  EXPECT_TRUE(g.place(1000.5, 2002.5, 7));    // cell 0
  EXPECT_TRUE(g.place(1003.5, 2000.5, 11));   // cell 11
  EXPECT_TRUE(g.place(999.5, 2002.5, 5));     // truncation toward zero: column 0
  EXPECT_FALSE(g.place(1004.0, 2002.5, 1));   // column 4
  EXPECT_FALSE(g.place(1000.5, 2000.0, 1));   // row 3
  EXPECT_FALSE(g.place(998.9, 2002.5, 1));    // column -1
  EXPECT_FALSE(g.place(std::nan(""), 2002.5, 1));
  EXPECT_FALSE(g.place(1e300, -1e300, 1));
  EXPECT_TRUE(g.has(0));
  EXPECT_EQ(g.at(0), 5);  // the later point in the cell
  EXPECT_TRUE(g.has(11));
  EXPECT_EQ(g.at(11), 11);
  for (int64_t i = 1; i < 11; i++) EXPECT_FALSE(g.has(i)) << i;
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
  q.z_scale_factor = 0.01;
  q.z_offset = 100.0;
  LASattributer table;
  // a 1-byte attribute before the one that carries z
  ASSERT_EQ(table.add_attribute(LASattribute(1, "first")), 0);
  LASattribute a(c.data_type, "z", nullptr, c.data_type == 0 ? static_cast<unsigned char>(c.bytes.size()) : 0);
  a.options = c.options;
  a.scale[0] = c.scale;
  a.offset[0] = c.offset;
  ASSERT_EQ(table.add_attribute(a), 1);
  const LASitem items[2] = {{LASitem::POINT10, 20, 0},
                            {LASitem::BYTE, static_cast<uint16_t>(1 + c.bytes.size()), 0}};
  LASpoint p;
  ASSERT_TRUE(p.init(&q, 2, items, &table));
  memcpy(p.extra_bytes + 1, c.bytes.data(), c.bytes.size());
  EXPECT_EQ(sr_ptc_attribute_z(p, 1, q), c.expected);
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
        AttributeCase{"NaN", 10, as_bytes<double>(std::nan("")), 0, 1, 0, 0}),
    [](const ::testing::TestParamInfo<AttributeCase>& info) { return info.param.name; });

TEST(AttributeZNoDescriptions, ValueIsZeroWithoutTableIndexOrBytes) {
  LASquantizer q;
  q.z_scale_factor = 0.01;
  q.z_offset = -1.0;
  const LASitem items[2] = {{LASitem::POINT10, 20, 0}, {LASitem::BYTE, 2, 0}};
  LASpoint bare;
  ASSERT_TRUE(bare.init(&q, 2, items, nullptr));
  EXPECT_EQ(sr_ptc_attribute_z(bare, 0, q), 100);  // (0 - -1) / 0.01

  LASattributer table;
  ASSERT_EQ(table.add_attribute(LASattribute(4, "z")), 0);  // i16, 2 bytes
  LASpoint p;
  ASSERT_TRUE(p.init(&q, 2, items, &table));
  p.extra_bytes[0] = 1;
  EXPECT_EQ(sr_ptc_attribute_z(p, 0, q), 200);
  EXPECT_EQ(sr_ptc_attribute_z(p, 1, q), 100);  // index beyond the table

  // a descriptor that claims more bytes than the point holds reads 0
  LASattributer wide;
  ASSERT_EQ(wide.add_attribute(LASattribute(10, "z")), 0);  // f64, 8 bytes
  LASpoint q2;
  ASSERT_TRUE(q2.init(&q, 2, items, &wide));
  EXPECT_EQ(sr_ptc_attribute_z(q2, 0, q), 100);
}

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
  double z_scale = 0.01;
  double z_offset = 0.0;
  bool with_vlr = true;
  const char* user_id = "Raster PTC";
  uint16_t record_id = 7113;
  uint16_t vlr_length = 80;
  uint16_t compressor = PTcomp::COMPRESSOR_POINTWISE_CHUNKED;
  uint32_t chunk_size = PTcomp::CHUNK_SIZE_DEFAULT;
};

bool write_ptc(const std::string& path, const PtcFile& f) {
  LASheader h;
  h.x_scale_factor = 0.001;
  h.y_scale_factor = 0.001;
  h.z_scale_factor = f.z_scale;
  h.z_offset = f.z_offset;
  // another record first, so that the reader has to search
  const char wkt[] = "LOCAL_CS[\"test\"]";
  if (!h.add_vlr("LASF_Projection", 2112, sizeof(wkt), (unsigned char*)wkt, false)) return false;
  if (f.with_vlr) {
    unsigned char* payload = f.raster.get_payload();
    const bool ok = h.add_vlr(f.user_id, f.record_id, f.vlr_length, payload, false);
    free(payload);
    if (!ok) return false;
  }
  LASwriterLAS w;
  if (!w.open(path.c_str(), &h, f.compressor, f.chunk_size)) return false;
  LASpoint p;
  if (!p.init(&h, w.get_ptcomp().num_items, w.get_ptcomp().items, &h)) return false;
  for (const Pt& pt : f.points) {
    p.X = static_cast<int32_t>(std::llround(pt.x / 0.001));
    p.Y = static_cast<int32_t>(std::llround(pt.y / 0.001));
    p.Z = pt.z;
    if (!w.write_point(&p)) return false;
  }
  return w.close() > 0;
}

struct Opened {
  std::unique_ptr<SRreader_ptc> reader;
  bool ok = false;
  std::string err;
};

Opened open_ptc(const std::string& path, double scale = 0.0) {
  Opened o;
  o.reader = std::make_unique<SRreader_ptc>();
  if (scale != 0.0) o.reader->set_scale(scale);
  testing::internal::CaptureStderr();
  o.ok = o.reader->open(path.c_str(), nullptr);
  o.err = testing::internal::GetCapturedStderr();
  return o;
}

std::vector<int> cells_one_by_one(SRreader* r) {
  std::vector<int> out;
  while (r->read_raster()) out.push_back(r->is_nodata() ? kNodataCell : r->value[0]);
  return out;
}

// All cells in uneven batches; value[0], is_nodata() and r_count follow the
// last cell of every batch.
std::vector<int> cells_in_batches(SRreader* r) {
  std::vector<int> out;
  const int64_t before = r->r_count;
  std::vector<int32_t> v(70);
  std::vector<uint8_t> f(70);
  const int64_t sizes[] = {1, 5, 31, 32, 33, 70, 2};
  for (int i = 0;; i++) {
    const int64_t n = sizes[i % 7];
    const int64_t got = r->read_cells(n, v.data(), f.data());
    for (int64_t k = 0; k < got; k++) out.push_back(f[k] ? kNodataCell : v[k]);
    if (got > 0) {
      EXPECT_EQ(r->value[0], v[got - 1]);
      EXPECT_EQ(r->is_nodata(), f[got - 1] != 0);
      EXPECT_EQ(r->r_count, before + static_cast<int64_t>(out.size()));
    }
    if (got < n) break;
  }
  return out;
}

class PtcReader : public ::testing::Test {
 protected:
  std::string file(const PtcFile& f, const char* name = "r.ptc") {
    const std::string path = dir.file(name);
    EXPECT_TRUE(write_ptc(path, f));
    return path;
  }
  TempDir dir;
};

TEST_F(PtcReader, ExampleGeometryUnitsAndTheTwoCornerCells) {
  PtcFile f;
  f.points = std::vector<Pt>{{1000.5, 2002.5, 1234}, {1003.5, 2000.5, -77}};
  const std::string path = file(f);
  Opened o = open_ptc(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.err, "");
  SRreader& r = *o.reader;
  EXPECT_EQ(r.ncols, 4);
  EXPECT_EQ(r.nrows, 3);
  EXPECT_EQ(r.nbits, 32);
  EXPECT_EQ(r.nbands, 1);
  EXPECT_EQ(r.llx, 1000.0);
  EXPECT_EQ(r.lly, 2000.0);
  EXPECT_EQ(r.urx, 1004.0);
  EXPECT_EQ(r.ury, 2003.0);
  EXPECT_EQ(r.stepx, 1.0);
  EXPECT_EQ(r.stepy, 1.0);
  EXPECT_EQ(r.scale[0], 0.01);
  EXPECT_EQ(r.offset[0], 0.0);
  EXPECT_EQ(r.r_count, 0);
  std::vector<int> expected(12, kNodataCell);
  expected[0] = 1234;
  expected[11] = -77;
  EXPECT_EQ(cells_one_by_one(&r), expected);
  EXPECT_EQ(r.r_count, 12);
  EXPECT_FALSE(r.read_raster());
  testing::internal::CaptureStderr();
  r.close(true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(PtcReader, NodataCellsHaveValueZeroAndBatchesMatchSingleCells) {
  PtcFile f;
  f.points = std::vector<Pt>{{1001.5, 2001.5, 42}};
  const std::string path = file(f);
  Opened a = open_ptc(path);
  ASSERT_TRUE(a.ok) << a.err;
  ASSERT_TRUE(a.reader->read_raster());
  EXPECT_TRUE(a.reader->is_nodata());
  EXPECT_EQ(a.reader->value[0], 0);
  std::vector<int> expected(12, kNodataCell);
  expected[5] = 42;
  std::vector<int> rest = cells_one_by_one(a.reader.get());
  rest.insert(rest.begin(), kNodataCell);
  EXPECT_EQ(rest, expected);
  Opened b = open_ptc(path);
  ASSERT_TRUE(b.ok) << b.err;
  EXPECT_EQ(cells_in_batches(b.reader.get()), expected);
  EXPECT_EQ(b.reader->grid_cells(), 12);
}

// Where a point at (x, y) lands in the 4 x 3 example raster.
struct PlaceCase {
  const char* name;
  double x, y;
  int cell;  // -1: ignored
};

class CellPlacement : public PtcReader, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(CellPlacement, PointFillsItsCell) {
  const PlaceCase& c = GetParam();
  PtcFile f;
  f.points = std::vector<Pt>{{c.x, c.y, 99}};
  Opened o = open_ptc(file(f));
  ASSERT_TRUE(o.ok) << o.err;
  std::vector<int> expected(12, kNodataCell);
  if (c.cell >= 0) expected[c.cell] = 99;
  EXPECT_EQ(cells_in_batches(o.reader.get()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CellPlacement,
    ::testing::Values(PlaceCase{"NorthWest", 1000.5, 2002.5, 0}, PlaceCase{"SouthEast", 1003.5, 2000.5, 11},
                      PlaceCase{"NorthEast", 1003.5, 2002.5, 3}, PlaceCase{"SouthWest", 1000.5, 2000.5, 8},
                      PlaceCase{"WestEdgeOfColumnOne", 1001.0, 2001.5, 5},
                      PlaceCase{"NorthEdgeOfRowOne", 1002.5, 2002.0, 6},
                      PlaceCase{"LowerLeftCorner", 1000.0, 2000.001, 8},
                      PlaceCase{"UpperLeftCorner", 1000.0, 2003.0, 0},
                      PlaceCase{"EastEdgeIsOutside", 1004.0, 2001.5, -1},
                      PlaceCase{"SouthEdgeIsOutside", 1001.5, 2000.0, -1},
                      PlaceCase{"JustInsideTheEast", 1003.999, 2001.5, 7}),
    [](const ::testing::TestParamInfo<PlaceCase>& info) { return info.param.name; });

TEST_F(PtcReader, LaterPointsInACellReplaceEarlierOnes) {
  PtcFile f;
  f.points = std::vector<Pt>{{1002.2, 2001.2, 1}, {1000.5, 2002.5, 5}, {1002.9, 2001.9, 2}, {1002.5, 2001.5, 3}};
  Opened o = open_ptc(file(f));
  ASSERT_TRUE(o.ok) << o.err;
  std::vector<int> expected(12, kNodataCell);
  expected[0] = 5;
  expected[6] = 3;
  EXPECT_EQ(cells_one_by_one(o.reader.get()), expected);
}

// Units: the point file's z quantisation, or the one asked for.
struct UnitCase {
  const char* name;
  double set_scale;  // 0: none
  int32_t z;
  int expected;
  double scale0;
};

class Rescale : public PtcReader, public ::testing::WithParamInterface<UnitCase> {};

TEST_P(Rescale, ValuesInTheRequestedUnit) {
  const UnitCase& c = GetParam();
  PtcFile f;
  f.z_offset = 50.0;
  f.points = std::vector<Pt>{{1000.5, 2002.5, c.z}};
  Opened o = open_ptc(file(f), c.set_scale);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->scale[0], c.scale0);
  EXPECT_EQ(o.reader->offset[0], 50.0);
  ASSERT_TRUE(o.reader->read_raster());
  EXPECT_FALSE(o.reader->is_nodata());
  EXPECT_EQ(o.reader->value[0], c.expected);
  std::vector<int> cells = cells_in_batches(o.reader.get());
  ASSERT_EQ(cells.size(), 11u);
}

INSTANTIATE_TEST_SUITE_P(Units, Rescale,
                         ::testing::Values(UnitCase{"FileUnit", 0.0, 12345, 12345, 0.01},
                                           UnitCase{"Tenths", 0.1, 12345, 1235, 0.1},
                                           UnitCase{"TenthsNegative", 0.1, -12345, -1235, 0.1},
                                           UnitCase{"SameAsFile", 0.01, 12345, 12345, 0.01},
                                           UnitCase{"Finer", 0.001, 12345, 123450, 0.001},
                                           UnitCase{"FinerClamps", 0.00001, 2000000000, INT32_MAX, 0.00001}),
                         [](const ::testing::TestParamInfo<UnitCase>& info) { return info.param.name; });

// Files whose points lie outside the raster the record describes.
struct ExtentCase {
  const char* name;
  double x, y;
  const char* message;
};

class ExtentViolation : public PtcReader, public ::testing::WithParamInterface<ExtentCase> {};

TEST_P(ExtentViolation, IsRefusedWithItsMessage) {
  const ExtentCase& c = GetParam();
  PtcFile f;
  f.points = std::vector<Pt>{{1001.5, 2001.5, 1}, {c.x, c.y, 2}};
  const std::string path = file(f);
  Opened o = open_ptc(path);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, std::string("ERROR: invalid RasterPTC (") + c.message + ") for '" + path + "'\n");
}

INSTANTIATE_TEST_SUITE_P(Sides, ExtentViolation,
                         ::testing::Values(ExtentCase{"West", 999.99, 2001.0, "min_x is smaller than llx"},
                                           ExtentCase{"South", 1001.0, 1999.99, "min_y is smaller than lly"},
                                           ExtentCase{"East", 1004.01, 2001.0, "max_x is larger than urx"},
                                           ExtentCase{"North", 1001.0, 2003.01, "max_y is larger than ury"},
                                           ExtentCase{"WestWins", 999.0, 2004.0, "min_x is smaller than llx"}),
                         [](const ::testing::TestParamInfo<ExtentCase>& info) { return info.param.name; });

// Records that are not the RasterPTC record.
struct RecordCase {
  const char* name;
  bool with_vlr;
  const char* user_id;
  uint16_t record_id;
};

class MissingRecord : public PtcReader, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(MissingRecord, IsNotFound) {
  const RecordCase& c = GetParam();
  PtcFile f;
  f.with_vlr = c.with_vlr;
  f.user_id = c.user_id;
  f.record_id = c.record_id;
  f.points = std::vector<Pt>{{1001.5, 2001.5, 1}};
  const std::string path = file(f);
  Opened o = open_ptc(path);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: cannot find RasterPTC VLR in '" + path + "'\n");
}

INSTANTIATE_TEST_SUITE_P(Records, MissingRecord,
                         ::testing::Values(RecordCase{"NoRecord", false, "Raster PTC", 7113},
                                           RecordCase{"OtherRecordId", true, "Raster PTC", 7114},
                                           RecordCase{"OtherUserId", true, "Raster PTX", 7113}),
                         [](const ::testing::TestParamInfo<RecordCase>& info) { return info.param.name; });

TEST_F(PtcReader, ShortRecordIsCorrupt) {
  Messages messages;  // keeps the run going after the load error
  PtcFile f;
  f.vlr_length = 44;
  f.points = std::vector<Pt>{{1001.5, 2001.5, 1}};
  const std::string path = file(f);
  Opened o = open_ptc(path);
  EXPECT_FALSE(o.ok);
  EXPECT_TRUE(messages.has(LAS_ERROR, "reading LASvlrRasterPTC.stepy")) << messages.dump();
  EXPECT_EQ(o.err, "ERROR: corrupt RasterPTC VLR in '" + path + "'\n");
}

TEST_F(PtcReader, NullNameAndMissingFile) {
  SRreader_ptc r;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(r.open(nullptr, nullptr));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: zero file name pointer not supported by SRreader_ptc\n");
  Messages messages;
  const std::string path = dir.file("none.ptc");
  Opened o = open_ptc(path);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: cannot open lasreaderlas with file name '" + path + "'\n");
}

// Geometry that no grid can hold is refused before any point is read.
struct GeometryCase {
  const char* name;
  int32_t ncols, nrows;
  double stepx, stepy;
  const char* message;  // printf format with the file name
};

class BadGeometry : public PtcReader, public ::testing::WithParamInterface<GeometryCase> {};

TEST_P(BadGeometry, IsRefusedAtOpen) {
  const GeometryCase& c = GetParam();
  PtcFile f;
  f.raster.ncols = c.ncols;
  f.raster.nrows = c.nrows;
  f.raster.stepx = c.stepx;
  f.raster.stepy = c.stepy;
  const std::string path = file(f);
  Opened o = open_ptc(path);
  EXPECT_FALSE(o.ok);
  char expected[512];
  snprintf(expected, sizeof(expected), c.message, path.c_str());
  EXPECT_EQ(o.err, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadGeometry,
    ::testing::Values(
        GeometryCase{"NoColumns", 0, 3, 1, 1, "ERROR: invalid RasterPTC (ncols 0 and nrows 3) for '%s'\n"},
        GeometryCase{"NegativeRows", 4, -3, 1, 1, "ERROR: invalid RasterPTC (ncols 4 and nrows -3) for '%s'\n"},
        GeometryCase{"ZeroStep", 4, 3, 0, 1,
                     "ERROR: invalid RasterPTC (stepx 0, stepy 1, llx 1000, lly 2000) for '%s'\n"},
        GeometryCase{"NaNStep", 4, 3, 1, std::nan(""),
                     "ERROR: invalid RasterPTC (stepx 1, stepy nan, llx 1000, lly 2000) for '%s'\n"},
        GeometryCase{"Absurd", INT32_MAX, INT32_MAX, 1e-9, 1e-9,
                     "ERROR: invalid RasterPTC (grid of 2147483647 x 2147483647 cells is too large) for '%s'\n"}),
    [](const ::testing::TestParamInfo<GeometryCase>& info) { return info.param.name; });

TEST_F(PtcReader, GridBeyondAvailableMemoryIsRefused) {
  PtcFile f;
  f.raster.ncols = 1000;
  f.raster.nrows = 1000;
  f.raster.lly = 2000.0 - 997.0;  // keeps the points inside
  f.points = std::vector<Pt>{{1001.5, 2001.5, 1}};
  const std::string path = file(f);
  set_available_RAM_override(2 * 1048576);  // the grid needs about 3.9 MB
  Opened o = open_ptc(path);
  set_available_RAM_override(0);
  EXPECT_FALSE(o.ok);
  EXPECT_EQ(o.err, "ERROR: RasterPTC grid of 1000 x 1000 cells needs 4 MB but only 2 MB of memory are available for '" +
                       path + "'\n");
  Opened fits = open_ptc(path);
  EXPECT_TRUE(fits.ok) << fits.err;
}

TEST_F(PtcReader, UncompressedAndPointwiseFilesReadAlike) {
  std::vector<int> expected(12, kNodataCell);
  PtcFile f;
  for (int i = 0; i < 12; i += 2) {
    f.points.push_back({1000.5 + i % 4, 2002.5 - i / 4, i * 1000 - 3});
    expected[i] = i * 1000 - 3;
  }
  for (uint16_t compressor : {PTcomp::COMPRESSOR_NONE, PTcomp::COMPRESSOR_POINTWISE,
                              PTcomp::COMPRESSOR_POINTWISE_CHUNKED}) {
    f.compressor = compressor;
    Opened o = open_ptc(file(f, "c.ptc"));
    ASSERT_TRUE(o.ok) << o.err;
    EXPECT_EQ(cells_in_batches(o.reader.get()), expected) << compressor;
  }
}

// A copy of 120 x 80 cells whose points end early must fail the first cell
// request and then deliver what could be decoded.
class TruncatedPoints : public PtcReader, public ::testing::WithParamInterface<double> {};

TEST_P(TruncatedPoints, FirstCellFailsAndTheReaderSaysWhy) {
  PtcFile f;
  f.raster.ncols = 120;
  f.raster.nrows = 80;
  f.raster.lly = 2003.0 - 80;
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
  Opened o = open_ptc(path);
  ASSERT_TRUE(o.ok) << o.err;
  std::vector<int32_t> v(100);
  std::vector<uint8_t> nd(100);
  testing::internal::CaptureStderr();
  EXPECT_EQ(o.reader->read_cells(100, v.data(), nd.data()), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err.rfind("ERROR: corrupt or truncated RasterPTC '" + path + "': only ", 0), 0u) << err;
  EXPECT_NE(err.find(" of 9600 points could be read\n"), std::string::npos) << err;
  EXPECT_GE(messages.at_least(LAS_WARNING), 1) << messages.dump();
  EXPECT_EQ(o.reader->r_count, 1);
  EXPECT_TRUE(o.reader->is_nodata());
  // the rest comes as far as it was decoded, without another failure
  const std::vector<int> rest = cells_in_batches(o.reader.get());
  EXPECT_EQ(rest.size(), 9599u);
}

INSTANTIATE_TEST_SUITE_P(Shares, TruncatedPoints, ::testing::Values(0.0, 0.1, 0.5, 0.9, 0.99));

// ---------------------------------------------------------------------------
// The writer's quantisation puts every centre back into its own cell

struct AxisCase {
  const char* name;
  int32_t ncols, nrows;
  double llx, lly, stepx, stepy;
  double xscale;  // expected x scale factor
};

class WriterPlacement : public PtcReader, public ::testing::WithParamInterface<AxisCase> {};

TEST_P(WriterPlacement, EveryCellComesBackWithItsValue) {
  const AxisCase& c = GetParam();
  LASvlrRasterPTC g = example_raster();
  g.ncols = c.ncols;
  g.nrows = c.nrows;
  g.llx = c.llx;
  g.lly = c.lly;
  g.stepx = c.stepx;
  g.stepy = c.stepy;
  const std::string path = dir.file("w.ptc");
  SRwriter_ptc w;
  ASSERT_TRUE(w.open(path.c_str(), g, 0.01, 0.0));
  EXPECT_EQ(w.get_x_axis().scale, c.xscale);
  // every other cell, last row first, so that order plays no part
  std::vector<int> expected(static_cast<size_t>(c.ncols) * c.nrows, kNodataCell);
  for (int32_t row = c.nrows - 1; row >= 0; row--) {
    for (int32_t col = 0; col < c.ncols; col++) {
      const int64_t i = static_cast<int64_t>(row) * c.ncols + col;
      if (i % 2) continue;
      expected[i] = static_cast<int>(i * 3 - 1000);
      ASSERT_TRUE(w.write_cell(col, row, expected[i]));
    }
  }
  ASSERT_GT(w.close(), 0);
  Opened o = open_ptc(path);
  ASSERT_TRUE(o.ok) << o.err;
  EXPECT_EQ(o.reader->ncols, c.ncols);
  EXPECT_EQ(o.reader->nrows, c.nrows);
  EXPECT_EQ(cells_in_batches(o.reader.get()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Geometries, WriterPlacement,
    ::testing::Values(AxisCase{"Metre", 7, 5, 1000.0, 2000.0, 1.0, 1.0, 0.1},
                      AxisCase{"HalfMetreUtm", 9, 4, 500000.0, 4100000.0, 0.5, 0.5, 0.01},
                      AxisCase{"ThirtyMetre", 3, 6, 300015.0, 5000000.0, 30.0, 30.0, 1.0},
                      AxisCase{"ArcSecond", 8, 8, -105.0, 40.0, 1.0 / 3600, 1.0 / 3600, 1e-5},
                      AxisCase{"Thirds", 6, 6, 12.3456789, -98.7654321, 1.0 / 3, 0.7, 0.01},
                      AxisCase{"NonSquare", 5, 3, -10.0, -20.0, 2.0, 0.25, 0.1}),
    [](const ::testing::TestParamInfo<AxisCase>& info) { return info.param.name; });

TEST_F(PtcReader, WriterFallsBackToBinaryScaleWhenDecimalIndexesOverflow) {
  LASvlrRasterPTC g = example_raster();
  g.ncols = 22000000;  // 99 decimal steps of 0.1 per cell exceed 32 bits
  g.nrows = 1;
  g.stepx = 9.9;
  SRwriter_ptc w;
  ASSERT_TRUE(w.open(dir.file("wide.ptc").c_str(), g, 1.0, 0.0));
  EXPECT_EQ(w.get_x_axis().scale, 4.95);
  EXPECT_EQ(w.get_x_axis().centre[0], 1);
  EXPECT_EQ(w.get_x_axis().centre[21999999], 43999999);
  EXPECT_EQ(w.get_y_axis().scale, 0.1);
  EXPECT_GT(w.close(), 0);
}

TEST_F(PtcReader, WriterRefusesGeometryWithoutCells) {
  Messages messages;
  LASvlrRasterPTC g = example_raster();
  g.stepx = -1.0;
  SRwriter_ptc w;
  EXPECT_FALSE(w.open(dir.file("bad.ptc").c_str(), g, 1.0, 0.0));
  EXPECT_EQ(messages.count(LAS_ERROR), 1) << messages.dump();
}

}  // namespace
