// Files of every point format (0 to 10) and version (1.0 to 1.5) written by
// LASwriterLAS and read back by LASreaderLAS, header field for header field
// and point field for point field, with extra bytes, user data in and after
// the header, VLRs and EVLRs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "lasio/lasreaderlas.hpp"
#include "lasio/laswriterlas.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using lastest::Messages;

// Whether a version allows a point format (as the reader judges it).
bool allowed(int minor, int format) {
  if (minor <= 1) return format <= 1;
  if (minor == 2) return format <= 3;
  if (minor == 3) return format <= 5;
  if (minor >= 5) return format > 5;
  return true;
}

void expect_same_point(const LASpoint& a, const LASpoint& b, int i) {
  SCOPED_TRACE("point " + std::to_string(i));
  EXPECT_EQ(a.X, b.X);
  EXPECT_EQ(a.Y, b.Y);
  EXPECT_EQ(a.Z, b.Z);
  EXPECT_EQ(a.intensity, b.intensity);
  EXPECT_EQ(a.scan_direction_flag, b.scan_direction_flag);
  EXPECT_EQ(a.edge_of_flight_line, b.edge_of_flight_line);
  EXPECT_EQ(a.user_data, b.user_data);
  EXPECT_EQ(a.point_source_ID, b.point_source_ID);
  EXPECT_EQ(a.extended_point_type, b.extended_point_type);
  if (a.extended_point_type) {
    EXPECT_EQ(a.extended_return_number, b.extended_return_number);
    EXPECT_EQ(a.extended_number_of_returns, b.extended_number_of_returns);
    EXPECT_EQ(a.extended_classification, b.extended_classification);
    EXPECT_EQ(a.extended_classification_flags, b.extended_classification_flags);
    EXPECT_EQ(a.extended_scanner_channel, b.extended_scanner_channel);
    EXPECT_EQ(a.extended_scan_angle, b.extended_scan_angle);
  } else {
    EXPECT_EQ(a.return_number, b.return_number);
    EXPECT_EQ(a.number_of_returns, b.number_of_returns);
    EXPECT_EQ(a.classification, b.classification);
    EXPECT_EQ(a.synthetic_flag, b.synthetic_flag);
    EXPECT_EQ(a.keypoint_flag, b.keypoint_flag);
    EXPECT_EQ(a.withheld_flag, b.withheld_flag);
    EXPECT_EQ(a.scan_angle_rank, b.scan_angle_rank);
  }
  EXPECT_EQ(a.have_gps_time, b.have_gps_time);
  if (a.have_gps_time) {
    EXPECT_EQ(a.gps_time, b.gps_time);
  }
  EXPECT_EQ(a.have_rgb, b.have_rgb);
  if (a.have_rgb) {
    EXPECT_EQ(a.rgb[0], b.rgb[0]);
    EXPECT_EQ(a.rgb[1], b.rgb[1]);
    EXPECT_EQ(a.rgb[2], b.rgb[2]);
  }
  EXPECT_EQ(a.have_nir, b.have_nir);
  if (a.have_nir) {
    EXPECT_EQ(a.rgb[3], b.rgb[3]);
  }
  EXPECT_EQ(a.have_wavepacket, b.have_wavepacket);
  if (a.have_wavepacket) {
    EXPECT_EQ(0, memcmp(a.wavepacket, b.wavepacket, 29));
  }
  ASSERT_EQ(a.extra_bytes_number, b.extra_bytes_number);
  if (a.extra_bytes_number) {
    EXPECT_EQ(0, memcmp(a.extra_bytes, b.extra_bytes, a.extra_bytes_number));
  }
}

class RoundTrip : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(RoundTrip, HeaderRecordsAndPointsComeBackUnchanged) {
  const int minor = std::get<0>(GetParam());
  const int format = std::get<1>(GetParam());
  const int extra = 3;
  const int count = 257;
  Messages messages;
  testsupport::TempDir dir;
  const std::string path = dir.file("round.las");

  LASheader h;
  lastest::make_header(h, minor, format, extra);
  if (minor >= 5) {
    h.min_gps_time = 1.5;
    h.max_gps_time = 99.25;
    h.time_offset = 7;
  }
  // User data in the header and after the VLRs, two VLRs and an EVLR.
  const unsigned char in_header[5] = {1, 2, 3, 4, 5};
  h.user_data_in_header = new unsigned char[5];
  memcpy(h.user_data_in_header, in_header, 5);
  h.user_data_in_header_size = 5;
  const unsigned char after[7] = {9, 8, 7, 6, 5, 4, 3};
  h.user_data_after_header = new unsigned char[7];
  memcpy(h.user_data_after_header, after, 7);
  h.user_data_after_header_size = 7;
  const char wkt[] = "PROJCS[\"test\"]";
  ASSERT_TRUE(h.add_vlr("LASF_Projection", 2112, sizeof(wkt), (unsigned char*)wkt, false, "wkt"));
  const unsigned char payload[80] = {42};
  ASSERT_TRUE(h.add_vlr("Raster PTC", 7113, 80, (unsigned char*)payload, false, "raster"));
  const unsigned char evlr_payload[3] = {0xAB, 0xCD, 0xEF};
  if (minor >= 4) {
    ASSERT_TRUE(h.add_evlr("someone", 17, 3, (unsigned char*)evlr_payload, false, "an evlr"));
  }

  ASSERT_TRUE(lastest::write_points(path, h, count)) << messages.dump();

  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str())) << messages.dump();
  const LASheader& r = reader.header;
  EXPECT_EQ(r.version_minor, minor);
  EXPECT_EQ(r.point_data_format, format);
  EXPECT_EQ(r.point_data_record_length, lastest::standard_size(format) + extra);
  EXPECT_EQ(r.file_source_ID, 77);
  EXPECT_EQ(r.global_encoding, 1);
  EXPECT_EQ(r.project_ID_GUID_data_1, 0xDEADBEEFu);
  EXPECT_EQ(r.project_ID_GUID_data_2, 0x1234);
  EXPECT_EQ(r.project_ID_GUID_data_3, 0x5678);
  EXPECT_EQ(r.project_ID_GUID_data_4[7], 8);
  EXPECT_STREQ(r.system_identifier, "test system");
  EXPECT_STREQ(r.generating_software, "lasio tests");
  EXPECT_EQ(r.file_creation_day, 200);
  EXPECT_EQ(r.file_creation_year, 2024);
  EXPECT_EQ(r.x_scale_factor, 0.01);
  EXPECT_EQ(r.y_scale_factor, 0.001);
  EXPECT_EQ(r.z_scale_factor, 0.1);
  EXPECT_EQ(r.x_offset, 1000.0);
  EXPECT_EQ(r.y_offset, -2000.0);
  EXPECT_EQ(r.z_offset, 5.0);
  EXPECT_EQ(r.header_size, h.get_version_header_size() + 5);
  ASSERT_EQ(r.user_data_in_header_size, 5u);
  EXPECT_EQ(0, memcmp(r.user_data_in_header, in_header, 5));
  ASSERT_EQ(r.user_data_after_header_size, 7u);
  EXPECT_EQ(0, memcmp(r.user_data_after_header, after, 7));
  ASSERT_EQ(r.number_of_variable_length_records, 2u);
  EXPECT_STREQ(r.vlr_geo_ogc_wkt, wkt);
  EXPECT_EQ(r.vlrs[1].record_id, 7113);
  EXPECT_EQ(r.vlrs[1].record_length_after_header, 80);
  EXPECT_EQ(r.vlrs[1].data[0], 42);
  EXPECT_STREQ(r.vlrs[1].description, "raster");
  EXPECT_EQ(r.offset_to_point_data, r.header_size + 54u + sizeof(wkt) + 54u + 80u + 7u);
  if (minor >= 4) {
    ASSERT_EQ(r.number_of_extended_variable_length_records, 1u);
    EXPECT_EQ(r.evlrs[0].record_id, 17);
    EXPECT_EQ(r.evlrs[0].record_length_after_header, 3u);
    EXPECT_EQ(0, memcmp(r.evlrs[0].data, evlr_payload, 3));
    EXPECT_STREQ(r.evlrs[0].description, "an evlr");
    EXPECT_EQ(r.extended_number_of_point_records, uint64_t(count));
    EXPECT_EQ(r.number_of_point_records, format <= 5 ? uint32_t(count) : 0u);
  } else {
    EXPECT_EQ(r.number_of_extended_variable_length_records, 0u);
    EXPECT_EQ(r.number_of_point_records, uint32_t(count));
  }
  if (minor >= 5) {
    EXPECT_EQ(r.min_gps_time, 1.5);
    EXPECT_EQ(r.max_gps_time, 99.25);
    EXPECT_EQ(r.time_offset, 7);
  }
  EXPECT_EQ(reader.npoints, count);
  EXPECT_EQ(reader.get_format(), 1);

  // Points, and the inventory patched into the header.
  LASpoint expected;
  ASSERT_TRUE(expected.init(&h, reader.point.num_items, reader.point.items, &h));
  int32_t min_X = INT32_MAX, max_X = INT32_MIN, min_Z = INT32_MAX, max_Z = INT32_MIN;
  uint32_t by_return[16] = {0};
  for (int i = 0; i < count; i++) {
    ASSERT_TRUE(reader.read_point()) << i << messages.dump();
    expected.zero();
    lastest::fill_point(expected, i);
    expect_same_point(expected, reader.point, i);
    if (HasFatalFailure() || HasFailure()) return;
    min_X = std::min(min_X, expected.X);
    max_X = std::max(max_X, expected.X);
    min_Z = std::min(min_Z, expected.Z);
    max_Z = std::max(max_Z, expected.Z);
    by_return[expected.get_return_number()]++;
  }
  EXPECT_FALSE(reader.read_point());
  EXPECT_DOUBLE_EQ(r.min_x, h.get_x(min_X));
  EXPECT_DOUBLE_EQ(r.max_x, h.get_x(max_X));
  EXPECT_DOUBLE_EQ(r.min_z, h.get_z(min_Z));
  EXPECT_DOUBLE_EQ(r.max_z, h.get_z(max_Z));
  if (r.number_of_point_records) {
    for (int k = 0; k < 5; k++) EXPECT_EQ(r.number_of_points_by_return[k], by_return[k + 1]) << k;
  }
  if (minor >= 4) {
    for (int k = 0; k < 15; k++) EXPECT_EQ(r.extended_number_of_points_by_return[k], by_return[k + 1]) << k;
  }

  // Only the version/format warning, and only where the pair is not allowed.
  const std::string mismatch = "LAS version 1." + std::to_string(minor) + " does not allow point format " +
                               std::to_string(format);
  EXPECT_EQ(messages.has(LAS_WARNING, mismatch), !allowed(minor, format)) << messages.dump();
  EXPECT_EQ(messages.count(LAS_WARNING), allowed(minor, format) ? 0 : 1) << messages.dump();
  EXPECT_EQ(messages.at_least(LAS_ERROR), 0) << messages.dump();
}

INSTANTIATE_TEST_SUITE_P(EveryVersionAndFormat, RoundTrip,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Range(0, 11)),
                         [](const ::testing::TestParamInfo<RoundTrip::ParamType>& info) {
                           return "v1_" + std::to_string(std::get<0>(info.param)) + "_format" +
                                  std::to_string(std::get<1>(info.param));
                         });

}  // namespace

namespace {

// Compressed (PTC) files of point formats 0 to 5 through the same writer and
// reader: the settings record is consumed, the format loses its compression
// bit, and points come back unchanged, also after seeks across chunks.
class PtcRoundTrip : public ::testing::TestWithParam<std::tuple<int, uint32_t>> {};

TEST_P(PtcRoundTrip, PointsComeBackUnchanged) {
  const int format = std::get<0>(GetParam());
  const uint32_t chunk_size = std::get<1>(GetParam());
  const int count = 1000;
  Messages messages;
  testsupport::TempDir dir;
  const std::string path = dir.file("round.ptc");
  LASheader h;
  lastest::make_header(h, 3, format, 5);
  const unsigned char payload[80] = {7};
  ASSERT_TRUE(h.add_vlr("Raster PTC", 7113, 80, const_cast<unsigned char*>(payload), false));
  {
    LASwriterLAS writer;
    ASSERT_TRUE(writer.open(path.c_str(), &h, PTcomp::COMPRESSOR_POINTWISE_CHUNKED, chunk_size)) << messages.dump();
    LASpoint p;
    ASSERT_TRUE(p.init(&h, writer.get_ptcomp().num_items, writer.get_ptcomp().items, &h));
    for (int i = 0; i < count; i++) {
      p.zero();
      lastest::fill_point(p, i);
      ASSERT_TRUE(writer.write_point(&p));
      if (chunk_size == 0 && i % 300 == 299) {
        ASSERT_TRUE(writer.chunk());
      }
    }
    ASSERT_GT(writer.close(), 0);
  }
  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(path.c_str())) << messages.dump();
  EXPECT_EQ(reader.get_format(), 2);
  EXPECT_EQ(reader.header.point_data_format, format);
  ASSERT_EQ(reader.header.number_of_variable_length_records, 1u);
  EXPECT_EQ(reader.header.vlrs[0].data[0], 7);
  EXPECT_EQ(reader.header.offset_to_point_data, 235u + 54 + 80);
  ASSERT_NE(reader.header.ptcomp, nullptr);
  EXPECT_EQ(reader.header.ptcomp->chunk_size, chunk_size);
  LASpoint expected;
  ASSERT_TRUE(expected.init(&h, reader.point.num_items, reader.point.items, &h));
  for (int i = 0; i < count; i++) {
    ASSERT_TRUE(reader.read_point()) << i << messages.dump();
    expected.zero();
    lastest::fill_point(expected, i);
    expect_same_point(expected, reader.point, i);
    if (HasFailure()) return;
  }
  EXPECT_FALSE(reader.read_point());
  for (int target : {999, 0, 450, 299, 300, 301, 17}) {
    ASSERT_TRUE(reader.seek(target)) << target;
    ASSERT_TRUE(reader.read_point()) << target;
    expected.zero();
    lastest::fill_point(expected, target);
    expect_same_point(expected, reader.point, target);
  }
  EXPECT_EQ(messages.at_least(LAS_WARNING), 0) << messages.dump();
}

INSTANTIATE_TEST_SUITE_P(Formats, PtcRoundTrip,
                         ::testing::Combine(::testing::Range(0, 6), ::testing::Values(0u, 128u)),
                         [](const ::testing::TestParamInfo<PtcRoundTrip::ParamType>& info) {
                           return "format" + std::to_string(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "_fixed" : "_variable");
                         });

}  // namespace
