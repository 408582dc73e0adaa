// The spatial index from records written byte by byte: quadtree block forms,
// queries and merging, damaged records; the COPC hierarchy and its queries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "index/copcindex.hpp"
#include "index/lasindex.hpp"
#include "las/bytestreamin_array.hpp"
#include "tests/support/point_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

struct Bytes {
  std::vector<unsigned char> b;
  Bytes& raw(const void* p, size_t n) {
    b.insert(b.end(), static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n);
    return *this;
  }
  Bytes& sig(const char* s) { return raw(s, 4); }
  template <typename T>
  Bytes& v(T x) { return raw(&x, sizeof(T)); }
};

using Cell = std::pair<int32_t, std::vector<std::pair<uint32_t, uint32_t>>>;

// Extent 0..100 on both axes. Level-1 cells 1, 2, 3 (lower left, lower
// right, upper left); the upper right quarter is split into level-2 cells
// 17 and 18 (its lower left and lower right quarters).
const std::vector<Cell> kCells = {
    {1, {{0, 99}}}, {2, {{600, 699}}}, {3, {{1800, 1899}}}, {17, {{1950, 1969}}}, {18, {{1980, 1999}}}};

std::vector<unsigned char> index_record(bool old_block, uint32_t levels = 2, const std::vector<Cell>& cells = kCells) {
  Bytes r;
  r.sig("LASX").v<uint32_t>(0).sig("LASS").v<uint32_t>(0);
  if (!old_block) r.sig("LASQ").v<uint32_t>(0);
  r.v(levels).v<uint32_t>(0).v<uint32_t>(0).v(0.0f).v(100.0f).v(0.0f).v(100.0f);
  r.sig("LASV").v<uint32_t>(0).v(static_cast<uint32_t>(cells.size()));
  for (const Cell& c : cells) {
    r.v(c.first).v(static_cast<uint32_t>(c.second.size())).v<uint32_t>(7);
    for (const auto& i : c.second) r.v(i.first).v(i.second);
  }
  return r.b;
}

bool read_index(LASindex& index, const std::vector<unsigned char>& bytes, uint64_t npoints = 2000) {
  ByteStreamInArrayLE stream(bytes.data(), static_cast<long long>(bytes.size()));
  return index.read(&stream, npoints);
}

using Intervals = std::vector<std::pair<uint32_t, uint32_t>>;

Intervals intervals_of(LASindex& index) {
  Intervals out;
  while (index.has_intervals()) out.push_back({index.start, index.end});
  return out;
}

struct QueryCase {
  const char* name;
  char kind;  // 'r' rectangle, 't' tile, 'c' circle
  double a, b, c, d;
  Intervals expected;
};

class IndexQuery : public ::testing::TestWithParam<std::tuple<QueryCase, bool>> {};

TEST_P(IndexQuery, MergedIntervals) {
  const QueryCase& q = std::get<0>(GetParam());
  lastest::Messages w;
  LASindex index;
  ASSERT_TRUE(read_index(index, index_record(std::get<1>(GetParam()))));
  if (q.kind == 'r') index.intersect_rectangle(q.a, q.b, q.c, q.d);
  if (q.kind == 't') index.intersect_tile(float(q.a), float(q.b), float(q.c));
  if (q.kind == 'c') index.intersect_circle(q.a, q.b, q.c);
  EXPECT_EQ(intervals_of(index), q.expected);
  EXPECT_TRUE(w.texts(LAS_WARNING).empty());
}

const QueryCase kQueries[] = {
    {"OneCell", 'r', 10, 10, 20, 20, {{0, 99}}},
    {"Gap501Merges", 'r', 10, 10, 60, 20, {{0, 699}}},
    {"Gap1101StaysApart", 'r', 10, 10, 20, 60, {{0, 99}, {1800, 1899}}},
    {"MaxXOnCentreOnlyLeft", 'r', 10, 10, 50, 20, {{0, 99}}},
    {"MinXOnCentreOnlyRight", 't', 50, 0, 50, 0, {{600, 699}}},
    {"OutsideExtent", 'r', 200, 200, 300, 300, {}},
    {"AdaptiveLeaf", 'r', 80, 55, 90, 60, {{1980, 1999}}},
    {"CircleSkipsFarCell", 'c', 75, 75, 30, 0, {{600, 699}, {1800, 1999}}},
    {"CircleInOneCell", 'c', 25, 25, 10, 0, {{0, 99}}},
};

INSTANTIATE_TEST_SUITE_P(Index, IndexQuery, ::testing::Combine(::testing::ValuesIn(kQueries), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "OldBlock" : "NewBlock");
                         });

struct DamageCase {
  const char* name;
  size_t cut;           // keep this many bytes (0: all)
  size_t at;            // overwrite 4 bytes here (0: nothing)
  const char* replace;  // the 4 bytes
  uint64_t npoints;
  const char* warning;  // the first warning
};

class IndexDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(IndexDamage, WarnsAndStaysEmpty) {
  const DamageCase& d = GetParam();
  std::vector<unsigned char> bytes = index_record(false);
  if (d.at) memcpy(&bytes[d.at], d.replace, 4);
  if (d.cut) bytes.resize(d.cut);
  lastest::Messages w;
  LASindex index;
  EXPECT_FALSE(read_index(index, bytes, d.npoints));
  EXPECT_FALSE(index.is_loaded());
  EXPECT_FALSE(index.intersect_rectangle(0, 0, 100, 100));
  ASSERT_FALSE(w.texts(LAS_WARNING).empty());
  EXPECT_EQ(w.texts(LAS_WARNING)[0], d.warning);
  EXPECT_EQ(w.at_least(LAS_ERROR), 0);
}

// Record offsets: LASS at 8, levels at 24, min_y at 44, LASV at 52, the
// first cell number at 64 and its first start at 76, the last end at 160.
const DamageCase kDamages[] = {
    {"Empty", 2, 0, "", 2000, "(LASindex): reading signature"},
    {"IndexSignature", 0, 0 + 1, "ASY ", 2000, "(LASindex): wrong signature LASY instead of 'LASX'"},
    {"SpatialSignature", 0, 8, "LAST", 2000, "(LASquadtree): wrong LASspatial signature LAST instead of 'LASS'"},
    {"CutInExtent", 46, 0, "", 2000, "(LASquadtree): reading min_y"},
    {"TooManyLevels", 0, 24, "\x10\0\0\0", 2000, "(LASquadtree): 16 levels are more than the 15 supported"},
    {"IntervalSignature", 0, 52, "LASW", 2000, "(LASinterval): wrong signature LASW instead of 'LASV'"},
    {"CutInLastInterval", 162, 0, "", 2000, "(LASinterval): reading end 0 of interval"},
    {"CellBeyondTree", 0, 64, "\x15\0\0\0", 2000, "(LASindex): cell 21 lies outside a tree of 2 levels"},
    {"NegativeCell", 0, 64, "\xff\xff\xff\xff", 2000, "(LASindex): cell -1 lies outside a tree of 2 levels"},
    {"IntervalBeyondPoints", 0, 0, "", 1999, "(LASindex): interval 1980-1999 lies beyond the 1999 points"},
    {"ReversedInterval", 0, 76, "\xff\0\0\0", 2000, "(LASindex): interval 255-99 ends before it starts"},
    {"LeafAndParent", 0, 64, "\x04\0\0\0", 2000, "(LASindex): cell 4 is both a leaf and the parent of other cells"},
};

INSTANTIATE_TEST_SUITE_P(Index, IndexDamage, ::testing::ValuesIn(kDamages), testsupport::CaseName());

TEST(IndexDamage, EveryCutWarns) {
  const std::vector<unsigned char> whole = index_record(true);
  for (size_t cut = 0; cut < whole.size(); cut++) {
    lastest::Messages w;
    LASindex index;
    EXPECT_FALSE(read_index(index, std::vector<unsigned char>(whole.begin(), whole.begin() + cut))) << cut;
    EXPECT_FALSE(w.texts(LAS_WARNING).empty()) << cut;
  }
}

// COPC: hierarchy pages in an EVLR payload that starts at file position 1000.
struct CopcCase {
  const char* name;
  uint64_t root_offset, root_size;
  int64_t points;
  bool ok;
  std::vector<uint64_t> offsets;  // of the loaded entries
  uint32_t pages;
  const char* warning;
};

// The COPC info of a cube centred at (50, 50, 50) with half size 50 and its
// root page, and the point count, in the header.
void set_copc_info(LASheader& h, uint64_t root_offset, uint64_t root_size, int64_t points) {
  Bytes info;
  info.v(50.0).v(50.0).v(50.0).v(50.0).v(1.0).v(root_offset).v(root_size);
  info.b.resize(160);
  h.vlr_copc_info = new unsigned char[160];
  memcpy(h.vlr_copc_info, info.b.data(), 160);
  h.extended_number_of_point_records = static_cast<uint64_t>(points);
}

class CopcHierarchy : public ::testing::TestWithParam<CopcCase> {};

TEST_P(CopcHierarchy, Loads) {
  const CopcCase& c = GetParam();
  Bytes payload;
  auto entry = [&](int32_t level, int32_t x, uint64_t offset, int32_t size, int32_t count) {
    payload.v(level).v(x).v<int32_t>(0).v<int32_t>(0).v(offset).v(size).v(count);
  };
  // Root page (1000, 96 bytes): two data nodes and a child page reference.
  entry(0, 0, 9000, 50, 10);
  entry(1, 1, 5000, 50, 20);
  entry(1, 0, 1096, 64, -1);
  // Child page (1096, 64 bytes).
  entry(2, 0, 7000, 50, 30);
  entry(2, 1, 6000, 50, -2);  // neither data nor page: ignored
  LASheader h;
  set_copc_info(h, c.root_offset, c.root_size, c.points);
  lastest::Messages w;
  EXPECT_EQ(EPToctree::set_vlr_entries(payload.b.data(), payload.b.size(), 1000, h), c.ok);
  std::vector<uint64_t> offsets;
  for (uint32_t i = 0; i < h.number_of_copc_entries; i++) offsets.push_back(h.vlr_copc_entries[i].offset);
  EXPECT_EQ(offsets, c.offsets);
  EXPECT_EQ(h.number_of_copc_pages, c.pages);
  EXPECT_EQ(w.texts(LAS_WARNING), c.warning ? std::vector<std::string>{c.warning} : std::vector<std::string>{});
  if (!c.ok || offsets.size() < 3) return;
  // Points are numbered in offset order: 5000 has 0-19, 7000 20-49, 9000
  // 50-59. The level-1 node x = 1 covers x 50..100.
  COPCindex index(h);
  std::vector<std::pair<uint64_t, uint64_t>> found;
  index.intersect_rectangle(60, 0, 70, 10);
  while (index.has_intervals()) found.push_back({index.start, index.end});
  index.set_depth_limit(0);
  index.query_depth();
  while (index.has_intervals()) found.push_back({index.start, index.end});
  const std::vector<std::pair<uint64_t, uint64_t>> expected = {{0, 19}, {50, 59}, {50, 59}};
  EXPECT_EQ(found, expected);
}

const char* const kMismatch = "COPC EPT hierarchy EVLR number of point does not match with the header.";
const CopcCase kCopc[] = {
    {"OnePage", 1000, 64, 30, true, {5000, 9000}, 1, nullptr},
    {"RootAndChildPage", 1000, 96, 60, true, {5000, 7000, 9000}, 2, nullptr},
    {"CountMismatch", 1000, 96, 61, false, {}, 0, kMismatch},
    {"RootOutsidePayload", 1100, 96, 60, false, {}, 0, nullptr},
    {"RootBeforePayload", 968, 64, 60, false, {}, 0, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Index, CopcHierarchy, ::testing::ValuesIn(kCopc), testsupport::CaseName());

// A data node at a level no octree has (found by fuzzing: the level was
// negated for the cube size) stays a candidate of every area.
TEST(CopcNode, AtAnImpossibleLevelIsKeptForEveryArea) {
  Bytes payload;
  payload.v<int32_t>(INT32_MIN).v<int32_t>(3).v<int32_t>(0).v<int32_t>(0).v<uint64_t>(5000).v<int32_t>(50).v<int32_t>(10);
  LASheader h;
  set_copc_info(h, 1000, 32, 10);
  ASSERT_TRUE(EPToctree::set_vlr_entries(payload.b.data(), payload.b.size(), 1000, h));
  COPCindex index(h);
  ASSERT_TRUE(index.intersect_rectangle(90, 90, 95, 95));
  ASSERT_TRUE(index.has_intervals());
  EXPECT_EQ(index.start, 0u);
  EXPECT_EQ(index.end, 9u);
}

}  // namespace
