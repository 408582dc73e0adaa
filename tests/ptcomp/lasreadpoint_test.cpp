// The point record reader beyond plain decoding: raw items in both host
// byte orders, the POINT14 legacy fields, uncompressed records across record
// blocks and at a truncated end, seeking in raw and compressed data (fixed
// and variable chunks, point-wise), a last chunk that ends elsewhere than
// the chunk table says, and reads after the end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/arithmeticencoder.hpp"
#include "ptcomp/integercompressor.hpp"
#include "ptcomp/lasreaditemraw.hpp"
#include "ptcomp/lasreadpoint.hpp"
#include "ptcomp/laswriteitemraw.hpp"
#include "ptcomp/ptcomp.hpp"
#include "tests/ptcomp/point_data_support.hpp"

namespace {

// Item buffer pointers into one record laid out item after item (buffers of
// POINT14 take 48 bytes).
std::vector<uint8_t*> pointers(uint8_t* record, const std::vector<LASitem>& items) {
  std::vector<uint8_t*> p;
  for (const LASitem& item : items) {
    p.push_back(record);
    record += item.type == LASitem::POINT14 ? 48 : item.size;
  }
  return p;
}

uint32_t buffer_bytes(const std::vector<LASitem>& items) {
  uint32_t n = 0;
  for (const LASitem& item : items) n += item.type == LASitem::POINT14 ? 48 : item.size;
  return n;
}

// ---------------------------------------------------------------------------
// Big-endian host variants, exercised on this host: they must swap exactly
// the multi-byte fields, and the writer must undo the reader.
struct SwapCase {
  const char* name;
  LASitem::Type type;
  uint16_t size;
  std::vector<std::pair<int, int>> fields;  // (offset, width) of swapped fields
};

const SwapCase swap_cases[] = {
    {"POINT10", LASitem::POINT10, 20, {{0, 4}, {4, 4}, {8, 4}, {12, 2}, {18, 2}}},
    {"GPSTIME11", LASitem::GPSTIME11, 8, {{0, 8}}},
    {"RGB12", LASitem::RGB12, 6, {{0, 2}, {2, 2}, {4, 2}}},
    {"RGBNIR14", LASitem::RGBNIR14, 8, {{0, 2}, {2, 2}, {4, 2}, {6, 2}}},
    {"WAVEPACKET13", LASitem::WAVEPACKET13, 29, {{1, 8}, {9, 4}, {13, 4}, {17, 4}, {21, 4}, {25, 4}}},
};

LASreadItemRaw* be_reader(LASitem::Type type) {
  switch (type) {
    case LASitem::POINT10: return new LASreadItemRaw_POINT10_BE();
    case LASitem::GPSTIME11: return new LASreadItemRaw_GPSTIME11_BE();
    case LASitem::RGB12: return new LASreadItemRaw_RGB12_BE();
    case LASitem::RGBNIR14: return new LASreadItemRaw_RGBNIR14_BE();
    default: return new LASreadItemRaw_WAVEPACKET13_BE();
  }
}

LASwriteItemRaw* be_writer(LASitem::Type type) {
  switch (type) {
    case LASitem::POINT10: return new LASwriteItemRaw_POINT10_BE();
    case LASitem::GPSTIME11: return new LASwriteItemRaw_GPSTIME11_BE();
    case LASitem::RGB12: return new LASwriteItemRaw_RGB_BE(6);
    case LASitem::RGBNIR14: return new LASwriteItemRaw_RGB_BE(8);
    default: return new LASwriteItemRaw_WAVEPACKET13_BE();
  }
}

class BigEndianItems : public ::testing::TestWithParam<SwapCase> {};

TEST_P(BigEndianItems, SwapEveryFieldAndRoundTrip) {
  const SwapCase& c = GetParam();
  std::vector<uint8_t> disk(c.size);
  for (size_t i = 0; i < disk.size(); i++) disk[i] = static_cast<uint8_t>(i * 13 + 1);
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(disk.data(), c.size));
  std::unique_ptr<LASreadItemRaw> reader(be_reader(c.type));
  ASSERT_TRUE(reader->init(in.get()));
  std::vector<uint8_t> item(c.size, 0);
  uint32_t context = 0;
  reader->read(item.data(), context);
  std::vector<uint8_t> expected = disk;
  for (const auto& f : c.fields) {
    for (int b = 0; b < f.second; b++) expected[f.first + b] = disk[f.first + f.second - 1 - b];
  }
  EXPECT_EQ(item, expected);

  std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(64));
  std::unique_ptr<LASwriteItemRaw> writer(be_writer(c.type));
  ASSERT_TRUE(writer->init(out.get()));
  ASSERT_TRUE(writer->write(item.data(), context));
  ASSERT_EQ(out->get_size(), c.size);
  EXPECT_EQ(0, memcmp(out->get_data(), disk.data(), c.size));
}

INSTANTIATE_TEST_SUITE_P(Items, BigEndianItems, ::testing::ValuesIn(swap_cases),
                         [](const ::testing::TestParamInfo<SwapCase>& info) { return info.param.name; });

TEST(RawItems, SizesMustMatchTheItemLayout) {
  EXPECT_EQ(create_read_item_raw({LASitem::POINT10, 19, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({LASitem::POINT14, 20, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({LASitem::BYTE, 0, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({3, 20, 0}), nullptr);
  EXPECT_EQ(create_write_item_raw({LASitem::RGB14, 8, 0}), nullptr);
  std::unique_ptr<LASreadItemRaw> ok(create_read_item_raw({LASitem::BYTE14, 5, 0}));
  EXPECT_NE(ok, nullptr);
}

// ---------------------------------------------------------------------------
// POINT14: the legacy fields derived from the extended ones.
struct Point14Case {
  const char* name;
  uint8_t return_number, number_of_returns;
  uint8_t flags;  // disk byte 15: class flags 0-3, channel 4-5, direction 6, edge 7
  uint8_t classification;
  int16_t scan_angle;
  uint8_t legacy_returns;  // buffer byte 14
  uint8_t legacy_class;    // buffer byte 15
  int8_t legacy_rank;      // buffer byte 16
};

const Point14Case point14_cases[] = {
    {"few_returns", 3, 5, 0x00, 2, 0, 3 | (5 << 3), 2, 0},
    {"many_returns_early", 6, 15, 0x00, 2, 0, 6 | (7 << 3), 2, 0},
    {"many_returns_middle", 7, 9, 0x00, 2, 0, 6 | (7 << 3), 2, 0},
    {"many_returns_last", 9, 9, 0x00, 2, 0, 7 | (7 << 3), 2, 0},
    {"beyond_returns", 12, 8, 0x00, 2, 0, 7 | (7 << 3), 2, 0},
    {"direction_and_edge", 1, 1, 0xC0, 2, 0, 1 | (1 << 3) | 0xC0, 2, 0},
    {"class_flags", 1, 1, 0x05, 6, 0, 9, static_cast<uint8_t>(0xA0 | 6), 0},
    {"overlap_flag_not_legacy", 1, 1, 0x08, 6, 0, 9, 6, 0},
    {"class_above_31", 1, 1, 0x01, 40, 0, 9, 0x20, 0},
    {"angle_round_down", 1, 1, 0, 1, 83, 9, 1, 0},
    {"angle_round_up", 1, 1, 0, 1, 84, 9, 1, 1},
    {"angle_negative", 1, 1, 0, 1, -84, 9, 1, -1},
    {"angle_90", 1, 1, 0, 1, 15000, 9, 1, 90},
    {"angle_clamped_high", 1, 1, 0, 1, 30000, 9, 1, 127},
    {"angle_clamped_low", 1, 1, 0, 1, -30000, 9, 1, -128},
};

class Point14Legacy : public ::testing::TestWithParam<Point14Case> {};

TEST_P(Point14Legacy, DerivedFieldsAndRoundTrip) {
  const Point14Case& c = GetParam();
  uint8_t disk[30];
  for (int i = 0; i < 30; i++) disk[i] = static_cast<uint8_t>(100 + i);
  disk[14] = static_cast<uint8_t>(c.return_number | (c.number_of_returns << 4));
  disk[15] = static_cast<uint8_t>(c.flags | 0x20);  // scanner channel 2
  disk[16] = c.classification;
  memcpy(disk + 18, &c.scan_angle, 2);
  uint8_t item[48];
  memset(item, 0, sizeof(item));
  item[22] = 1;  // the extended point type marker, kept
  las_point14_from_disk(disk, item);
  EXPECT_EQ(item[14], static_cast<uint8_t>(c.legacy_returns | (c.flags & 0xC0)));
  EXPECT_EQ(item[15], c.legacy_class);
  EXPECT_EQ(static_cast<int8_t>(item[16]), c.legacy_rank);
  EXPECT_EQ(item[17], disk[17]);                              // user data
  EXPECT_EQ(0, memcmp(item + 18, disk + 20, 2));              // point source ID
  EXPECT_EQ(0, memcmp(item + 20, disk + 18, 2));              // scan angle
  EXPECT_EQ(item[22] & 0x03, 1);                              // marker kept
  EXPECT_EQ((item[22] >> 2) & 0x03, 2);                       // scanner channel
  EXPECT_EQ(item[22] >> 4, c.flags & 0x0F);                   // classification flags
  EXPECT_EQ(item[23], c.classification);
  EXPECT_EQ(item[24], disk[14]);
  EXPECT_EQ(0, memcmp(item + 32, disk + 22, 8));              // GPS time
  uint8_t back[30];
  las_point14_to_disk(item, back);
  EXPECT_EQ(0, memcmp(back, disk, 30));
}

INSTANTIATE_TEST_SUITE_P(Cases, Point14Legacy, ::testing::ValuesIn(point14_cases),
                         [](const ::testing::TestParamInfo<Point14Case>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Uncompressed records.

struct RawData {
  std::vector<LASitem> items;
  uint32_t record_size = 0;
  size_t prefix = 100;
  std::vector<uint8_t> bytes;  // prefix, then the records
};

RawData raw_data(int format, int extra, uint32_t count) {
  RawData data;
  static const uint16_t standard[11] = {20, 28, 26, 34, 57, 63, 30, 36, 38, 59, 67};
  PTcomp settings;
  EXPECT_TRUE(settings.setup(static_cast<uint8_t>(format), standard[format], PTcomp::COMPRESSOR_NONE));
  data.items.assign(settings.items, settings.items + settings.num_items);
  if (extra) data.items.push_back({format >= 6 ? LASitem::BYTE14 : LASitem::BYTE, static_cast<uint16_t>(extra), 0});
  for (const LASitem& item : data.items) data.record_size += item.size;
  data.bytes.assign(data.prefix + size_t(count) * data.record_size, 0);
  for (size_t i = 0; i < data.bytes.size(); i++) data.bytes[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
  return data;
}

TEST(RawRecords, EveryRecordAcrossBlocksAndTheTruncatedEnd) {
  for (int format : {0, 3, 6, 10}) {
    SCOPED_TRACE("format " + std::to_string(format));
    const uint32_t count = 7000;  // several record blocks
    RawData data = raw_data(format, 3, count);
    data.bytes.resize(data.bytes.size() - 1);  // the last record is cut
    LASreadPoint reader;
    ASSERT_TRUE(reader.setup(static_cast<uint32_t>(data.items.size()), data.items.data()));
    EXPECT_EQ(reader.get_record_size(), data.record_size);
    std::unique_ptr<ByteStreamInArray> in(
        new_byte_stream_in_array(data.bytes.data(), static_cast<long long>(data.bytes.size())));
    ASSERT_TRUE(in->seek(static_cast<long long>(data.prefix)));
    ASSERT_TRUE(reader.init(in.get()));
    std::vector<uint8_t> record(buffer_bytes(data.items));
    std::vector<uint8_t> expected(record.size());
    auto got = pointers(record.data(), data.items);
    auto want = pointers(expected.data(), data.items);
    uint32_t n = 0;
    while (reader.read(got.data())) {
      // The raw readers on the record's own bytes give the expected buffers.
      const uint8_t* at = data.bytes.data() + data.prefix + size_t(n) * data.record_size;
      std::unique_ptr<ByteStreamInArray> one(new_byte_stream_in_array(at, data.record_size));
      uint32_t context = 0;
      for (size_t i = 0; i < data.items.size(); i++) {
        std::unique_ptr<LASreadItemRaw> item(create_read_item_raw(data.items[i]));
        item->init(one.get());
        item->read(want[i], context);
      }
      for (size_t i = 0; i < data.items.size(); i++) {
        const uint32_t bytes = data.items[i].type == LASitem::POINT14 ? 40 : data.items[i].size;
        ASSERT_EQ(0, memcmp(got[i], want[i], bytes)) << "point " << n << " item " << i;
      }
      n++;
    }
    EXPECT_EQ(n, count - 1);
    ASSERT_NE(reader.error(), nullptr);
    EXPECT_STREQ(reader.error(), "end-of-file");
    EXPECT_TRUE(reader.check_end());
  }
}

TEST(RawRecords, SeekMovesToAnyRecord) {
  const uint32_t count = 9000;
  RawData data = raw_data(1, 0, count);
  LASreadPoint reader;
  ASSERT_TRUE(reader.setup(static_cast<uint32_t>(data.items.size()), data.items.data()));
  std::unique_ptr<ByteStreamInArray> in(
      new_byte_stream_in_array(data.bytes.data(), static_cast<long long>(data.bytes.size())));
  ASSERT_TRUE(in->seek(static_cast<long long>(data.prefix)));
  ASSERT_TRUE(reader.init(in.get()));
  std::vector<uint8_t> record(data.record_size);
  auto got = pointers(record.data(), data.items);
  int64_t current = 0;
  for (int64_t target : {0, 5, 3, 3276, 3277, 8999, 1, 6553, 6552}) {
    ASSERT_TRUE(reader.seek(current, target));
    ASSERT_TRUE(reader.read(got.data()));
    EXPECT_EQ(0, memcmp(record.data(), data.bytes.data() + data.prefix + target * data.record_size,
                        data.record_size))
        << target;
    current = target + 1;
  }
}

TEST(RawRecords, SetupRefusals) {
  LASreadPoint reader;
  EXPECT_FALSE(reader.setup(0, nullptr));
  const LASitem bad[1] = {{2, 20, 0}};
  EXPECT_FALSE(reader.setup(1, bad));
  ASSERT_NE(reader.error(), nullptr);
  EXPECT_STREQ(reader.error(), "item 0 of type 2 and size 20 not supported");
  PTcomp settings;
  ASSERT_TRUE(settings.setup(0, 20, PTcomp::COMPRESSOR_POINTWISE_CHUNKED));
  LASitem copy[1] = {settings.items[0]};
  EXPECT_FALSE(reader.setup(1, copy, &settings));  // not the settings' own list
  settings.coder = 1;
  EXPECT_FALSE(reader.setup(settings.num_items, settings.items, &settings));
  EXPECT_STREQ(reader.error(), "coder 1 not supported");
  EXPECT_FALSE(reader.init(nullptr));
}

// ---------------------------------------------------------------------------
// Seeking in compressed data.

struct SeekCase {
  const char* name;
  uint16_t kind;
  uint32_t chunk_size;
  std::vector<uint32_t> breaks;
};

const SeekCase seek_cases[] = {
    {"pointwise", PTcomp::COMPRESSOR_POINTWISE, 0, {}},
    {"fixed_chunks", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 100, {}},
    {"variable_chunks", PTcomp::COMPRESSOR_POINTWISE_CHUNKED, 0, {0, 49, 50, 51, 199, 400, 401, 402, 600}},
};

class CompressedSeek : public ::testing::TestWithParam<SeekCase> {};

TEST_P(CompressedSeek, LandsOnTheTargetFromAnywhere) {
  const SeekCase& c = GetParam();
  const uint32_t count = 777;
  codectest::PtcLayout layout;
  layout.format = 3;
  layout.extra = 2;
  layout.kind = c.kind;
  layout.chunk_size = c.chunk_size;
  layout.breaks = c.breaks;
  layout.prefix = 50;
  const auto points = codectest::make_points(3, 2, 2, codectest::Scenario::Hard, count, 5);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(codectest::write_point_data(points, layout, bytes), "");

  const auto settings = codectest::make_settings(layout);
  const std::vector<LASitem> items(settings->items, settings->items + settings->num_items);
  LASreadPoint reader;
  ASSERT_TRUE(reader.setup(settings->num_items, settings->items, settings.get())) << reader.error();
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
  ASSERT_TRUE(in->seek(50));
  ASSERT_TRUE(reader.init(in.get()));
  std::vector<uint8_t> record(points.point_size);
  auto got = pointers(record.data(), items);

  // A seek before any point was read, then jumps in every direction, within
  // chunks and across them.
  int64_t current = 0;
  const int64_t targets[] = {10, 11, 9, 0, 99, 100, 101, 50, 776, 400, 399, 402, 205, 205, 0, 600, 601, 23};
  for (int64_t target : targets) {
    SCOPED_TRACE("from " + std::to_string(current) + " to " + std::to_string(target));
    ASSERT_TRUE(reader.seek(current, target)) << (reader.error() ? reader.error() : "");
    ASSERT_TRUE(reader.read(got.data())) << (reader.error() ? reader.error() : "");
    ASSERT_EQ(0, memcmp(record.data(), points.point(static_cast<uint32_t>(target)), points.point_size));
    current = target + 1;
  }
  // From the last target read on to the end, and the end is where it should be.
  for (int64_t i = current; i < count; i++) {
    ASSERT_TRUE(reader.read(got.data())) << i;
    ASSERT_EQ(0, memcmp(record.data(), points.point(static_cast<uint32_t>(i)), points.point_size)) << i;
  }
  EXPECT_TRUE(reader.check_end()) << (reader.error() ? reader.error() : "");
  // Reads after the end fail, and a seek brings the reader back.
  EXPECT_FALSE(reader.read(got.data()));
  ASSERT_TRUE(reader.seek(count, 3));
  ASSERT_TRUE(reader.read(got.data()));
  EXPECT_EQ(0, memcmp(record.data(), points.point(3), points.point_size));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CompressedSeek, ::testing::ValuesIn(seek_cases),
                         [](const ::testing::TestParamInfo<SeekCase>& info) { return info.param.name; });

// Rewrites the chunk table of chunked data with the last chunk one byte
// longer than it is, and that byte appended to the chunk.
std::vector<uint8_t> lengthen_last_chunk(const std::vector<uint8_t>& bytes, size_t prefix,
                                         const std::vector<int64_t>& starts, uint32_t number) {
  const int64_t table = codectest::table_offset(bytes, prefix);
  std::vector<uint8_t> out(bytes.begin(), bytes.begin() + table);
  out.push_back(0x5A);
  std::unique_ptr<ByteStreamOutArray> stream(new_byte_stream_out_array(1024));
  const uint32_t version = 0;
  stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&version));
  stream->put32bitsLE(reinterpret_cast<const unsigned char*>(&number));
  ArithmeticEncoder encoder;
  encoder.init(stream.get());
  IntegerCompressor ic(&encoder, 32, 2, 8, 0);
  ic.initCompressor();
  int32_t previous = 0;
  for (uint32_t i = 1; i <= number; i++) {
    int32_t length = static_cast<int32_t>(starts[i] - starts[i - 1]);
    if (i == number) length++;
    ic.compress(previous, length, 1);
    previous = length;
  }
  encoder.done();
  out.insert(out.end(), stream->get_data(), stream->get_data() + stream->get_size());
  codectest::set_table_offset(out, prefix, table + 1);
  return out;
}

TEST(ChunkEnd, LastChunkEndingElsewhereFailsTheEndCheck) {
  const uint32_t count = 250;
  codectest::PtcLayout layout;
  layout.format = 1;
  layout.chunk_size = 100;
  const auto points = codectest::make_points(1, 0, 2, codectest::Scenario::Raster, count, 9);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(codectest::write_point_data(points, layout, bytes), "");

  // Chunk starts from a first read.
  const auto settings = codectest::make_settings(layout);
  const std::vector<LASitem> items(settings->items, settings->items + settings->num_items);
  std::vector<uint8_t> record(points.point_size);
  auto got = pointers(record.data(), items);
  std::vector<int64_t> starts;
  {
    LASreadPoint reader;
    ASSERT_TRUE(reader.setup(settings->num_items, settings->items, settings.get()));
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
    ASSERT_TRUE(reader.init(in.get()));
    for (uint32_t i = 0; i < count; i++) ASSERT_TRUE(reader.read(got.data()));
    EXPECT_TRUE(reader.check_end());
    ASSERT_EQ(reader.get_known_chunks(), 4u);
    starts.assign(reader.get_chunk_starts().begin(), reader.get_chunk_starts().begin() + 4);
  }
  const std::vector<uint8_t> damaged = lengthen_last_chunk(bytes, 0, starts, 3);
  LASreadPoint reader;
  ASSERT_TRUE(reader.setup(settings->num_items, settings->items, settings.get()));
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(damaged.data(), static_cast<long long>(damaged.size())));
  ASSERT_TRUE(reader.init(in.get()));
  for (uint32_t i = 0; i < count; i++) {
    ASSERT_TRUE(reader.read(got.data())) << i;
    ASSERT_EQ(0, memcmp(record.data(), points.point(i), points.point_size)) << i;
  }
  EXPECT_FALSE(reader.check_end());
  ASSERT_NE(reader.error(), nullptr);
  EXPECT_STREQ(reader.error(), "chunk with index 2 of 4 is corrupt");
  EXPECT_FALSE(reader.read(got.data()));  // no decoding after the end
}

TEST(ChunkEnd, MorePointsThanTheTableHoldsIsAnEndOfFile) {
  const uint32_t count = 150;
  codectest::PtcLayout layout;
  layout.format = 0;
  layout.chunk_size = 50;
  const auto points = codectest::make_points(0, 0, 2, codectest::Scenario::Raster, count, 3);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(codectest::write_point_data(points, layout, bytes), "");
  const auto settings = codectest::make_settings(layout);
  const std::vector<LASitem> items(settings->items, settings->items + settings->num_items);
  LASreadPoint reader;
  ASSERT_TRUE(reader.setup(settings->num_items, settings->items, settings.get()));
  std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(bytes.data(), static_cast<long long>(bytes.size())));
  ASSERT_TRUE(reader.init(in.get()));
  std::vector<uint8_t> record(points.point_size);
  auto got = pointers(record.data(), items);
  for (uint32_t i = 0; i < count; i++) ASSERT_TRUE(reader.read(got.data()));
  // A header announcing more points: the table says no chunk follows, so the
  // table's bytes are not decoded as points.
  EXPECT_FALSE(reader.read(got.data()));
  ASSERT_NE(reader.error(), nullptr);
  EXPECT_STREQ(reader.error(), "end-of-file during chunk with index 3");
}

}  // namespace
