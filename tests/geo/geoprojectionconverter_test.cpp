// The projection converter's unit settings: their option text and the unit
// codes it refuses.
#include "geo/geoprojectionconverter.hpp"

#include <gtest/gtest.h>

#include <string>

#include "tool/lasmessage.hpp"  // las_message_count, halt_on_error

namespace {

struct UnitCase {
  short source, target, vertical;  // unit codes, 0: not set
  const char* text;                // the rendered options
};

class Units : public ::testing::TestWithParam<UnitCase> {};

// Source units are metres per unit, target units units per metre: the
// description of each side must still name the unit that was set.
TEST_P(Units, RenderBothSides) {
  const UnitCase& u = GetParam();
  GeoProjectionConverter c;
  EXPECT_TRUE(!u.source || c.set_ProjLinearUnitsGeoKey(u.source, true));
  EXPECT_TRUE(!u.target || c.set_ProjLinearUnitsGeoKey(u.target, false));
  EXPECT_TRUE(!u.vertical || c.set_VerticalUnitsGeoKey(u.vertical));
  std::string text = "x ";  // appended to
  const int length = c.unparse(text);
  EXPECT_EQ(text, std::string("x ") + u.text);
  EXPECT_EQ(length, static_cast<int>(text.size()) - 2);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Units,
    ::testing::Values(UnitCase{0, 0, 0, ""}, UnitCase{9002, 9002, 0, "-feet -target_feet "},
                      UnitCase{9003, 9003, 9003, "-surveyfeet -elevation_feet -target_surveyfeet "},
                      UnitCase{9001, 9001, 9002, "-meter -elevation_feet -target_meter "},
                      UnitCase{0, 9002, 9001, "-elevation_meter -target_feet "}));

TEST(GeoUnits, BadCodesAreErrorsUnlessQuiet) {
  GeoProjectionConverter c;
  las_message_reset();
  halt_on_error(false);
  EXPECT_FALSE(c.set_ProjLinearUnitsGeoKey(9999, true));
  c.quiet = true;
  EXPECT_FALSE(c.set_VerticalUnitsGeoKey(1));
  EXPECT_EQ(las_message_count(LAS_ERROR), 1);
  std::string text;
  EXPECT_EQ(c.unparse(text), 0);  // nothing was set
  las_message_reset();
}

}  // namespace
