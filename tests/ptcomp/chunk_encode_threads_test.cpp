// Chunks encoded on worker threads: the same points written with 1, 2 and 7
// threads give the same bytes for every point format, item version and chunk
// layout, and a failing output gives the same error text.
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
  int format;
  int extra;     // extra bytes after the format's fields
  int version;   // item version
  uint32_t chunk_size;  // 0: variable chunks, ended after `breaks`
  uint32_t points;
  std::vector<uint32_t> breaks;
};

void PrintTo(const Layout& l, std::ostream* os) { *os << l.name; }

// An array stream that takes at most `limit` bytes.
class LimitedStream : public ByteStreamOutArray {
 public:
  explicit LimitedStream(long long limit) : limit(limit) {}
  bool putByte(unsigned char b) override { return room(1) && ByteStreamOutArray::putByte(b); }
  bool putBytes(const unsigned char* b, unsigned int n) override { return room(n) && put(b, n); }
  bool put16bitsLE(const unsigned char* b) override { return putBytes(b, 2); }
  bool put32bitsLE(const unsigned char* b) override { return putBytes(b, 4); }
  bool put64bitsLE(const unsigned char* b) override { return putBytes(b, 8); }
  bool put16bitsBE(const unsigned char* b) override { return putBytes(b, 2); }
  bool put32bitsBE(const unsigned char* b) override { return putBytes(b, 4); }
  bool put64bitsBE(const unsigned char* b) override { return putBytes(b, 8); }

 private:
  bool room(long long n) const { return curr + n <= limit; }
  long long limit;
};

struct Result {
  std::vector<uint8_t> bytes;
  std::string error;  // empty when every call succeeded
};

// Writes the layout's points (each byte kept from the point before or new,
// so that the predictions see both) with `threads` threads.
Result encode(const Layout& l, unsigned threads, long long limit = 1LL << 40) {
  PTcomp settings;
  const int sizes[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  EXPECT_TRUE(settings.setup_writing(static_cast<uint8_t>(l.format), static_cast<uint16_t>(sizes[l.format] + l.extra),
                                     static_cast<uint16_t>(l.version), l.chunk_size));
  std::vector<uint32_t> offsets;
  uint32_t bytes = 0;
  for (uint16_t i = 0; i < settings.num_items; i++) {
    offsets.push_back(bytes);
    bytes += settings.items[i].type == LASitem::POINT14 ? 48 : settings.items[i].size;
  }
  LimitedStream out(limit);
  LASwritePoint writer;
  writer.set_threads(threads);
  EXPECT_TRUE(writer.setup(settings.num_items, settings.items, &settings));
  EXPECT_TRUE(writer.init(&out));
  std::mt19937 rng(l.format * 100 + l.version);
  std::vector<uint8_t> record(bytes);
  std::vector<const uint8_t*> items;
  for (uint32_t o : offsets) items.push_back(record.data() + o);
  Result r;
  size_t next_break = 0;
  bool ok = true;
  for (uint32_t k = 0; ok && k < l.points; k++) {
    for (uint8_t& b : record) {
      if (rng() % 4 == 0) b = static_cast<uint8_t>(rng());
    }
    ok = writer.write(items.data());
    if (ok && next_break < l.breaks.size() && l.breaks[next_break] == k) {
      ok = writer.chunk();
      next_break++;
    }
  }
  if (ok) ok = writer.done();
  if (!ok) r.error = writer.error() ? writer.error() : "(no text)";
  r.bytes.assign(out.get_data(), out.get_data() + out.get_size());
  return r;
}

class ChunkEncodeThreads : public ::testing::TestWithParam<Layout> {};

TEST_P(ChunkEncodeThreads, GiveTheBytesOfOneThread) {
  const Result one = encode(GetParam(), 1);
  ASSERT_EQ(one.error, "");
  for (unsigned threads : {2u, 7u}) {
    const Result many = encode(GetParam(), threads);
    EXPECT_EQ(many.error, "") << threads;
    EXPECT_TRUE(many.bytes == one.bytes) << threads << " threads: " << many.bytes.size() << " bytes, not "
                                         << one.bytes.size();
  }
}

// An output that fails in the middle of the points (or of the table) fails
// the threaded writer too, with the same text.
TEST_P(ChunkEncodeThreads, FailWithTheTextOfOneThread) {
  const long long full = static_cast<long long>(encode(GetParam(), 1).bytes.size());
  for (long long limit : {full / 2, full - 1}) {
    const Result one = encode(GetParam(), 1, limit);
    ASSERT_NE(one.error, "") << limit;
    EXPECT_EQ(encode(GetParam(), 3, limit).error, one.error) << limit;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChunkEncodeThreads,
    ::testing::Values(Layout{"F0v2OnePoint", 0, 0, 2, 100, 1, {}},
                      Layout{"F0v2BelowOneChunk", 0, 0, 2, 100, 99, {}},
                      Layout{"F1v1ExactChunks", 1, 0, 1, 50, 300, {}},
                      Layout{"F2v2PartialLast", 2, 0, 2, 64, 1001, {}},
                      Layout{"F3v2Variable", 3, 0, 2, 0, 700, {0, 1, 99, 100, 450}},
                      Layout{"F4v1ExtraBytes", 4, 3, 1, 128, 513, {}},
                      Layout{"F5v2Variable", 5, 0, 2, 0, 300, {299}},
                      Layout{"F6v3PartialLast", 6, 0, 3, 100, 250, {}},
                      Layout{"F7v4ExactChunks", 7, 0, 4, 40, 200, {}},
                      Layout{"F8v4Variable", 8, 2, 4, 0, 400, {10, 11, 200}},
                      Layout{"F9v3OnePoint", 9, 0, 3, 100, 1, {}},
                      Layout{"F10v4PartialLast", 10, 5, 4, 33, 500, {}}),
    testsupport::CaseName());

}  // namespace
