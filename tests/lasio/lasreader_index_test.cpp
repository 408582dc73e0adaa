// Area reads through a spatial index (a ".lax" file beside a LAS file, the
// special record of a PTC file) deliver exactly the points of the plain read
// and of a direct computation, for sorted and unsorted files; a damaged
// index costs only the index.
#include <gtest/gtest.h>

#include <algorithm>  // shuffle, sort
#include <cstring>    // memcpy, memcmp
#include <random>     // query and point placement
#include <string>
#include <vector>

#include "index/lasindex.hpp"                // LASindex
#include "las/bytestreamout_array.hpp"       // the index record
#include "lasio/lasreaderlas.hpp"            // LASreaderLAS
#include "lasio/laswriterlas.hpp"            // LASwriterLAS
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

struct IndexCase {
  const char* name;
  int storage;  // in lastest::kStorages
  bool sorted;
};

class IndexedRead : public testsupport::DirTest<IndexCase> {
 protected:
  // Writes the file (gps_time = point number) and its index; returns the path.
  std::string write_file(const std::vector<Pt>& points, LASheader& h) {
    lastest::make_header(h, 2, 1);
    h.x_scale_factor = h.y_scale_factor = 0.01;
    h.x_offset = h.y_offset = 0.0;
    const lastest::Storage& storage = lastest::kStorages[GetParam().storage];
    const std::string path = dir.file(storage.compressor ? "points.ptc" : "points.las");
    LASwriterLAS writer;
    EXPECT_TRUE(writer.open(path.c_str(), &h, storage.compressor, storage.chunk_size));
    LASpoint p;
    EXPECT_TRUE(p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h));
    LASindex index;
    EXPECT_TRUE(index.prepare(0, 400, 0, 200, points.size()));
    for (size_t i = 0; i < points.size(); i++) {
      p.zero();
      p.X = points[i].X;
      p.Y = points[i].Y;
      p.gps_time = static_cast<double>(i);
      EXPECT_TRUE(writer.write_point(&p));
      index.add(h.get_x(p.X), h.get_y(p.Y), static_cast<uint32_t>(i));
    }
    EXPECT_GT(writer.close(), 0);
    index.complete(200);
    ByteStreamOutArrayLE record;
    EXPECT_TRUE(index.write(&record));
    index_bytes.assign(record.get_data(), record.get_data() + record.get_size());
    return path;
  }

  // Puts the index where the reader looks for it: beside a LAS file, or
  // after the points of a PTC file as the special record the compressor
  // settings announce.
  void attach_index(const std::string& path, const std::vector<unsigned char>& record) {
    if (path.back() == 's') {
      lastest::write_bytes(dir.file("points.lax"), record);
      return;
    }
    std::vector<unsigned char> bytes = lastest::read_bytes(path);
    const char* id = "ptcomp encoded";
    auto at = std::search(bytes.begin(), bytes.end(), id, id + strlen(id));
    ASSERT_NE(at, bytes.end());
    unsigned char* settings = &*at + 16 + 2 + 2 + 32;
    const int64_t count = 1, offset = static_cast<int64_t>(bytes.size());
    memcpy(settings + 16, &count, 8);
    memcpy(settings + 24, &offset, 8);
    unsigned char evlr[60] = {0};
    memcpy(evlr + 2, "Kestrel", 7);
    evlr[18] = 30;
    const uint64_t length = record.size();
    memcpy(evlr + 20, &length, 8);
    bytes.insert(bytes.end(), evlr, evlr + 60);
    bytes.insert(bytes.end(), record.begin(), record.end());
    lastest::write_bytes(path, bytes);
  }

  std::vector<unsigned char> index_bytes;
};

enum Kind { RECTANGLE, TILE, CIRCLE };

std::vector<int> read_area(const std::string& path, bool with_index, Kind kind, const double q[3]) {
  LASreaderLAS reader;
  EXPECT_TRUE(reader.open(path.c_str()));
  EXPECT_NE(reader.get_index(), nullptr);
  if (!with_index) reader.set_index(nullptr);
  if (kind == RECTANGLE) reader.inside_rectangle(q[0], q[1], q[0] + q[2], q[1] + q[2] / 2);
  if (kind == TILE) reader.inside_tile(float(q[0]), float(q[1]), float(q[2]));
  if (kind == CIRCLE) reader.inside_circle(q[0], q[1], q[2]);
  std::vector<int> found;
  while (reader.read_point()) found.push_back(static_cast<int>(reader.point.gps_time));
  std::sort(found.begin(), found.end());
  return found;
}

TEST_P(IndexedRead, SamePointsWithAndWithoutIndex) {
  lastest::Messages messages;
  const std::vector<Pt> points = make_points(GetParam().sorted);
  LASheader h;
  const std::string path = write_file(points, h);
  attach_index(path, index_bytes);
  std::mt19937 random(5);
  for (int q = 0; q < 15; q++) {
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
    EXPECT_EQ(read_area(path, true, kind, query), expected) << "query " << q;
    EXPECT_EQ(read_area(path, false, kind, query), expected) << "query " << q;
  }
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

const IndexCase kIndexCases[] = {
    {"LaxSorted", 0, true}, {"LaxUnsorted", 0, false}, {"PtcSorted", 2, true}, {"PtcUnsorted", 2, false}};

INSTANTIATE_TEST_SUITE_P(Lasio, IndexedRead, ::testing::ValuesIn(kIndexCases), testsupport::CaseName());

// A damaged index gives its warning, and the file reads as without it.
TEST(IndexedReadDamage, DamagedIndexIsDroppedAndTheReadGoesOn) {
  for (const char* name : {"points.las", "points.ptc"}) {
    testsupport::TempDir dir;
    LASheader h;
    lastest::make_header(h, 2, 1);
    const bool ptc = name[strlen(name) - 1] == 'c';
    ASSERT_TRUE(lastest::write_points(dir.file(name), h, 100, lastest::kStorages[ptc ? 2 : 0]));
    const std::vector<unsigned char> cut = {'L', 'A', 'S', 'X', 0, 0};
    std::vector<unsigned char> bytes = lastest::read_bytes(dir.file(name));
    if (ptc) {
      const char* id = "ptcomp encoded";
      auto at = std::search(bytes.begin(), bytes.end(), id, id + strlen(id));
      const int64_t count = 1, offset = static_cast<int64_t>(bytes.size());
      memcpy(&*at + 52 + 16, &count, 8);
      memcpy(&*at + 52 + 24, &offset, 8);
      unsigned char evlr[60] = {0};
      memcpy(evlr + 2, "Kestrel", 7);
      evlr[18] = 30;
      bytes.insert(bytes.end(), evlr, evlr + 60);
      bytes.insert(bytes.end(), cut.begin(), cut.end());
      lastest::write_bytes(dir.file(name), bytes);
    } else {
      lastest::write_bytes(dir.file("points.lax"), cut);
    }
    lastest::Messages messages;
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open(dir.file(name).c_str()));
    EXPECT_EQ(reader.get_index(), nullptr);
    EXPECT_EQ(messages.texts(LAS_WARNING),
              (std::vector<std::string>{"(LASindex): reading version"}));
    reader.inside_rectangle(-1e9, -1e9, 1e9, 1e9);
    int read = 0;
    while (reader.read_point()) read++;
    EXPECT_EQ(read, 100);
    EXPECT_EQ(messages.at_least(LAS_ERROR), 0);
  }
}

}  // namespace
