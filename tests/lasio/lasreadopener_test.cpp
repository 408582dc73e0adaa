// The read opener: every option's state, rendering and arguments taken, option
// errors with message and exit status, list files and names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "filter/lasfilter.hpp"
#include "filter/lasignore.hpp"
#include "filter/lasoperation.hpp"
#include "filter/lastransform.hpp"
#include "index/laskdtree.hpp"
#include "lasio/lasreadopener.hpp"
#include "tests/lasio/las_file_helpers.hpp"
#include "tests/support/test_support.hpp"

namespace {

using testsupport::TempDir;
using testsupport::write_file;
using Names = std::vector<std::string>;

using Args = testsupport::Argv;
using Values = std::vector<double>;

// Parses args into o; returns the arguments it did not take.
Names parse(LASreadOpener& o, const Names& args, bool parse_ignore = false, bool keep_ignore = false) {
  Args a(args);
  o.parse(a.argc(), a.argv(), parse_ignore, keep_ignore);
  return a.left();
}

Names names(const LASreadOpener& o, bool neighbors = false) {
  Names out;
  const unsigned n = neighbors ? o.get_neighbor_file_name_number() : o.get_file_name_number();
  for (unsigned k = 0; k < n; k++) out.push_back(neighbors ? o.get_neighbor_file_name(k) : o.get_file_name(k));
  return out;
}

class Opener : public ::testing::Test {
 protected:
  Names texts(LAS_MESSAGE_TYPE type) const { return messages.texts(type); }
  static std::string rendered(const LASreadOpener& o) {
    std::string text;
    o.unparse(text);
    return text;
  }
  // ID, point count and bounding box of name k.
  static Values entry(const LASreadOpener& o, int k) {
    return {double(o.file_names_ID[k]), double(o.file_names_npoints[k]), o.file_names_min_x[k],
            o.file_names_min_y[k],      o.file_names_max_x[k],           o.file_names_max_y[k]};
  }
  // Count and bounding box of a tree.
  static Values tree(const LASkdtreeRectangles* t) {
    return {double(t->get_count()), t->min_x, t->min_y, t->max_x, t->max_y};
  }
  lastest::Messages messages;
};

// Splits option text the way a child process receives it: at blanks
// outside double quotes, with the quotes removed.
Names tokens_of(const std::string& text) {
  Names out;
  bool quoted = false, in_token = false;
  for (char c : text) {
    if (c == ' ' && !quoted) {
      in_token = false;
      continue;
    }
    if (!in_token) out.emplace_back();
    in_token = true;
    if (c == '"') {
      quoted = !quoted;
    } else {
      out.back() += c;
    }
  }
  return out;
}

// The settings the rendering does not show (or not in full), as words
// "name=value[,value...]".
std::string describe(const LASreadOpener& o) {
  std::string s;
  // Texts (names and such) go before the numbers.
  auto word = [&s](const char* name, std::initializer_list<double> values, const Names& texts = {}) {
    std::string text;
    for (const std::string& t : texts) text += "," + t;
    char number[32];
    for (double v : values) {
      snprintf(number, sizeof(number), ",%.10g", v);
      text += number;
    }
    s += std::string(" ") + name + "=" + text.substr(text.empty() ? 0 : 1);
  };
  if (o.inside_rectangle) {
    word("rectangle", {o.inside_rectangle[0], o.inside_rectangle[1], o.inside_rectangle[2], o.inside_rectangle[3]});
  }
  word("flags", {double(o.use_stdin), double(o.pipe_on)});
  word("offsetting", {double(o.auto_reoffset), double(o.offset_adjust)});
  word("faf", {double(o.files_are_flightlines), double(o.files_are_flightlines_index)});
  word("buffer", {o.buffer_size});
  word("text", {double(o.itxt), double(o.ipts), double(o.iptx), double(o.iptx_transform)});
  word("intensity", {o.translate_intensity, o.scale_intensity});
  word("scan_angle", {o.translate_scan_angle, o.scale_scan_angle});
  word("copc_query", {double(o.copc_query)});
  word("zattr", {double(o.z_from_attribute), double(o.z_from_attribute_index)});
  for (int k = 0; k < o.number_attributes; k++) {
    word("attr",
         {o.attribute_scales[k], o.attribute_offsets[k], o.attribute_pre_scales[k], o.attribute_pre_offsets[k],
          o.attribute_no_datas[k]},
         {std::to_string(o.attribute_data_types[k]), o.attribute_names[k], o.attribute_descriptions[k]});
  }
  word("attributes", {double(o.number_attributes)});
  word("names", {}, names(o));
  word("neighbors", {}, names(o, true));
  word("buffered", {double(o.is_buffered())});
  // Filter, transform and ignore settings as their option text, "none"
  // when there are none.
  auto options = [&s](const char* name, const auto* parser) {
    char text[512] = "";
    if (parser) parser->unparse(text);
    s += std::string(" ") + name + "=" + (parser ? "(" + std::string(text) + ")" : "none");
  };
  options("filter", o.filter);
  options("transform", o.transform);
  options("ignore", o.ignore);
  return s + " ";
}

// ---------------------------------------------------------------------------
// The walk over the arguments: the state it leaves, its rendering (which
// a child process parses to the same rendering), its warnings and errors
// and the arguments it does not take

struct WalkCase {
  const char* name;
  Names args;
  Names state;  // words of describe() that must be there
  std::string rendered;
  Names left = {};      // arguments not taken
  Names messages = {};  // warnings, then errors
  bool parse_ignore = false, keep_ignore = false;
};
class Walk : public Opener, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(Walk, StateRenderingMessagesAndArgumentsLeft) {
  const WalkCase& c = GetParam();
  LASreadOpener o;
  EXPECT_EQ(parse(o, c.args, c.parse_ignore, c.keep_ignore), c.left);
  EXPECT_EQ(messages.problems(), c.messages);
  const std::string state = describe(o);
  for (const std::string& word : c.state) EXPECT_NE(state.find(" " + word + " "), std::string::npos) << word << state;
  EXPECT_EQ(rendered(o), c.rendered);

  const size_t errors = texts(LAS_ERROR).size();
  LASreadOpener again;
  EXPECT_EQ(parse(again, tokens_of(c.rendered)), Names{});
  EXPECT_EQ(texts(LAS_ERROR).size(), errors);
  EXPECT_EQ(rendered(again), c.rendered);
}

const WalkCase walk_cases[] = {
    {"Defaults", {}, {"flags=0,0", "faf=0,-1", "text=0,0,0,0", "intensity=0,1", "copc_query=0", "zattr=0,-1",
                      "names=", "transform=none", "filter=none"}, ""},
    {"Inputs", {"-i", "a.asc", "b.asc", "-merged"}, {"names=a.asc,b.asc"}, "-merged "},
    {"FirstArgumentAfterInputIsAName", {"-i", "-x", "-i", "", "y", "-i", "a", "", "b"}, {"names=-x,,y,a"}, "", {"b"}},
    {"OthersArgumentsAreLeft", {"-cores", "4", "-i", "a.asc", "-v", "-gui", "2", "-errors_ignore"}, {"names=a.asc"}, "",
     {"-cores", "4", "-v", "-gui", "2", "-errors_ignore"}},
    {"Flags", {"-stored", "-merged", "-stdin", "-unique", "-pipe_on", "-comma_not_point", "-apply_file_source_ID"},
     {"flags=1,1"}, "-stored -merged -apply_file_source_ID -unique -comma_not_point "},
    {"AutoReoffsetBeforeOffsetAdjust", {"-auto_reoffset", "-offset_adjust"}, {"offsetting=1,1"}, "-auto_reoffset "},
    {"OffsetAdjust", {"-offset_adjust"}, {}, "-offset_adjust "},
    {"Populate", {"-populate"}, {}, "-populate "},
    {"DoNotPopulate", {"-populate", "-do_not_populate"}, {}, ""},
    {"Buffered", {"-buffered", "12.5"}, {"buffer=12.5"}, ""},
    {"TempFiles", {"-temp_files", "tmp/run dir"}, {}, "-temp_files \"tmp/run dir\" "},
    {"Rescale", {"-rescale", "0.01", "0.02", "0.001"}, {}, "-rescale 0.010000 0.020000 0.001000 "},
    {"RescaleXY", {"-rescale_xy", "0.5", "-0.25"}, {}, "-rescale_xy 0.500000 -0.250000 "},
    {"RescaleZOverwrites", {"-rescale", "0.1", "0.1", "0.1", "-rescale_z", "0.5"}, {}, "-rescale_z 0.500000 "},
    {"ReoffsetBeforeAutoReoffset", {"-reoffset", "600000", "4000000", "-5", "-auto_reoffset"}, {"offsetting=1,0"},
     "-reoffset 600000.000000 4000000.000000 -5.000000 "},
    {"LaterIparseWins", {"-iparse", "xyz", "-iparse", "xyzi"}, {}, "-iparse \"xyzi\" "},
    {"Iskip", {"-iskip", "2", "-itxt"}, {}, "-iskip 2 -itxt "},
    {"Ipts", {"-ipts"}, {"text=1,1,0,0"}, "-ipts "},
    {"Iptx", {"-iptx"}, {"text=1,0,1,0"}, "-iptx "},
    {"IptxTransform", {"-iptx_transform"}, {"text=1,0,0,1"}, "-iptx_transform "},
    {"IoBuffer", {"-io_ibuffer", "4294967295"}, {}, "-io_ibuffer 4294967295 "},
    {"IoBufferDefault", {"-io_ibuffer", "262144"}, {}, ""},
    {"Intensity", {"-itranslate_intensity", "1024", "-iscale_intensity", "0.5"}, {"intensity=1024,0.5"}, ""},
    {"ScanAngle", {"-itranslate_scan_angle", "-3", "-iscale_scan_angle", "2"}, {"scan_angle=-3,2"}, ""},
    {"NotANumberIsNotZero", {"-iscale_intensity", "nan"}, {"intensity=0,nan"}, ""},
    {"Tile", {"-inside_tile", "630000", "4834000", "1000"}, {}, "-inside_tile 630000 4.834e+06 1000 "},
    {"Circle", {"-inside_circle", "1.5", "2.5", "3.5"}, {}, "-inside_circle 1.500000 2.500000 3.500000 "},
    {"LaterRectangleWins", {"-inside", "0", "0", "1", "1", "-inside_rectangle", "2", "2", "3", "3"}, {},
     "-inside_rectangle 2.000000 2.000000 3.000000 3.000000 "},
    {"TileRenderedBeforeRectangle", {"-inside", "1", "2", "3", "4", "-inside_tile", "0", "0", "10"},
     {"rectangle=1,2,3,4"}, "-inside_tile 0 0 10 "},
    {"MaxDepthZero", {"-max_depth", "0"}, {"copc_query=1"}, "-max_depth 0 "},
    {"LaterCopcQueryWins", {"-max_depth", "3", "-resolution", "0.25", "-stream_order_level"}, {"copc_query=2"},
     "-resolution 0.250000 -stream_order_level -max_depth 3 "},
    {"StreamOrderNormal", {"-stream_order_normal"}, {}, "-stream_order_normal "},
    {"StreamOrderSpatial", {"-stream_order_level", "-stream_order_spatial"}, {}, ""},
    {"ZFromAttributeIndex", {"-z_from_attribute", "2"}, {"zattr=1,2"}, "-z_from_attribute "},
    {"ZFromAttributeIndexClamped", {"-z_from_attribute", "99999"}, {"zattr=1,32767"}, "-z_from_attribute "},
    {"ZFromAttributeBeforeAnOption", {"-z_from_attribute", "-merged"}, {"zattr=1,-1"}, "-merged -z_from_attribute "},
    {"ZFromAttributeLast", {"-z_from_attribute"}, {"zattr=1,-1"}, "-z_from_attribute "},
    {"FafStart", {"-faf", "3", "-i", "x"}, {"faf=3,-1", "names=x"}, "-faf 3 "},
    {"FafLongName", {"-files_are_flightlines", "-merged"}, {"faf=1,-1"}, "-merged -faf "},
    {"FafZeroIsNotAStart", {"-faf", "0"}, {"faf=1,-1"}, "-faf ", {"0"}},
    {"FafIndex", {"-faf_index", "5"}, {"faf=0,4"}, ""},
    {"FlightLinesSetThePointSource", {"-faf"}, {"transform=(-set_point_source 0 )"}, "-faf "},
    {"FileSourceIdSetsThePointSource", {"-apply_file_source_ID"}, {"transform=(-set_point_source 0 )"},
     "-apply_file_source_ID "},
    {"FafStartFitsWithDefaultIndex", {"-faf", "65535"}, {}, "-faf 65535 "},
    {"FafStartTooLarge", {"-faf", "70000"}, {}, "-faf 70000 ", {},
     {"files_are_flightlines start value 70000 is too large"}},
    {"FafStartPlusIndex", {"-faf_index", "10", "-faf", "65530"}, {}, "-faf 65530 ", {},
     {"files_are_flightlines start value 65530 plus index 9 is too large"}},
    {"FafIndexTooLarge", {"-faf_index", "65536"}, {}, "", {},
     {"files_are_flightlines_index index value 65536 is too large"}},
    {"FafIndexPlusStart", {"-faf", "65535", "-faf_index", "2"}, {}, "-faf 65535 ", {},
     {"files_are_flightlines start value 65535 plus index 2 is too large"}},
    {"FafHugeStartIsClamped", {"-faf", "99999999999999"}, {}, "-faf 2147483647 ", {},
     {"files_are_flightlines start value 2147483647 is too large"}},
    {"AttributeDefaults", {"-iadd_extra", "9", "height", "desc", "0.01", "-merged"},
     {"attr=9,height,desc,0.01,0,1,0,2e+307"}, "-merged "},
    {"AttributeLiteralZeros", {"-iadd_attribute", "1", "a", "b", "2", "0", "3", "0.0", "0"}, {"attr=1,a,b,2,0,3,0,0"},
     ""},
    // "0.00" is no literal zero, and a scale of 0 ends the list at once.
    {"AttributeListEndsAtAZero", {"-iadd_extra", "2", "c", "d", "0.5", "0.00"}, {"attr=2,c,d,0.5,0,1,0,2e+307"}, "",
     {"0.00"}},
    {"AttributeZeroScale", {"-iadd_extra", "3", "e", "f", "0", "7"}, {"attr=3,e,f,1,0,1,0,2e+307"}, "", {"0", "7"}},
    {"UnsupportedAttributeTypes", {"-iadd_extra", "11", "x", "y", "-iadd_extra", "0", "z", "w", "1.5"},
     {"attributes=0"}, "", {}, {"attribute data type 11 not supported. ignoring attribute 'x'.",
                                "attribute data type 0 not supported. ignoring attribute 'z'."}},
    {"UniqueFirst", {"-unique", "-i", "a", "-i", "a", "b", "a"}, {"names=a,b"}, "-unique "},
    {"UniqueBetween", {"-i", "a", "a", "-unique", "-i", "a", "c"}, {"names=a,a,c"}, "-unique "},
    {"UniqueLast", {"-i", "a", "-i", "a", "-unique"}, {"names=a,a"}, "-unique "},
    {"UniqueByteForByte", {"-unique", "-i", "a", "./a", "A"}, {"names=a,./a,A"}, "-unique "},
    // Help stops the walk at once, and no filter or transform is built.
    {"Help", {"-i", "a", "-faf", "-h", "-i", "b", "-merged", "-filtered_transform"},
     {"names=a", "faf=1,-1", "transform=none", "filter=none"}, "-faf ",
     {"-h", "-i", "b", "-merged", "-filtered_transform"}},
    {"HelpLong", {"-faf", "-help", "-merged"}, {"transform=none"}, "-faf ", {"-help", "-merged"}},
    {"IgnoreOptionsWarnedAndLeft", {"-ignore_class", "2", "-i", "a"}, {"ignore=none", "names=a"}, "",
     {"-ignore_class", "2"}, {"this tool does not process '-ignore_xxxx' options"}},
    {"IgnoreOptionsKeptSilently", {"-ignore_first"}, {"ignore=none"}, "", {"-ignore_first"}, {}, false, true},
    {"IgnoreOptionsParsed", {"-ignore_class", "2", "7", "-ignore_first", "-i", "a"},
     {"ignore=(-ignore_class 2 7 -ignore_first )", "names=a"}, "", {}, {}, true},
    // A failed ignore option stops the walk: -merged and -faf stay.
    {"IgnoreFailureStopsTheWalk", {"-ignore_everything", "-merged", "-faf"},
     {"ignore=none", "transform=none"}, "", {"-ignore_everything", "-merged", "-faf"},
     {"cannot understand argument '-ignore_everything'"}, true},
    {"FilteredTransformWithoutOperations", {"-filtered_transform"}, {"transform=none", "filter=none"}, "", {},
     {"no LAStransform specified. '-filtered_transform' has no effect."}},
    // -faf adds its operation after the filtered-transform check.
    {"FilteredTransformCheckedBeforeFlightLines", {"-filtered_transform", "-faf"}, {"transform=(-set_point_source 0 )"},
     "-faf ", {}, {"no LAStransform specified. '-filtered_transform' has no effect."}},
    {"OneInputIsNotBuffered", {"-buffered", "10", "-i", "a"}, {"buffered=0"}, ""},
    {"TwoInputsAreBuffered", {"-buffered", "10", "-i", "a", "b"}, {"buffered=1"}, ""},
    {"NeighborsAreBuffered", {"-buffered", "10", "-i", "a", "-neighbors", "n", "m"}, {"buffered=1", "neighbors=n,m"},
     ""},
    {"NeighborsNeedOneBufferedInput", {"-neighbors", "n1.ptc", "n2.ptc", "-i", "a.ptc", "b.ptc"},
     {"buffered=0", "neighbors=n1.ptc,n2.ptc"}, "", {},
     {"neighbors only supported for one buffered input file, not for 2",
      "neighbors only make sense when used with '-buffered 50' or similar"}},
};
INSTANTIATE_TEST_SUITE_P(Opener, Walk, ::testing::ValuesIn(walk_cases), testsupport::CaseName());

TEST_F(Opener, UnparseAppendsToTheGivenText) {
  LASreadOpener fresh;
  char text[128] = "";
  EXPECT_EQ(fresh.unparse(text), 0);
  EXPECT_STREQ(text, "");
  LASreadOpener o;
  parse(o, {"-merged", "-stored"});
  strcpy(text, "-i \"a.asc\" ");
  EXPECT_EQ(o.unparse(text), 16);
  EXPECT_STREQ(text, "-i \"a.asc\" -stored -merged ");
}

TEST_F(Opener, MoreThan32AttributesAreRefused) {
  Names args;
  for (int k = 0; k < 34; k++) args.insert(args.end(), {"-iadd_extra", "4", "n" + std::to_string(k), "d", "2"});
  LASreadOpener o;
  EXPECT_EQ(parse(o, args), Names{});
  EXPECT_EQ(o.number_attributes, 32);
  EXPECT_STREQ(o.attribute_names[31], "n31");
  EXPECT_EQ(texts(LAS_ERROR), (Names{"cannot add attribute 'n32'. at most 32 extra attributes are supported",
                                     "cannot add attribute 'n33'. at most 32 extra attributes are supported"}));
}

TEST_F(Opener, ParsingTwiceRebuildsFilterAndTransform) {
  LASreadOpener o;
  parse(o, {"-faf"});
  parse(o, {"-i", "x"});
  ASSERT_NE(o.transform, nullptr);  // -faf is still set
  EXPECT_EQ(o.transform->num_operations, 1u);
}

// ---------------------------------------------------------------------------
// -hh, activity, names

TEST_F(Opener, UniqueTestSeesNamesListedBeforeIt) {
  LASreadOpener o;
  for (int k = 0; k < 40; k++) o.add_file_name(("n" + std::to_string(k % 20)).c_str(), false);
  EXPECT_EQ((std::vector<bool>{o.add_file_name("n7", true), o.add_file_name("n20", true),
                               o.add_file_name("n20", true), o.add_file_name("n20", false)}),
            (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(o.get_file_name_number(), 42u);
}

TEST_F(Opener, ExtendedHelpPrintsTheInputOverviewAndStops) {
  LASreadOpener o;
  EXPECT_EQ(parse(o, {"-hh", "-merged"}), (Names{"-hh", "-merged"}));
  EXPECT_FALSE(o.merged);
  const Names info = texts(LAS_INFO);
  ASSERT_GE(info.size(), 4u);  // filter, transform and ignore overviews first
  EXPECT_EQ(info.back().rfind("Supported LAS Inputs\n  -i lidar.las\n", 0), 0u);
  EXPECT_NE(info.back().find("\n  -max_depth 3\n  -resolution 0.1"), std::string::npos);
}

TEST_F(Opener, ActiveWithStdinOrUnopenedNames) {
  LASreadOpener o;
  EXPECT_FALSE(o.active());
  o.use_stdin = true;
  EXPECT_TRUE(o.active());
  LASreadOpener p;
  p.add_file_name("x", false);
  EXPECT_TRUE(p.active());
  p.file_name_current = 1;
  EXPECT_FALSE(p.active());
}

struct NameCase {
  const char* name;
  const char* only;
  const char* extension;  // null: none
};
class NameParts : public Opener, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameParts, OnlyAndExtension) {
  LASreadOpener o;
  o.add_file_name(GetParam().name, false);
  EXPECT_STREQ(o.get_file_name_only(0), GetParam().only);
  EXPECT_STREQ(o.get_file_extension_only(0), GetParam().extension);
  EXPECT_EQ(o.get_file_name(1), nullptr);
  EXPECT_EQ(o.get_file_name_only(1), nullptr);
  EXPECT_EQ(o.get_file_extension_only(1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Opener, NameParts,
                         ::testing::Values(NameCase{"dir.old/file", "file", "old/file"},
                                           NameCase{"file", "file", nullptr},
                                           NameCase{"c:\\d\\f.tif", "f.tif", "tif"},
                                           NameCase{"/data/dem.tile.asc", "dem.tile.asc", "asc"},
                                           NameCase{".hidden", ".hidden", nullptr},
                                           NameCase{"x.", "x.", ""}, NameCase{"a/", "", nullptr},
                                           NameCase{"host:dem.PTC", "dem.PTC", "PTC"}));

// The arrays grow by doubling (16, 32, 64) and stay in step.
TEST_F(Opener, BoundingBoxesAfterPlainNamesKeepAllArraysInStep) {
  LASreadOpener o;
  for (int k = 0; k < 20; k++) o.add_file_name(("p" + std::to_string(k)).c_str(), false);
  EXPECT_EQ(o.file_names_npoints, nullptr);
  EXPECT_EQ(o.file_names_ID[19], 19u);  // without an ID, the position
  ASSERT_TRUE(o.add_file_name("box", 9, 500, 1.0, 2.0, 3.0, 4.0, false));
  for (int k = 0; k < 20; k++) o.add_file_name(("q" + std::to_string(k)).c_str(), 100 + k, false);
  ASSERT_TRUE(o.add_file_name("box2", 10, 7, -5.0, -6.0, 0.5, 0.25, false));
  EXPECT_EQ(o.file_name_allocated, 64u);
  ASSERT_EQ(o.get_file_name_number(), 42u);
  EXPECT_EQ(entry(o, 20), (Values{9, 500, 1, 2, 3, 4}));
  EXPECT_EQ(entry(o, 41), (Values{10, 7, -5, -6, 0.5, 0.25}));
  EXPECT_EQ(std::make_tuple(o.file_names_npoints[5], o.file_names_ID[30], o.file_names_npoints[30]),
            std::make_tuple(0, 109u, 0));
  ASSERT_NE(o.file_names_kdtree, nullptr);
  EXPECT_EQ(tree(o.file_names_kdtree), (Values{2, -5, -6, 3, 4}));
}

// ---------------------------------------------------------------------------
// List files

struct ListCase {
  const char* name;
  std::string content;
  Names names;
  std::vector<unsigned> ids = {};  // empty: not checked
  Names warnings = {};             // "LIST" stands for the list file's name
  Names before = {};               // options before "-lof list"
};
class ListForms : public Opener, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListForms, NamesIdsAndWarnings) {
  const ListCase& c = GetParam();
  TempDir dir;
  const std::string list = dir.file("list.txt");
  write_file(list, c.content);
  Names args = c.before;
  args.insert(args.end(), {"-lof", list});
  LASreadOpener o;
  EXPECT_EQ(parse(o, args), Names{});
  EXPECT_EQ(names(o), c.names);
  for (size_t k = 0; k < c.ids.size() && k < o.get_file_name_number(); k++) EXPECT_EQ(o.file_names_ID[k], c.ids[k]);
  Names warnings = c.warnings;
  for (std::string& w : warnings) w.replace(w.find("LIST"), 4, list);
  EXPECT_EQ(texts(LAS_WARNING), warnings);
  EXPECT_TRUE(texts(LAS_ERROR).empty());
}

const std::string kLong(3000, 'x');

const ListCase list_cases[] = {
    {"Plain", "a.asc\nb.asc\n", {"a.asc", "b.asc"}, {0, 1}},
    {"NoFinalLineEnd", "a.asc\nb.asc", {"a.asc", "b.asc"}},
    {"CrlfLineEnds", "a.asc\r\nb.asc\r\n", {"a.asc", "b.asc"}},
    {"IdWithBlank", "7, /data/x.ptc\n", {"/data/x.ptc"}, {7}},
    {"IdWithTab", "8,\t/d/y z.ptc\n", {"/d/y z.ptc"}, {8}},
    {"BlanksAtTheEnd", "a.asc  \t \nb.asc\t\n", {"a.asc", "b.asc"}},
    {"LeadingBlankIsKept", " a.asc\n", {" a.asc"}},
    {"EmptyAndBlankLinesSkipped", "\na.asc\n\n   \n\t\nb.asc\n\n", {"a.asc", "b.asc"}, {0, 1}},
    {"OneCharacterName", "a\n", {"a"}},
    {"DigitsButNoComma", "123.asc\n", {"123.asc"}, {0}},
    {"IdWithoutName", "5,\n", {"5,"}, {0}},
    {"BoundingBoxes", "3,1000,0,0,10,10, t.ptc\n4,20,-1.5,2.5,3,4.25,u.ptc\nplain.asc\n",
     {"t.ptc", "u.ptc", "plain.asc"}, {3, 4, 2}},
    {"BoxWithoutItsLastComma", "3,1000,0,0,10,10\n", {"1000,0,0,10,10"}, {3}},
    {"BoxWithoutName", "a.asc\n3,1000,0,0,10,10,   \nb.asc\n", {"a.asc", "b.asc"}, {0, 1},
     {"line 2 of list of files 'LIST' has a bounding box but no file name. skipping ..."}},
    // The 2047 'y' fill the line buffer exactly; their line end is an empty piece.
    {"LongLinesInPiecesOf2047", kLong + "\n" + std::string(2047, 'y') + "\nz.asc\n",
     {kLong.substr(0, 2047), kLong.substr(2047), std::string(2047, 'y'), "z.asc"}},
    {"UniqueAgainstEarlierNames", "a\nb\n2,a\n1,1,0,0,1,1,b\nc\nc\n", {"a", "b", "c"}, {0, 1, 2}, {},
     {"-i", "a", "-unique"}},
};
INSTANTIATE_TEST_SUITE_P(Opener, ListForms, ::testing::ValuesIn(list_cases), testsupport::CaseName());

TEST_F(Opener, MissingListFile) {
  TempDir dir;
  const std::string list = dir.file("none.txt");
  LASreadOpener o;
  EXPECT_EQ(parse(o, {"-lof", list, "-merged"}), Names{});
  EXPECT_EQ(texts(LAS_ERROR), (Names{"cannot open '" + list + "'", "cannot load list of files '" + list + "'"}));
  EXPECT_EQ(o.get_file_name_number(), 0u);
  EXPECT_TRUE(o.merged);  // parsing goes on with halting off
  EXPECT_EXIT(
      {
        unset_message_handler();
        halt_on_error(true);
        LASreadOpener p;
        parse(p, {"-lof", list});
      },
      ::testing::ExitedWithCode(3), "ERROR: cannot open '" + list + "'");
}

TEST_F(Opener, NeighborListForms) {
  TempDir dir;
  const std::string list = dir.file("n.txt");
  write_file(list, "3,1000,0,0,10,10, t.ptc\n7,x.ptc\nplain.ptc\nplain.ptc\n\n");
  LASreadOpener o;
  parse(o, {"-i", "in.ptc", "-buffered", "25", "-unique", "-neighbors_lof", list});
  // No ID form for neighbours, and plain names skip the unique test.
  EXPECT_EQ(names(o, true), (Names{"t.ptc", "7,x.ptc", "plain.ptc", "plain.ptc"}));
  EXPECT_EQ(o.get_neighbor_file_name(4), nullptr);
  EXPECT_TRUE(o.is_buffered());
  EXPECT_TRUE(texts(LAS_ERROR).empty());
}

// ---------------------------------------------------------------------------
// Option errors

struct ErrorCase {
  const char* name;
  Names args;
  std::string message;  // ERROR text
};
class OptionErrors : public Opener, public ::testing::WithParamInterface<ErrorCase> {};

// The message, everything taken blanked and nothing stored; while halting,
// the run ends.
TEST_P(OptionErrors, MessageBlankingAndExitStatus) {
  LASreadOpener o;
  EXPECT_EQ(parse(o, GetParam().args), Names{});
  EXPECT_EQ(texts(LAS_ERROR), (Names{GetParam().message}));
  EXPECT_EQ(rendered(o), "");
  EXPECT_EQ(o.get_file_name_number(), 0u);
  EXPECT_EQ(o.number_attributes, 0);
  EXPECT_EXIT(
      {
        unset_message_handler();
        halt_on_error(true);
        LASreadOpener p;
        parse(p, GetParam().args);
      },
      ::testing::ExitedWithCode(3), "ERROR: " + GetParam().message.substr(0, 20));
}

// The option with `given` arguments (one short), and the error text after the
// option's name.
ErrorCase missing(const char* option, int given, const char* text) {
  Names args = {option};
  for (int k = 0; k < given; k++) args.push_back("1");
  return ErrorCase{option + 1, args, "'" + std::string(option) + "' " + text};
}

const ErrorCase missing_cases[] = {
    missing("-i", 0, "needs at least 1 argument: file_name or wild_card"),
    missing("-lof", 0, "needs 1 argument: list_of_files"),
    missing("-buffered", 0, "needs 1 argument: buffer_size"),
    missing("-temp_files", 0, "needs 1 argument: base name"),
    missing("-neighbors", 0, "needs at least 1 argument: file_name or wild_card"),
    missing("-neighbors_lof", 0, "needs at least 1 argument: file_name"),
    missing("-faf_index", 0, "needs 1 argument: index"),
    missing("-rescale", 2, "needs 3 arguments: rescale_x rescale_y rescale_z"),
    missing("-rescale_xy", 1, "needs 2 argument: rescale_x rescale_y"),
    missing("-rescale_z", 0, "needs 1 argument: rescale_z"),
    missing("-reoffset", 2, "needs 3 arguments: reoffset_x, reoffset_y, reoffset_z"),
    missing("-iparse", 0, "needs 1 argument: string"),
    missing("-iskip", 0, "needs 1 argument: number_of_lines"),
    missing("-io_ibuffer", 0, "needs 1 argument: size"),
    missing("-itranslate_intensity", 0, "needs 1 argument: translation"),
    missing("-iscale_intensity", 0, "needs 1 argument: scale"),
    missing("-itranslate_scan_angle", 0, "needs 1 argument: translation"),
    missing("-iscale_scan_angle", 0, "needs 1 argument: scale"),
    missing("-iadd_extra", 2, "needs 3 arguments: data_type name description"),
    missing("-iadd_attribute", 0, "needs 3 arguments: data_type name description"),
    missing("-inside_tile", 2, "needs 3 arguments: ll_x ll_y size"),
    missing("-inside_circle", 0, "needs 3 arguments: center_x center_y radius"),
    missing("-inside", 3, "needs 4 arguments: min_x min_y max_x max_y"),
    missing("-inside_rectangle", 0, "needs 4 arguments: min_x min_y max_x max_y"),
    missing("-max_depth", 0, "needs 1 argument: depth"),
    missing("-resolution", 0, "needs 1 argument: resolution"),
};
INSTANTIATE_TEST_SUITE_P(Missing, OptionErrors, ::testing::ValuesIn(missing_cases), testsupport::CaseName());

// An option with an argument it refuses: the error is the option's message
// in missing_cases followed by `rest`.
ErrorCase bad(const char* name, Names args, const char* rest) {
  for (const ErrorCase& m : missing_cases) {
    if (m.args[0] == args[0]) return ErrorCase{name, args, m.message + rest};
  }
  return ErrorCase{name, args, "no missing_cases row for " + args[0]};
}

const ErrorCase invalid_cases[] = {
    bad("buffered_text", {"-buffered", "big"}, ". but 'big' is not a valid buffer_size"),
    bad("buffered_negative", {"-buffered", "-5"}, ", but -5.000000 is not valid"),
    bad("buffered_nan", {"-buffered", "nan"}, ", but nan is not valid"),
    bad("faf_index_text", {"-faf_index", "x"}, ""),
    bad("rescale_y_text", {"-rescale", "0.01", "y", "0.01"}, ", but 'y' is not a valid rescale_y"),
    bad("rescale_x_zero", {"-rescale", "0", "0.01", "0.01"}, ", but 0.000000 is not a valid rescale_x"),
    bad("rescale_third_zero", {"-rescale", "0.01", "0.01", "0"}, ", but 0.000000 is not a valid rescale_z"),
    // Not the text of the missing argument.
    {"rescale_xy_text", {"-rescale_xy", "a", "0.01"},
     "'-rescale_xy' needs 3 arguments: rescale_x rescale_y, but 'a' is not a valid rescale_x"},
    {"rescale_xy_zero", {"-rescale_xy", "0.01", "0"},
     "'-rescale_xy' needs 3 arguments: rescale_x rescale_y, but 0.000000 is not a valid rescale_y"},
    bad("rescale_z_text", {"-rescale_z", "z"}, ", but 'z' is not a valid rescale_z"),
    bad("rescale_z_zero", {"-rescale_z", "0.0"}, ", but 0.000000 is not a valid rescale_z"),
    bad("reoffset_z_text", {"-reoffset", "1", "2", "zz"}, ", but 'zz' is not a valid reoffset_z"),
    bad("iskip_text", {"-iskip", "many"}, " but 'many' is not a valid number."),
    bad("iskip_zero", {"-iskip", "0"}, " but 0 is not valid."),
    bad("io_ibuffer_text", {"-io_ibuffer", "k"}, " but 'k' is not a valid size."),
    bad("io_ibuffer_zero", {"-io_ibuffer", "0"}, " but 0 is not valid."),
    bad("itranslate_intensity_text", {"-itranslate_intensity", "t"}, " but 't' is not valid."),
    bad("itranslate_scan_angle_zero", {"-itranslate_scan_angle", "0"}, " but 0.000000 is not valid."),
    bad("iscale_intensity_zero", {"-iscale_intensity", "0"}, " but 0.000000 is not valid."),
    bad("iscale_scan_angle_text", {"-iscale_scan_angle", "s"}, " but 's' is not valid."),
    bad("inside_tile_ll_y", {"-inside_tile", "1", "y", "10"}, ", but 'y' is not a valid ll_y."),
    bad("inside_tile_size", {"-inside_tile", "1", "2", "0"}, ", but 0.000000 is not valid a size."),
    bad("inside_circle_x", {"-inside_circle", "cx", "2", "3"}, ", but 'cx' is not a valid center_x."),
    bad("inside_circle_radius", {"-inside_circle", "1", "2", "-3"}, ", but -3.000000 is not valid a radius."),
    bad("inside_max_y", {"-inside", "1", "2", "3", "top"}, ", but 'top' is not a valid max_y."),
    bad("inside_x_pair", {"-inside", "5", "2", "5", "4"},
        ", but 5.000000 / 5.000000 are not a valid min_x / max_x pair."),
    bad("inside_rectangle_y_pair", {"-inside_rectangle", "1", "9", "5", "4"},
        ", but 9.000000 / 4.000000 are not a valid min_y / max_y pair."),
    {"inside_unknown", {"-inside_polygon"}, "unknown '-inside' option '-inside_polygon'"},
    bad("max_depth_text", {"-max_depth", "deep"}, ", but 'deep' is not a valid depth"),
    bad("max_depth_negative", {"-max_depth", "-2"}, ", but -2 is not a valid depth"),
    bad("resolution_text", {"-resolution", "fine"}, ", but 'fine' is not a valid resolution"),
    bad("resolution_zero", {"-resolution", "0"}, ", but 0.000000 is not a valid resolution"),
};
INSTANTIATE_TEST_SUITE_P(Invalid, OptionErrors, ::testing::ValuesIn(invalid_cases), testsupport::CaseName());

}  // namespace
