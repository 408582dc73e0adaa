// Raw items: big-endian host variants, the item sizes the raw readers and
// writers accept, and the POINT14 legacy fields.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamout_array.hpp"
#include "ptcomp/lasreaditemraw.hpp"
#include "ptcomp/laswriteitemraw.hpp"
#include "tests/support/test_support.hpp"

namespace {

// Big-endian host variants, exercised on this host: they must swap exactly
// the multi-byte fields (offset, width; the last one ends the item), and
// the writer must undo the reader.
TEST(BigEndianItems, SwapEveryFieldAndRoundTrip) {
  struct Case {
    std::unique_ptr<LASreadItemRaw> reader;
    std::unique_ptr<LASwriteItemRaw> writer;
    std::vector<std::pair<int, int>> fields;
  };
  Case cases[5];
  cases[0] = {std::make_unique<LASreadItemRaw_POINT10_BE>(), std::make_unique<LASwriteItemRaw_POINT10_BE>(),
              {{0, 4}, {4, 4}, {8, 4}, {12, 2}, {18, 2}}};
  cases[1] = {std::make_unique<LASreadItemRaw_GPSTIME11_BE>(), std::make_unique<LASwriteItemRaw_GPSTIME11_BE>(),
              {{0, 8}}};
  cases[2] = {std::make_unique<LASreadItemRaw_RGB12_BE>(), std::make_unique<LASwriteItemRaw_RGB_BE>(6),
              {{0, 2}, {2, 2}, {4, 2}}};
  cases[3] = {std::make_unique<LASreadItemRaw_RGBNIR14_BE>(), std::make_unique<LASwriteItemRaw_RGB_BE>(8),
              {{0, 2}, {2, 2}, {4, 2}, {6, 2}}};
  cases[4] = {std::make_unique<LASreadItemRaw_WAVEPACKET13_BE>(), std::make_unique<LASwriteItemRaw_WAVEPACKET13_BE>(),
              {{1, 8}, {9, 4}, {13, 4}, {17, 4}, {21, 4}, {25, 4}}};
  for (Case& c : cases) {
    const size_t size = c.fields.back().first + c.fields.back().second;
    SCOPED_TRACE("item of " + std::to_string(size) + " bytes");
    std::vector<uint8_t> disk(size), item(size, 0);
    for (size_t i = 0; i < size; i++) disk[i] = static_cast<uint8_t>(i * 13 + 1);
    std::unique_ptr<ByteStreamInArray> in(new_byte_stream_in_array(disk.data(), size));
    ASSERT_TRUE(c.reader->init(in.get()));
    uint32_t context = 0;
    c.reader->read(item.data(), context);
    std::vector<uint8_t> expected = disk;
    for (const auto& f : c.fields) std::reverse(expected.begin() + f.first, expected.begin() + f.first + f.second);
    EXPECT_EQ(item, expected);
    std::unique_ptr<ByteStreamOutArray> out(new_byte_stream_out_array(64));
    ASSERT_TRUE(c.writer->init(out.get()));
    ASSERT_TRUE(c.writer->write(item.data(), context));
    EXPECT_EQ(std::vector<uint8_t>(out->get_data(), out->get_data() + out->get_size()), disk);
  }
}

TEST(RawItems, SizesMustMatchTheItemLayout) {
  EXPECT_EQ(create_read_item_raw({LASitem::POINT10, 19, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({LASitem::POINT14, 20, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({LASitem::BYTE, 0, 0}), nullptr);
  EXPECT_EQ(create_read_item_raw({3, 20, 0}), nullptr);
  EXPECT_EQ(create_write_item_raw({LASitem::RGB14, 8, 0}), nullptr);
  EXPECT_NE(std::unique_ptr<LASreadItemRaw>(create_read_item_raw({LASitem::BYTE14, 5, 0})), nullptr);
}

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
  uint8_t disk[30], item[48] = {}, back[30];
  for (int i = 0; i < 30; i++) disk[i] = static_cast<uint8_t>(100 + i);
  disk[14] = static_cast<uint8_t>(c.return_number | (c.number_of_returns << 4));
  disk[15] = static_cast<uint8_t>(c.flags | 0x20);  // scanner channel 2
  disk[16] = c.classification;
  memcpy(disk + 18, &c.scan_angle, 2);
  item[22] = 1;  // the extended point type marker, kept
  las_point14_from_disk(disk, item);
  // Legacy returns, class and rank; user data; the marker kept, scanner
  // channel, classification flags, class and returns.
  EXPECT_EQ((std::vector<int>{item[14], item[15], static_cast<int8_t>(item[16]), item[17], item[22] & 0x03,
                              (item[22] >> 2) & 0x03, item[22] >> 4, item[23], item[24]}),
            (std::vector<int>{c.legacy_returns | (c.flags & 0xC0), c.legacy_class, c.legacy_rank, disk[17], 1, 2,
                              c.flags & 0x0F, c.classification, disk[14]}));
  EXPECT_EQ(0, memcmp(item + 18, disk + 20, 2));  // point source ID
  EXPECT_EQ(0, memcmp(item + 20, disk + 18, 2));  // scan angle
  EXPECT_EQ(0, memcmp(item + 32, disk + 22, 8));  // GPS time
  las_point14_to_disk(item, back);
  EXPECT_EQ(0, memcmp(back, disk, 30));
}

INSTANTIATE_TEST_SUITE_P(Cases, Point14Legacy, ::testing::ValuesIn(point14_cases), testsupport::CaseName());

}  // namespace
