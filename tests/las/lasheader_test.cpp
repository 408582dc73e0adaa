// LAS header defaults, the record lists with the offset invariant, the
// record catalogue and the extra-bytes attribute table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "las/lasheader.hpp"

namespace {

TEST(LASheader, Defaults) {
  LASheader header;
  EXPECT_EQ(0, memcmp(header.file_signature, "LASF", 4));
  EXPECT_EQ(header.version_major, 1);
  EXPECT_EQ(header.version_minor, 2);
  EXPECT_EQ(header.header_size, 227);
  EXPECT_EQ(header.offset_to_point_data, 227u);
  EXPECT_EQ(header.point_data_record_length, 20);
  EXPECT_DOUBLE_EQ(header.x_scale_factor, 0.01);
  EXPECT_DOUBLE_EQ(header.y_scale_factor, 0.01);
  EXPECT_DOUBLE_EQ(header.z_scale_factor, 0.01);
  EXPECT_DOUBLE_EQ(header.z_offset, 0.0);
  EXPECT_EQ(header.z_attribute_index, -1);
  EXPECT_EQ(header.number_attributes, 0);
  EXPECT_EQ(header.vlrs, nullptr);
  EXPECT_EQ(header.ptcomp, nullptr);
  EXPECT_EQ(header.system_identifier[32], 0);
  EXPECT_EQ(header.get_version_header_size(), 227u);
}

TEST(LASheader, VersionHeaderSizes) {
  LASheader header;
  const int expected[6] = {227, 227, 227, 235, 375, 393};
  for (int minor = 0; minor <= 5; minor++) {
    header.version_minor = static_cast<uint8_t>(minor);
    EXPECT_EQ(header.get_version_header_size(), static_cast<uint32_t>(expected[minor])) << minor;
  }
}

TEST(LASheader, RecordListsKeepTheOffsetInvariant) {
  LASheader header;
  unsigned char payload[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_TRUE(header.add_vlr("LASF_Projection", 2112, 10, payload, false, "wkt"));
  ASSERT_TRUE(header.add_vlr("Raster PTC", 7113, 0, nullptr, false));
  ASSERT_TRUE(header.add_vlr("other", 5, 3, payload, false));
  EXPECT_EQ(header.number_of_variable_length_records, 3u);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 10 + 54 + 54 + 3);
  // Payloads are terminated copies.
  EXPECT_EQ(header.vlrs[0].data[9], 10);
  EXPECT_EQ(header.vlrs[0].data[10], 0);
  EXPECT_EQ(header.vlrs[1].data, nullptr);
  EXPECT_EQ(std::string(header.vlrs[0].description), "wkt");

  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.vlrs[0].data);
  ASSERT_NE(header.get_vlr("Raster PTC", 7113), nullptr);
  EXPECT_EQ(header.get_vlr("Raster PTC", 7114), nullptr);
  EXPECT_TRUE(header.remove_vlr(0u));
  EXPECT_EQ(header.vlr_geo_ogc_wkt, nullptr);
  EXPECT_EQ(header.number_of_variable_length_records, 2u);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 54 + 3);
  EXPECT_TRUE(header.remove_vlr("other", 5));
  EXPECT_EQ(header.offset_to_point_data, 227u + 54);
  EXPECT_FALSE(header.remove_vlr(5u));

  unsigned char* owned = new unsigned char[5]{'a', 'b', 'c', 'd', 0};
  ASSERT_TRUE(header.add_evlr("LASF_Spec", 3, 4, owned, true));
  EXPECT_EQ(header.evlrs[0].data, owned);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54);

  header.user_data_after_header_size = 7;
  header.user_data_after_header = new unsigned char[7]();
  header.offset_to_point_data += 7;
  header.user_data_in_header_size = 5;
  header.user_data_in_header = new unsigned char[5]();
  header.header_size += 5;
  header.offset_to_point_data += 5;
  header.clean_user_data_in_header();
  EXPECT_EQ(header.header_size, 227);
  EXPECT_EQ(header.offset_to_point_data, 227u + 54 + 7);
  header.clean_user_data_after_header();
  header.clean_vlrs();
  EXPECT_EQ(header.offset_to_point_data, 227u);

  header.version_minor = 4;
  header.clean();
  EXPECT_EQ(header.version_minor, 2);
  EXPECT_EQ(header.evlrs, nullptr);
  EXPECT_EQ(header.number_of_extended_variable_length_records, 0u);
}

struct RecordCase {
  const char* user_id;
  uint16_t record_id;
  bool extended;
  LASrecordKind kind;
};

class RecordKinds : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordKinds, Classified) {
  char user_id[16] = {0};
  strncpy(user_id, GetParam().user_id, 15);
  EXPECT_EQ(las_record_kind(user_id, GetParam().record_id, GetParam().extended), GetParam().kind);
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, RecordKinds,
    ::testing::Values(RecordCase{"LASF_Projection", 34735, false, LASrecordKind::GEO_KEY_DIRECTORY},
                      RecordCase{"LASF_Projection", 34736, true, LASrecordKind::GEO_DOUBLE_PARAMS},
                      RecordCase{"LASF_Projection", 34737, false, LASrecordKind::GEO_ASCII_PARAMS},
                      RecordCase{"LASF_Projection", 2111, false, LASrecordKind::WKT_MATH_TRANSFORM},
                      RecordCase{"LASF_Projection", 2112, false, LASrecordKind::WKT_COORDINATE_SYS},
                      RecordCase{"LASF_Projection", 7, false, LASrecordKind::PROJECTION_UNKNOWN},
                      RecordCase{"LASF_Spec", 0, false, LASrecordKind::CLASSIFICATION},
                      RecordCase{"LASF_Spec", 3, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"LASF_Spec", 4, false, LASrecordKind::EXTRA_BYTES},
                      RecordCase{"LASF_Spec", 99, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"LASF_Spec", 100, false, LASrecordKind::WAVE_PACKET_DESCR},
                      RecordCase{"LASF_Spec", 354, false, LASrecordKind::WAVE_PACKET_DESCR},
                      RecordCase{"LASF_Spec", 355, false, LASrecordKind::SPEC_PLAIN},
                      RecordCase{"ptcomp encoded", 22204, false, LASrecordKind::PTCOMP_SETTINGS},
                      RecordCase{"ptcomp encoded", 1, true, LASrecordKind::PTCOMP_SETTINGS},
                      RecordCase{"Kestrel", 10, false, LASrecordKind::TILING},
                      RecordCase{"Kestrel", 20, false, LASrecordKind::ORIGINAL_EXTENT},
                      RecordCase{"Kestrel", 1999, false, LASrecordKind::KESTREL_IGNORED},
                      RecordCase{"Kestrel", 2000, false, LASrecordKind::OTHER},
                      RecordCase{"Kestrel", 10, true, LASrecordKind::TILING},
                      RecordCase{"Kestrel", 20, true, LASrecordKind::KESTREL_IGNORED},
                      RecordCase{"kestrel tile", 5, false, LASrecordKind::TILING},
                      RecordCase{"copc", 1, false, LASrecordKind::COPC_INFO},
                      RecordCase{"copc", 1000, true, LASrecordKind::COPC_HIERARCHY},
                      RecordCase{"copc", 10000, false, LASrecordKind::COPC_OTHER},
                      RecordCase{"Raster PTC", 7113, false, LASrecordKind::RASTER_PTC},
                      RecordCase{"Raster PTC", 7114, false, LASrecordKind::OTHER},
                      RecordCase{"LASF_Projectio", 34735, false, LASrecordKind::OTHER}));

struct SizeCase {
  unsigned char data_type;
  unsigned char options;
  int size;
};

class AttributeSizes : public ::testing::TestWithParam<SizeCase> {};

TEST_P(AttributeSizes, FromDataType) {
  LASattribute attribute;
  attribute.data_type = GetParam().data_type;
  attribute.options = GetParam().options;
  EXPECT_EQ(attribute.get_size(), GetParam().size);
}

INSTANTIATE_TEST_SUITE_P(Table, AttributeSizes,
                         ::testing::Values(SizeCase{0, 5, 5}, SizeCase{1, 0, 1}, SizeCase{2, 0, 1}, SizeCase{3, 0, 2},
                                           SizeCase{4, 0, 2}, SizeCase{5, 0, 4}, SizeCase{6, 0, 4},
                                           SizeCase{7, 0, 8}, SizeCase{8, 0, 8}, SizeCase{9, 0, 4},
                                           SizeCase{10, 0, 8}, SizeCase{11, 0, 2}, SizeCase{19, 0, 8},
                                           SizeCase{20, 0, 16}, SizeCase{21, 0, 3}, SizeCase{30, 24, 24},
                                           SizeCase{31, 0, 0}));

TEST(LASattributer, StartsFollowSizes) {
  LASheader header;
  std::vector<unsigned char> payload(3 * 192, 0);
  payload[2] = 0;  // opaque, 5 bytes
  payload[3] = 5;
  payload[192 + 2] = 19;  // two floats
  payload[2 * 192 + 2] = 4;  // i16
  memcpy(&payload[2 * 192 + 4], "height", 6);
  ASSERT_TRUE(header.set_attributes_from_payload(payload.data(), payload.size() + 100));
  ASSERT_EQ(header.number_attributes, 3);
  EXPECT_EQ(header.attribute_starts[0], 0);
  EXPECT_EQ(header.attribute_starts[1], 5);
  EXPECT_EQ(header.attribute_starts[2], 13);
  EXPECT_EQ(header.attribute_sizes[2], 2);
  EXPECT_EQ(header.get_attributes_size(), 15);
  EXPECT_EQ(header.get_attribute_index("height"), 2);
  EXPECT_EQ(header.get_attribute_index("none"), -1);

  EXPECT_EQ(header.add_attribute(LASattribute(10, "d")), 3);
  EXPECT_EQ(header.get_attribute_start(3), 15);
  EXPECT_TRUE(header.remove_attribute(0));
  EXPECT_EQ(header.get_attribute_start(0), 0);
  EXPECT_EQ(header.get_attribute_start(1), 8);
  EXPECT_EQ(header.get_attribute_index("height"), 1);
  EXPECT_EQ(header.get_attribute_start(7), -1);
}

TEST(LASheader, WavePacketSlots) {
  LASheader header;
  unsigned char descr[27] = {8, 0, 100, 0, 0, 0};
  EXPECT_FALSE(header.set_wave_packet_descr(99, descr));
  EXPECT_FALSE(header.set_wave_packet_descr(355, descr));
  ASSERT_TRUE(header.set_wave_packet_descr(100, descr));
  ASSERT_NE(header.vlr_wave_packet_descr, nullptr);
  ASSERT_NE(header.vlr_wave_packet_descr[1], nullptr);
  EXPECT_EQ(header.vlr_wave_packet_descr[1]->getBitsPerSample(), 8);
  EXPECT_EQ(header.vlr_wave_packet_descr[1]->getNumberOfSamples(), 100u);
  EXPECT_EQ(header.vlr_wave_packet_descr[0], nullptr);
}

}  // namespace
