// ptcconv with filter options writes exactly the points that a direct
// computation on the input keeps, for legacy (format 1) and extended
// (format 6) points.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "lasio/lasreaderlas.hpp"            // LASreaderLAS, input and output read back
#include "tests/lasio/las_file_helpers.hpp"  // make_header, write_points
#include "tests/support/test_support.hpp"    // TempDir, run

namespace {

using Keep = std::function<bool(const LASpoint&, const LASheader&)>;

struct FilterCase {
  const char* name;
  std::vector<std::string> args;
  Keep keep;
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

bool first(const LASpoint& p, const LASheader&) {
  return (p.extended_point_type ? p.extended_return_number : p.return_number) == 1;
}
bool z_from_20(const LASpoint& p, const LASheader& h) { return h.get_z(p.Z) >= 20.0; }

const FilterCase kCases[] = {
    {"keep_class",
     {"-keep_class", "2", "6"},
     [](const LASpoint& p, const LASheader&) {
       const int c = p.extended_point_type ? p.extended_classification : p.classification;
       return c == 2 || c == 6;
     }},
    {"drop_z_below", {"-drop_z_below", "20"}, z_from_20},
    {"keep_tile",
     {"-keep_tile", "0", "-262144", "4194304"},
     [](const LASpoint& p, const LASheader& h) {
       const double x = h.get_x(p.X), y = h.get_y(p.Y);
       return 0.0 <= x && x < 4194304.0 && -262144.0 <= y && y < 3932160.0;
     }},
    {"keep_circle",
     {"-keep_circle", "0", "-270000", "3000000"},
     [](const LASpoint& p, const LASheader& h) {
       const double dx = h.get_x(p.X), dy = h.get_y(p.Y) + 270000.0;
       return dx * dx + dy * dy < 9.0e12;
     }},
    {"keep_return", {"-keep_return", "1"}, first},
    {"keep_first", {"-keep_first"}, first},
    {"drop_withheld",
     {"-drop_withheld"},
     [](const LASpoint& p, const LASheader&) {
       return !(p.extended_point_type ? (p.extended_classification_flags & 4) : p.withheld_flag);
     }},
    {"filter_or",
     {"-drop_z_below", "20", "-keep_return", "1", "-filter_or"},
     [](const LASpoint& p, const LASheader& h) { return z_from_20(p, h) && first(p, h); }},
};

struct Point {
  int32_t X, Y, Z;
  double gps_time;
  bool operator==(const Point& o) const { return X == o.X && Y == o.Y && Z == o.Z && gps_time == o.gps_time; }
};

// The points of a file, those `keep` accepts when given.
std::vector<Point> points_of(const std::string& path, const Keep& keep = nullptr) {
  std::vector<Point> out;
  LASreaderLAS reader(nullptr);
  EXPECT_TRUE(reader.open(path.c_str()));
  while (reader.read_point()) {
    const LASpoint& p = reader.point;
    if (!keep || keep(p, reader.header)) out.push_back({p.X, p.Y, p.Z, p.gps_time});
  }
  return out;
}

class PtcconvFilter : public ::testing::TestWithParam<std::tuple<int, FilterCase>> {};

TEST_P(PtcconvFilter, WritesExactlyThePassingPoints) {
  const int format = std::get<0>(GetParam());
  const FilterCase& c = std::get<1>(GetParam());
  testsupport::TempDir dir;
  const std::string in = dir.file("in.las"), out = dir.file("out.ptc");
  LASheader h;
  lastest::make_header(h, 4, format);
  ASSERT_TRUE(lastest::write_points(in, h, 3000));
  const std::vector<Point> expected = points_of(in, c.keep);
  ASSERT_GT(expected.size(), 10u) << expected.size();
  ASSERT_LT(expected.size(), 2990u) << expected.size();
  std::vector<std::string> args = {"-i", in, "-o", out};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const testsupport::RunResult r = testsupport::run(PTCCONV_EXE, args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(points_of(out) == expected);
}

INSTANTIATE_TEST_SUITE_P(Formats1And6, PtcconvFilter,
                         ::testing::Combine(::testing::Values(1, 6), ::testing::ValuesIn(kCases)),
                         [](const ::testing::TestParamInfo<std::tuple<int, FilterCase>>& info) {
                           return std::string(std::get<1>(info.param).name) + "_format" +
                                  std::to_string(std::get<0>(info.param));
                         });

}  // namespace
