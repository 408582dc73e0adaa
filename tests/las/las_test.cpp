// The LAS layer: byte streams, header record lists with the offset
// invariant, the record catalogue, extra-bytes attributes and the point model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <tuple>
#include <vector>

#include "las/bytestreamin_array.hpp"
#include "las/bytestreamin_file.hpp"
#include "las/bytestreamout_array.hpp"
#include "las/bytestreamout_file.hpp"
#include "las/lasheader.hpp"
#include "las/laspoint.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::thrown_by;

TEST(ByteStreamInArray, ThrowsAtEndWithoutMoving) {
  const unsigned char data[5] = {1, 2, 3, 4, 5};
  ByteStreamInArrayLE in(data, 5);
  unsigned char out[8] = {0};
  EXPECT_EQ(thrown_by([&] { in.getBytes(out, 6); }), -1);
  EXPECT_EQ(in.tell(), 0);
  in.get16bitsLE(out);
  EXPECT_EQ(out[0] + 256 * out[1], 0x0201);
  EXPECT_EQ((std::vector<int>{thrown_by([&] { in.getBytes(out, 4); }), thrown_by([&] { in.getBytes(out, -1); }),
                              thrown_by([&] { in.get64bitsBE(out); }), thrown_by([&] { in.get32bitsLE(out); })}),
            std::vector<int>(4, -1));
  EXPECT_EQ(in.tell(), 2);
  in.get16bitsLE(out);
  EXPECT_EQ(in.getByte(), 5);
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_EQ(thrown_by([&] { in.get16bitsLE(out); }), -1);
  EXPECT_EQ(in.tell(), 5);
  ByteStreamInArrayLE null(nullptr, 100);  // no data: empty, whatever the size
  EXPECT_EQ(null.get_size(), 0);
  EXPECT_EQ(thrown_by([&] { null.getByte(); }), -1);
  EXPECT_TRUE(null.seek(0));
  EXPECT_FALSE(null.seek(1));
}

TEST(ByteStreamInArray, SeekLimits) {
  const unsigned char data[4] = {9, 8, 7, 6};
  ByteStreamInArrayLE in(data, 4);
  EXPECT_TRUE(in.isSeekable());
  EXPECT_TRUE(in.seek(4));
  EXPECT_EQ(thrown_by([&] { in.getByte(); }), -1);
  EXPECT_FALSE(in.seek(5) || in.seek(-1));
  EXPECT_EQ(in.tell(), 4);
  EXPECT_TRUE(in.seekEnd(4));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_FALSE(in.seekEnd(5) || in.seekEnd(-1));
  EXPECT_EQ(in.tell(), 0);
  EXPECT_TRUE(in.seekEnd(0));
  EXPECT_EQ(in.tell(), 4);
}

// The bytes each read gives, in order: 16 BE, 16 LE, 32 BE; 64 BE and 32 LE
// from the start. The big-endian-host class copies BE values and reverses
// LE ones.
TEST(ByteStreamInArray, ByteOrders) {
  const unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (bool big_endian_host : {false, true}) {
    ByteStreamInArrayLE le(data, 8);
    ByteStreamInArrayBE be(data, 8);
    ByteStreamInArray& in = big_endian_host ? static_cast<ByteStreamInArray&>(be) : le;
    std::vector<unsigned char> out(22);
    in.get16bitsBE(&out[0]);
    in.get16bitsLE(&out[2]);
    in.get32bitsBE(&out[4]);
    ASSERT_TRUE(in.seek(0));
    in.get64bitsBE(&out[8]);
    ASSERT_TRUE(in.seek(0));
    in.get32bitsLE(&out[16]);
    const std::vector<unsigned char> host_le = {2, 1, 3, 4, 8, 7, 6, 5, 8, 7, 6, 5, 4, 3, 2, 1, 1, 2, 3, 4, 0, 0};
    const std::vector<unsigned char> host_be = {1, 2, 4, 3, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8, 4, 3, 2, 1, 0, 0};
    EXPECT_EQ(out, big_endian_host ? host_be : host_le);
  }
}

TEST(FileStreams, ReadWriteRoundTripEndAndSeeks) {
  testsupport::TempDir dir;
  const std::string path = dir.file("data.bin");
  const unsigned char v[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  FILE* out = fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  {
    std::unique_ptr<ByteStreamOutFile> stream(new_byte_stream_out_file(out));
    EXPECT_TRUE(stream->put16bitsLE(v) && stream->put32bitsBE(v) && stream->put64bitsLE(v) && stream->putByte(0xEE));
    EXPECT_EQ(stream->tell(), 15);
    EXPECT_TRUE(stream->isSeekable());
  }
  fclose(out);
  EXPECT_EQ(testsupport::read_file(path), std::string("\1\2\4\3\2\1\1\2\3\4\5\6\7\10\xEE", 15));
  FILE* in = fopen(path.c_str(), "rb");
  ASSERT_NE(in, nullptr);
  std::unique_ptr<ByteStreamInFile> stream(new_byte_stream_in_file(in));
  unsigned char got[14];
  stream->get16bitsLE(got);
  stream->get32bitsBE(got + 2);
  stream->get64bitsLE(got + 6);
  const unsigned char expected[14] = {1, 2, 1, 2, 3, 4, 1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(0, memcmp(got, expected, 14));
  EXPECT_EQ(stream->getByte(), 0xEE);
  EXPECT_EQ(thrown_by([&] { stream->getByte(); }), -1);
  EXPECT_TRUE(stream->seek(2));
  EXPECT_EQ(stream->getByte(), 4);
  EXPECT_TRUE(stream->seekEnd(1));
  EXPECT_EQ(stream->tell(), 14);
  EXPECT_EQ(thrown_by([&] { stream->getBytes(got, 2); }), -1);
  EXPECT_FALSE(stream->seek(-3) || stream->seekEnd(100));
  fclose(in);
  // Standard input and output cannot seek.
  EXPECT_FALSE(ByteStreamInFileLE(stdin).isSeekable());
  EXPECT_FALSE(ByteStreamOutFileLE(stdout).isSeekable());
}

TEST(ByteStreamOutArray, GrowsSeeksOverwritesAndGivesUpItsData) {
  ByteStreamOutArrayLE out(2);  // grows past its first buffer
  const uint32_t v = 0x01020304;
  out.put32bitsBE(reinterpret_cast<const unsigned char*>(&v));
  out.put32bitsLE(reinterpret_cast<const unsigned char*>(&v));
  const unsigned char expected[8] = {1, 2, 3, 4, 4, 3, 2, 1};
  ASSERT_EQ(out.get_size(), 8);
  EXPECT_EQ(0, memcmp(out.get_data(), expected, 8));
  EXPECT_FALSE(out.seek(9) || out.seek(-1));
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
  EXPECT_EQ(std::make_tuple(out.get_size(), out.tell()), std::make_tuple(0, 0));
  free(data);
  // The emptied stream can be written again.
  EXPECT_TRUE(out.putByte(5));
  EXPECT_EQ(out.get_data()[0], 5);
  // The big-endian-host class reverses little-endian writes.
  ByteStreamOutArrayBE be(8);
  be.put16bitsLE(expected + 2);
  be.put16bitsBE(expected + 2);
  const unsigned char be_expected[4] = {4, 3, 3, 4};
  EXPECT_EQ(0, memcmp(be.get_data(), be_expected, 4));
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
  EXPECT_EQ(std::make_tuple(header.number_of_variable_length_records, header.offset_to_point_data),
            std::make_tuple(3u, 227u + 54 + 10 + 54 + 54 + 3));
  // Payloads are terminated copies.
  EXPECT_EQ(std::make_tuple(header.vlrs[0].data[9], header.vlrs[0].data[10]), std::make_tuple(10, 0));
  EXPECT_EQ(header.vlrs[1].data, nullptr);
  EXPECT_EQ(std::string(header.vlrs[0].description), "wkt");

  header.vlr_geo_ogc_wkt = reinterpret_cast<char*>(header.vlrs[0].data);
  EXPECT_TRUE(header.remove_vlr(0u));
  EXPECT_EQ(header.vlr_geo_ogc_wkt, nullptr);
  EXPECT_EQ(std::make_tuple(header.number_of_variable_length_records, header.offset_to_point_data),
            std::make_tuple(2u, 227u + 54 + 54 + 3));
  EXPECT_TRUE(header.remove_vlr("other", 5));
  EXPECT_EQ(header.offset_to_point_data, 227u + 54);
  EXPECT_FALSE(header.remove_vlr(5u));

  header.user_data_after_header_size = 7;
  header.user_data_after_header = new unsigned char[7]();
  header.offset_to_point_data += 7;
  header.user_data_in_header_size = 5;
  header.user_data_in_header = new unsigned char[5]();
  header.header_size += 5;
  header.offset_to_point_data += 5;
  header.clean_user_data_in_header();
  EXPECT_EQ(std::make_tuple(header.header_size, header.offset_to_point_data), std::make_tuple(227, 227u + 54 + 7));
  header.clean_user_data_after_header();
  header.clean_vlrs();
  EXPECT_EQ(header.offset_to_point_data, 227u);

  header.version_minor = 4;
  header.clean();
  EXPECT_EQ(header.version_minor, 2);
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

TEST(LASattribute, SizeFromDataType) {
  // {data type, options, size}: 0 is opaque with its size in the options.
  const int cases[17][3] = {{0, 5, 5},   {1, 0, 1},   {2, 0, 1},  {3, 0, 2},   {4, 0, 2},   {5, 0, 4},
                            {6, 0, 4},   {7, 0, 8},   {8, 0, 8},  {9, 0, 4},   {10, 0, 8},  {11, 0, 2},
                            {19, 0, 8},  {20, 0, 16}, {21, 0, 3}, {30, 24, 24}, {31, 0, 0}};
  for (const auto& c : cases) {
    LASattribute attribute;
    attribute.data_type = static_cast<unsigned char>(c[0]);
    attribute.options = static_cast<unsigned char>(c[1]);
    EXPECT_EQ(attribute.get_size(), c[2]) << "data type " << c[0];
  }
}

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
  const int32_t* starts = header.attribute_starts;
  EXPECT_EQ(std::vector<int32_t>(starts, starts + 3), (std::vector<int32_t>{0, 5, 13}));
  EXPECT_EQ(header.attribute_sizes[2], 2);
  EXPECT_EQ(header.get_attribute_index("height"), 2);
  EXPECT_EQ(header.get_attribute_index("none"), -1);
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

LASitem item(uint32_t type, uint16_t size) {
  LASitem i;
  i.type = type;
  i.size = size;
  return i;
}

TEST(LASpoint, BitFieldsMatchItemLayout) {
  LASpoint point;
  unsigned char* bytes = reinterpret_cast<unsigned char*>(&point);
  EXPECT_EQ(bytes[14], 9) << "a fresh point is return 1 of 1";
  EXPECT_EQ(bytes[24], 17);
  bytes[14] = 0xC0 | (3 << 3) | 2;
  bytes[15] = 0x80 | 17;
  bytes[22] = 0x81 | (2 << 2);
  bytes[24] = (5 << 4) | 4;
  EXPECT_EQ((std::vector<int>{point.return_number, point.number_of_returns, point.scan_direction_flag,
                              point.edge_of_flight_line, point.classification, point.withheld_flag,
                              point.synthetic_flag}),
            (std::vector<int>{2, 3, 1, 1, 17, 1, 0}));
  EXPECT_EQ((std::vector<int>{point.extended_point_type, point.extended_scanner_channel,
                              point.extended_classification_flags, point.extended_return_number,
                              point.extended_number_of_returns}),
            (std::vector<int>{1, 2, 8, 4, 5}));
}

TEST(LASpoint, InitLaysOutItemBuffers) {
  LASheader header;
  // Two BYTE items share one extra-bytes block.
  const LASitem items[6] = {item(LASitem::POINT10, 20),      item(LASitem::GPSTIME11, 8), item(LASitem::RGB12, 6),
                            item(LASitem::WAVEPACKET13, 29), item(LASitem::BYTE, 3),      item(LASitem::BYTE, 2)};
  LASpoint point;
  ASSERT_TRUE(point.init(&header, 6, items, &header));
  uint8_t* const base = reinterpret_cast<uint8_t*>(&point);
  EXPECT_EQ(std::vector<uint8_t*>(point.point, point.point + point.num_items),
            (std::vector<uint8_t*>{base, reinterpret_cast<uint8_t*>(&point.gps_time),
                                   reinterpret_cast<uint8_t*>(point.rgb), point.wavepacket, point.extra_bytes,
                                   point.extra_bytes + 3}));
  EXPECT_EQ((std::vector<int>{int(point.total_point_size), point.extra_bytes_number, point.have_gps_time,
                              point.have_rgb, point.have_nir, point.have_wavepacket, point.extended_point_type}),
            (std::vector<int>{68, 5, 1, 1, 0, 1, 0}));

  const LASitem items14[3] = {item(LASitem::POINT14, 30), item(LASitem::RGBNIR14, 8), item(LASitem::BYTE14, 4)};
  ASSERT_TRUE(point.init(&header, 3, items14, &header));
  EXPECT_EQ(point.point[0], base);
  EXPECT_EQ((std::vector<int>{int(point.total_point_size), point.extra_bytes_number, point.have_gps_time,
                              point.have_nir, point.extended_point_type}),
            (std::vector<int>{42, 4, 1, 1, 1}));
  // The 48-byte POINT14 buffer ends right before the colour.
  EXPECT_EQ(reinterpret_cast<uint8_t*>(&point.gps_time) - base, 32);
  EXPECT_EQ(reinterpret_cast<uint8_t*>(point.rgb) - base, 40);
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

}  // namespace
