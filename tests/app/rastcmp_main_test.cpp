// The rastcmp binary (rastcmp_main.cpp) end to end: verdicts, checks, options,
// list files, batch mode against RasterPTC copies and the interactive start
// (stderr pinned line by line), the report options (JSON lines parsed with
// a JSON parser, notes, listed cells, bad options), then the fan-out to
// child processes (what each child is given, their messages and exit
// statuses, the list file).
#include <fnmatch.h>  // stderr lines against patterns
#include <gdal.h>     // GDT_Float32

#include <filesystem>         // is_empty: no list file left behind
#include <nlohmann/json.hpp>  // the JSON lines
#include <sstream>            // arguments split at blanks

#include "tests/support/raster_app_helpers.hpp"  // TempDir, write_asc, run_rastcmp, stand_in_lines

namespace {

using namespace testsupport;

struct Grid {
  const char* name;
  int cols, rows;
  double yll;
  Strings cells;
};

// Every case finds these 0.5 m grids with their lower left x at 100 in its
// directory, b..e.asc, "b c.asc" and "it's.asc" as copies of a.asc,
// dem.tif with its RasterPTC copy dem.ptc, and the report's grids: r.asc
// and its copies, rb.asc, one shifted, one coarser, two of 20 cells that
// all differ and h.tif, the heights of h.asc as int16 cells.
const std::vector<Grid> kGrids = {{"a.asc", 3, 2, 200, {"1", "2.001", "-9999", "4", "5", "6"}},
                                  {"a2.asc", 3, 2, 200, {"1.0", "2.004", "-9999", "4", "5", "6"}},  // to the cm
                                  {"v.asc", 3, 2, 200, {"1.004", "2.01", "-9999", "4", "5", "6.5"}},
                                  {"c2.asc", 2, 2, 200, {"1", "2", "4", "5"}},
                                  {"lly.asc", 3, 2, -1, {"1", "2", "3", "4", "5", "6"}}};

class E2E : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Grid& g : kGrids) write_asc(dir.file(g.name), g.cols, g.rows, 100, g.yll, 0.5, g.cells);
    for (const char* n : {"b", "c", "d", "e", "b c", "it's"})
      write_asc(dir.file(std::string(n) + ".asc"), 3, 2, 100, 200, 0.5, kGrids[0].cells);
    for (const char* n : {"r", "x", "y", "z", "q\"uo\\te", "\xe9t\xe9", "h"})
      write_asc(dir.file(std::string(n) + ".asc"), 3, 2, 100, 200, 0.5, kGrids[4].cells);
    write_asc(dir.file("rb.asc"), 3, 2, 100, 200, 0.5, {"1", "2.5", "-9999", "4", "-9999", "7"});
    write_asc(dir.file("far.asc"), 3, 2, 150, 200, 0.5, kGrids[4].cells);
    write_asc(dir.file("coarse.asc"), 3, 2, 100, 200, 1, kGrids[4].cells);
    Strings w1, w2;  // more lines than the message system shows of one format
    for (int k = 0; k < 20; k++) w1.push_back(std::to_string(k)), w2.push_back(std::to_string(k + 1));
    write_asc(dir.file("w1.asc"), 5, 4, 100, 200, 1, w1);
    write_asc(dir.file("w2.asc"), 5, 4, 100, 200, 1, w2);
    ASSERT_TRUE(write_dem(dir.file("h.tif"), 3, 2, GDT_Int16, {1, 2, 3, 4, 5, 6}, {100, 201, 0.5}));
    const double nodata = -9999.0;
    std::vector<double> v;
    for (int i = 0; i < 24; i++) v.push_back(i == 5 ? nodata : 10.0 + 0.25 * i);
    ASSERT_TRUE(write_raster("GTiff", dir.file("dem.tif"), 6, 4, 1, GDT_Float32, v, {}, &nodata));
    ASSERT_EQ(testsupport::run(RAST2PTC_EXE, {"-i", dir.file("dem.tif")}).status, 0);
    ASSERT_EQ(mkdir(list_dir().c_str(), 0700), 0);
  }
  void TearDown() override { EXPECT_TRUE(std::filesystem::is_empty(list_dir())) << "a list file was left behind"; }
  void copy(const char* grids) {
    std::istringstream names(grids);
    for (std::string g; names >> g;) ASSERT_EQ(testsupport::run(RAST2PTC_EXE, {"-i", dir.file(g + ".asc")}).status, 0);
  }
  std::string list_dir() const { return dir.file("list dir"); }
  // "$EXE" becomes the binary, "@T" the list directory and "@f" file f of
  // the directory (f ends at a blank, quote, slash, bar or line end).
  std::string expand(std::string s) const {
    for (size_t at = s.find("$EXE"); at != std::string::npos; at = s.find("$EXE", at)) s.replace(at, 4, RASTCMP_EXE);
    for (size_t at = s.find('@'); at != std::string::npos; at = s.find('@', at)) {
      const size_t end = std::min(s.find_first_of(" '/|\n\t", at), s.size());
      const std::string name = s.substr(at + 1, end - at - 1);
      const std::string path = name == "T" ? list_dir() : dir.file(name);
      s.replace(at, end - at, path);
      at += path.size();
    }
    return s;
  }
  // Runs the binary with `args` split at blanks and expanded; checks its
  // status.
  RunResult run(const char* args, int status, const std::string& in = "") {
    Strings argv;
    std::istringstream words(args);
    for (std::string a; words >> a;) argv.push_back(expand(a));
    const RunResult r = run_rastcmp(argv, expand(in));
    EXPECT_EQ(r.status, status) << r.err;
    return r;
  }
  TempDir dir;
};

// A line against a shell pattern: '*', '?', "[...]"; '\\' quotes a character.
bool like(const std::string& line, const std::string& pattern) {
  return fnmatch(pattern.c_str(), line.c_str(), 0) == 0;
}

// Lines from g on against patterns from w on; "..." stands for any lines.
bool matches(const Strings& got, size_t g, const Strings& want, size_t w) {
  if (w == want.size()) return g == got.size();
  if (want[w] == "...") {
    for (size_t k = g; k <= got.size(); k++) {
      if (matches(got, k, want, w + 1)) return true;
    }
    return false;
  }
  return g < got.size() && like(got[g], want[w]) && matches(got, g + 1, want, w + 1);
}

struct Case {
  const char* name;
  const char* args;
  int status;
  Strings err;         // stderr: a pattern per line (expanded), "..." any lines
  Strings files = {};  // more files: name, content (expanded), name, content, ...
  std::string in = "";
  Strings json = {};     // per JSON line on stdout: "raster1 name|verdict|notes joined by ;" (expanded)
  Strings outputs = {};  // files that must exist afterwards (expanded)
  const char* copies = "";  // the grids that get a RasterPTC copy first
};

class Rastcmp : public E2E, public ::testing::WithParamInterface<Case> {};

TEST_P(Rastcmp, StderrStdoutAndStatus) {
  const Case& c = GetParam();
  for (size_t k = 0; k + 1 < c.files.size(); k += 2)
    write_file(dir.file(c.files[k]), expand(c.files[k + 1]));
  copy(c.copies);
  Strings want, json;
  for (const std::string& l : c.err) want.push_back(expand(l));
  const RunResult r = run(c.args, c.status, c.in);
  EXPECT_TRUE(matches(lines(r.err), 0, want, 0)) << r.err;
  for (const std::string& line : lines(r.out)) {
    const nlohmann::json j = nlohmann::json::parse(line);  // throws, failing the test, on bad JSON
    std::string notes;
    for (const auto& n : j.at("notes")) notes += (notes.empty() ? "" : ";") + n.get<std::string>();
    json.push_back(j.at("raster1").get<std::string>() + "|" + j.at("verdict").get<std::string>() + "|" + notes);
    EXPECT_EQ(j.at("identical_value_cells").get<int64_t>() + j.at("different_value_cells").get<int64_t>() +
                  j.at("identical_nodata_cells").get<int64_t>() + j.at("different_nodata_cells").get<int64_t>(),
              6);
  }
  std::sort(json.begin(), json.end());  // children finish in any order
  want.clear();
  for (const std::string& w : c.json) want.push_back(expand(w));
  EXPECT_EQ(json, want);
  for (const std::string& f : c.outputs) EXPECT_TRUE(exists(expand(f))) << f;
}

const char* const kUsage[] = {
    "usage:", "rastcmp -i dem.tif -i dem.ptc", "rastcmp -i dem.img -i dem.ptc", "rastcmp -i dem.asc -i dem.ptc",
    "rastcmp -i dem.bil -i dem.ptc", "rastcmp -i dem1.ptc -i dem2.ptc", "rastcmp -i \\*.tif", "rastcmp -i \\*.img",
    "rastcmp -i \\*.asc", "rastcmp -i \\*.bil"};
const std::string kTitle = "Kestrel rastcmp (rastcmp project) version 251128";
const std::string kIdentical = "rasters are identical. both have 5 value and 1 nodata cells.";
// a.asc cut in its second row
const std::string kCutGrid =
    "ncols 3\nnrows 2\nxllcorner 100\nyllcorner 200\ncellsize 0.5\nNODATA_value -9999\n1 2 3\n4 5";
const std::string kPtcInBatch =
    "ERROR: if more than two input rasters, they must all be in TIF, IMG, ASC, or BIL not in PTC format";

Strings with_usage(Strings front, Strings back) {
  front.insert(front.end(), std::begin(kUsage), std::end(kUsage));
  front.insert(front.end(), back.begin(), back.end());
  return front;
}

// A pair's verdict and its two timing lines.
Strings pair_done(const std::string& verdict) {
  return {verdict, "done with '@a.asc'. total time *", "done with all files. total time for 2 files *"};
}

INSTANTIATE_TEST_SUITE_P(
    Pairs, Rastcmp,
    ::testing::Values(
        Case{"Identical", "-i @a.asc -i @a2.asc", 0, pair_done(kIdentical)},
        Case{"Ncols", "-i @a.asc -i @c2.asc", 3,
             {"ERROR: rasters have different ncols of 3 and 2. difference too big ... "}},
        Case{"NcolsErrorsIgnored", "-errors_ignore -i @a.asc -i @c2.asc", 3,
             {"ERROR: rasters have different ncols of 3 and 2. difference too big ... ",
              "ERROR: failed to read raster2 at col 1 and row 1 ...",
              "ERROR: failed to read raster2 at col 2 and row 1 ...",
              "rasters are not identical. they have 2 different and 3 identical value cells. they have 1 different "
              "and 0 identical nodata cells.",
              "done with '@a.asc'. total time *", "done with all files. total time for 2 files *"}},
        Case{"QuietKeepsStatus", "-quiet -i @a.asc -i @c2.asc", 3, {}},
        Case{"LowerLeftYOfSecond", "-i @a.asc -i @lly.asc", 3, {"ERROR: raster has no lower left y info"}},
        Case{"TruncatedGrid", "-i @a.asc -i @t.asc", 3, {"ERROR: failed to read raster2 at col 2 and row 1 ..."},
             {"t.asc", kCutGrid}},
        Case{"TruncatedFirstGrid", "-i @t.asc -i @a.asc", 3, {"ERROR: failed to read raster1 at col 2 and row 1 ..."},
             {"t.asc", kCutGrid}},
        Case{"MissingFile", "-i @a.asc -i @none.asc", 3,
             {"ERROR in SRreader_asc::open(): cannot open '@none.asc'",
              "ERROR: cannot open raster1 with file name 'none.asc'."}},
        Case{"UnknownFormat", "-i @a.asc -i @b.xyz", 3, {"ERROR: unknown raster format 'xyz'."}, {"b.xyz", "x"}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Options, Rastcmp,
    ::testing::Values(
        Case{"CoresWithMergedInput", "-cores 4 -merged -i @a.asc -i @a2.asc", 1,
             {"WARNING: input files merged on-the-fly. ignoring '-cores 4' ...", kIdentical,
              "done with '@a.asc'. total time *"}},
        Case{"Byte150IsADash", "\x96quiet \x96i @a.asc -i @a2.asc", 0, {}},
        Case{"NoInput", "-v", 3, {"ERROR: no input specified"}},
        Case{"Help", "-h", 0,
             with_usage({kTitle},
                        {"more options:", "...",
                         "  coordinate systems: GeoTIFF, IMG and PTC rasters carry one. when both rasters of a pair have",
                         "  one and they differ (projection, its parameters, GCS or horizontal units), an INFO line",
                         "  says so before the verdict, which it does not change. -v names each raster's system.",
                         "  -threads n                 decodes RasterPTC chunks on n threads (default: every processor;",
                         "                             1 in each child of -cores unless given)",
                         "  -keep_class 2 8, -drop_z_below 0, ... (point filters, listed by -hh) are checked and",
                         "                             passed on to the children of -cores, never applied to raster cells",
                         "use '-hh' or see rastcmp_README.md to get extended help"})},
        Case{"ExtendedHelp", "-hh", 0,
             with_usage({"...", "Supported LAS Inputs", "  -i lidar.las", "...", kTitle}, {"more options:", "..."})},
        Case{"PrintLogStats", "-print_log_stats -gui -i @a.asc -i @a.asc", 1,
             {"WARNING: not compiled with GUI support. ignoring '-gui' ...", kIdentical, "done with '@a.asc'. *",
              "done with all files. *", "Log stats: FE=0,E=0,SW=0,W=1,I=3"}},
        Case{"Version", "-version", 0, {kTitle}}, Case{"QuietVersion", "-quiet -version", 0, {}},
        Case{"CoresNotANumber", "-cores many", 3, {"ERROR: cannot understand argument 'many' for '-cores'"}},
        Case{"CoresWithoutNumber", "-cores", 3, {"ERROR: '-cores' needs 1 argument: number"}},
        Case{"Interactive", "", 0,
             {"$EXE is better run in the command line",
              "enter input file1: enter input file2: rasters are not identical. rasters have 2 different and 3 "
              "identical value cells. but both have 1 nodata cells",
              "done with '@a.asc'. *", "done with all files. *", "<press ENTER>"}, {}, "@a.asc\n@v.asc\n\n"},
        Case{"InteractiveWithoutInput", "", 3,
             {"$EXE is better run in the command line",
              "enter input file1: enter input file2: ERROR: cannot open raster1 with file name ''.", "<press ENTER>"}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Lists, Rastcmp,
    ::testing::Values(
        Case{"Names", "-lof @l.txt", 0, pair_done(kIdentical), {"l.txt", "@a.asc\n@a2.asc   \t\n"}},
        Case{"UniqueMakesAPair", "-unique -lof @l.txt", 0, pair_done(kIdentical),
             {"l.txt", "@a.asc\n@a2.asc\n@a.asc\n"}},
        Case{"ThreeNamesAreBatchMode", "-lof @l.txt", 3, {"ERROR: cannot open file '@a.ptc' for read"},
             {"l.txt", "@a.asc\n\n@a2.asc\n@a.asc\n"}},
        Case{"MissingList", "-lof @none.txt", 3, {"ERROR: cannot open '@none.txt'"}},
        Case{"ListOptionWithoutName", "-i @a.asc @a2.asc -lof", 3, {"ERROR: '-lof' needs 1 argument: list_of_files"}},
        Case{"ListOptionWithoutNameErrorsIgnored", "-errors_ignore -i @a.asc @a2.asc -lof", 3,
             {"ERROR: '-lof' needs 1 argument: list_of_files", kIdentical, "done with '@a.asc'. total time *",
              "done with all files. total time for 2 files *"}}),
    CaseName());

const std::string kDem = "rasters are identical. both have 23 value and 1 nodata cells.";

INSTANTIATE_TEST_SUITE_P(
    Batch, Rastcmp,
    ::testing::Values(
        Case{"CoresWithOneInputComparesWithTheCopy", "-cores 4 -i @dem.tif", 1,
             {"WARNING: only 1 input file(s). ignoring '-cores 4' ...", kDem, "done with '@dem.tif'. total time *"}},
        Case{"CopyAloneIsNotAPair", "-i @dem.ptc", 3, {kPtcInBatch}},
        Case{"CopyAmongThreeStopsTheRun", "-i @dem.tif @dem.ptc @a.asc", 3,
             {kDem, "done with '@dem.tif'. total time *", kPtcInBatch}},
        Case{"MissingCopy", "-i @none.ptc", 3, {"ERROR: cannot open file '@none.ptc' for read"}}),
    CaseName());

// The report's lines, among any others.
Strings among(const Strings& wanted) {
  Strings patterns = {"..."};
  for (const std::string& w : wanted) patterns.insert(patterns.end(), {w, "..."});
  return patterns;
}

const std::string kUnits = "raster1 holds values in units of 1 and raster2 in units of 0.01";

INSTANTIATE_TEST_SUITE_P(
    Report, Rastcmp,
    ::testing::Values(
        Case{"PairJson", "-json -i @r.asc -i @rb.asc", 0, {"..."}, {}, "", {"@r.asc|not_identical|"}},
        Case{"QuoteAndBackslash", "-json -i @q\"uo\\te.asc -i @r.asc", 0, {"..."}, {}, "",
             {"@q\"uo\\te.asc|identical|"}},
        Case{"Latin1Name", "-json -i @\xe9t\xe9.asc -i @r.asc", 0, {"..."}, {}, "",
             {"@\xc3\xa9t\xc3\xa9.asc|identical|"}},
        Case{"UnitsNote", "-json -i @h.tif -i @h.asc", 1, among({kUnits}), {}, "", {"@h.tif|not_identical|" + kUnits}},
        Case{"ExtentNote", "-i @r.asc -i @far.asc", 0,
             among({"rasters of the same size have different extents: raster1 from (100, 200) to (101.5, 201) and "
                    "raster2 from (150, 200) to (151.5, 201)"})},
        Case{"CellSizeNote", "-i @r.asc -i @coarse.asc", 0,
             among({"rasters of the same size have different cell sizes: raster1 0.5 by 0.5 and raster2 1 by 1"})},
        Case{"BatchThroughChildren", "-json -cores 2 -diff_raster @out -diff_picture @out -i @x.asc @y.asc @z.asc", 0,
             {"..."}, {}, "", {"@x.asc|identical|", "@y.asc|identical|", "@z.asc|identical|"},
             {"@out/x_diff.tif", "@out/y_diff.png", "@out/z_diff.tif"}, "x y z"},
        Case{"ListThree", "-list_differences 3 -i @r.asc -i @rb.asc", 0,
             among({"rasters are not identical. they have 2 different and 2 identical value cells. they have 2 "
                    "different and 0 identical nodata cells.",
                    "difference at col 1 and row 0 (x 100.75, y 200.75): raster1 2 and raster2 2.5",
                    "difference at col 2 and row 0 (x 101.25, y 200.75): raster1 3 and raster2 nodata",
                    "difference at col 1 and row 1 (x 100.75, y 200.25): raster1 5 and raster2 nodata"})},
        Case{"ListEighteen", "-list_differences 18 -i @w1.asc -i @w2.asc", 0,
             among({"difference at col 2 and row 3 (x 102.5, y 200.5): raster1 17 and raster2 18"})},
        Case{"ListNotANumber", "-list_differences x -i @r.asc -i @rb.asc", 3,
             among({"ERROR: cannot understand argument 'x' for '-list_differences'"})},
        Case{"RasterWithoutName", "-i @r.asc -i @rb.asc -diff_raster", 3,
             among({"ERROR: '-diff_raster' needs 1 argument: file name or folder"})},
        Case{"FileWhereFolderNeeded", "-diff_picture @r.asc -i @x.asc @y.asc @z.asc", 3,
             among({"ERROR: '@r.asc' is not a folder. with more than one comparison the outputs go into a folder"})},
        Case{"RasterNotCreated", "-i @r.asc -i @rb.asc -diff_raster @none/d.tif", 3,
             among({"ERROR: cannot create difference raster '@none/d.tif'"})}),
    CaseName());

// Fanning out: stderr lines are counted, as the children run at once.
struct FanCase {
  const char* name;
  const char* args;
  const char* copies;  // the grids that get a RasterPTC copy first
  int status;
  std::vector<std::pair<std::string, int>> lines;  // a pattern (expanded), how many stderr lines match it
};

class Fanout : public E2E, public ::testing::WithParamInterface<FanCase> {};

TEST_P(Fanout, ChildrenAndTheirStatus) {
  const FanCase& c = GetParam();
  copy(c.copies);
  const RunResult r = run(c.args, c.status);
  EXPECT_EQ(r.out, "");
  const Strings err = lines(r.err);
  for (const auto& [pattern, count] : c.lines) {
    const std::string p = expand(pattern);
    EXPECT_EQ(std::count_if(err.begin(), err.end(), [&](const std::string& l) { return like(l, p); }), count)
        << pattern << "\n" << testing::PrintToString(err);
  }
}

const std::string kJob = "ERROR: job ? of ? (process *) ended with exit status 3";
const std::string kList = "@T/file_list_buffered.*.txt";
const std::string kThread = "Starting thread\\[[01]\\]($EXE) with arguments: $EXE ";

INSTANTIATE_TEST_SUITE_P(
    Runs, Fanout,
    ::testing::Values(
        // no copies: each child opens its grid and fails at the copy
        FanCase{"FiveOnTwoCores", "-cores 2 -i @a.asc @b.asc @c.asc @d.asc @e.asc", "", 3,
                {{"Starting 5 processes on 2 cores", 1},
                 {kThread + "-i @[a-e].asc -oasc -threads 1 ", 5},
                 {"ERROR: cannot open file '@[a-e].ptc' for read", 5},
                 {kJob, 5},
                 {"Sucessfully started 5 jobs", 1}}},
        FanCase{"Cpu64OnOneCoreWithThreads", "-cpu64 -threads 3 -i @a.asc @b.asc @c.asc", "", 3,
                {{"Starting 3 processes on 1 cores", 1},
                 {"Starting thread\\[0\\]($EXE) with arguments: $EXE -i @[abc].asc -oasc -threads 3 ", 3}}},
        FanCase{"MergedPairInOneChildOverTheList", "-cpu64 -merged -temp_files @T -i @a.asc @b.asc", "", 0,
                {{kThread + "-lof " + kList + " -merged -temp_files @T -oasc -threads 1 ", 1},
                 {kIdentical, 1},
                 {"Sucessfully started 1 jobs", 1}}},
        FanCase{"BufferedNamesTheListAsNeighbours", "-cores 2 -buffered 10 -temp_files @T -i @a.asc @b.asc @c.asc", "",
                3,
                {{kThread + "-i @[abc].asc -temp_files @T -buffered 10 -neighbors_lof " + kList + " -oasc -threads 1 ", 3},
                 {"ERROR: neighbors only*", 0}}},
        FanCase{"ListThatCannotBeCreated", "-cpu64 -merged -temp_files @no/such -i @a.asc @b.asc", "", 3,
                {{"ERROR: cannot open '@no/such/file_list_buffered.*.txt'", 1}, {"*", 1}}},
        FanCase{"FiltersReachTheChildrenAsOptionText", "-cores 2 -keep_class 2 8 -drop_z_below 0 -keep_tile 0 0 100 "
                "-i @a.asc @b.asc", "a b", 0,
                {{kThread + "-i @[ab].asc -oasc -threads 1 -keep_class 2 8 -drop_z_below 0.000000 -keep_tile 0 0 100 ",
                  2},
                 {kIdentical, 2}}},
        FanCase{"TransformsReachTheChildrenRendered", "-cores 2 -translate_z 10 -scale_intensity 2 -i @a.asc @b.asc",
                "a b", 0,
                {{kThread + "-i @[ab].asc -oasc -threads 1 -translate_z 10.000000 -scale_intensity 2 ", 2},
                 {kIdentical, 2}}},
        FanCase{"OneMissingCopyFailsTheParent", "-cores 2 -i @a.asc @b.asc @c.asc @d.asc @e.asc", "a b c d", 3,
                {{kIdentical, 4}, {"ERROR: job 5 of 5 (process *) ended with exit status 3", 1}, {kJob, 1}}}),
    CaseName());

// Started by a bare name, the program finds its children through PATH,
// where a stand-in named rastcmp comes first and records their arguments.
TEST_F(E2E, FannedOutArgumentsArriveWhole) {
  Strings args = {"hello world", "-cores", "2", "it's", "tab\there", "o'brien and co", "-i"}, expected;
  for (const char* f : {"a.asc", "b c.asc", "it's.asc", "d.asc", "e.asc"}) {
    args.push_back(dir.file(f));
    expected.push_back("[-i][" + dir.file(f) + "][-oasc][-threads][1][hello world][it's][tab\there][o'brien and co]");
  }
  std::sort(expected.begin(), expected.end());
  int status = -1;
  EXPECT_EQ(stand_in_lines(dir, args, &status), expected);
  EXPECT_EQ(status, 0);
}

}  // namespace
