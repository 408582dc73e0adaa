// Chunks decoded on worker threads: any thread count delivers the points,
// messages and end result of the sequential read, on good and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ptcomp/layermask.hpp"
#include "lasio/lasreaderlas.hpp"
#include "ptcomp/lasreadpoint.hpp"
#include "tests/lasio/las_file_helpers.hpp"

namespace {

using lastest::Messages;

struct Outcome {
  std::vector<uint64_t> points;  // a hash per delivered point
  std::string messages;
  uint32_t served = 0;  // chunks handed out from the workers
};

Outcome read_all(const std::string& path, unsigned threads, unsigned mask) {
  Outcome out;
  Messages messages;
  LASreaderLAS reader;
  reader.set_threads(threads);
  if (reader.open(path.c_str(), LASreaderLAS::DEFAULT_IO_BUFFER_SIZE, false, mask)) {
    while (reader.read_point()) {
      uint64_t hash = 1469598103934665603ull;
      for (int i = 0; i < reader.point.num_items; i++) {
        const uint32_t size = reader.point.items[i].type == LASitem::POINT14 ? 48 : reader.point.items[i].size;
        for (uint32_t b = 0; b < size; b++) hash = (hash ^ reader.point.point[i][b]) * 1099511628211ull;
      }
      out.points.push_back(hash);
    }
    out.served = reader.get_point_reader()->get_served_chunks();
  }
  for (const Messages::Entry& e : messages.entries) {
    if (e.type >= LAS_WARNING) out.messages += std::to_string(int(e.type)) + ": " + e.text + "\n";
  }
  return out;
}

enum class Damage { NONE, CORRUPT_CHUNK, FEWER_POINTS, MORE_POINTS, TRUNCATED };

struct Case {
  const char* name;
  int format;
  int storage;  // index into lastest::kStorages
  Damage damage;
  unsigned mask;
};

class ChunkThreads : public ::testing::TestWithParam<Case> {};

TEST_P(ChunkThreads, EveryThreadCountReadsAsOneThread) {
  const Case& c = GetParam();
  testsupport::TempDir dir;
  const std::string path = dir.path() + "/points.ptc";
  LASheader header;
  lastest::make_header(header, c.format >= 6 ? 4 : 2, c.format);
  const int count = 1000;  // fixed size: 15 chunks of 64 and one of 40
  ASSERT_TRUE(lastest::write_points(path, header, count, lastest::kStorages[c.storage]));

  std::vector<unsigned char> bytes = lastest::read_bytes(path);
  std::vector<int64_t> starts;
  uint32_t chunks = 0;
  {
    LASreaderLAS reader;
    ASSERT_TRUE(reader.open(path.c_str()));
    while (reader.read_point()) {
    }
    starts = reader.get_point_reader()->get_chunk_starts();
    chunks = reader.get_point_reader()->get_known_chunks() - 1;
  }
  ASSERT_GT(starts.size(), 8u);
  uint32_t stored = count;
  switch (c.damage) {
    case Damage::NONE:
      break;
    case Damage::CORRUPT_CHUNK:
      for (int b = 40; b < 48; b++) bytes[size_t(starts[5] + b)] ^= 0x5A;
      break;
    case Damage::FEWER_POINTS:
      stored = count - 30;
      break;
    case Damage::MORE_POINTS:
      stored = count + 30;
      break;
    case Damage::TRUNCATED:
      bytes.resize(size_t(starts[7] + 50));
      break;
  }
  const size_t at_count = c.format >= 6 ? 247 : 107;  // the point count of the header
  memcpy(&bytes[at_count], &stored, 4);
  lastest::write_bytes(path, bytes);

  const Outcome one = read_all(path, 1, c.mask);
  EXPECT_EQ(one.served, 0u);
  if (c.damage == Damage::NONE) {
    EXPECT_EQ(one.points.size(), size_t(count));
    EXPECT_EQ(one.messages, "");
  } else {
    EXPECT_NE(one.messages, "");
  }
  for (unsigned threads : {2u, 7u}) {
    SCOPED_TRACE(threads);
    const Outcome many = read_all(path, threads, c.mask);
    EXPECT_EQ(many.points.size(), one.points.size());
    const auto differ = std::mismatch(many.points.begin(), many.points.end(), one.points.begin(), one.points.end());
    EXPECT_TRUE(differ.first == many.points.end()) << "point " << differ.first - many.points.begin() << " differs";
    EXPECT_EQ(many.messages, one.messages);
    // Every chunk but a damaged one and those after it came from a worker.
    if (c.damage == Damage::NONE) {
      EXPECT_EQ(many.served, chunks);
    }
    if (c.damage == Damage::CORRUPT_CHUNK) {
      EXPECT_GE(many.served, 5u);
    }
  }
}

const unsigned ALL = 0xFFFFFFFFu;
INSTANTIATE_TEST_SUITE_P(
    Files, ChunkThreads,
    ::testing::Values(Case{"Format1Fixed", 1, 2, Damage::NONE, ALL}, Case{"Format1Variable", 1, 3, Damage::NONE, ALL},
                      Case{"Format6Fixed", 6, 2, Damage::NONE, ALL}, Case{"Format10Fixed", 10, 2, Damage::NONE, ALL},
                      Case{"Format7FixedXYZ", 7, 2, Damage::NONE, LayerMask::XYZ},
                      Case{"Format3Variable", 3, 3, Damage::NONE, ALL},
                      Case{"Format1CorruptChunk", 1, 2, Damage::CORRUPT_CHUNK, ALL},
                      Case{"Format6CorruptChunk", 6, 2, Damage::CORRUPT_CHUNK, ALL},
                      Case{"Format1VariableCorruptChunk", 1, 3, Damage::CORRUPT_CHUNK, ALL},
                      Case{"Format1FewerPoints", 1, 2, Damage::FEWER_POINTS, ALL},
                      Case{"Format6MorePoints", 6, 2, Damage::MORE_POINTS, ALL},
                      Case{"Format1Truncated", 1, 2, Damage::TRUNCATED, ALL}),
    testsupport::CaseName());

}  // namespace
