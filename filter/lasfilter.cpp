// The point filter: criteria list, option parsing, rendering and the
// per-point decision.
#include "filter/lasfilter.hpp"

#include <cstring>  // strcmp, strncmp

#include "filter/lascriteria.hpp"   // parse_criterion, make_criterion_and/_or
#include "filter/lascriterion.hpp"  // LAScriterion
#include "tool/lasmessage.hpp"      // LASMessage, laserror

namespace {

// The longest option text of one criterion, and/or combinations included.
constexpr int kMaxCommand = 4000;

}  // namespace

LASfilter::~LASfilter() { clean(); }

void LASfilter::clean() {
  for (uint32_t i = 0; i < num_criteria; i++) delete criteria[i];
  delete[] criteria;
  delete[] counters;
  criteria = nullptr;
  counters = nullptr;
  num_criteria = 0;
  alloc_criteria = 0;
}

void LASfilter::add_criterion(LAScriterion* criterion) {
  if (num_criteria == alloc_criteria) {
    const uint32_t grown = alloc_criteria + 16;
    LAScriterion** more_criteria = new LAScriterion*[grown];
    uint32_t* more_counters = new uint32_t[grown];
    for (uint32_t i = 0; i < num_criteria; i++) {
      more_criteria[i] = criteria[i];
      more_counters[i] = counters[i];
    }
    delete[] criteria;
    delete[] counters;
    criteria = more_criteria;
    counters = more_counters;
    alloc_criteria = grown;
  }
  criteria[num_criteria] = criterion;
  counters[num_criteria] = 0;
  num_criteria++;
}

bool LASfilter::parse(int argc, char** argv) {
  for (int i = 1; i < argc; i++) {
    char* arg = argv[i];
    if (arg[0] == '\0') continue;
    if (strcmp(arg, "-h") == 0 || strcmp(arg, "-help") == 0) return true;
    if (strcmp(arg, "-hh") == 0) {
      usage();
      return true;
    }
    if (static_cast<unsigned char>(arg[0]) != '-' && static_cast<unsigned char>(arg[0]) != 150) continue;
    const char* word = arg + 1;
    if (strncmp(word, "clip_", 5) == 0 || strcmp(word, "clip") == 0) {
      laserror(
          "'%s' is no longer recognized. check documentation with '-h'.\n"
          "  rename '-clip' to '-keep_xy'.\n"
          "  rename '-clip_box' to '-keep_xyz'.\n"
          "  rename '-clip_tile' to '-keep_tile'.\n"
          "  rename '-clip_z_below' to '-drop_z_below'.\n"
          "  rename '-clip_z_above' to '-drop_z_above'.\n"
          "  rename '-clip_z_between' to '-drop_z'.\n"
          "  etc ...\n",
          arg);
      return false;
    }
    if (strcmp(word, "filter_and") == 0 || strcmp(word, "filter_or") == 0) {
      if (num_criteria < 2) {
        laserror("'%s' needs to be preceeded by at least two filters", arg);
        return false;
      }
      // Every criterion renders into at most kMaxCommand characters (the
      // fan-out sizes its buffers by that), so a combination must too.
      char text[2 * kMaxCommand + 64];
      const int length = criteria[num_criteria - 2]->get_command(text);
      if (length + criteria[num_criteria - 1]->get_command(text + length) + 16 > kMaxCommand) {
        laserror("'%s' combines filters whose option text is longer than %d characters", arg, kMaxCommand);
        return false;
      }
      LAScriterion* one = criteria[num_criteria - 2];
      LAScriterion* two = criteria[num_criteria - 1];
      num_criteria -= 2;
      add_criterion(word[7] == 'a' ? make_criterion_and(one, two) : make_criterion_or(one, two));
      arg[0] = '\0';
      continue;
    }
    LAScriterion* made = nullptr;
    switch (parse_criterion(i, argc, argv, &made)) {
      case CriterionOption::TAKEN:
        add_criterion(made);
        break;
      case CriterionOption::FAILED:
        return false;
      case CriterionOption::NOT_MINE:
        break;
    }
  }
  return true;
}

int LASfilter::unparse(char* string) const {
  int n = 0;
  for (uint32_t i = 0; i < num_criteria; i++) n += criteria[i]->get_command(&string[n]);
  return n;
}

bool LASfilter::filter(const LASpoint* point) {
  for (uint32_t i = 0; i < num_criteria; i++) {
    if (criteria[i]->filter(point)) {
      counters[i]++;
      return true;
    }
  }
  return false;
}

void LASfilter::reset() {
  for (uint32_t i = 0; i < num_criteria; i++) {
    criteria[i]->reset();
    counters[i] = 0;
  }
}

uint32_t LASfilter::get_decompress_selective() const {
  uint32_t mask = 0;
  for (uint32_t i = 0; i < num_criteria; i++) mask |= criteria[i]->get_decompress_selective();
  return mask;
}

void LASfilter::usage() const {
  LASMessage(LAS_INFO,
             "Filter points based on their coordinates.\n"
             "  -keep_tile 631000 4834000 1000 (ll_x ll_y size)\n"
             "  -keep_circle 630250.00 4834750.00 100 (x y radius)\n"
             "  -keep_xy 630000 4834000 631000 4836000 (min_x min_y max_x max_y)\n"
             "  -drop_xy 630000 4834000 631000 4836000 (min_x min_y max_x max_y)\n"
             "  -keep_xyz 630000 4834000 0 631000 4836000 100 (min_x min_y min_z max_x max_y max_z)\n"
             "  -drop_xyz 630000 4834000 0 631000 4836000 100 (min_x min_y min_z max_x max_y max_z)\n"
             "  -keep_profile 0 0 100 100 10 (start_x start_y end_x end_y width)\n"
             "  -keep_x 631500.50 631501.00 (min max)   -drop_x 631500.50 631501.00 (min max)\n"
             "  -drop_x_below 630000.50 (min_x)         -drop_x_above 630500.50 (max_x)\n"
             "  -keep_y 4834500.25 4834550.25 (min max) -drop_y 4834500.25 4834550.25 (min max)\n"
             "  -drop_y_below 4834500.25 (min_y)        -drop_y_above 4836000.75 (max_y)\n"
             "  -keep_z 11.125 130.725 (min max)        -drop_z 11.125 130.725 (min max)\n"
             "  -drop_z_below 11.125 (min_z)            -drop_z_above 130.725 (max_z)\n"
             "  -keep_XY 63000050 483450025 63050025 483450075 (min_X min_Y max_X max_Y)\n"
             "  -keep_X 63000050 63000075 (min max)     -drop_X 63000050 63000075 (min max)\n"
             "  -drop_X_below 63000050 (min_X)          -drop_X_above 63000075 (max_X)\n"
             "  -keep_Y, -drop_Y, -drop_Y_below, -drop_Y_above, -keep_Z, -drop_Z, -drop_Z_below, -drop_Z_above\n"
             "  Ranges, boxes and tiles hold min <= v < max; a circle holds distance < radius; a profile holds\n"
             "  the points less than half the width from the segment, from its start up to (not including) its\n"
             "  end. -drop_..._below b drops v < b, -drop_..._above b drops v > b. Upper-case names test the\n"
             "  stored integer coordinates.\n"
             "Filter points based on their return numbering.\n"
             "  -keep_first -first_only -keep_middle -keep_last -last_only\n"
             "  -keep_first_of_many -keep_last_of_many -keep_second_last\n"
             "  -drop_first -drop_first_of_many -drop_middle -drop_last -drop_last_of_many -drop_second_last\n"
             "  -keep_return 1 2 3 -drop_return 3 4 (return numbers 0 to 15)\n"
             "  -keep_return_mask 6 -drop_return_mask 8 (bit r for return number r, 0 to 65535)\n"
             "  -keep_single -keep_double -keep_triple -keep_quadruple -keep_quintuple\n"
             "  -drop_single -drop_double -drop_triple -drop_quadruple -drop_quintuple\n"
             "  -keep_number_of_returns 7 -drop_number_of_returns 0\n"
             "Filter points based on the scanline flags.\n"
             "  -drop_scan_direction 0 (0 or 1)\n"
             "  -keep_scan_direction_change (points whose direction differs from the previous point's)\n"
             "  -keep_edge_of_flight_line -drop_edge_of_flight_line\n"
             "  -keep_scanner_channel 1 -drop_scanner_channel 2 (0 to 3)\n"
             "Filter points based on their intensity.\n"
             "  -keep_intensity 20 380 (keeps 20 <= v <= 380)\n"
             "  -keep_intensity_below 20 (keeps v < 20)    -keep_intensity_above 380 (keeps v > 380)\n"
             "  -drop_intensity_below 20 (drops v < 20)    -drop_intensity_above 380 (drops v > 380)\n"
             "  -drop_intensity_between 4000 5000 (drops 4000 <= v <= 5000)\n"
             "Filter points based on classifications or flags.\n"
             "  -keep_class 1 3 7 -drop_class 4 2 (0 to 31)\n"
             "  -keep_classification_mask 6 -drop_classification_mask 16 (bit c for class c)\n"
             "  -keep_extended_class 43 -drop_extended_class 129 135 (0 to 255)\n"
             "  -drop_synthetic -keep_synthetic -drop_keypoint -keep_keypoint\n"
             "  -drop_withheld -keep_withheld -drop_overlap -keep_overlap\n"
             "Filter points based on their user data.\n"
             "  -keep_user_data 1 -drop_user_data 255\n"
             "  -keep_user_data_below 50 (keeps v < 50)    -keep_user_data_above 150 (keeps v > 150)\n"
             "  -keep_user_data_between 10 20 (keeps 10 <= v <= 20)\n"
             "  -drop_user_data_below 1 (drops v < 1)      -drop_user_data_above 100 (drops v > 100)\n"
             "  -drop_user_data_between 10 40 (drops 10 <= v <= 40)\n"
             "Filter points based on their point source ID.\n"
             "  -keep_point_source 3 -drop_point_source 27\n"
             "  -keep_point_source_between 2 6 (keeps 2 <= v <= 6)\n"
             "  -drop_point_source_below 6 (drops v < 6)   -drop_point_source_above 15 (drops v > 15)\n"
             "  -drop_point_source_between 17 21 (drops 17 <= v <= 21)\n"
             "Filter points based on their scan angle.\n"
             "  -keep_scan_angle -15 15 (keeps -15 <= v <= 15, degrees)\n"
             "  -drop_scan_angle_below -15 (drops v < -15) -drop_scan_angle_above 15 (drops v > 15)\n"
             "  -drop_scan_angle_between -25 -23 (drops -25 <= v <= -23)\n"
             "  -drop_abs_scan_angle_below 1, -drop_abs_scan_angle_above 15, -drop_abs_scan_angle_between 5 10\n"
             "  (the same tests on the absolute angle)\n"
             "Filter points based on their gps time.\n"
             "  -keep_gps_time 11.125 130.725 (keeps 11.125 <= t <= 130.725)\n"
             "  -drop_gps_time_below 11.125 (drops t < 11.125) -drop_gps_time_above 130.725 (drops t > 130.725)\n"
             "  -drop_gps_time_between 22.0 48.0 (drops 22.0 <= t <= 48.0); also spelled -keep_gpstime ...\n"
             "Filter points based on their RGB/CIR/NIR channels.\n"
             "  -keep_RGB_red 1 1 -keep_RGB_green 30 100 -keep_RGB_blue 0 0 -keep_RGB_nir 64 127\n"
             "  -drop_RGB_red 5 7 -drop_RGB_green 1 1 -drop_RGB_blue 65 65 -drop_RGB_nir 0 5\n"
             "  (channel ranges hold min <= v <= max)\n"
             "  -keep_RGB_greenness 200 65535 (2 green - red - blue, min <= v <= max)\n"
             "  -keep_NDVI 0.2 0.7 -keep_NDVI_from_CIR -0.1 0.5 -keep_NDVI_intensity_is_NIR 0.4 0.8\n"
             "  -keep_NDVI_green_is_NIR 0.3 0.6 -keep_NDVI_blue_is_NIR 0.3 0.6 (min <= NDVI <= max)\n"
             "  -keep_HSV 0 360 0.1 1 0.2 1 -drop_HSV ... (hue 0 to 360, saturation and value 0 to 1;\n"
             "  a point is inside when all three lie in their ranges, bounds included)\n"
             "  -keep_HSV_hue 100 140 -keep_HSV_saturation 0.5 1 -keep_HSV_value 0.2 0.8 -drop_HSV_...\n"
             "  -keep_HSL 0 360 0 1 0.1 0.9 -drop_HSL ... -keep_HSL_hue -keep_HSL_saturation\n"
             "  -keep_HSL_lightness -drop_HSL_... (colours are taken as 16-bit values)\n"
             "Filter points based on their wavepacket.\n"
             "  -keep_wavepacket 0 -drop_wavepacket 3 (descriptor index)\n"
             "Filter points based on extra attributes.\n"
             "  -keep_attribute_below 0 1.25 (index value: keeps v < 1.25)\n"
             "  -keep_attribute_above 0 0.5 (keeps v > 0.5)\n"
             "  -keep_attribute_between 0 0.5 1.25 (keeps 0.5 <= v <= 1.25)\n"
             "  -drop_attribute_below 1 1.5 (drops v < 1.5)  -drop_attribute_above 1 2.5 (drops v > 2.5)\n"
             "  -drop_attribute_between 1 1.5 2.5 (drops 1.5 <= v <= 2.5)\n"
             "  (points without the attribute fail every keep and pass every drop test)\n"
             "Filter points with simple thinning.\n"
             "  -keep_every_nth 2 -drop_every_nth 3\n"
             "  -keep_random_fraction 0.1 (fraction [seed], the same points for the same file and seed)\n"
             "  -thin_with_grid 1.0 (first point of each grid cell)\n"
             "  -thin_pulses_with_time 0.0001 (all points of the first pulse of each time step)\n"
             "  -thin_points_with_time 0.000001 (first point of each time step; also -thin_with_time)\n"
             "Boolean combination of filters.\n"
             "  -filter_and (drops the points that both of the last two filters drop)\n"
             "  -filter_or (drops the points that either of the last two filters drops)");
}
