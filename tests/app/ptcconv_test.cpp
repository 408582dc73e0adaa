// ptcconv end to end: LAS -> PTC -> LAS gives back the point records byte
// for byte for every point format, the records carry over except those of
// the old storage, an area query recounts and rebounds the output, failures
// end with status 3 and leave no output behind. With filter options it
// writes exactly the points that a direct computation on the input keeps,
// for legacy (format 1) and extended (format 6) points; with transforms the
// transformed points, which ptcinfo -check reports alike.
#include <cstring>     // memcmp, strncmp
#include <functional>  // the filters' direct computations
#include <iterator>    // istream_iterator
#include <sstream>     // options split at blanks

#include "lasio/lasreaderlas.hpp"                // LASreaderLAS, the outputs read back
#include "tests/lasio/las_file_helpers.hpp"      // make_header, write_points, read_bytes
#include "tests/support/raster_app_helpers.hpp"  // DirTest, run, expect_run

namespace {

using namespace testsupport;
RunResult run_ptcconv(const Strings& args) { return run(PTCCONV_EXE, args); }

// A LAS 1.minor file of `format` with 3 extra bytes and `count` points,
// with a VLR and (only 1.4) an EVLR to keep, a tiling record to carry over,
// and a COPC and (only 1.4) a spatial index record to drop.
void make_las(const std::string& path, int format, int count, int minor = 4) {
  LASheader h;
  lastest::make_header(h, minor, format, 3);
  unsigned char payload[28] = {7};
  ASSERT_TRUE(h.add_vlr("Raster PTC", 7113, 4, payload, false, "keep"));
  ASSERT_TRUE(h.add_vlr("copc", 10000, 4, payload, false, "drop"));
  ASSERT_TRUE(h.add_vlr("Kestrel", 10, 28, payload, false, "tile"));
  ASSERT_TRUE(minor != 4 || h.add_evlr("later", 5, 4, payload, false, "keep"));
  ASSERT_TRUE(minor != 4 || h.add_evlr("Kestrel", 30, 4, payload, false, "index"));
  ASSERT_TRUE(lastest::write_points(path, h, count));
}

// The point records of a file (its whole point data when plain).
std::vector<unsigned char> records(const std::string& path, size_t count, size_t length) {
  const std::vector<unsigned char> bytes = lastest::read_bytes(path);
  uint32_t start = 0;
  memcpy(&start, bytes.data() + lastest::AT_OFFSET_TO_POINT_DATA, 4);
  return std::vector<unsigned char>(bytes.begin() + start, bytes.begin() + start + count * length);
}

struct RoundCase {
  int format;
  int item_version;  // 0: the default
};

void PrintTo(const RoundCase& c, std::ostream* os) { *os << "format " << c.format << " v" << c.item_version; }

class PtcconvRoundTrip : public DirTest<RoundCase> {};

TEST_P(PtcconvRoundTrip, GivesBackTheRecordsAndKeepsTheRightRecords) {
  const int format = GetParam().format, v = GetParam().item_version, count = 201;  // last chunk: one point
  const std::string las = dir.file("a.las"), ptc = dir.file("a.ptc"), back = dir.path() + "/out/a.las";
  make_las(las, format, count);
  Strings args = {"-i", las, "-odir", dir.path(), "-chunk_size", "100"};
  if (v) args.insert(args.end(), {"-item_version", std::to_string(v)});
  RunResult r = run_ptcconv(args);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(mkdir((dir.path() + "/out").c_str(), 0755), 0);
  r = run_ptcconv({"-i", ptc, "-odir", dir.path() + "/out"});
  ASSERT_EQ(r.status, 0) << r.err;
  const size_t length = lastest::standard_size(format) + 3;
  EXPECT_EQ(records(back, count, length), records(las, count, length));

  LASreaderLAS compressed(nullptr);
  ASSERT_TRUE(compressed.open(ptc.c_str()));
  const int kind = format >= 6 ? 3 : 2, version = format >= 6 ? std::max(v, 3) : v == 0 ? 2 : std::min(v, 2);
  ASSERT_NE(compressed.header.ptcomp, nullptr);
  EXPECT_EQ(compressed.header.ptcomp->compressor, kind);
  EXPECT_EQ(compressed.header.ptcomp->items[0].version, version);
  EXPECT_EQ(compressed.header.ptcomp->chunk_size, 100u);

  LASreaderLAS reader(nullptr);
  ASSERT_TRUE(reader.open(back.c_str()));
  const LASheader& h = reader.header;
  EXPECT_EQ(reader.get_format(), 1);
  EXPECT_EQ(h.extended_number_of_point_records, uint64_t(count));
  ASSERT_EQ(h.number_of_variable_length_records, 1u);
  EXPECT_EQ(strncmp(h.vlrs[0].user_id, "Raster PTC", 16), 0);
  ASSERT_NE(h.vlr_lastiling, nullptr);
  EXPECT_EQ(h.vlr_lastiling->level, 7u);
  ASSERT_EQ(h.number_of_extended_variable_length_records, 1u);
  EXPECT_EQ(strncmp(h.evlrs[0].user_id, "later", 16), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, PtcconvRoundTrip,
                         ::testing::Values(RoundCase{0, 0}, RoundCase{1, 0}, RoundCase{2, 0}, RoundCase{3, 0},
                                           RoundCase{4, 0}, RoundCase{5, 0}, RoundCase{6, 0}, RoundCase{7, 0},
                                           RoundCase{8, 0}, RoundCase{9, 0}, RoundCase{10, 0}, RoundCase{1, 1},
                                           RoundCase{3, 4}, RoundCase{7, 4}, RoundCase{10, 4}, RoundCase{6, 1}),
                         [](const ::testing::TestParamInfo<RoundCase>& info) {
                           return "format" + std::to_string(info.param.format) + "_v" +
                                  std::to_string(info.param.item_version);
                         });

// Only the points inside the rectangle are written; counts and box are theirs.
TEST(Ptcconv, AreaQueryRecountsAndRebounds) {
  TempDir dir;
  make_las(dir.file("a.las"), 1, 500);
  LASreaderLAS all(nullptr);
  ASSERT_TRUE(all.open(dir.file("a.las").c_str()));
  const double min_x = all.header.min_x, max_x = (all.header.min_x + all.header.max_x) / 2;
  const double min_y = all.header.min_y, max_y = all.header.max_y + 1;
  int64_t inside = 0;
  double low_x = max_x;
  while (all.read_point()) {
    const double x = all.header.get_x(all.point.X), y = all.header.get_y(all.point.Y);
    if (min_x <= x && x < max_x && min_y <= y && y < max_y) inside++, low_x = std::min(low_x, x);
  }
  ASSERT_GT(inside, 0);
  Strings args = {"-i", dir.file("a.las"), "-o", dir.file("b.ptc"), "-inside"};
  for (double v : {min_x, min_y, max_x, max_y}) {
    char text[32];
    snprintf(text, sizeof(text), "%.17g", v);
    args.push_back(text);
  }
  const RunResult r = run_ptcconv(args);
  ASSERT_EQ(r.status, 0) << r.err;
  LASreaderLAS part(nullptr);
  ASSERT_TRUE(part.open(dir.file("b.ptc").c_str()));
  EXPECT_EQ(part.npoints, inside);
  EXPECT_EQ(part.header.min_x, low_x);
}

struct FailCase {
  const char* name;
  Strings args;       // "%s" is the directory
  std::string error;  // a line of stderr
  Strings files;      // outputs that must not exist afterwards ("!" first), or must (another input's)
};

// good.las (LAS 1.2, format 1), six.las (LAS 1.5, format 6), their copies
// good.ptc and six.ptc, and cutgood.las, cutgood.ptc and cutsix.ptc (cut in
// the middle of their points).
class PtcconvFails : public DirTest<FailCase> {};

TEST_P(PtcconvFails, WithStatusThreeAndNoOutput) {
  const std::string d = dir.path();
  make_las(d + "/good.las", 1, 500, 2);
  make_las(d + "/six.las", 6, 500, 5);
  ASSERT_EQ(run_ptcconv({"-i", d + "/good.las", d + "/six.las", "-chunk_size", "100"}).status, 0);
  for (const char* name : {"good.las", "good.ptc", "six.ptc"}) {
    const std::vector<unsigned char> bytes = lastest::read_bytes(d + "/" + name);
    lastest::write_bytes(d + "/cut" + name, std::vector<unsigned char>(bytes.begin(), bytes.end() - 4000));
  }
  ASSERT_EQ(mkdir((d + "/out").c_str(), 0755), 0);
  expect_run(run_ptcconv(in_dir(GetParam().args, d)), 3, {GetParam().error + "\n"}, GetParam().files, d);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PtcconvFails,
    ::testing::Values(
        FailCase{"CutPtc", {"-i", "%s/*good.ptc", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutgood.ptc': only 323 of 500 points could be read. '%s/out/cutgood.las' "
                 "not written", {"!%s/out/cutgood.las", "%s/out/good.las"}},
        FailCase{"CutLayered", {"-i", "%s/cutsix.ptc", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutsix.ptc': only 300 of 500 points could be read. '%s/out/cutsix.las' "
                 "not written", {"!%s/out/cutsix.las"}},
        FailCase{"CutLas", {"-i", "%s/cutgood.las", "-olas", "-odir", "%s/out"},
                 "ERROR: cannot convert '%s/cutgood.las': only 370 of 500 points could be read. '%s/out/cutgood.las' "
                 "not written", {"!%s/out/cutgood.las"}},
        FailCase{"Missing", {"-i", "%s/missing.las"}, "ERROR: cannot open file '%s/missing.las' for read",
                 {"!%s/missing.ptc"}},
        FailCase{"NoMatch", {"-i", "%s/*.xyz"}, "ERROR: no file matches '%s/*.xyz'", {"!%s/out/good.ptc"}},
        FailCase{"OneOutputTwoInputs", {"-i", "%s/good.las", "%s/good.ptc", "-o", "%s/x.ptc"},
                 "ERROR: '-o' names one output but there are 2 inputs. use '-odir' for several ...", {"!%s/x.ptc"}},
        FailCase{"UnknownFormat", {"-i", "%s/good.las", "-o", "%s/x.txt"},
                 "ERROR: cannot tell the format of output '%s/x.txt'. name a file ending in '.las' or '.ptc'",
                 {"!%s/x.txt"}},
        FailCase{"ItemVersion", {"-i", "%s/good.las", "-odir", "%s/out", "-item_version", "5"},
                 "ERROR: cannot understand argument '5' for '-item_version'", {"!%s/out/good.ptc"}},
        FailCase{"ChunkSize", {"-i", "%s/good.las", "-odir", "%s/out", "-chunk_size", "0"},
                 "ERROR: cannot understand argument '0' for '-chunk_size'", {"!%s/out/good.ptc"}},
        FailCase{"OutputIsInput", {"-i", "%s/good.las", "-olas"},
                 "ERROR: output '%s/good.las' is the input itself. name another output with '-o' or '-odir'.",
                 {"!%s/x.las", "%s/good.las"}}),
    CaseName());

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
  TempDir dir;
  const std::string in = dir.file("in.las"), out = dir.file("out.ptc");
  LASheader h;
  lastest::make_header(h, 4, format);
  ASSERT_TRUE(lastest::write_points(in, h, 3000));
  const std::vector<Point> expected = points_of(in, c.keep);
  ASSERT_GT(expected.size(), 10u) << expected.size();
  ASSERT_LT(expected.size(), 2990u) << expected.size();
  std::vector<std::string> args = {"-i", in, "-o", out};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const RunResult r = run(PTCCONV_EXE, args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(points_of(out) == expected);
}

INSTANTIATE_TEST_SUITE_P(Formats1And6, PtcconvFilter,
                         ::testing::Combine(::testing::Values(1, 6), ::testing::ValuesIn(kCases)),
                         [](const ::testing::TestParamInfo<std::tuple<int, FilterCase>>& info) {
                           return std::string(std::get<1>(info.param).name) + "_format" +
                                  std::to_string(std::get<0>(info.param));
                         });

// The direct computations (z scale 0.1 and offset 5, y scale 0.001, x scale 0.01).
void translate_z(LASpoint& p) { p.Z += 100; }
void scale_intensity(LASpoint& p) { p.intensity = p.intensity > 32767 ? 65535 : p.intensity * 2; }
void set_class_6(LASpoint& p) {
  p.classification = 6;
  if (p.extended_point_type) p.extended_classification = 6;
}
void class_2_to_6(LASpoint& p) {
  if ((p.extended_point_type ? p.extended_classification : p.classification) == 2) set_class_6(p);
}
void clamp_z(LASpoint& p) { p.Z = std::min(std::max(p.Z, -50), 950); }
void translate_xyz(LASpoint& p) {
  p.X += 100;
  p.Y += 2000;
  p.Z += 30;
}

struct ConvCase {
  std::string name;
  int format;
  std::string options;
  void (*compute)(LASpoint&);
};

// The lines of a ptcinfo -check report that give the ranges of the points.
Strings ranges(const std::string& report) {
  Strings out;
  for (const std::string& line : lines(report)) {
    if (line.find(" min max ") != std::string::npos) out.push_back(line);
  }
  return out;
}

class PtcconvTransform : public DirTest<ConvCase> {};

TEST_P(PtcconvTransform, WritesTheComputedPointsAndPtcinfoAgrees) {
  const ConvCase& c = GetParam();
  const std::string in = dir.file("in.las"), out = dir.file("out.ptc");
  LASheader h;
  lastest::make_header(h, 4, c.format);
  ASSERT_TRUE(lastest::write_points(in, h, 2000));
  std::istringstream words(c.options);
  Strings options{std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
  Strings args = {"-i", in, "-o", out};
  args.insert(args.end(), options.begin(), options.end());
  const RunResult r = run(PTCCONV_EXE, args);
  ASSERT_LE(r.status, 1) << r.err;  // 1: values were clamped (and said so)

  LASreaderLAS original(nullptr), converted(nullptr);
  ASSERT_TRUE(original.open(in.c_str()));
  ASSERT_TRUE(converted.open(out.c_str()));
  int changed = 0;
  while (original.read_point()) {
    ASSERT_TRUE(converted.read_point());
    LASpoint expected = original.point;
    c.compute(expected);
    for (int k = 0; k < expected.num_items; k++) {
      // Of POINT14 the record fields without the legacy bytes derived from
      // them (14 to 16) and the decoder's own state after byte 27.
      const bool extended = expected.items[k].type == LASitem::POINT14;
      for (auto part : {std::make_pair(0, extended ? 14 : int(expected.items[k].size)), std::make_pair(17, 28)}) {
        if (part.second <= part.first || (!extended && part.first)) continue;
        const size_t n = part.second - part.first;
        changed += memcmp(expected.point[k] + part.first, original.point.point[k] + part.first, n) != 0;
        ASSERT_EQ(memcmp(expected.point[k] + part.first, converted.point.point[k] + part.first, n), 0)
            << "point " << original.p_count << " item " << k;
      }
    }
  }
  EXPECT_FALSE(converted.read_point());
  EXPECT_GT(changed, 0);

  Strings check = {"-check", in};
  check.insert(check.end(), options.begin(), options.end());
  const RunResult transformed = run(PTCINFO_EXE, check);
  const RunResult written = run(PTCINFO_EXE, {"-check", out});
  ASSERT_EQ(written.status, 0) << written.err;
  EXPECT_EQ(ranges(transformed.out), ranges(written.out));
  EXPECT_FALSE(ranges(written.out).empty());
}

std::vector<ConvCase> conversions() {
  std::vector<ConvCase> cases;
  for (int format : {1, 6}) {
    const std::string f = "Format" + std::to_string(format);
    for (const ConvCase& c : {ConvCase{"TranslateZ", 0, "-translate_z 10", translate_z},
                              ConvCase{"ScaleIntensity", 0, "-scale_intensity 2", scale_intensity},
                              ConvCase{"SetClassification", 0, "-set_classification 6", set_class_6},
                              ConvCase{"ClampZ", 0, "-clamp_z 0 100", clamp_z},
                              ConvCase{"TranslateXyz", 0, "-translate_xyz 1 2 3", translate_xyz},
                              ConvCase{"FilteredSetClassification", 0,
                                       "-keep_class 2 -filtered_transform -set_classification 6", class_2_to_6}}) {
      cases.push_back(c);
      cases.back().name = c.name + f;
      cases.back().format = format;
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Transform, PtcconvTransform, ::testing::ValuesIn(conversions()), CaseName());

}  // namespace
