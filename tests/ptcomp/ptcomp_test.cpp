// Compressor settings: validation messages, item lists of the point formats
// and the settings record payload.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "las/bytestreamout_array.hpp"
#include "ptcomp/ptcomp.hpp"
#include "tests/support/point_helpers.hpp"

namespace {

struct ItemCase {
  LASitem item;
  const char* error;  // null when the item passes
};

class CheckItem : public ::testing::TestWithParam<ItemCase> {};

TEST_P(CheckItem, Message) {
  PTcomp settings;
  const bool ok = settings.check_item(&GetParam().item);
  if (GetParam().error == nullptr) {
    EXPECT_TRUE(ok);
    EXPECT_EQ(settings.get_error(), nullptr);
  } else {
    EXPECT_FALSE(ok);
    ASSERT_NE(settings.get_error(), nullptr);
    EXPECT_EQ(std::string(settings.get_error()), std::string(GetParam().error) + " (PTcomp v3.5r0)");
  }
}

const ItemCase kItemCases[] = {
    {LASitem{LASitem::BYTE, 1, 2}, nullptr},
    {LASitem{LASitem::BYTE, 0, 0}, "BYTE has size < 1"},
    {LASitem{LASitem::BYTE, 3, 3}, "BYTE has version > 2"},
    {LASitem{LASitem::POINT10, 20, 1}, nullptr},
    {LASitem{LASitem::POINT10, 21, 0}, "POINT10 has size != 20"},
    {LASitem{LASitem::POINT10, 20, 3}, "POINT10 has version > 2"},
    {LASitem{LASitem::GPSTIME11, 4, 0}, "GPSTIME11 has size != 8"},
    {LASitem{LASitem::GPSTIME11, 8, 5}, "GPSTIME11 has version > 2"},
    {LASitem{LASitem::RGB12, 8, 0}, "RGB12 has size != 6"},
    {LASitem{LASitem::RGB12, 6, 3}, "RGB12 has version > 2"},
    {LASitem{LASitem::WAVEPACKET13, 28, 0}, "WAVEPACKET13 has size != 29"},
    {LASitem{LASitem::WAVEPACKET13, 29, 2}, "WAVEPACKET13 has version > 1"},
    {LASitem{LASitem::POINT14, 30, 4}, nullptr},
    {LASitem{LASitem::POINT14, 48, 3}, "POINT14 has size != 30"},
    {LASitem{LASitem::POINT14, 30, 1}, "POINT14 has version != 0 and != 2 and != 3 and != 4"},
    {LASitem{LASitem::RGB14, 8, 3}, "RGB14 has size != 6"},
    {LASitem{LASitem::RGB14, 6, 5}, "RGB14 has version != 0 and != 2 and != 3 and != 4"},
    {LASitem{LASitem::RGBNIR14, 6, 3}, "RGBNIR14 has size != 8"},
    {LASitem{LASitem::RGBNIR14, 8, 1}, "RGBNIR14 has version != 0 and != 2 and != 3 and != 4"},
    {LASitem{LASitem::WAVEPACKET14, 29, 3}, nullptr},
    {LASitem{LASitem::WAVEPACKET14, 30, 3}, "WAVEPACKET14 has size != 29"},
    {LASitem{LASitem::WAVEPACKET14, 29, 2}, "WAVEPACKET14 has version != 0 and != 3 and != 4"},
    {LASitem{LASitem::BYTE14, 0, 3}, "BYTE14 has size < 1"},
    {LASitem{LASitem::BYTE14, 2, 1}, "BYTE14 has version != 0 and != 2 and != 3 and != 4"},
    {LASitem{3, 4, 1}, "item unknown (3,4,1)"},
    {LASitem{15, 2, 0}, "item unknown (15,2,0)"},
};

INSTANTIATE_TEST_SUITE_P(Items, CheckItem, ::testing::ValuesIn(kItemCases));

TEST(PTcomp, CheckCompressorCoderAndSizes) {
  PTcomp settings;
  ASSERT_TRUE(settings.setup(1, 28, PTcomp::COMPRESSOR_POINTWISE_CHUNKED));
  EXPECT_TRUE(settings.check(28));
  EXPECT_TRUE(settings.check(0));
  EXPECT_FALSE(settings.check(30));
  EXPECT_STREQ(settings.get_error(), "point has size of 30 but items only add up to 28 bytes (PTcomp v3.5r0)");
  settings.compressor = 4;
  EXPECT_FALSE(settings.check(28));
  EXPECT_STREQ(settings.get_error(), "compressor 4 not supported (PTcomp v3.5r0)");
  settings.compressor = 3;
  settings.coder = 1;
  EXPECT_FALSE(settings.check(28));
  EXPECT_STREQ(settings.get_error(), "coder 1 not supported (PTcomp v3.5r0)");

  EXPECT_FALSE(settings.check_items(0, settings.items, 0));
  EXPECT_STREQ(settings.get_error(), "number of items cannot be zero (PTcomp v3.5r0)");
  EXPECT_FALSE(settings.check_items(2, nullptr, 0));
  EXPECT_STREQ(settings.get_error(), "items pointer cannot be NULL (PTcomp v3.5r0)");
  // The first bad item ends the check.
  const LASitem items[3] = {LASitem{LASitem::POINT10, 20, 2}, LASitem{LASitem::RGB12, 5, 2}, LASitem{LASitem::BYTE, 0, 2}};
  EXPECT_FALSE(settings.check_items(3, items, 0));
  EXPECT_STREQ(settings.get_error(), "RGB12 has size != 6 (PTcomp v3.5r0)");
  // The size sum wraps at 16 bits like the record length it is compared with.
  const LASitem wide[2] = {LASitem{LASitem::BYTE, 65535, 0}, LASitem{LASitem::BYTE, 3, 0}};
  EXPECT_TRUE(settings.check_items(2, wide, 2));
}

struct SetupCase {
  uint8_t point_type;
  uint16_t point_size;
  uint32_t options;
  std::vector<LASitem> items;  // versions as set for compressor 2
};

class SetupItems : public ::testing::TestWithParam<SetupCase> {};

TEST_P(SetupItems, FromPointFormat) {
  const SetupCase& p = GetParam();
  for (uint16_t kind : {PTcomp::COMPRESSOR_NONE, PTcomp::COMPRESSOR_POINTWISE_CHUNKED}) {
    PTcomp settings;
    settings.options = p.options;
    ASSERT_TRUE(settings.setup(p.point_type, p.point_size, kind));
    ASSERT_EQ(settings.num_items, p.items.size());
    for (size_t i = 0; i < p.items.size(); i++) {
      LASitem expected = p.items[i];
      if (kind == PTcomp::COMPRESSOR_NONE) expected.version = 0;
      EXPECT_EQ(settings.items[i], expected) << i;
    }
    EXPECT_EQ(settings.compressor, kind);
  }
}

const LASitem P10 = LASitem{LASitem::POINT10, 20, 2}, GPS = LASitem{LASitem::GPSTIME11, 8, 2}, RGB = LASitem{LASitem::RGB12, 6, 2};
const LASitem P14 = LASitem{LASitem::POINT14, 30, 3};

INSTANTIATE_TEST_SUITE_P(
    Formats, SetupItems,
    ::testing::Values(SetupCase{0, 20, 0, {P10}}, SetupCase{3, 37, 0, {P10, GPS, RGB, LASitem{LASitem::BYTE, 3, 2}}},
                      SetupCase{5, 63, 0, {P10, GPS, RGB, LASitem{LASitem::WAVEPACKET13, 29, 1}}},
                      SetupCase{6, 30, 0, {P14}},
                      SetupCase{7, 40, 0, {P14, LASitem{LASitem::RGB14, 6, 3}, LASitem{LASitem::BYTE14, 4, 3}}},
                      SetupCase{8, 38, 0, {P14, LASitem{LASitem::RGBNIR14, 8, 3}}},
                      SetupCase{10, 67, 0, {P14, LASitem{LASitem::RGBNIR14, 8, 3}, LASitem{LASitem::WAVEPACKET14, 29, 3}}},
                      // Compatibility mode: the older items, 5 (+2 for NIR) more extra bytes.
                      SetupCase{6, 30, 1, {P10, GPS, LASitem{LASitem::BYTE, 5, 2}}},
                      SetupCase{8, 40, 1, {P10, GPS, RGB, LASitem{LASitem::BYTE, 9, 2}}},
                      SetupCase{3, 37, 1, {P10, GPS, RGB, LASitem{LASitem::BYTE, 3, 2}}}));

TEST(PTcomp, ShortPointSizeWarnsAndIsTolerated) {
  lastest::Messages messages;
  PTcomp settings;
  ASSERT_TRUE(settings.setup(1, 20, PTcomp::COMPRESSOR_NONE));
  EXPECT_EQ(messages.texts(LAS_WARNING),
            std::vector<std::string>{"point size 20 too small by 8 bytes for point type 1. assuming point_size of 28"});
  EXPECT_EQ(messages.at_least(LAS_WARNING), 1);
  ASSERT_EQ(settings.num_items, 2);
  EXPECT_EQ(settings.items[1].type, LASitem::GPSTIME11);
  EXPECT_FALSE(settings.setup(11, 40, PTcomp::COMPRESSOR_NONE));
  EXPECT_STREQ(settings.get_error(), "point type 11 unknown (PTcomp v3.5r0)");
}

TEST(PTcomp, PayloadRoundTrip) {
  PTcomp settings;
  ASSERT_TRUE(settings.setup(7, 42, PTcomp::COMPRESSOR_LAYERED_CHUNKED));
  settings.chunk_size = 0;
  settings.options = 0x12345678;
  settings.number_of_special_evlrs = 2;
  settings.offset_to_special_evlrs = 123456789012ll;
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(settings.write_payload(&out));
  const unsigned char* bytes = out.get_data();
  const long long size = out.get_size();
  ASSERT_EQ(size, 34 + 6 * 3);                                            // where each field lies: TruncatedPayload
  EXPECT_EQ(std::make_tuple(bytes[4], bytes[5]), std::make_tuple(3, 5));  // version 3.5

  PTcomp read;
  std::string failure;
  ASSERT_TRUE(read.unpack(bytes, size, &failure));
  EXPECT_EQ(std::make_tuple(read.compressor, read.chunk_size, read.options, read.number_of_special_evlrs,
                            read.offset_to_special_evlrs),
            std::make_tuple(3, 0u, 0x12345678u, 2, 123456789012ll));
  EXPECT_EQ(std::vector<LASitem>(read.items, read.items + read.num_items),
            std::vector<LASitem>(settings.items, settings.items + 3));
  EXPECT_TRUE(read.check(42));

  PTcomp copy(read);
  EXPECT_NE(copy.items, read.items);
  EXPECT_EQ(copy.items[2], read.items[2]);
  // One item: 34 bytes and 6 per item, written to a stream that must grow.
  PTcomp one;
  ASSERT_TRUE(one.setup(0, 20, PTcomp::COMPRESSOR_POINTWISE_CHUNKED));
  ByteStreamOutArrayLE small(0);
  EXPECT_TRUE(one.write_payload(&small));
  EXPECT_EQ(small.get_size(), 40);
}

struct TruncationCase {
  long long keep;  // bytes of the payload left
  const char* failure;
};

class TruncatedPayload : public ::testing::TestWithParam<TruncationCase> {};

TEST_P(TruncatedPayload, NamesTheField) {
  PTcomp settings;
  ASSERT_TRUE(settings.setup(3, 34, PTcomp::COMPRESSOR_POINTWISE_CHUNKED));
  ByteStreamOutArrayLE out;
  ASSERT_TRUE(settings.write_payload(&out));
  ASSERT_LT(GetParam().keep, out.get_size());
  PTcomp read;
  std::string failure;
  EXPECT_FALSE(read.unpack(out.get_data(), GetParam().keep, &failure));
  EXPECT_EQ(failure, GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TruncatedPayload,
    ::testing::Values(TruncationCase{0, "reading compressor 2"}, TruncationCase{3, "reading coder 0"},
                      TruncationCase{4, "reading version_major 3"}, TruncationCase{5, "reading version_minor 5"},
                      TruncationCase{7, "reading version_revision 0"}, TruncationCase{11, "reading options 0"},
                      TruncationCase{12, "reading chunk_size 50000"},
                      TruncationCase{20, "reading number_of_special_evlrs -1"},
                      TruncationCase{31, "reading offset_to_special_evlrs -1"},
                      TruncationCase{33, "reading num_items 0"},
                      TruncationCase{35, "reading type 0 of item 0"}, TruncationCase{37, "reading size 0 of item 0"},
                      TruncationCase{39, "reading version 0 of item 0"}, TruncationCase{40, "reading type 0 of item 1"},
                      TruncationCase{51, "reading version 0 of item 2"}));

}  // namespace
