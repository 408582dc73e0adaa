// Transform operations: parse, rendering and effect on hand-made points (every
// clamp counted), option errors with text and exit status, the list around them.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "filter/lascriterion.hpp"
#include "filter/lasfilter.hpp"
#include "filter/lasoperation.hpp"
#include "filter/laspointfield.hpp"
#include "filter/lastransform.hpp"
#include "las/laspoint.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using PF = PointField;
using Values = std::vector<std::pair<FieldRef, double>>;

const FieldRef x{PF::x}, y{PF::y}, z{PF::z}, X{PF::X}, Y{PF::Y}, Z{PF::Z}, I{PF::intensity}, SA{PF::scan_angle},
    UD{PF::user_data}, PS{PF::point_source}, CL{PF::classification}, GPS{PF::gps_time}, R{PF::R}, G{PF::G}, B{PF::B},
    NIR{PF::NIR}, RN{PF::return_number}, ERN{PF::extended_return_number}, NR{PF::number_of_returns},
    ENR{PF::extended_number_of_returns}, CH{PF::scanner_channel}, A0{PF::attribute, 0}, A1{PF::attribute, 1},
    WH{PF::withheld}, SYN{PF::synthetic}, KEY{PF::keypoint}, OVL{PF::overlap}, DIR{PF::scan_direction},
    EDGE{PF::edge_of_flight_line};

// Map and value files of the table, under "DIR/".
const char* const kFiles[][2] = {{"i.txt", "100 7\n"},       {"u.txt", "# user data\n\n  7 9\n"},
                                 {"p.txt", "9 65535\n"},     {"rgb.txt", "5 1 2 3\n"},
                                 {"v.txt", "42\n"},          {"bad.txt", "7 9\n7\n"},
                                 {"big.txt", "7 300\n"},     {"badv.txt", "1.5\nx\n"}};

// Words of an option text; "" stands for an argument another parser took.
std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string word; in >> word;) out.push_back(word == "\"\"" ? "" : word);
  return out;
}

// A parameterised test with the map and value files in its directory.
template <typename Case>
class WithFiles : public testsupport::DirTest<Case> {
 protected:
  void SetUp() override {
    for (const auto& f : kFiles) testsupport::write_file(this->dir.file(f[0]), f[1]);
  }
  // text with "DIR/" standing for the files' directory.
  std::string in_dir(std::string text) const {
    for (size_t at; (at = text.find("DIR/")) != std::string::npos;) text.replace(at, 4, this->dir.path() + "/");
    return text;
  }
};

// A point with every field the operations touch: legacy (POINT10, GPS
// time, RGB, wave packet) or extended (POINT14, RGB+NIR, two attributes:
// an i16 with scale 0.1 and a u8).
struct TestPoint {
  LASquantizer quantizer;
  LASattributer attributer;
  LASpoint point;
  explicit TestPoint(bool extended) {
    if (extended) {
      LASattribute a0(4, "a0"), a1(1, "a1");
      a0.options = 0x08;
      a0.scale[0] = 0.1;
      attributer.add_attribute(a0);
      attributer.add_attribute(a1);
      const LASitem items[3] = {{LASitem::POINT14, 30, 0}, {LASitem::RGBNIR14, 8, 0}, {LASitem::BYTE14, 3, 0}};
      point.init(&quantizer, 3, items, &attributer);
    } else {
      const LASitem items[4] = {
          {LASitem::POINT10, 20, 0}, {LASitem::GPSTIME11, 8, 0}, {LASitem::RGB12, 6, 0},
              {LASitem::WAVEPACKET13, 29, 0}};
      point.init(&quantizer, 4, items);
    }
    point.X = 1000;
    point.Y = 2000;
    point.Z = 3000;
    point.intensity = 100;
    point.user_data = 7;
    point.point_source_ID = 9;
    point.classification = 2;
    point.extended_classification = extended ? 2 : 0;
    point.gps_time = 1000.5;
    const uint16_t rgb[4] = {10, 20, 30, 40};
    memcpy(point.rgb, rgb, sizeof(rgb));
    point.scan_angle_rank = extended ? 6 : 5;
    point.extended_scan_angle = 1000;
    point.extended_scanner_channel = 1;
    if (extended) {
      const int16_t raw = 50;
      memcpy(point.extra_bytes, &raw, 2);
      point.extra_bytes[2] = 3;
    }
  }
  double get(FieldRef f) const {
    FieldContext c;
    c.force_rgb = true;
    double v = -12345;
    field_get(&point, f, c, v);
    return v;
  }
  void set(FieldRef f, double v) {
    FieldContext c;
    c.force_rgb = true;
    int64_t ignored = 0;
    field_set(&point, f, c, v, ignored);
  }
};

struct OpCase {
  const char* name;
  bool extended;
  std::string args;
  std::string command;  // "DIR/" stands for the files' directory; empty: args and a blank
  Values before, after;
  int64_t overflows = 0;
};

class Operations : public WithFiles<OpCase> {};

TEST_P(Operations, ParseRenderApply) {
  const OpCase& c = GetParam();
  lastest::Messages messages;
  testsupport::Argv args(split(in_dir(c.args)));
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  EXPECT_TRUE(args.left().empty());
  std::vector<char> text(8192);
  const int n = t.unparse(text.data());
  const std::string command = in_dir(c.command.empty() ? c.args + " " : c.command);
  EXPECT_EQ(text.data(), command);
  EXPECT_EQ(n, static_cast<int>(command.size()));

  TestPoint p(c.extended);
  for (const auto& b : c.before) p.set(b.first, b.second);
  t.transform(&p.point);
  for (const auto& a : c.after) EXPECT_NEAR(p.get(a.first), a.second, 1e-9) << static_cast<int>(a.first.field);
  int64_t overflows = 0;
  for (uint32_t i = 0; i < t.num_operations; i++) overflows += t.operations[i]->overflow;
  EXPECT_EQ(overflows, c.overflows);
}

const bool L = false, E = true;
const double kMaxI32 = 2147483647.0;

INSTANTIATE_TEST_SUITE_P(
    Transform, Operations,
    ::testing::Values(
        // Coordinates.
        OpCase{"TranslateEach", L, "-translate_x 1.500000 -translate_y -2.000000 -translate_z 10.000000", "", {},
               {{x, 11.5}, {y, 18}, {z, 40}}},
        OpCase{"TranslateZClamped", L, "-translate_z 1e8", "-translate_z 100000000.000000 ", {}, {{Z, kMaxI32}}, 1},
        OpCase{"TranslateXyz", L, "-translate_xyz 1.000000 2.000000 3.000000", "", {}, {{x, 11}, {y, 22}, {z, 33}}},
        OpCase{"ScaleEach", L, "-scale_x 2.000000 -scale_y 0.500000 -scale_z -3.000000", "", {},
               {{x, 20}, {y, 10}, {z, -90}}},
        OpCase{"ScaleXyz", L, "-scale_xyz 2.000000 2.000000 2.000000", "", {}, {{x, 20}, {y, 40}, {z, 60}}},
        OpCase{"TranslateThenScaleEach", L,
               "-translate_then_scale_x 1.000000 2.000000 -translate_then_scale_y -1.000000 2.000000 "
               "-translate_then_scale_z 0.000000 -1.000000", "", {}, {{x, 22}, {y, 38}, {z, -30}}},
        OpCase{"TranslateScaleTranslateEach", L,
               "-translate_scale_translate_x 1.000000 2.000000 3.000000 -translate_scale_translate_y 0.000000 1.000000 "
               "1.000000 -translate_scale_translate_z 0.000000 1.000000 -30.000000", "", {},
               {{x, 25}, {y, 21}, {z, 0}}},
        OpCase{"RotateXy", L, "-rotate_xy 90.000000 0.000000 0.000000", "", {}, {{x, -20}, {y, 10}, {z, 30}}},
        OpCase{"RotateXyAboutCentre", L, "-rotate_xy 180.000000 10.000000 10.000000", "", {}, {{x, 10}, {y, 0}}},
        OpCase{"RotateXz", L, "-rotate_xz 90.000000 0.000000 0.000000", "", {}, {{x, -30}, {y, 20}, {z, 10}}},
        OpCase{"RotateYz", L, "-rotate_yz 90.000000 0.000000 0.000000", "", {}, {{x, 10}, {y, -30}, {z, 20}}},
        OpCase{"Matrix", L,
               "-transform_matrix 0.000000,1.000000,0.000000 1.000000,0.000000,0.000000 0.000000,0.000000,1.000000 "
               "1.000000,1.000000,1.000000", "", {}, {{x, 21}, {y, 11}, {z, 31}}},
        OpCase{"Helmert", L, "-transform_helmert 1.000000,2.000000,3.000000,0.000000,0.000000,3600.000000,0.000000", "",
               {}, {{x, 10.65}, {y, 22.17}, {z, 33}}},
        OpCase{"Affine", L, "-transform_affine 2.000000,0.000000,1.000000,1.000000", "", {},
               {{x, 21}, {y, 41}, {z, 30}}},
        OpCase{"ClampZ", L, "-clamp_z 0 25", "-clamp_z 0.000000 25.000000 ", {}, {{z, 25}}},
        OpCase{"ClampZBelow", L, "-clamp_z_below 40", "-clamp_z_below 40.000000 ", {}, {{z, 40}}},
        OpCase{"ClampZAbove", L, "-clamp_z_above 20", "-clamp_z_above 20.000000 ", {}, {{z, 20}}},
        OpCase{"ClampZInside", L, "-clamp_z 30 31", "-clamp_z 30.000000 31.000000 ", {}, {{z, 30}}},
        OpCase{"ClampRawZ", L, "-clamp_raw_z -5 2000", "", {}, {{Z, 2000}}},
        OpCase{"AttributeIntoEach", E, "-copy_attribute_into_x 0 -copy_attribute_into_y 1 -copy_attribute_into_z 0", "",
               {}, {{x, 5}, {y, 3}, {z, 5}}},
        OpCase{"MissingAttributeLeavesPoint", E, "-copy_attribute_into_z 2", "", {}, {{z, 30}}},
        OpCase{"IntensityIntoZ", L, "-copy_intensity_into_z", "", {}, {{z, 100}}},
        OpCase{"UserDataIntoZ", L, "-copy_user_data_into_z", "", {}, {{z, 7}}},
        OpCase{"TranslateRawEach", L, "-translate_raw_x 5 -translate_raw_y -5 -translate_raw_z 7", "", {},
               {{X, 1005}, {Y, 1995}, {Z, 3007}}},
        OpCase{"TranslateRawXClamped", L, "-translate_raw_x 2147483647", "", {}, {{X, kMaxI32}}, 1},
        OpCase{"TranslateRawXyz", L, "-translate_raw_xyz 1 2 3", "", {}, {{X, 1001}, {Y, 2002}, {Z, 3003}}},
        OpCase{"RawAtRandomWithoutRange", L, "-translate_raw_xy_at_random 0 0", "", {}, {{X, 1000}, {Y, 2000}}},
        // Intensity (the first two rows are the documented edge case).
        OpCase{"ScaleIntensityClamped", L, "-scale_intensity 2", "", {{I, 40000}}, {{I, 65535}}, 1},
        OpCase{"ScaleIntensity", L, "-scale_intensity 2", "", {}, {{I, 200}}},
        OpCase{"ScaleIntensityTruncates", L, "-scale_intensity 0.5", "", {{I, 101}}, {{I, 50}}},
        OpCase{"ScaleIntensityNegative", L, "-scale_intensity -1", "", {}, {{I, 0}}, 1},
        OpCase{"SetIntensity", L, "-set_intensity 65535", "", {}, {{I, 65535}}},
        OpCase{"TranslateIntensityHigh", L, "-translate_intensity 65500", "", {}, {{I, 65535}}, 1},
        OpCase{"TranslateIntensityLow", L, "-translate_intensity -200", "", {}, {{I, 0}}, 1},
        OpCase{"TranslateThenScaleIntensity", L, "-translate_then_scale_intensity 10 2", "", {}, {{I, 220}}},
        OpCase{"ClampIntensity", L, "-clamp_intensity 0 50", "", {}, {{I, 50}}},
        OpCase{"ClampIntensityBelow", L, "-clamp_intensity_below 200", "", {}, {{I, 200}}},
        OpCase{"ClampIntensityAbove", L, "-clamp_intensity_above 50", "", {}, {{I, 50}}},
        OpCase{"MapIntensity", L, "-map_intensity DIR/i.txt", "-map_intensity \"DIR/i.txt\" ", {}, {{I, 7}}},
        OpCase{"MapIntensityUnmapped", L, "-map_intensity DIR/i.txt", "-map_intensity \"DIR/i.txt\" ", {{I, 99}},
               {{I, 99}}},
        OpCase{"AttributeIntoIntensity", E, "-copy_attribute_into_intensity 0", "", {}, {{I, 5}}},
        OpCase{"AttributeIntoPointSource", E, "-copy_attribute_into_point_source 1", "", {}, {{PS, 3}}},
        OpCase{"BinGpsTimeIntoIntensity", L, "-bin_gps_time_into_intensity 0.500000", "", {}, {{I, 2001}}},
        // Registers.
        OpCase{"AddRegisters", L,
               "-set_register 0 1.500000 -set_register 1 2.000000 -add_registers 0 1 2 -copy_register_into_intensity 2",
               "", {}, {{I, 3}}},
        OpCase{"SubtractRegisters", L,
               "-set_register 0 7.000000 -set_register 1 2.000000 -subtract_registers 0 1 3 "
               "-copy_register_into_point_source 3", "", {}, {{PS, 5}}},
        OpCase{"MultiplyRegisters", L, "-set_register 0 7.000000 -multiply_registers 0 0 15 -copy_register_into_y 15",
               "", {}, {{y, 49}}},
        OpCase{"DivideRegisters", L,
               "-set_register 0 7.000000 -set_register 1 2.000000 -divide_registers 0 1 0 -copy_register_into_z 0", "",
               {}, {{z, 3.5}}},
        OpCase{"DivideByZeroClamped", L,
               "-set_register 0 1.000000 -divide_registers 0 1 2 -copy_register_into_intensity 2", "", {}, {{I, 65535}},
               1},
        OpCase{"IntensityRegisterX", L, "-copy_intensity_into_register 4 -copy_register_into_x 4", "", {}, {{x, 100}}},
        OpCase{"UserDataRegisterG", L, "-copy_user_data_into_register 0 -copy_register_into_G 0", "", {}, {{G, 7}}},
        OpCase{"PointSourceRegisterB", L,
               "-copy_point_source_into_register 1 -scale_register 1 3.000000 -copy_register_into_B 1", "", {},
               {{B, 27}}},
        OpCase{"RRegisterNir", E, "-copy_R_into_register 0 -translate_register 0 4.000000 -copy_register_into_NIR 0",
               "", {}, {{NIR, 14}}},
        OpCase{"RegisterIntoR", L, "-translate_register 0 4.000000 -copy_register_into_R 0", "", {}, {{R, 4}}},
        OpCase{"AttributeRegisterAttribute", E, "-copy_attribute_into_register 0 5 -copy_register_into_attribute 5 1",
               "", {}, {{A1, 5}}},
        OpCase{"AttributeIntoRgbn", E,
               "-copy_attribute_into_R 0 -copy_attribute_into_G 1 -copy_attribute_into_B 0 -copy_attribute_into_NIR 1",
               "", {}, {{R, 5}, {G, 3}, {B, 5}, {NIR, 3}}},
        OpCase{"AttributeIntoUserData", E, "-copy_attribute_into_user_data 0", "", {}, {{UD, 5}}},
        // Scan angle.
        OpCase{"SetScanAngle", L, "-set_scan_angle 12.5", "", {}, {{SA, 12}}},
        OpCase{"SetScanAngleExtended", E, "-set_scan_angle 12.5", "", {}, {{SA, 2083 * 0.006}}},
        OpCase{"ScaleScanAngle", L, "-scale_scan_angle 2", "", {}, {{SA, 10}}},
        OpCase{"TranslateScanAngleClamped", L, "-translate_scan_angle 100", "", {}, {{SA, 90}}, 1},
        OpCase{"TranslateScanAngleExtended", E, "-translate_scan_angle 200", "", {}, {{SA, 180}}, 1},
        OpCase{"TranslateThenScaleScanAngle", L, "-translate_then_scale_scan_angle 1 -2", "", {}, {{SA, -12}}},
        // Classification and flags.
        OpCase{"SetClassification", L, "-set_classification 6", "", {}, {{CL, 6}}},
        OpCase{"SetClassificationLegacyClamped", L, "-set_classification 40", "", {}, {{CL, 31}}, 1},
        OpCase{"SetClassificationExtended", E, "-set_classification 40", "", {}, {{CL, 40}}},
        OpCase{"ChangeClassification", L, "-change_classification_from_to 2 9", "", {}, {{CL, 9}}},
        OpCase{"ChangeClassificationOther", L, "-change_classification_from_to 3 9", "", {}, {{CL, 2}}},
        OpCase{"MoveAncient", L, "-move_ancient_to_extended_classification", "", {}, {{CL, 2}}},
        OpCase{"ClassifyZBelow", L, "-classify_z_below_as 31 7", "-classify_z_below_as 31.000000 7 ", {}, {{CL, 7}}},
        OpCase{"ClassifyZBelowEdge", L, "-classify_z_below_as 30.000000 7", "", {}, {{CL, 2}}},
        OpCase{"ClassifyZBelowClamped", L, "-classify_z_below_as 31.000000 40", "", {}, {{CL, 31}}, 1},
        OpCase{"ClassifyZAbove", L, "-classify_z_above_as 29.99 8", "-classify_z_above_as 29.990000 8 ", {}, {{CL, 8}}},
        OpCase{"ClassifyZBetweenEdge", L, "-classify_z_between_as 30.000000 31.000000 4", "", {}, {{CL, 4}}},
        OpCase{"ClassifyIntensityBelowEdge", L, "-classify_intensity_below_as 100 5", "", {}, {{CL, 2}}},
        OpCase{"ClassifyIntensityAbove", L, "-classify_intensity_above_as 99 5", "", {}, {{CL, 5}}},
        OpCase{"ClassifyIntensityBetween", L, "-classify_intensity_between_as 50 100 6", "", {}, {{CL, 6}}},
        OpCase{"ClassifyAttributeBelow", E, "-classify_attribute_below_as 0 5.500000 9", "", {}, {{CL, 9}}},
        OpCase{"ClassifyAttributeAbove", E, "-classify_attribute_above_as 1 3.000000 9", "", {}, {{CL, 2}}},
        OpCase{"ClassifyAttributeBetween", E, "-classify_attribute_between_as 0 5.000000 5.000000 200", "", {},
               {{CL, 200}}},
        OpCase{"IntensityIntoClassificationClamped", L, "-copy_intensity_into_classification", "", {}, {{CL, 31}}, 1},
        OpCase{"IntensityIntoClassification", E, "-copy_intensity_into_classification", "", {}, {{CL, 100}}},
        OpCase{"Flags", E,
               "-set_withheld_flag 1 -set_synthetic_flag 1 -set_keypoint_flag 1 -set_overlap_flag 1 "
               "-set_scan_direction_flag 1 -set_edge_of_flight_line 1", "", {},
               {{WH, 1}, {SYN, 1}, {KEY, 1}, {OVL, 1}, {DIR, 1}, {EDGE, 1}}},
        OpCase{"ScannerChannel", E, "-set_scanner_channel 3", "", {}, {{CH, 3}}},
        // User data.
        OpCase{"SetUserData", L, "-set_user_data 255", "", {}, {{UD, 255}}},
        OpCase{"ScaleUserDataClamped", L, "-scale_user_data 40", "", {}, {{UD, 255}}, 1},
        OpCase{"ChangeUserData", L, "-change_user_data_from_to 7 8", "", {}, {{UD, 8}}},
        OpCase{"MapUserData", L, "-map_user_data DIR/u.txt", "-map_user_data \"DIR/u.txt\" ", {}, {{UD, 9}}},
        OpCase{"ClassificationIntoUserDataAndPointSource", L,
               "-copy_classification_into_user_data -copy_classification_into_point_source", "", {},
               {{UD, 2}, {PS, 2}}},
        OpCase{"UserDataIntoClassification", L, "-copy_user_data_into_classification", "", {}, {{CL, 7}}},
        OpCase{"UserDataIntoAttribute", E, "-copy_user_data_into_attribute 1", "", {}, {{A1, 7}}},
        OpCase{"ZIntoAttribute", E, "-copy_z_into_attribute 0", "", {}, {{A0, 30}}},
        OpCase{"ZIntoAttributeClamped", E, "-copy_z_into_attribute 0", "", {{z, 4000}}, {{A0, 3276.7}}, 1},
        OpCase{"AddAttributeToZ", E, "-add_attribute_to_z 0", "", {}, {{z, 35}}},
        OpCase{"AddScaledAttributeToZ", E, "-add_scaled_attribute_to_z 1 -2", "", {}, {{z, 24}}},
        OpCase{"AddScaledAttributeToUserData", E, "-add_scaled_attribute_to_user_data 0 2", "", {}, {{UD, 17}}},
        OpCase{"SetAttribute", E, "-set_attribute 0 -3.2", "-set_attribute 0 -3.200000 ", {}, {{A0, -3.2}}},
        OpCase{"ScaleAttributeClamped", E, "-scale_attribute 1 100.000000", "", {}, {{A1, 255}}, 1},
        OpCase{"TranslateAttribute", E, "-translate_attribute 0 0.500000", "", {}, {{A0, 5.5}}},
        // Point source and scanner channel.
        OpCase{"SetPointSource", L, "-set_point_source 500", "", {}, {{PS, 500}}},
        OpCase{"ChangePointSource", L, "-change_point_source_from_to 9 10", "", {}, {{PS, 10}}},
        OpCase{"MapPointSource", L, "-map_point_source DIR/p.txt", "-map_point_source \"DIR/p.txt\" ", {},
               {{PS, 65535}}},
        OpCase{"BinGpsTimeIntoPointSource", L, "-bin_gps_time_into_point_source 100.000000", "", {}, {{PS, 10}}},
        OpCase{"BinZIntoPointSource", L, "-bin_Z_into_point_source 7", "", {}, {{PS, 428}}},
        OpCase{"BinAbsScanAngle", L, "-bin_abs_scan_angle_into_point_source 2", "", {{SA, -5}}, {{PS, 2}}},
        OpCase{"UserDataIntoPointSource", L, "-copy_user_data_into_point_source", "", {}, {{PS, 7}}},
        OpCase{"UserDataIntoChannelClamped", E, "-copy_user_data_into_scanner_channel", "", {}, {{CH, 3}}, 1},
        OpCase{"ChannelIntoUserDataAndPointSource", E,
               "-copy_scanner_channel_into_user_data -copy_scanner_channel_into_point_source", "", {},
               {{UD, 1}, {PS, 1}}},
        OpCase{"MergeChannel", E, "-merge_scanner_channel_into_point_source", "", {}, {{PS, 37}}},
        OpCase{"MergeChannelClamped", E, "-merge_scanner_channel_into_point_source", "", {{PS, 20000}}, {{PS, 65535}},
               1},
        OpCase{"SplitChannel", E, "-split_scanner_channel_from_point_source", "", {{PS, 38}}, {{PS, 9}, {CH, 2}}},
        // Returns.
        OpCase{"RepairZeroReturns", L, "-repair_zero_returns", "", {{RN, 0}, {NR, 0}}, {{RN, 1}, {NR, 1}}},
        OpCase{"SetReturns", L, "-set_return_number 3 -set_number_of_returns 5", "", {}, {{RN, 3}, {NR, 5}}},
        OpCase{"SetExtendedReturns", E, "-set_extended_return_number 12 -set_extended_number_of_returns 15", "", {},
               {{ERN, 12}, {RN, 7}, {ENR, 15}, {NR, 7}}},
        OpCase{"ChangeReturns", L, "-change_return_number_from_to 1 2 -change_number_of_returns_from_to 1 3", "", {},
               {{RN, 2}, {NR, 3}}},
        OpCase{"ChangeExtendedReturns", E,
               "-change_extended_return_number_from_to 1 9 -change_extended_number_of_returns_from_to 1 14", "", {},
               {{ERN, 9}, {ENR, 14}}},
        // GPS time.
        OpCase{"SetGpsTime", L, "-set_gps_time 5.5", "-set_gps_time 5.500000 ", {}, {{GPS, 5.5}}},
        OpCase{"TranslateGpsTime", L, "-translate_gps_time -0.5", "-translate_gps_time -0.500000 ", {}, {{GPS, 1000}}},
        OpCase{"AdjustedToWeek", L, "-adjusted_to_week", "", {{GPS, 0}}, {{GPS, 265600}}},
        OpCase{"WeekToAdjusted", L, "-week_to_adjusted 1653", "", {{GPS, 265600}}, {{GPS, 0}}},
        // Colours.
        OpCase{"NirNeedsAColourItem", L, "-set_NIR 77", "", {{NIR, 40}}, {{NIR, 40}}},
        OpCase{"ForceRgb", L, "-force_RGB -set_NIR 77", "", {{NIR, 40}}, {{NIR, 77}}},
        OpCase{"SetRgb", L, "-set_RGB 1 2 65535", "", {}, {{R, 1}, {G, 2}, {B, 65535}}},
        OpCase{"SetRgbOfClass", L, "-set_RGB_of_class 2 7 8 9", "", {}, {{R, 7}, {G, 8}, {B, 9}}},
        OpCase{"SetRgbOfOtherClass", L, "-set_RGB_of_class 3 7 8 9", "", {}, {{R, 10}, {G, 20}, {B, 30}}},
        OpCase{"SetNir", E, "-set_NIR 77", "", {}, {{NIR, 77}, {R, 10}}},
        OpCase{"ScaleRgbClamped", L, "-scale_RGB 2 0.5 10000", "", {}, {{R, 20}, {G, 10}, {B, 65535}}, 1},
        OpCase{"ScaleRgbDown", L, "-scale_RGB_down", "", {{R, 512}}, {{R, 2}, {G, 0}, {B, 0}}},
        OpCase{"ScaleRgbUp", L, "-scale_RGB_up", "", {}, {{R, 2560}, {G, 5120}, {B, 7680}}},
        OpCase{"ScaleRgbTo8bit", L, "-scale_RGB_to_8bit", "", {{R, 65535}}, {{R, 255}, {G, 0}}},
        OpCase{"ScaleRgbTo8bitKeeps8bit", L, "-scale_RGB_to_8bit", "", {{R, 255}}, {{R, 255}, {G, 20}}},
        OpCase{"ScaleRgbTo16bit", L, "-scale_RGB_to_16bit", "", {}, {{R, 2560}, {B, 7680}}},
        OpCase{"ScaleRgbTo16bitKeeps16bit", L, "-scale_RGB_to_16bit", "", {{G, 256}}, {{R, 10}, {G, 256}}},
        OpCase{"ScaleNir", E, "-scale_NIR 2", "", {}, {{NIR, 80}, {R, 10}}},
        OpCase{"ScaleNirDown", E, "-scale_NIR_down", "", {{NIR, 1024}}, {{NIR, 4}}},
        OpCase{"ScaleNirUpClamped", E, "-scale_NIR_up", "", {{NIR, 256}}, {{NIR, 65535}}, 1},
        OpCase{"ScaleNirTo8bit", E, "-scale_NIR_to_8bit", "", {{NIR, 1000}}, {{NIR, 3}}},
        OpCase{"ScaleNirTo16bit", E, "-scale_NIR_to_16bit", "", {}, {{NIR, 10240}}},
        OpCase{"ClampRgbTo8bit", L, "-clamp_RGB_to_8bit", "", {{R, 300}}, {{R, 255}, {G, 20}}},
        OpCase{"SwitchXY", L, "-switch_x_y", "", {}, {{x, 20}, {y, 10}}},
        OpCase{"SwitchXZ", L, "-switch_x_z", "", {}, {{x, 30}, {z, 10}}},
        OpCase{"SwitchYZ", L, "-switch_y_z", "", {}, {{y, 30}, {z, 20}}},
        OpCase{"SwitchRG", L, "-switch_R_G", "", {}, {{R, 20}, {G, 10}}},
        OpCase{"SwitchRB", L, "-switch_R_B", "", {}, {{R, 30}, {B, 10}}},
        OpCase{"SwitchGB", L, "-switch_G_B", "", {}, {{G, 30}, {B, 20}}},
        OpCase{"MapAttributeIntoRgb", E, "-map_attribute_into_RGB 0 DIR/rgb.txt",
               "-map_attribute_into_RGB 0 \"DIR/rgb.txt\" ", {}, {{R, 1}, {G, 2}, {B, 3}}},
        OpCase{"LoadAttribute", E, "-load_attribute_from_text 1 DIR/v.txt",
               "-load_attribute_from_text 1 \"DIR/v.txt\" ", {}, {{A1, 42}}},
        OpCase{"RgbIntoIntensity", L, "-copy_RGB_into_intensity", "", {}, {{I, 18}}},
        OpCase{"RIntoIntensity", L, "-copy_R_into_intensity", "", {}, {{I, 10}}},
        OpCase{"GIntoIntensity", L, "-copy_G_into_intensity", "", {}, {{I, 20}}},
        OpCase{"BIntoIntensity", L, "-copy_B_into_intensity", "", {}, {{I, 30}}},
        OpCase{"NirIntoIntensity", E, "-copy_NIR_into_intensity", "", {}, {{I, 40}}},
        OpCase{"RgbIntoNir", E, "-copy_R_into_NIR", "", {}, {{NIR, 10}}},
        OpCase{"GIntoNir", E, "-copy_G_into_NIR", "", {}, {{NIR, 20}}},
        OpCase{"BIntoNir", E, "-copy_B_into_NIR", "", {}, {{NIR, 30}}},
        OpCase{"IntensityIntoNir", E, "-copy_intensity_into_NIR", "", {}, {{NIR, 100}}},
        OpCase{"RgbiIntoCir", E, "-switch_RGBI_into_CIR", "", {}, {{R, 40}, {G, 10}, {B, 20}}},
        OpCase{"RgbIntensityIntoCir", L, "-switch_RGB_intensity_into_CIR", "", {}, {{R, 100}, {G, 10}, {B, 20}}},
        OpCase{"IntensityIntoRgb", L, "-multiply_scaled_intensity_into_RGB 0.5", "", {},
               {{R, 500}, {G, 1000}, {B, 1500}}},
        OpCase{"IntensityRangeIntoRgb", L, "-multiply_scaled_intensity_range_into_RGB 0 200", "", {},
               {{R, 5}, {G, 10}, {B, 15}}},
        OpCase{"FlipWaveform", L, "-flip_waveform_direction", "", {}, {{x, 10}}}),
    testsupport::CaseName());

// Escapes a text for a death-test regular expression.
std::string literal(const std::string& text) {
  return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

struct ErrorCase {
  const char* name;
  std::string args;
  std::string message;  // "DIR/" stands for the files' directory
};
class OptionErrors : public WithFiles<ErrorCase> {};

TEST_P(OptionErrors, MessageAndExitStatus) {
  const std::string message = in_dir(GetParam().message);
  {
    lastest::Messages messages;
    testsupport::Argv args(split(in_dir(GetParam().args)));
    LAStransform t;
    EXPECT_FALSE(t.parse(args.argc(), args.argv()));
    EXPECT_EQ(messages.texts(LAS_ERROR), std::vector<std::string>{message});
  }
  EXPECT_EXIT(
      {
        halt_on_error(true);
        testsupport::Argv args(split(in_dir(GetParam().args)));
        LAStransform t;
        t.parse(args.argc(), args.argv());
      },
      ::testing::ExitedWithCode(3), literal(message));
}

INSTANTIATE_TEST_SUITE_P(
    Transform, OptionErrors,
    ::testing::Values(
        ErrorCase{"Missing", "-translate_z", "'-translate_z' needs 1 argument: offset"},
        ErrorCase{"MissingSecond", "-clamp_intensity 5", "'-clamp_intensity' needs 2 arguments: min max"},
        ErrorCase{"TakenByAnother", "-scale_xyz 1 \"\" 1", "'-scale_xyz' needs 3 arguments: scale_x scale_y scale_z"},
        ErrorCase{"NotANumber", "-translate_then_scale_x 1 abc",
                  "'-translate_then_scale_x' needs 2 arguments: offset scale but 'abc' is no valid number"},
        ErrorCase{"TrailingText", "-scale_intensity 2x",
                  "'-scale_intensity' needs 1 argument: factor but '2x' is no valid number"},
        ErrorCase{"NotFinite", "-translate_x nan",
                  "'-translate_x' needs 1 argument: offset but 'nan' is no valid number"},
        ErrorCase{"NegativeUnsigned", "-set_classification -1",
                  "'-set_classification' needs 1 argument: classification but '-1' is no valid number"},
        ErrorCase{"ShortMatrixRow", "-transform_matrix 1,0,0 0,1,0 0,0 0,0,0",
                  "'-transform_matrix' needs 4 arguments: r11,r12,r13 r21,r22,r23 r31,r32,r33 tr1,tr2,tr3 but '0,0' is "
                  "no valid number"},
        ErrorCase{"Register", "-set_register 16 1",
                  "'-set_register' index of register 16 is out of valid [0,15] range"},
        ErrorCase{"RegisterSecond", "-copy_attribute_into_register 0 16",
                  "'-copy_attribute_into_register' index of register 16 is out of valid [0,15] range"},
        ErrorCase{"RegisterOutput", "-add_registers 0 1 16",
                  "'-add_registers' needs 3 arguments: input1 input2 output but 16 is out-of-range for output"},
        ErrorCase{"RegisterInput", "-divide_registers 17 1 2",
                  "'-divide_registers' needs 3 arguments: input1 input2 output but 17 is out-of-range for input1"},
        ErrorCase{"ClassifyClass", "-classify_z_below_as 1 256",
                  "cannot classify z_value because classification of 256 is larger than 255"},
        ErrorCase{"ClassifyIntensityClass", "-classify_intensity_between_as 1 2 300",
                  "cannot classify intensity because classification of 300 is larger than 255"},
        ErrorCase{"ChangeTo", "-change_classification_from_to 2 256",
                  "cannot change classification because to_value 256 is larger than 255"},
        ErrorCase{"SetIntensity", "-set_intensity 65536",
                  "cannot set intensity because value 65536 is larger than 65535"},
        ErrorCase{"ReturnNumber", "-set_return_number 8",
                  "cannot set return number because return_number 8 is larger than 7"},
        ErrorCase{"Flag", "-set_withheld_flag 2", "cannot set withheld flag because value 2 is larger than 1"},
        ErrorCase{"Rgb", "-set_RGB 1 65536 0", "cannot set RGB because G is 65536, which is larger than 65535"},
        ErrorCase{"Nir", "-set_NIR 70000", "cannot set NIR because NIR is 70000, which is larger than 65535"},
        ErrorCase{"ClampOrder", "-clamp_z 5 1", "'-clamp_z' needs 2 arguments: min max but min 5 is larger than max 1"},
        ErrorCase{"BinSize", "-bin_gps_time_into_intensity 0",
                  "'-bin_gps_time_into_intensity' needs 1 argument: bin_size but 0 is no valid bin_size"},
        ErrorCase{"IntensityRange", "-multiply_scaled_intensity_range_into_RGB 5 5",
                  "'-multiply_scaled_intensity_range_into_RGB' needs 2 arguments: min max but min 5 is not smaller "
                  "than max 5"},
        ErrorCase{"MapMissing", "-map_intensity DIR/none.txt",
                  "'-map_intensity' needs text file with map but 'DIR/none.txt' cannot be opened"},
        ErrorCase{"MapMalformed", "-map_user_data DIR/bad.txt",
                  "'-map_user_data' needs text file with map but line 2 of 'DIR/bad.txt' is not 'from_value to_value'"},
        ErrorCase{"MapRange", "-map_user_data DIR/big.txt",
                  "'-map_user_data' needs text file with map but line 1 of 'DIR/big.txt' has a value larger than 255"},
        ErrorCase{"RgbMapMalformed", "-map_attribute_into_RGB 0 DIR/i.txt",
                  "'-map_attribute_into_RGB' needs text file with map but line 1 of 'DIR/i.txt' is not 'value R G B'"},
        ErrorCase{"ValuesMalformed", "-load_attribute_from_text 0 DIR/badv.txt",
                  "'-load_attribute_from_text' needs text file with values but line 2 of 'DIR/badv.txt' is no valid "
                  "number"}),
    testsupport::CaseName());

// A criterion that drops every point whose classification is not 2.
struct KeepClass2 : LAScriterion {
  const char* name() const override { return "keep_class"; }
  int get_command(char* s) const override { return sprintf(s, "-keep_class 2 "); }
  bool filter(const LASpoint* p) override { return p->classification != 2; }
};

TEST(TransformList, FilteredTransformRendersAndSkipsDroppedPoints) {
  testsupport::Argv args({"-filtered_transform", "-set_classification", "6", "-i", "x"});
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  EXPECT_TRUE(t.filtered);
  EXPECT_EQ(args.left(), (std::vector<std::string>{"-i", "x"}));
  auto* filter = new LASfilter();
  filter->add_criterion(new KeepClass2());
  t.setFilter(filter);
  char text[256];
  t.unparse(text);
  EXPECT_STREQ(text, "-keep_class 2 -filtered_transform -set_classification 6 ");
  TestPoint kept(false), dropped(false);
  dropped.point.classification = 3;
  t.transform(&kept.point);
  t.transform(&dropped.point);
  EXPECT_EQ(kept.point.classification, 6);
  EXPECT_EQ(dropped.point.classification, 3);
}

TEST(TransformList, OverflowWarningDeleteAndMask) {
  lastest::Messages messages;
  testsupport::Argv args({"-scale_intensity", "2", "-translate_x", "1", "-classify_z_below_as", "1", "2"});
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  EXPECT_EQ(t.get_decompress_selective(), 0xBu);  // intensity, z, classification
  TestPoint p(false);
  p.point.intensity = 40000;
  t.transform(&p.point);
  t.check_for_overflow();
  EXPECT_EQ(messages.texts(LAS_WARNING), std::vector<std::string>{"total of  1 overflows caused by "
      "'-scale_intensity 2 '"});
  t.delete_operation("translate_x");
  char text[256];
  t.unparse(text);
  EXPECT_STREQ(text, "-scale_intensity 2 -classify_z_below_as 1.000000 2 ");
}

TEST(TransformList, OffsetAdjustMovesTheOffsetWithTheCoordinates) {
  testsupport::Argv args({"-translate_x", "1000000", "-scale_intensity", "2"});
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  TestPoint p(false);
  ASSERT_TRUE(t.set_offset_adjust(p.quantizer));
  EXPECT_EQ(t.adjusted_quantizer.x_offset, 1000000.0);
  t.transform(&p.point);
  EXPECT_EQ(p.point.X, 1000);  // 1000010 in the moved frame
  EXPECT_EQ(p.point.intensity, 200);

  lastest::Messages messages;
  testsupport::Argv raw({"-translate_raw_x", "1"});
  LAStransform u;
  ASSERT_TRUE(u.parse(raw.argc(), raw.argv()));
  EXPECT_FALSE(u.set_offset_adjust(p.quantizer));
  EXPECT_EQ(messages.texts(LAS_ERROR),
            std::vector<std::string>{
                "The adjustment of the offset using '-offset_adjust' is not supported for the operation "
                "'translate_raw_x'."});
}

TEST(TransformList, RandomRawOffsetsStayInRangeAndRepeat) {
  testsupport::Argv args({"-translate_raw_xy_at_random", "2", "3"});
  LAStransform t, u;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  testsupport::Argv again({"-translate_raw_xy_at_random", "2", "3"});
  ASSERT_TRUE(u.parse(again.argc(), again.argv()));
  std::vector<int> seen(5);
  for (int k = 0; k < 200; k++) {
    TestPoint p(false), q(false);
    t.transform(&p.point);
    u.transform(&q.point);
    ASSERT_LE(std::abs(p.point.X - 1000), 2);
    ASSERT_LE(std::abs(p.point.Y - 2000), 3);
    ASSERT_EQ(p.point.X, q.point.X);
    seen[p.point.X - 998]++;
  }
  for (int count : seen) EXPECT_GT(count, 0);
}

TEST(TransformList, FlipWaveformNegatesTheDirection) {
  testsupport::Argv args({"-flip_waveform_direction"});
  LAStransform t;
  ASSERT_TRUE(t.parse(args.argc(), args.argv()));
  TestPoint p(false);
  const float dx = 1.5f;
  memcpy(p.point.wavepacket + 17, &dx, 4);
  t.transform(&p.point);
  float flipped;
  memcpy(&flipped, p.point.wavepacket + 17, 4);
  EXPECT_EQ(flipped, -1.5f);
}

}  // namespace
