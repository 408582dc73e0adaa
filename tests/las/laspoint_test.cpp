// The point model: item buffers laid out from item lists, z through the
// Z integer or an attribute, rounding and overflow, copies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "las/lasheader.hpp"
#include "las/laspoint.hpp"

namespace {

LASitem item(uint32_t type, uint16_t size) {
  LASitem i;
  i.type = type;
  i.size = size;
  return i;
}

TEST(LASpoint, FreshPointIsReturnOneOfOne) {
  LASpoint point;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&point);
  EXPECT_EQ(bytes[14], 9);
  EXPECT_EQ(bytes[24], 17);
  EXPECT_EQ(point.extended_point_type, 0);
  EXPECT_EQ(point.num_items, 0);
}

TEST(LASpoint, BitFieldsMatchItemLayout) {
  LASpoint point;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&point);
  bytes[14] = 0xC0 | (3 << 3) | 2;
  bytes[15] = 0x80 | 17;
  bytes[22] = 0x81 | (2 << 2);
  bytes[24] = (5 << 4) | 4;
  EXPECT_EQ(point.return_number, 2);
  EXPECT_EQ(point.number_of_returns, 3);
  EXPECT_EQ(point.scan_direction_flag, 1);
  EXPECT_EQ(point.edge_of_flight_line, 1);
  EXPECT_EQ(point.classification, 17);
  EXPECT_EQ(point.withheld_flag, 1);
  EXPECT_EQ(point.synthetic_flag, 0);
  EXPECT_EQ(point.extended_point_type, 1);
  EXPECT_EQ(point.extended_scanner_channel, 2);
  EXPECT_EQ(point.extended_classification_flags, 8);
  EXPECT_TRUE(point.get_overlap_flag());
  EXPECT_EQ(point.extended_return_number, 4);
  EXPECT_EQ(point.extended_number_of_returns, 5);
  EXPECT_EQ(point.get_return_number(), 4);
}

TEST(LASpoint, InitLaysOutItemBuffers) {
  LASheader header;
  const LASitem items[5] = {item(LASitem::POINT10, 20), item(LASitem::GPSTIME11, 8), item(LASitem::RGB12, 6),
                            item(LASitem::WAVEPACKET13, 29), item(LASitem::BYTE, 3)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 5, items, &header));
  EXPECT_EQ(point.num_items, 5);
  EXPECT_EQ(point.total_point_size, 66u);
  EXPECT_EQ(point.point[0], reinterpret_cast<uint8_t*>(&point));
  EXPECT_EQ(point.point[1], reinterpret_cast<uint8_t*>(&point.gps_time));
  EXPECT_EQ(point.point[2], reinterpret_cast<uint8_t*>(point.rgb));
  EXPECT_EQ(point.point[3], point.wavepacket);
  EXPECT_EQ(point.point[4], point.extra_bytes);
  EXPECT_EQ(point.extra_bytes_number, 3);
  EXPECT_TRUE(point.have_gps_time);
  EXPECT_TRUE(point.have_rgb);
  EXPECT_FALSE(point.have_nir);
  EXPECT_TRUE(point.have_wavepacket);
  EXPECT_EQ(point.rgb_flag, 16);
  EXPECT_EQ(point.extended_point_type, 0);
  EXPECT_EQ(point.quantizer, &header);

  const LASitem items14[3] = {item(LASitem::POINT14, 30), item(LASitem::RGBNIR14, 8), item(LASitem::BYTE14, 4)};
  ASSERT_TRUE(point.init(&header, 3, items14, &header));
  EXPECT_EQ(point.point[0], reinterpret_cast<uint8_t*>(&point));
  EXPECT_TRUE(point.have_gps_time);
  EXPECT_TRUE(point.have_nir);
  EXPECT_EQ(point.extended_point_type, 1);
  EXPECT_EQ(point.extra_bytes_number, 4);
  EXPECT_EQ(point.total_point_size, 42u);
  // The 48-byte POINT14 buffer ends right before the colour.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&point.gps_time) - reinterpret_cast<uint8_t*>(&point), 32);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(point.rgb) - reinterpret_cast<uint8_t*>(&point), 40);
}

TEST(LASpoint, TwoByteItemsShareOneBlock) {
  LASheader header;
  const LASitem items[3] = {item(LASitem::POINT10, 20), item(LASitem::BYTE, 3), item(LASitem::BYTE, 2)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 3, items, &header));
  EXPECT_EQ(point.extra_bytes_number, 5);
  EXPECT_EQ(point.point[1], point.extra_bytes);
  EXPECT_EQ(point.point[2], point.extra_bytes + 3);
}

class RejectedItems : public ::testing::TestWithParam<LASitem> {};

TEST_P(RejectedItems, InitFails) {
  LASheader header;
  const LASitem items[2] = {item(LASitem::POINT10, 20), GetParam()};
  LASpoint point;
  EXPECT_FALSE(point.init(&header, 2, items, &header));
  EXPECT_EQ(point.num_items, 0);
  EXPECT_EQ(point.point, nullptr);
  EXPECT_EQ(point.total_point_size, 0u);
}

INSTANTIATE_TEST_SUITE_P(Types, RejectedItems,
                         ::testing::Values(item(1, 2), item(5, 8), item(15, 4), item(LASitem::RGB12, 8),
                                           item(LASitem::GPSTIME11, 4), item(LASitem::WAVEPACKET14, 30),
                                           item(LASitem::POINT14, 20)));

struct ZCase {
  double z;
  int32_t Z;
  bool ok;
};

class SetZ : public ::testing::TestWithParam<ZCase> {};

TEST_P(SetZ, RoundsHalfAwayFromZero) {
  LASheader header;
  const LASitem items[1] = {item(LASitem::POINT10, 20)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 1, items, &header));
  EXPECT_EQ(point.set_z(GetParam().z), GetParam().ok);
  EXPECT_EQ(point.Z, GetParam().Z);
}

INSTANTIATE_TEST_SUITE_P(Scale001, SetZ,
                         ::testing::Values(ZCase{1.234, 123, true}, ZCase{-1.234, -123, true},
                                           ZCase{0.005, 1, true}, ZCase{-0.005, -1, true},
                                           ZCase{0.0049, 0, true}, ZCase{21474836.47, INT32_MAX, true},
                                           ZCase{-21474836.48, INT32_MIN, true},
                                           ZCase{21474836.48, INT32_MAX, false},
                                           ZCase{1e12, INT32_MAX, false}, ZCase{-1e12, INT32_MIN, false}));

struct AttributeZCase {
  unsigned char data_type;
  unsigned char options;  // bit 3 scale, bit 4 offset
  double z;
  int64_t stored;
};

class SetZIntoAttribute : public ::testing::TestWithParam<AttributeZCase> {};

TEST_P(SetZIntoAttribute, StoresByComponentType) {
  LASheader header;
  LASattribute attribute(GetParam().data_type, "z");
  attribute.options = GetParam().options;
  attribute.scale[0] = 0.01;
  attribute.offset[0] = 100.0;
  header.add_attribute(LASattribute(1, "pad"));
  header.add_attribute(attribute);
  header.z_attribute_index = 1;
  const int size = attribute.get_size();
  const LASitem items[2] = {item(LASitem::POINT10, 20), item(LASitem::BYTE, static_cast<uint16_t>(1 + size))};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 2, items, &header));
  point.Z = 77;
  EXPECT_TRUE(point.set_z(GetParam().z));
  EXPECT_EQ(point.Z, 77);
  int64_t stored = 0;
  const unsigned char* at = point.extra_bytes + 1;
  switch (attribute.get_type()) {
    case LASattribute::U8: stored = at[0]; break;
    case LASattribute::I8: stored = static_cast<int8_t>(at[0]); break;
    case LASattribute::U16: { uint16_t v; memcpy(&v, at, 2); stored = v; break; }
    case LASattribute::I16: { int16_t v; memcpy(&v, at, 2); stored = v; break; }
    case LASattribute::I32: { int32_t v; memcpy(&v, at, 4); stored = v; break; }
    case LASattribute::I64: { int64_t v; memcpy(&v, at, 8); stored = v; break; }
    default: FAIL();
  }
  EXPECT_EQ(stored, GetParam().stored);
  EXPECT_EQ(point.extra_bytes[0], 0);
}

INSTANTIATE_TEST_SUITE_P(
    Types, SetZIntoAttribute,
    ::testing::Values(AttributeZCase{4, 8, -1.234, -123},      // i16, scale: -123.4 - 0.5 cut to zero
                      AttributeZCase{4, 8, 1.235, 124},        // 123.5 + 0.5
                      AttributeZCase{4, 24, 101.0, 100},       // (101 - 100) / 0.01
                      AttributeZCase{4, 16, 103.6, 4},         // offset only: 3.6 rounds to 4
                      AttributeZCase{4, 0, -7.5, -8},          // neither
                      AttributeZCase{1, 0, -3.0, 0},           // unsigned keeps 0 for negatives
                      AttributeZCase{1, 0, 300.0, 44},         // cut to 8 bits
                      AttributeZCase{2, 0, -2.5, -3},          // i8
                      AttributeZCase{3, 8, 655.35, 65535},     // u16 with scale
                      AttributeZCase{6, 0, -1e12, 727379968},  // i32: -10^12 cut to its low 32 bits
                      AttributeZCase{8, 8, 1e6, 100000000}));  // i64

TEST(LASpoint, AttributeZReadsBackAndOutOfRangeIndexUsesZ) {
  LASheader header;
  LASattribute attribute(10, "z");  // double
  header.add_attribute(attribute);
  header.z_attribute_index = 0;
  const LASitem items[2] = {item(LASitem::POINT10, 20), item(LASitem::BYTE, 8)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 2, items, &header));
  EXPECT_TRUE(point.set_z(12.375));
  EXPECT_DOUBLE_EQ(point.get_z(), 12.375);
  header.z_attribute_index = 3;
  EXPECT_TRUE(point.set_z(1.0));
  EXPECT_EQ(point.Z, 100);
  EXPECT_DOUBLE_EQ(point.get_z(), 1.0);
}

TEST(LASpoint, AttributeBeyondExtraBytesIsIgnored) {
  LASheader header;
  header.add_attribute(LASattribute(10, "z"));  // 8 bytes
  header.z_attribute_index = 0;
  const LASitem items[2] = {item(LASitem::POINT10, 20), item(LASitem::BYTE, 4)};  // only 4
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 2, items, &header));
  EXPECT_FALSE(point.has_attribute(0));
  EXPECT_TRUE(point.set_z(5.0));
  EXPECT_DOUBLE_EQ(point.get_attribute_as_float(0), 0.0);
}

TEST(LASpoint, CopyIsDeep) {
  LASheader header;
  const LASitem items[3] = {item(LASitem::POINT10, 20), item(LASitem::GPSTIME11, 8), item(LASitem::BYTE, 2)};
  LASpoint a;
  ASSERT_TRUE(a.init(&header, 3, items, &header));
  a.X = 5;
  a.gps_time = 2.5;
  a.classification = 6;
  a.extra_bytes[1] = 9;
  LASpoint b(a);
  EXPECT_EQ(b.X, 5);
  EXPECT_EQ(b.gps_time, 2.5);
  EXPECT_EQ(b.classification, 6);
  EXPECT_NE(b.extra_bytes, a.extra_bytes);
  EXPECT_EQ(b.extra_bytes[1], 9);
  EXPECT_EQ(b.point[0], reinterpret_cast<uint8_t*>(&b));
  EXPECT_EQ(b.point[1], reinterpret_cast<uint8_t*>(&b.gps_time));
  LASpoint c;
  c = b;
  EXPECT_EQ(c.point[2], c.extra_bytes);
  EXPECT_EQ(c.extra_bytes[1], 9);
}

}  // namespace
