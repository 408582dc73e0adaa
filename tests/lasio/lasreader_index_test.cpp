// Area reads through a stored spatial index (".lax" file or PTC special
// record) give the points of the plain read; a damaged index costs the index.
#include <gtest/gtest.h>

#include <algorithm>  // shuffle, sort
#include <cstring>    // memcpy, memcmp
#include <random>     // query and point placement
#include <string>
#include <vector>

#include "index/lasindex.hpp"                // LASindex
#include "lasio/lasindexfile.hpp"            // index_point_file
#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "tests/lasio/las_file_helpers.hpp"  // make_header, kStorages, Messages
#include "tests/support/test_support.hpp"    // TempDir

namespace {

constexpr int kPoints = 20000;

struct Pt {
  int32_t X, Y;
};

// Points in blocks of 10 x 10 units (sorted) or in random order, with
// coordinates on a 0.01 grid so that some lie exactly on query edges.
std::vector<Pt> make_points(bool sorted) {
  std::mt19937 random(11);
  std::vector<Pt> points(kPoints);
  for (Pt& p : points) p = {static_cast<int32_t>(random() % 40000), static_cast<int32_t>(random() % 20000)};
  if (sorted) {
    // Z order of 2.56 x 2.56 blocks, as spatially sorted files have.
    auto z_order = [](const Pt& p) {
      uint32_t key = 0;
      for (int bit = 0; bit < 16; bit++) {
        key |= (((p.X >> 8) >> bit) & 1u) << (2 * bit);
        key |= (((p.Y >> 8) >> bit) & 1u) << (2 * bit + 1);
      }
      return key;
    };
    std::sort(points.begin(), points.end(), [&](const Pt& a, const Pt& b) { return z_order(a) < z_order(b); });
  }
  return points;
}

// Puts an index record where the reader looks for it: beside a LAS file, or
// after the points of a PTC file as the special record that the compressor
// settings announce.
void attach_index(const std::string& path, const std::vector<unsigned char>& record, int64_t count = 1,
                  uint8_t record_id = 30) {
  if (path.back() == 's') {
    lastest::write_bytes(path.substr(0, path.size() - 3) + "lax", record);
    return;
  }
  std::vector<unsigned char> bytes = lastest::read_bytes(path);
  const char* id = "ptcomp encoded";
  unsigned char* settings = &*std::search(bytes.begin(), bytes.end(), id, id + strlen(id)) + 16 + 2 + 2 + 32;
  const int64_t offset = static_cast<int64_t>(bytes.size());
  memcpy(settings + 16, &count, 8);
  memcpy(settings + 24, &offset, 8);
  unsigned char evlr[60] = {0};
  memcpy(evlr + 2, "Kestrel", 7);
  evlr[18] = record_id;
  const uint64_t length = record.size();
  memcpy(evlr + 20, &length, 8);
  bytes.insert(bytes.end(), evlr, evlr + 60);
  bytes.insert(bytes.end(), record.begin(), record.end());
  lastest::write_bytes(path, bytes);
}

struct IndexCase {
  const char* name;
  int storage;  // in lastest::kStorages
  bool sorted;
  int format;
};

class IndexedRead : public testsupport::DirTest<IndexCase> {
 protected:
  // Writes the file (gps_time = point number) and indexes it; returns the
  // path.
  std::string write_file(const std::vector<Pt>& points, LASheader& h) {
    lastest::make_header(h, GetParam().format == 6 ? 4 : 2, GetParam().format);
    h.x_scale_factor = h.y_scale_factor = 0.01;
    h.x_offset = h.y_offset = 0.0;
    const lastest::Storage& storage = lastest::kStorages[GetParam().storage];
    const std::string path = dir.file(storage.compressor ? "points.ptc" : "points.las");
    EXPECT_TRUE(lastest::write_points(path, h, kPoints, storage, [&points](LASpoint& p, int i) {
      p.X = points[i].X;
      p.Y = points[i].Y;
      p.gps_time = i;
    }));
    EXPECT_TRUE(index_point_file(path.c_str(), 200));
    return path;
  }
};

enum Kind { RECTANGLE, TILE, CIRCLE };

// The points of the area, and how many of them the index made the reader
// decode.
std::vector<int> read_area(const std::string& path, bool with_index, Kind kind, const double q[3],
                           uint32_t* decoded = nullptr) {
  LASreaderLAS reader;
  EXPECT_TRUE(reader.open(path.c_str()));
  EXPECT_NE(reader.get_index(), nullptr);
  if (!with_index) reader.set_index(nullptr);
  if (kind == RECTANGLE) reader.inside_rectangle(q[0], q[1], q[0] + q[2], q[1] + q[2] / 2);
  if (kind == TILE) reader.inside_tile(float(q[0]), float(q[1]), float(q[2]));
  if (kind == CIRCLE) reader.inside_circle(q[0], q[1], q[2]);
  std::vector<int> found;
  while (reader.read_point()) found.push_back(static_cast<int>(reader.point.gps_time));
  if (decoded) *decoded = reader.get_index()->full;
  std::sort(found.begin(), found.end());
  return found;
}

TEST_P(IndexedRead, SamePointsWithAndWithoutIndex) {
  lastest::Messages messages;
  const std::vector<Pt> points = make_points(GetParam().sorted);
  LASheader h;
  const std::string path = write_file(points, h);
  std::mt19937 random(5);
  for (int q = 0; q < 12; q++) {
    const Kind kind = static_cast<Kind>(q % 3);
    // Corners on the 0.01 grid: points on the edges are common.
    double query[3] = {(random() % 4200) / 10.0 - 10, (random() % 2200) / 10.0 - 10, 1 + (random() % 600) / 10.0};
    if (q == 0) query[0] = 500;  // outside the file
    std::vector<int> expected;
    for (int i = 0; i < kPoints; i++) {
      const double x = h.get_x(points[i].X), y = h.get_y(points[i].Y);
      bool in;
      if (kind == CIRCLE) {
        in = (query[0] - x) * (query[0] - x) + (query[1] - y) * (query[1] - y) < query[2] * query[2];
      } else if (kind == TILE) {
        const float ll_x = float(query[0]), ll_y = float(query[1]), size = float(query[2]);
        in = ll_x <= x && x < float(ll_x + size) && ll_y <= y && y < float(ll_y + size);
      } else {
        in = query[0] <= x && x < query[0] + query[2] && query[1] <= y && y < query[1] + query[2] / 2;
      }
      if (in) expected.push_back(i);
    }
    uint32_t decoded = 0;
    EXPECT_EQ(read_area(path, true, kind, query, &decoded), expected) << "query " << q;
    // In a sorted file a small area needs a small part of the points.
    if (GetParam().sorted && query[2] < 20) {
      EXPECT_LT(decoded, kPoints / 10u) << "query " << q;
    }
    EXPECT_EQ(read_area(path, false, kind, query), expected) << "query " << q;
  }
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

const IndexCase kIndexCases[] = {{"LaxSorted", 0, true, 1},       {"LaxUnsorted", 0, false, 1},
                                  {"PtcSorted", 2, true, 1},       {"PtcUnsorted", 2, false, 1},
                                  {"PtcSortedFormat6", 2, true, 6}, {"LaxUnsortedFormat6", 0, false, 6}};

INSTANTIATE_TEST_SUITE_P(Lasio, IndexedRead, ::testing::ValuesIn(kIndexCases), testsupport::CaseName());

// A damaged index (or special records that end early) gives a warning, and
// the file reads as without an index.
struct DamageCase {
  const char* name;
  const char* file;
  int64_t count;  // special records announced
  uint8_t record_id;
  const char* warning;
};

class IndexedReadDamage : public testsupport::DirTest<DamageCase> {};

TEST_P(IndexedReadDamage, IndexIsDroppedAndTheReadGoesOn) {
  const DamageCase& d = GetParam();
  const std::string path = dir.file(d.file);
  LASheader h;
  lastest::make_header(h, 2, 1);
  ASSERT_TRUE(lastest::write_points(path, h, 100, lastest::kStorages[path.back() == 'c' ? 2 : 0]));
  attach_index(path, {'L', 'A', 'S', 'X', 0, 0}, d.count, d.record_id);
  lastest::Messages messages;
  LASreaderLAS reader;
  ASSERT_TRUE(reader.open(path.c_str()));
  EXPECT_EQ(reader.get_index(), nullptr);
  EXPECT_EQ(messages.texts(LAS_WARNING), std::vector<std::string>{d.warning});
  reader.inside_rectangle(-1e9, -1e9, 1e9, 1e9);
  int read = 0;
  while (reader.read_point()) read++;
  EXPECT_EQ(read, 100);
  EXPECT_EQ(messages.at_least(LAS_ERROR), 0);
}

const DamageCase kDamageCases[] = {
    {"LaxCut", "points.las", 1, 30, "(LASindex): reading version"},
    {"SpecialRecordCut", "points.ptc", 1, 30, "(LASindex): reading version"},
    {"SpecialRecordsEndEarly", "points.ptc", 2, 31, "trying to read 2 internal EVLRs. ignoring ..."},
};

INSTANTIATE_TEST_SUITE_P(Lasio, IndexedReadDamage, ::testing::ValuesIn(kDamageCases), testsupport::CaseName());


// A LAS 1.4 file of 60 format-6 points with a COPC hierarchy of three data
// nodes over the cube centred at (50, 50, 50) with half size 50: the root
// (points 0-9, anywhere), level-1 node x = 1 (points 10-29, x 50..100) and
// level-1 node x = 0 (points 30-59, x 0..50); all with y below 50.
struct CopcReadCase {
  const char* name;
  int64_t root_shift;  // moves the root page by this many bytes
  int32_t root_count;  // the root's point count in the hierarchy
  std::vector<std::string> warnings;
};

class CopcRead : public testsupport::DirTest<CopcReadCase> {};

TEST_P(CopcRead, AreaAndDepthReads) {
  const CopcReadCase& c = GetParam();
  LASheader h;
  lastest::make_header(h, 4, 6);
  h.x_scale_factor = h.y_scale_factor = 0.01;
  h.x_offset = h.y_offset = 0.0;
  std::vector<unsigned char> info(160, 0), hierarchy;
  auto put = [&hierarchy](const void* p, size_t n) {
    hierarchy.insert(hierarchy.end(), static_cast<const unsigned char*>(p), static_cast<const unsigned char*>(p) + n);
  };
  const int32_t keys[3][2] = {{0, 0}, {1, 1}, {1, 0}}, counts[3] = {c.root_count, 20, 30};
  for (int n = 0; n < 3; n++) {
    const int32_t entry[4] = {keys[n][0], keys[n][1], 0, 0}, size = 100, count = counts[n];
    const uint64_t offset = 1000 * (n + 1);
    put(entry, 16);
    put(&offset, 8);
    put(&size, 4);
    put(&count, 4);
  }
  ASSERT_TRUE(h.add_vlr("copc", 1, 160, info.data(), false));
  ASSERT_TRUE(h.add_evlr("copc", 1000, hierarchy.size(), hierarchy.data(), false));
  const std::string path = dir.file("copc.las");
  std::vector<std::pair<double, double>> xy;
  ASSERT_TRUE(lastest::write_points(path, h, 60, lastest::kStorages[0], [&](LASpoint& p, int i) {
    p.X = i < 10 ? (i * 997) % 10000 : (i < 30 ? 5000 : 0) + (i * 371) % 5000;
    p.Y = (i * 613) % 5000;
    p.gps_time = i;
    xy.push_back({h.get_x(p.X), h.get_y(p.Y)});
  }));
  // Point the info at the hierarchy payload as written.
  std::vector<unsigned char> bytes = lastest::read_bytes(path);
  const size_t payload = bytes.size() - hierarchy.size();
  auto vlr = std::search(bytes.begin(), bytes.end(), "copc", "copc" + 4);
  const double cube[5] = {50, 50, 50, 50, 1};
  const uint64_t root[2] = {payload + c.root_shift, hierarchy.size()};
  memcpy(&*vlr + 52, cube, 40);
  memcpy(&*vlr + 52 + 40, root, 16);
  lastest::write_bytes(path, bytes);

  lastest::Messages messages;
  auto read = [&](bool (*query)(LASreaderLAS&)) {
    LASreaderLAS reader;
    EXPECT_TRUE(reader.open(path.c_str()));
    std::vector<int> found;
    if (query(reader)) {
      while (reader.read_point()) found.push_back(static_cast<int>(reader.point.gps_time));
    }
    EXPECT_EQ(reader.get_copc_index() != nullptr, c.warnings.empty());
    return found;
  };
  std::vector<int> inside;
  for (int i = 0; i < 60; i++) {
    if (10 <= xy[i].first && xy[i].first < 40 && 10 <= xy[i].second && xy[i].second < 40) inside.push_back(i);
  }
  EXPECT_EQ(read([](LASreaderLAS& r) { return r.inside_rectangle(10, 10, 40, 40); }), inside);
  const std::vector<int> root_points = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const std::vector<int> depth = read([](LASreaderLAS& r) { return r.inside_copc_depth(1, 0, 0.0f); });
  EXPECT_EQ(depth, c.warnings.empty() ? root_points : std::vector<int>{});
  std::vector<std::string> expected_warnings;
  for (int k = 0; k < 2; k++) expected_warnings.insert(expected_warnings.end(), c.warnings.begin(), c.warnings.end());
  EXPECT_EQ(messages.texts(LAS_WARNING), expected_warnings);
}

const char* const kInvalid = "invalid COPC EPT hierarchy (does not conform to the LAS format).";
const CopcReadCase kCopcReads[] = {
    {"Valid", 0, 10, {}},
    {"PageOutsidePayload", 64, 10, {kInvalid}},
    {"CountMismatch", 0, 11, {"COPC EPT hierarchy EVLR number of point does not match with the header.", kInvalid}},
};

INSTANTIATE_TEST_SUITE_P(Lasio, CopcRead, ::testing::ValuesIn(kCopcReads), testsupport::CaseName());

}  // namespace
