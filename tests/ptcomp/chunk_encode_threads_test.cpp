// Chunks encoded on worker threads: the same points written with 1, 2 and 7
// threads give the same bytes for every point format, item version and chunk
// layout, and an output that fails midway gives the same error text.
#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "las/bytestreamout_array.hpp"
#include "ptcomp/laswritepoint.hpp"
#include "ptcomp/ptcomp.hpp"
#include "tests/support/test_support.hpp"

namespace {

struct Layout {
  const char* name;
  int format, extra, version;   // extra bytes after the format's fields
  uint32_t chunk_size, points;  // chunk size 0: variable, ended after `breaks`
  std::vector<uint32_t> breaks;
  size_t batch_bytes = 1 << 20;  // chunks whose points take more are written by the calling thread
};
void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

// An array stream that takes at most `limit` bytes.
class LimitedStream : public ByteStreamOutArray {
 public:
  explicit LimitedStream(long long limit) : limit(limit) {}
  bool putByte(unsigned char b) override { return curr < limit && ByteStreamOutArray::putByte(b); }
  bool putBytes(const unsigned char* b, unsigned int n) override { return curr + n <= limit && put(b, n); }
  bool put16bitsLE(const unsigned char* b) override { return putBytes(b, 2); }
  bool put32bitsLE(const unsigned char* b) override { return putBytes(b, 4); }
  bool put64bitsLE(const unsigned char* b) override { return putBytes(b, 8); }
  bool put16bitsBE(const unsigned char* b) override { return putBytes(b, 2); }
  bool put32bitsBE(const unsigned char* b) override { return putBytes(b, 4); }
  bool put64bitsBE(const unsigned char* b) override { return putBytes(b, 8); }
  long long limit;
};

// The bytes written with `threads` threads, or the first error text. Each
// byte of a point is kept from the point before or new, so that the
// predictions see both.
std::string encode(const Layout& l, unsigned threads, long long limit = 1LL << 40) {
  static const int sizes[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  PTcomp settings;
  EXPECT_TRUE(settings.setup_writing(uint8_t(l.format), uint16_t(sizes[l.format] + l.extra), uint16_t(l.version),
                                     l.chunk_size));
  std::vector<uint8_t> record(512);  // item buffers one after the other, POINT14 of 48 bytes
  std::vector<const uint8_t*> items;
  size_t used = 0;
  for (uint16_t i = 0; i < settings.num_items; i++) {
    items.push_back(record.data() + used);
    used += settings.items[i].type == LASitem::POINT14 ? 48 : settings.items[i].size;
  }
  LimitedStream out(limit);
  LASwritePoint writer;
  writer.set_threads(threads, l.batch_bytes);
  EXPECT_TRUE(writer.setup(settings.num_items, settings.items, &settings) && writer.init(&out));
  std::mt19937 rng(l.format * 100 + l.version);
  bool ok = true;
  for (uint32_t k = 0, b = 0; ok && k < l.points; k++) {
    for (size_t j = 0; j < used; j++) record[j] = rng() % 4 ? record[j] : uint8_t(rng());
    ok = writer.write(items.data());
    if (ok && b < l.breaks.size() && l.breaks[b] == k) {
      ok = writer.chunk();
      b++;
    }
  }
  if (!(ok && writer.done())) return std::string("error: ") + (writer.error() ? writer.error() : "none");
  return std::string(reinterpret_cast<const char*>(out.get_data()), size_t(out.get_size()));
}

class ChunkEncodeThreads : public ::testing::TestWithParam<Layout> {};

TEST_P(ChunkEncodeThreads, GiveTheBytesAndErrorsOfOneThread) {
  const std::string one = encode(GetParam(), 1);
  ASSERT_NE(one.rfind("error: ", 0), 0u) << one;
  for (unsigned threads : {2u, 7u}) EXPECT_TRUE(encode(GetParam(), threads) == one) << threads << " threads";
  for (long long limit : {(long long)one.size() / 2, (long long)one.size() - 1}) {
    const std::string failed = encode(GetParam(), 1, limit);
    EXPECT_EQ(failed.rfind("error: ", 0), 0u) << limit;
    EXPECT_EQ(encode(GetParam(), 3, limit), failed) << limit;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChunkEncodeThreads,
    ::testing::Values(Layout{"F0v2OnePoint", 0, 0, 2, 100, 1, {}}, Layout{"F0v2BelowOneChunk", 0, 0, 2, 100, 99, {}},
                      Layout{"F1v1ExactChunks", 1, 0, 1, 50, 300, {}}, Layout{"F2v2PartialLast", 2, 0, 2, 64, 1001, {}},
                      Layout{"F3v2Variable", 3, 0, 2, 0, 700, {0, 1, 99, 100, 450}},
                      Layout{"F4v1ExtraBytes", 4, 3, 1, 128, 513, {}}, Layout{"F5v2Variable", 5, 0, 2, 0, 300, {299}},
                      Layout{"F6v3PartialLast", 6, 0, 3, 100, 250, {}}, Layout{"F7v4ExactChunks", 7, 0, 4, 40, 200, {}},
                      Layout{"F8v4Variable", 8, 2, 4, 0, 400, {10, 11, 200}},
                      Layout{"F9v3OnePoint", 9, 0, 3, 100, 1, {}}, Layout{"F10v4PartialLast", 10, 5, 4, 33, 500, {}},
                      Layout{"F8v3PartialLast", 8, 0, 3, 100, 250, {}}, Layout{"F10v3ExactChunks", 10, 3, 3, 50, 200, {}},
                      // chunks too big for a batch: 60 and 100 points per batch
                      Layout{"F0v2SpilledChunks", 0, 0, 2, 100, 350, {}, 1200},
                      Layout{"F6v3SpilledVariable", 6, 0, 3, 0, 400, {9, 299}, 4800}),
    testsupport::CaseName());

}  // namespace
