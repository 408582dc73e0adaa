// Byte streams: end-of-data throws, positions, seek limits, byte orders and
// the growth rule of output buffers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamin_file.hpp"
#include "las/bytestreamout_array.hpp"
#include "las/bytestreamout_file.hpp"
#include "tests/support/test_support.hpp"

namespace {

int thrown_by(const std::function<void()>& f) {
  try {
    f();
  } catch (int e) {
    return e;
  }
  return 0;
}

TEST(ByteStreamInArray, ThrowsAtEndAndKeepsPosition) {
  const unsigned char data[3] = {1, 2, 3};
  ByteStreamInArrayLE in(data, 3);
  uint16_t v = 0;
  in.get16bitsLE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(v, 0x0201);
  EXPECT_EQ(thrown_by([&] { in.get16bitsLE(reinterpret_cast<unsigned char*>(&v)); }), -1);
  EXPECT_EQ(in.tell(), 2);
  EXPECT_EQ(in.getByte(), 3);
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_EQ(in.tell(), 3);
}

TEST(ByteStreamInArray, GetBytesPastEndThrowsWithoutMoving) {
  const unsigned char data[5] = {1, 2, 3, 4, 5};
  ByteStreamInArrayLE in(data, 5);
  unsigned char out[8] = {0};
  in.getBytes(out, 2);
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, 4); }), -1);
  EXPECT_EQ(in.tell(), 2);
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, -1); }), -1);
  uint64_t big = 0;
  EXPECT_EQ(thrown_by([&] { in.get64bitsBE(reinterpret_cast<unsigned char*>(&big)); }), -1);
  EXPECT_EQ(in.tell(), 2);
  in.getBytes(out, 3);
  EXPECT_EQ(out[2], 5);
}

TEST(ByteStreamInArray, SeekLimits) {
  const unsigned char data[4] = {9, 8, 7, 6};
  ByteStreamInArrayLE in(data, 4);
  EXPECT_TRUE(in.seek(4));
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_FALSE(in.seek(5));
  EXPECT_FALSE(in.seek(-1));
  EXPECT_EQ(in.tell(), 4);
  EXPECT_TRUE(in.seekEnd(0));
  EXPECT_EQ(in.tell(), 4);
  EXPECT_TRUE(in.seekEnd(4));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_FALSE(in.seekEnd(5));
  EXPECT_FALSE(in.seekEnd(-1));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_TRUE(in.skipBytes(3));
  EXPECT_EQ(in.getByte(), 6);
  EXPECT_FALSE(in.skipBytes(1));
  EXPECT_TRUE(in.isSeekable());
}

TEST(ByteStreamInArray, NullDataIsEmpty) {
  ByteStreamInArrayLE in(nullptr, 100);
  EXPECT_EQ(in.get_size(), 0);
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_TRUE(in.seek(0));
  EXPECT_FALSE(in.seek(1));
}

TEST(ByteStreamInArray, ByteOrders) {
  const unsigned char data[8] = {0x00, 0x00, 0x01, 0x02, 0x01, 0x02, 0x03, 0x04};
  ByteStreamInArrayLE le(data, 8);
  uint32_t v = 0;
  le.get32bitsBE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(v, 258u);
  le.get32bitsLE(reinterpret_cast<unsigned char*>(&v));
  EXPECT_EQ(v, 0x04030201u);

  // The big-endian-host class copies BE values and reverses LE ones: check
  // the bytes it delivers.
  ByteStreamInArrayBE be(data, 8);
  unsigned char out[8];
  be.get32bitsBE(out);
  EXPECT_EQ(0, memcmp(out, data, 4));
  be.get32bitsLE(out);
  const unsigned char reversed[4] = {0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(0, memcmp(out, reversed, 4));

  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ByteStreamInArrayLE le64(eight, 8);
  uint64_t w = 0;
  le64.get64bitsBE(reinterpret_cast<unsigned char*>(&w));
  EXPECT_EQ(w, 0x0102030405060708ull);
  ByteStreamInArrayLE le16(eight, 8);
  uint16_t s = 0;
  le16.get16bitsBE(reinterpret_cast<unsigned char*>(&s));
  EXPECT_EQ(s, 0x0102);
}

class FileStreams : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

TEST_F(FileStreams, ReadWriteRoundTripAndEnd) {
  const std::string path = dir.file("data.bin");
  FILE* out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  {
    std::unique_ptr<ByteStreamOutFile> stream(new_byte_stream_out_file(out));
    const uint16_t a = 0x1234;
    const uint32_t b = 0xA1B2C3D4;
    const uint64_t c = 0x0102030405060708ull;
    EXPECT_TRUE(stream->put16bitsLE(reinterpret_cast<const unsigned char*>(&a)));
    EXPECT_TRUE(stream->put32bitsBE(reinterpret_cast<const unsigned char*>(&b)));
    EXPECT_TRUE(stream->put64bitsLE(reinterpret_cast<const unsigned char*>(&c)));
    EXPECT_TRUE(stream->putByte(0xEE));
    EXPECT_EQ(stream->tell(), 15);
    EXPECT_TRUE(stream->isSeekable());
  }
  fclose(out);

  FILE* in = fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::unique_ptr<ByteStreamInFile> stream(new_byte_stream_in_file(in));
  uint16_t a = 0;
  uint32_t b = 0;
  uint64_t c = 0;
  stream->get16bitsLE(reinterpret_cast<unsigned char*>(&a));
  stream->get32bitsBE(reinterpret_cast<unsigned char*>(&b));
  stream->get64bitsLE(reinterpret_cast<unsigned char*>(&c));
  EXPECT_EQ(a, 0x1234);
  EXPECT_EQ(b, 0xA1B2C3D4u);
  EXPECT_EQ(c, 0x0102030405060708ull);
  EXPECT_EQ(stream->getByte(), 0xEE);
  EXPECT_EQ(thrown_by([&] { stream->getByte(); }), -1);
  EXPECT_TRUE(stream->seek(2));
  EXPECT_EQ(stream->getByte(), 0xA1);
  EXPECT_TRUE(stream->seekEnd(1));
  EXPECT_EQ(stream->tell(), 14);
  unsigned char buf[4];
  EXPECT_EQ(thrown_by([&] { stream->getBytes(buf, 2); }), -1);
  EXPECT_FALSE(stream->seek(-3));
  EXPECT_FALSE(stream->seekEnd(100));
  EXPECT_TRUE(stream->isSeekable());
  fclose(in);
}

TEST(ByteStreamInFile, StandardInputIsNotSeekable) {
  ByteStreamInFileLE in(stdin);
  EXPECT_FALSE(in.isSeekable());
  ByteStreamOutFileLE out(stdout);
  EXPECT_FALSE(out.isSeekable());
}

TEST(ByteStreamOutArray, GrowsByRequestPlus4096) {
  ByteStreamOutArrayLE out(4);
  EXPECT_EQ(out.get_alloc(), 4);
  const unsigned char ten[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_TRUE(out.putBytes(ten, 10));
  EXPECT_EQ(out.get_alloc(), 4110);
  EXPECT_EQ(out.get_size(), 10);
  EXPECT_EQ(0, memcmp(out.get_data(), ten, 10));

  ByteStreamOutArrayLE single(2);
  EXPECT_TRUE(single.putByte(1));
  EXPECT_TRUE(single.putByte(2));
  EXPECT_EQ(single.get_alloc(), 2);
  EXPECT_TRUE(single.putByte(3));
  EXPECT_EQ(single.get_alloc(), 4098);

  ByteStreamOutArrayLE words(2);
  const uint32_t v = 7;
  EXPECT_TRUE(words.put32bitsLE(reinterpret_cast<const unsigned char*>(&v)));
  EXPECT_EQ(words.get_alloc(), 2 + 4 + 4096);
}

TEST(ByteStreamOutArray, SeekOverwriteAndTakeData) {
  ByteStreamOutArrayLE out(16);
  const uint32_t v = 0x01020304;
  out.put32bitsBE(reinterpret_cast<const unsigned char*>(&v));
  out.put32bitsLE(reinterpret_cast<const unsigned char*>(&v));
  const unsigned char expected[8] = {1, 2, 3, 4, 4, 3, 2, 1};
  EXPECT_EQ(0, memcmp(out.get_data(), expected, 8));
  EXPECT_FALSE(out.seek(9));
  EXPECT_FALSE(out.seek(-1));
  EXPECT_TRUE(out.seek(8));
  EXPECT_TRUE(out.seek(1));
  out.putByte(0xFF);
  EXPECT_EQ(out.tell(), 2);
  EXPECT_EQ(out.get_size(), 8);
  EXPECT_TRUE(out.seekEnd());
  EXPECT_EQ(out.tell(), 8);
  unsigned char* data = out.take_data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data[1], 0xFF);
  EXPECT_EQ(out.get_data(), nullptr);
  EXPECT_EQ(out.get_size(), 0);
  EXPECT_EQ(out.get_alloc(), 0);
  EXPECT_EQ(out.tell(), 0);
  free(data);
  // The emptied stream can be written again.
  EXPECT_TRUE(out.putByte(5));
  EXPECT_EQ(out.get_alloc(), 4096);
}

TEST(ByteStreamOutArray, BigEndianHostClassReversesLittleEndianWrites) {
  ByteStreamOutArrayBE out(8);
  const unsigned char value[2] = {0xAA, 0xBB};
  out.put16bitsLE(value);
  out.put16bitsBE(value);
  const unsigned char expected[4] = {0xBB, 0xAA, 0xAA, 0xBB};
  EXPECT_EQ(0, memcmp(out.get_data(), expected, 4));
}

}  // namespace
