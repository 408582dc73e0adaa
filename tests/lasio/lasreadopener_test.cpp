// The read opener: option families with their messages, list files,
// uniqueness, blanking, rendering and round trips.
#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "filter/lasfilter.hpp"
#include "filter/lasignore.hpp"
#include "filter/lasoperation.hpp"
#include "filter/lastransform.hpp"
#include "index/laskdtree.hpp"
#include "lasio/lasreadopener.hpp"
#include "tests/support/test_support.hpp"
#include "tool/lasmessage.hpp"

namespace {

using testsupport::TempDir;
using testsupport::write_file;

struct Args {
  std::vector<std::string> store;
  std::vector<char*> ptrs;
  explicit Args(std::vector<std::string> a) : store(std::move(a)) {
    store.insert(store.begin(), "rastcmp");
    for (auto& s : store) ptrs.push_back(&s[0]);
    ptrs.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store.size()); }
  char** argv() { return ptrs.data(); }
  // The argument at position i as it stands now (blank after being taken).
  std::string at(int i) const { return std::string(ptrs[i]); }
};

struct Message {
  LAS_MESSAGE_TYPE type;
  std::string text;
};
std::vector<Message> messages;

void capture(LAS_MESSAGE_TYPE type, const char* text, void*) { messages.push_back({type, text}); }

class Opener : public ::testing::Test {
 protected:
  void SetUp() override {
    las_message_reset();
    messages.clear();
    set_message_handler(&capture);
    halt_on_error(false);
  }
  void TearDown() override {
    unset_message_handler();
    las_message_reset();
  }
  // Messages of one level, in order.
  static std::vector<std::string> texts(LAS_MESSAGE_TYPE type) {
    std::vector<std::string> out;
    for (const auto& m : messages)
      if (m.type == type) out.push_back(m.text);
    return out;
  }
  static std::vector<std::string> names(const LASreadOpener& o) {
    std::vector<std::string> out;
    for (unsigned int k = 0; k < o.get_file_name_number(); k++) out.push_back(o.get_file_name(k));
    return out;
  }
  static std::string rendered(const LASreadOpener& o) {
    std::string text;
    o.unparse(text);
    return text;
  }
};

using Names = std::vector<std::string>;

// Splits option text the way a child process receives it: at blanks
// outside double quotes, with the quotes removed.
Names tokens_of(const std::string& text) {
  Names out;
  std::string token;
  bool quoted = false, any = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) out.push_back(token);
      token.clear();
      any = false;
    } else {
      token += c;
      any = true;
    }
  }
  if (any) out.push_back(token);
  return out;
}

// Every setting that the rendering carries, spelled out.
std::string settings(const LASreadOpener& o) {
  std::ostringstream s;
  s.precision(17);
  auto list = [&s](const char* name, const auto* values, int n) {
    s << name << "=";
    if (values == nullptr) {
      s << "none";
    } else {
      for (int k = 0; k < n; k++) s << values[k] << ",";
    }
    s << " ";
  };
  list("tile", o.inside_tile, 3);
  list("circle", o.inside_circle, 3);
  list("rectangle", o.inside_rectangle, 4);
  list("scale", o.scale_factor, 3);
  list("offset", o.offset, 3);
  s << "stored=" << o.stored << " merged=" << o.merged << " faf=" << o.files_are_flightlines
    << " afsid=" << o.apply_file_source_ID << " auto_reoffset=" << o.auto_reoffset
    << " offset_adjust=" << o.offset_adjust << " populate=" << o.populate_header << " io=" << o.io_ibuffer_size
    << " temp=" << o.temp_file_base << " iparse=" << (o.parse_string ? o.parse_string : "none")
    << " iskip=" << o.skip_lines << " itxt=" << o.itxt << o.ipts << o.iptx << o.iptx_transform
    << " copc=" << int(o.copc_query) << "," << o.copc_resolution << "," << o.copc_depth << ","
    << int(o.copc_stream_order) << " unique=" << o.unique << " comma=" << o.comma_not_point
    << " zattr=" << o.z_from_attribute;
  return s.str();
}

// ---------------------------------------------------------------------------
// -i, -unique, blanking, -h

TEST_F(Opener, InputNamesUntilNextOptionAllBlanked) {
  Args a({"-i", "a.asc", "b.asc", "-merged"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(names(o), (Names{"a.asc", "b.asc"}));
  EXPECT_TRUE(o.merged);
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
  EXPECT_TRUE(o.active());
  EXPECT_TRUE(messages.empty());
}

TEST_F(Opener, FirstArgumentAfterInputIsAlwaysAName) {
  Args a({"-i", "-x", "-i", "", "y", "-i", "a", "", "b"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  // "-x" and "" are names because they come first; a later empty argument
  // ends the list, so b is left.
  EXPECT_EQ(names(o), (Names{"-x", "", "y", "a"}));
  EXPECT_EQ(a.at(9), "b");
}

TEST_F(Opener, OthersArgumentsAreLeftForTheToolFrame) {
  Args a({"-cores", "4", "-i", "a.asc", "-v", "-gui", "2", "-errors_ignore"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(a.at(1), "-cores");
  EXPECT_EQ(a.at(2), "4");
  EXPECT_EQ(a.at(3), "");
  EXPECT_EQ(a.at(4), "");
  EXPECT_EQ(a.at(5), "-v");
  EXPECT_EQ(a.at(6), "-gui");
  EXPECT_EQ(a.at(7), "2");
  EXPECT_EQ(a.at(8), "-errors_ignore");
  EXPECT_EQ(names(o), (Names{"a.asc"}));
  EXPECT_EQ(o.filter, nullptr);
  EXPECT_EQ(o.transform, nullptr);
}

struct UniqueCase {
  const char* name;
  std::vector<std::string> args;
  Names expected;
};
class Unique : public Opener, public ::testing::WithParamInterface<UniqueCase> {};

TEST_P(Unique, AppliesToNamesAddedAfterIt) {
  Args a(GetParam().args);
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(names(o), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Opener, Unique,
    ::testing::Values(UniqueCase{"Without", {"-i", "a", "-i", "a"}, {"a", "a"}},
                      UniqueCase{"First", {"-unique", "-i", "a", "-i", "a", "b", "a"}, {"a", "b"}},
                      UniqueCase{"Between", {"-i", "a", "a", "-unique", "-i", "a", "c"}, {"a", "a", "c"}},
                      UniqueCase{"Last", {"-i", "a", "-i", "a", "-unique"}, {"a", "a"}},
                      UniqueCase{"ByteForByte", {"-unique", "-i", "a", "./a", "A"}, {"a", "./a", "A"}}),
    [](const ::testing::TestParamInfo<UniqueCase>& info) { return info.param.name; });

TEST_F(Opener, UniqueTestSeesNamesListedBeforeIt) {
  LASreadOpener o;
  for (int k = 0; k < 40; k++) o.add_file_name(("n" + std::to_string(k % 20)).c_str(), false);
  EXPECT_FALSE(o.add_file_name("n7", true));
  EXPECT_TRUE(o.add_file_name("n20", true));
  EXPECT_FALSE(o.add_file_name("n20", true));
  EXPECT_TRUE(o.add_file_name("n20", false));
  EXPECT_EQ(o.get_file_name_number(), 42u);
}

TEST_F(Opener, HelpStopsTheWalkAndBuildsNothing) {
  for (const char* help : {"-h", "-help"}) {
    Args a({"-i", "a", "-faf", help, "-i", "b", "-merged", "-filtered_transform"});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_EQ(names(o), (Names{"a"}));
    EXPECT_EQ(o.files_are_flightlines, 1u);
    EXPECT_FALSE(o.merged);
    EXPECT_EQ(a.at(4), help);
    EXPECT_EQ(a.at(5), "-i");
    EXPECT_EQ(a.at(6), "b");
    EXPECT_EQ(a.at(8), "-filtered_transform");
    // -faf would have given a transform setting the point source.
    EXPECT_EQ(o.transform, nullptr);
    EXPECT_EQ(o.filter, nullptr);
  }
}

TEST_F(Opener, ExtendedHelpPrintsTheInputOverviewAndStops) {
  Args a({"-hh", "-merged"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_FALSE(o.merged);
  EXPECT_EQ(a.at(1), "-hh");
  const auto info = texts(LAS_INFO);
  ASSERT_FALSE(info.empty());
  EXPECT_EQ(info.back().rfind("Supported LAS Inputs\n  -i lidar.las\n", 0), 0u);
  EXPECT_NE(info.back().find("\n  -max_depth 3\n  -resolution 0.1"), std::string::npos);
  EXPECT_GE(info.size(), 4u);  // filter, transform and ignore overviews first
}

TEST_F(Opener, ActiveWithStdinOrUnopenedNames) {
  LASreadOpener o;
  EXPECT_FALSE(o.active());
  Args a({"-stdin"});
  o.parse(a.argc(), a.argv());
  EXPECT_TRUE(o.use_stdin);
  EXPECT_TRUE(o.active());
  LASreadOpener p;
  p.add_file_name("x", false);
  EXPECT_TRUE(p.active());
  p.file_name_current = 1;
  EXPECT_FALSE(p.active());
}

// ---------------------------------------------------------------------------
// Names

struct NameCase {
  const char* name;
  const char* only;
  const char* extension;  // null: none
};
class NameParts : public Opener, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameParts, OnlyAndExtension) {
  LASreadOpener o;
  o.add_file_name(GetParam().name, false);
  EXPECT_STREQ(o.get_file_name(0), GetParam().name);
  EXPECT_STREQ(o.get_file_name_only(0), GetParam().only);
  if (GetParam().extension == nullptr) {
    EXPECT_EQ(o.get_file_extension_only(0), nullptr);
  } else {
    EXPECT_STREQ(o.get_file_extension_only(0), GetParam().extension);
  }
}

INSTANTIATE_TEST_SUITE_P(Opener, NameParts,
                         ::testing::Values(NameCase{"dir.old/file", "file", "old/file"},
                                           NameCase{"file", "file", nullptr},
                                           NameCase{"c:\\d\\f.tif", "f.tif", "tif"},
                                           NameCase{"/data/dem.tile.asc", "dem.tile.asc", "asc"},
                                           NameCase{".hidden", ".hidden", nullptr},
                                           NameCase{"x.", "x.", ""}, NameCase{"a/", "", nullptr},
                                           NameCase{"host:dem.PTC", "dem.PTC", "PTC"}));

TEST_F(Opener, IndexBeyondTheListGivesNull) {
  LASreadOpener o;
  o.add_file_name("a.asc", false);
  EXPECT_EQ(o.get_file_name(1), nullptr);
  EXPECT_EQ(o.get_file_name_only(1), nullptr);
  EXPECT_EQ(o.get_file_extension_only(1), nullptr);
}

TEST_F(Opener, ArraysStartAtSixteenAndDouble) {
  LASreadOpener o;
  EXPECT_EQ(o.file_name_allocated, 0u);
  o.add_file_name("n0", false);
  EXPECT_EQ(o.file_name_allocated, 16u);
  for (int k = 1; k < 16; k++) o.add_file_name(("n" + std::to_string(k)).c_str(), false);
  EXPECT_EQ(o.file_name_allocated, 16u);
  o.add_file_name("n16", false);
  EXPECT_EQ(o.file_name_allocated, 32u);
  for (int k = 17; k < 100; k++) o.add_file_name(("n" + std::to_string(k)).c_str(), false);
  EXPECT_EQ(o.file_name_allocated, 128u);
  ASSERT_EQ(o.get_file_name_number(), 100u);
  for (unsigned k = 0; k < 100; k++) {
    EXPECT_EQ(std::string(o.get_file_name(k)), "n" + std::to_string(k));
    EXPECT_EQ(o.file_names_ID[k], k);  // without an ID, the position
  }
  EXPECT_EQ(o.file_names_npoints, nullptr);
}

TEST_F(Opener, BoundingBoxesAfterPlainNamesKeepAllArraysInStep) {
  LASreadOpener o;
  for (int k = 0; k < 20; k++) o.add_file_name(("p" + std::to_string(k)).c_str(), false);
  ASSERT_TRUE(o.add_file_name("box", 9, 500, 1.0, 2.0, 3.0, 4.0, false));
  for (int k = 0; k < 20; k++) o.add_file_name(("q" + std::to_string(k)).c_str(), 100 + k, false);
  ASSERT_TRUE(o.add_file_name("box2", 10, 7, -5.0, -6.0, 0.5, 0.25, false));
  EXPECT_EQ(o.file_name_allocated, 64u);
  ASSERT_EQ(o.get_file_name_number(), 42u);
  EXPECT_EQ(o.file_names_ID[20], 9u);
  EXPECT_EQ(o.file_names_npoints[20], 500);
  EXPECT_EQ(o.file_names_max_y[20], 4.0);
  EXPECT_EQ(o.file_names_npoints[5], 0);
  EXPECT_EQ(o.file_names_ID[30], 109u);
  EXPECT_EQ(o.file_names_npoints[30], 0);
  EXPECT_EQ(o.file_names_min_x[41], -5.0);
  ASSERT_NE(o.file_names_kdtree, nullptr);
  EXPECT_EQ(o.file_names_kdtree->get_count(), 2u);
  EXPECT_EQ(o.file_names_kdtree->min_x, -5.0);
  EXPECT_EQ(o.file_names_kdtree->max_y, 4.0);
}

// ---------------------------------------------------------------------------
// List files

struct ListCase {
  const char* name;
  std::string content;
  Names names;
  std::vector<unsigned> ids;  // empty: not checked
};
class ListForms : public Opener, public ::testing::WithParamInterface<ListCase> {};

TEST_P(ListForms, NamesAndIDs) {
  TempDir dir;
  const std::string list = dir.file("list.txt");
  write_file(list, GetParam().content);
  Args a({"-lof", list});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(a.at(1), "");
  EXPECT_EQ(a.at(2), "");
  EXPECT_EQ(names(o), GetParam().names);
  for (size_t k = 0; k < GetParam().ids.size() && k < o.get_file_name_number(); k++) {
    EXPECT_EQ(o.file_names_ID[k], GetParam().ids[k]) << k;
  }
  EXPECT_TRUE(texts(LAS_ERROR).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Opener, ListForms,
    ::testing::Values(
        ListCase{"Plain", "a.asc\nb.asc\n", {"a.asc", "b.asc"}, {0, 1}},
        ListCase{"NoFinalLineEnd", "a.asc\nb.asc", {"a.asc", "b.asc"}, {}},
        ListCase{"CrlfLineEnds", "a.asc\r\nb.asc\r\n", {"a.asc", "b.asc"}, {}},
        ListCase{"IdWithBlank", "7, /data/x.ptc\n", {"/data/x.ptc"}, {7}},
        ListCase{"IdWithTab", "8,\t/d/y z.ptc\n", {"/d/y z.ptc"}, {8}},
        ListCase{"BlanksAtTheEnd", "a.asc  \t \nb.asc\t\n", {"a.asc", "b.asc"}, {}},
        ListCase{"LeadingBlankIsKept", " a.asc\n", {" a.asc"}, {}},
        ListCase{"EmptyAndBlankLinesSkipped", "\na.asc\n\n   \n\t\nb.asc\n\n", {"a.asc", "b.asc"}, {0, 1}},
        ListCase{"OneCharacterName", "a\n", {"a"}, {}},
        ListCase{"DigitsButNoComma", "123.asc\n", {"123.asc"}, {0}},
        ListCase{"IdWithoutName", "5,\n", {"5,"}, {0}},
        ListCase{"BoxWithoutItsLastComma", "3,1000,0,0,10,10\n", {"1000,0,0,10,10"}, {3}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return info.param.name; });

TEST_F(Opener, ListLineWithBoundingBox) {
  TempDir dir;
  const std::string list = dir.file("list.txt");
  write_file(list, "3,1000,0,0,10,10, t.ptc\n4,20,-1.5,2.5,3,4.25,u.ptc\nplain.asc\n");
  LASreadOpener o;
  ASSERT_TRUE(o.add_list_of_files(list.c_str(), false));
  ASSERT_EQ(names(o), (Names{"t.ptc", "u.ptc", "plain.asc"}));
  EXPECT_EQ(o.file_names_ID[0], 3u);
  EXPECT_EQ(o.file_names_npoints[0], 1000);
  EXPECT_EQ(o.file_names_min_x[0], 0.0);
  EXPECT_EQ(o.file_names_min_y[0], 0.0);
  EXPECT_EQ(o.file_names_max_x[0], 10.0);
  EXPECT_EQ(o.file_names_max_y[0], 10.0);
  EXPECT_EQ(o.file_names_ID[1], 4u);
  EXPECT_EQ(o.file_names_npoints[1], 20);
  EXPECT_EQ(o.file_names_min_x[1], -1.5);
  EXPECT_EQ(o.file_names_max_y[1], 4.25);
  EXPECT_EQ(o.file_names_npoints[2], 0);
  ASSERT_NE(o.file_names_kdtree, nullptr);
  EXPECT_EQ(o.file_names_kdtree->get_count(), 2u);
  EXPECT_EQ(o.file_names_kdtree->min_x, -1.5);
  EXPECT_EQ(o.file_names_kdtree->max_x, 10.0);
}

TEST_F(Opener, ListLineWithBoxButNoNameIsSkippedWithWarning) {
  TempDir dir;
  const std::string list = dir.file("list.txt");
  write_file(list, "a.asc\n3,1000,0,0,10,10,   \nb.asc\n");
  LASreadOpener o;
  ASSERT_TRUE(o.add_list_of_files(list.c_str(), false));
  EXPECT_EQ(names(o), (Names{"a.asc", "b.asc"}));
  EXPECT_EQ(texts(LAS_WARNING),
            (Names{"line 2 of list of files '" + list + "' has a bounding box but no file name. skipping ..."}));
}

TEST_F(Opener, LongListLineIsTakenInPiecesOf2047) {
  TempDir dir;
  const std::string list = dir.file("list.txt");
  const std::string lng(3000, 'x');
  write_file(list, lng + "\n" + std::string(2047, 'y') + "\nz.asc\n");
  LASreadOpener o;
  ASSERT_TRUE(o.add_list_of_files(list.c_str(), false));
  // The 2047 'y' fill the buffer exactly; their line end is an empty piece.
  EXPECT_EQ(names(o), (Names{lng.substr(0, 2047), lng.substr(2047), std::string(2047, 'y'), "z.asc"}));
}

TEST_F(Opener, ListFileUniqueAgainstEarlierNames) {
  TempDir dir;
  const std::string list = dir.file("list.txt");
  write_file(list, "a\nb\n2,a\n1,1,0,0,1,1,b\nc\nc\n");
  Args a({"-i", "a", "-unique", "-lof", list});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(names(o), (Names{"a", "b", "c"}));
}

TEST_F(Opener, MissingListFile) {
  TempDir dir;
  const std::string list = dir.file("none.txt");
  Args a({"-lof", list, "-merged"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(texts(LAS_ERROR), (Names{"cannot open '" + list + "'", "cannot load list of files '" + list + "'"}));
  EXPECT_EQ(o.get_file_name_number(), 0u);
  EXPECT_TRUE(o.merged);  // parsing goes on with halting off
  EXPECT_EQ(a.at(1), "");
  EXPECT_EQ(a.at(2), "");
}

TEST_F(Opener, MissingListFileEndsTheRunWhileHalting) {
  TempDir dir;
  const std::string list = dir.file("none.txt");
  EXPECT_EXIT(
      {
        unset_message_handler();
        halt_on_error(true);
        Args a({"-lof", list});
        LASreadOpener o;
        o.parse(a.argc(), a.argv());
      },
      ::testing::ExitedWithCode(3), "ERROR: cannot open '" + list + "'");
}

TEST_F(Opener, NeighborListForms) {
  TempDir dir;
  const std::string list = dir.file("n.txt");
  write_file(list, "3,1000,0,0,10,10, t.ptc\n7,x.ptc\nplain.ptc\nplain.ptc\n\n");
  Args a({"-i", "in.ptc", "-buffered", "25", "-unique", "-neighbors_lof", list});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  ASSERT_EQ(o.get_neighbor_file_name_number(), 4u);
  EXPECT_STREQ(o.get_neighbor_file_name(0), "t.ptc");
  EXPECT_STREQ(o.get_neighbor_file_name(1), "7,x.ptc");  // no ID form for neighbours
  EXPECT_STREQ(o.get_neighbor_file_name(2), "plain.ptc");
  EXPECT_STREQ(o.get_neighbor_file_name(3), "plain.ptc");  // plain names skip the unique test
  EXPECT_EQ(o.neighbor_file_names_npoints[0], 1000);
  EXPECT_EQ(o.neighbor_file_names_max_x[0], 10.0);
  EXPECT_EQ(o.neighbor_file_names_npoints[1], 0);
  ASSERT_NE(o.neighbor_kdtree, nullptr);
  EXPECT_EQ(o.neighbor_kdtree->get_count(), 1u);
  EXPECT_TRUE(o.is_buffered());
  EXPECT_TRUE(texts(LAS_ERROR).empty());
}

TEST_F(Opener, NeighborsNeedOneBufferedInput) {
  Args a({"-neighbors", "n1.ptc", "n2.ptc", "-i", "a.ptc", "b.ptc"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(o.get_neighbor_file_name_number(), 2u);
  EXPECT_EQ(texts(LAS_ERROR), (Names{"neighbors only supported for one buffered input file, not for 2",
                                     "neighbors only make sense when used with '-buffered 50' or similar"}));
  EXPECT_FALSE(o.is_buffered());  // no buffer size
}

TEST_F(Opener, IsBuffered) {
  LASreadOpener o;
  o.buffer_size = 10.0f;
  o.add_file_name("a", false);
  EXPECT_FALSE(o.is_buffered());
  o.add_file_name("b", false);
  EXPECT_TRUE(o.is_buffered());
  EXPECT_EQ(o.get_buffer_size(), 10.0f);
  LASreadOpener p;
  p.buffer_size = 10.0f;
  p.add_file_name("a", false);
  p.add_neighbor_file_name("n", false);
  EXPECT_TRUE(p.is_buffered());
}

// ---------------------------------------------------------------------------
// Option errors

struct ErrorCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;  // ERROR text
};
class OptionErrors : public Opener, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(OptionErrors, MessageAndEverythingTakenIsBlanked) {
  Args a(GetParam().args);
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(texts(LAS_ERROR), (Names{GetParam().message}));
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
  // Nothing was stored.
  EXPECT_EQ(rendered(o), "");
  EXPECT_EQ(o.get_file_name_number(), 0u);
  EXPECT_EQ(o.number_attributes, 0);
}

TEST_P(OptionErrors, EndsTheRunWhileHalting) {
  EXPECT_EXIT(
      {
        unset_message_handler();
        halt_on_error(true);
        Args a(GetParam().args);
        LASreadOpener o;
        o.parse(a.argc(), a.argv());
      },
      ::testing::ExitedWithCode(3), "ERROR: ");
}

INSTANTIATE_TEST_SUITE_P(
    Missing, OptionErrors,
    ::testing::Values(
        ErrorCase{"i", {"-i"}, "'-i' needs at least 1 argument: file_name or wild_card"},
        ErrorCase{"lof", {"-lof"}, "'-lof' needs 1 argument: list_of_files"},
        ErrorCase{"buffered", {"-buffered"}, "'-buffered' needs 1 argument: buffer_size"},
        ErrorCase{"temp_files", {"-temp_files"}, "'-temp_files' needs 1 argument: base name"},
        ErrorCase{"neighbors", {"-neighbors"}, "'-neighbors' needs at least 1 argument: file_name or wild_card"},
        ErrorCase{"neighbors_lof", {"-neighbors_lof"}, "'-neighbors_lof' needs at least 1 argument: file_name"},
        ErrorCase{"faf_index", {"-faf_index"}, "'-faf_index' needs 1 argument: index"},
        ErrorCase{"rescale", {"-rescale", "1", "1"}, "'-rescale' needs 3 arguments: rescale_x rescale_y rescale_z"},
        ErrorCase{"rescale_xy", {"-rescale_xy", "1"}, "'-rescale_xy' needs 2 argument: rescale_x rescale_y"},
        ErrorCase{"rescale_z", {"-rescale_z"}, "'-rescale_z' needs 1 argument: rescale_z"},
        ErrorCase{"reoffset", {"-reoffset", "1", "2"},
                  "'-reoffset' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z"},
        ErrorCase{"iparse", {"-iparse"}, "'-iparse' needs 1 argument: string"},
        ErrorCase{"iskip", {"-iskip"}, "'-iskip' needs 1 argument: number_of_lines"},
        ErrorCase{"io_ibuffer", {"-io_ibuffer"}, "'-io_ibuffer' needs 1 argument: size"},
        ErrorCase{"itranslate_intensity", {"-itranslate_intensity"},
                  "'-itranslate_intensity' needs 1 argument: translation"},
        ErrorCase{"iscale_intensity", {"-iscale_intensity"}, "'-iscale_intensity' needs 1 argument: scale"},
        ErrorCase{"itranslate_scan_angle", {"-itranslate_scan_angle"},
                  "'-itranslate_scan_angle' needs 1 argument: translation"},
        ErrorCase{"iscale_scan_angle", {"-iscale_scan_angle"}, "'-iscale_scan_angle' needs 1 argument: scale"},
        ErrorCase{"iadd_extra", {"-iadd_extra", "1", "name"}, "'-iadd_extra' needs 3 arguments: data_type name description"},
        ErrorCase{"iadd_attribute", {"-iadd_attribute"},
                  "'-iadd_attribute' needs 3 arguments: data_type name description"},
        ErrorCase{"inside_tile", {"-inside_tile", "1", "2"}, "'-inside_tile' needs 3 arguments: ll_x ll_y size"},
        ErrorCase{"inside_circle", {"-inside_circle"}, "'-inside_circle' needs 3 arguments: center_x center_y radius"},
        ErrorCase{"inside", {"-inside", "1", "2", "3"}, "'-inside' needs 4 arguments: min_x min_y max_x max_y"},
        ErrorCase{"inside_rectangle", {"-inside_rectangle"},
                  "'-inside_rectangle' needs 4 arguments: min_x min_y max_x max_y"},
        ErrorCase{"max_depth", {"-max_depth"}, "'-max_depth' needs 1 argument: depth"},
        ErrorCase{"resolution", {"-resolution"}, "'-resolution' needs 1 argument: resolution"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

INSTANTIATE_TEST_SUITE_P(
    Invalid, OptionErrors,
    ::testing::Values(
        ErrorCase{"buffered_text", {"-buffered", "big"},
                  "'-buffered' needs 1 argument: buffer_size. but 'big' is not a valid buffer_size"},
        ErrorCase{"buffered_negative", {"-buffered", "-5"},
                  "'-buffered' needs 1 argument: buffer_size, but -5.000000 is not valid"},
        ErrorCase{"faf_index_text", {"-faf_index", "x"}, "'-faf_index' needs 1 argument: index"},
        ErrorCase{"rescale_y_text", {"-rescale", "0.01", "y", "0.01"},
                  "'-rescale' needs 3 arguments: rescale_x rescale_y rescale_z, but 'y' is not a valid rescale_y"},
        ErrorCase{"rescale_x_zero", {"-rescale", "0", "0.01", "0.01"},
                  "'-rescale' needs 3 arguments: rescale_x rescale_y rescale_z, but 0.000000 is not a valid rescale_x"},
        ErrorCase{"rescale_third_zero", {"-rescale", "0.01", "0.01", "0"},
                  "'-rescale' needs 3 arguments: rescale_x rescale_y rescale_z, but 0.000000 is not a valid rescale_z"},
        ErrorCase{"rescale_xy_text", {"-rescale_xy", "a", "0.01"},
                  "'-rescale_xy' needs 3 arguments: rescale_x rescale_y, but 'a' is not a valid rescale_x"},
        ErrorCase{"rescale_xy_zero", {"-rescale_xy", "0.01", "0"},
                  "'-rescale_xy' needs 3 arguments: rescale_x rescale_y, but 0.000000 is not a valid rescale_y"},
        ErrorCase{"rescale_z_text", {"-rescale_z", "z"},
                  "'-rescale_z' needs 1 argument: rescale_z, but 'z' is not a valid rescale_z"},
        ErrorCase{"rescale_z_zero", {"-rescale_z", "0.0"},
                  "'-rescale_z' needs 1 argument: rescale_z, but 0.000000 is not a valid rescale_z"},
        ErrorCase{"reoffset_z_text", {"-reoffset", "1", "2", "zz"},
                  "'-reoffset' needs 3 arguments: reoffset_x, reoffset_y, reoffset_z, but 'zz' is not a valid "
                  "reoffset_z"},
        ErrorCase{"iskip_text", {"-iskip", "many"},
                  "'-iskip' needs 1 argument: number_of_lines but 'many' is not a valid number."},
        ErrorCase{"iskip_zero", {"-iskip", "0"}, "'-iskip' needs 1 argument: number_of_lines but 0 is not valid."},
        ErrorCase{"io_ibuffer_text", {"-io_ibuffer", "k"},
                  "'-io_ibuffer' needs 1 argument: size but 'k' is not a valid size."},
        ErrorCase{"io_ibuffer_zero", {"-io_ibuffer", "0"}, "'-io_ibuffer' needs 1 argument: size but 0 is not valid."},
        ErrorCase{"itranslate_intensity_text", {"-itranslate_intensity", "t"},
                  "'-itranslate_intensity' needs 1 argument: translation but 't' is not valid."},
        ErrorCase{"itranslate_scan_angle_zero", {"-itranslate_scan_angle", "0"},
                  "'-itranslate_scan_angle' needs 1 argument: translation but 0.000000 is not valid."},
        ErrorCase{"iscale_intensity_zero", {"-iscale_intensity", "0"},
                  "'-iscale_intensity' needs 1 argument: scale but 0.000000 is not valid."},
        ErrorCase{"iscale_scan_angle_text", {"-iscale_scan_angle", "s"},
                  "'-iscale_scan_angle' needs 1 argument: scale but 's' is not valid."},
        ErrorCase{"inside_tile_ll_y", {"-inside_tile", "1", "y", "10"},
                  "'-inside_tile' needs 3 arguments: ll_x ll_y size, but 'y' is not a valid ll_y."},
        ErrorCase{"inside_tile_size", {"-inside_tile", "1", "2", "0"},
                  "'-inside_tile' needs 3 arguments: ll_x ll_y size, but 0.000000 is not valid a size."},
        ErrorCase{"inside_circle_x", {"-inside_circle", "cx", "2", "3"},
                  "'-inside_circle' needs 3 arguments: center_x center_y radius, but 'cx' is not a valid center_x."},
        ErrorCase{"inside_circle_radius", {"-inside_circle", "1", "2", "-3"},
                  "'-inside_circle' needs 3 arguments: center_x center_y radius, but -3.000000 is not valid a radius."},
        ErrorCase{"inside_max_y", {"-inside", "1", "2", "3", "top"},
                  "'-inside' needs 4 arguments: min_x min_y max_x max_y, but 'top' is not a valid max_y."},
        ErrorCase{"inside_x_pair", {"-inside", "5", "2", "5", "4"},
                  "'-inside' needs 4 arguments: min_x min_y max_x max_y, but 5.000000 / 5.000000 are not a valid "
                  "min_x / max_x pair."},
        ErrorCase{"inside_rectangle_y_pair", {"-inside_rectangle", "1", "9", "5", "4"},
                  "'-inside_rectangle' needs 4 arguments: min_x min_y max_x max_y, but 9.000000 / 4.000000 are not "
                  "a valid min_y / max_y pair."},
        ErrorCase{"inside_unknown", {"-inside_polygon"}, "unknown '-inside' option '-inside_polygon'"},
        ErrorCase{"max_depth_text", {"-max_depth", "deep"},
                  "'-max_depth' needs 1 argument: depth, but 'deep' is not a valid depth"},
        ErrorCase{"max_depth_negative", {"-max_depth", "-2"},
                  "'-max_depth' needs 1 argument: depth, but -2 is not a valid depth"},
        ErrorCase{"resolution_text", {"-resolution", "fine"},
                  "'-resolution' needs 1 argument: resolution, but 'fine' is not a valid resolution"},
        ErrorCase{"resolution_zero", {"-resolution", "0"},
                  "'-resolution' needs 1 argument: resolution, but 0.000000 is not a valid resolution"}),
    [](const ::testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Flight lines

TEST_F(Opener, FlightLineOptions) {
  {
    Args a({"-faf_index", "5"});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_EQ(o.files_are_flightlines_index, 4);
    EXPECT_EQ(a.at(2), "");
  }
  {
    Args a({"-faf", "3", "-i", "x"});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_EQ(o.files_are_flightlines, 3u);
    EXPECT_EQ(a.at(2), "");
    EXPECT_EQ(names(o), (Names{"x"}));
  }
  {
    Args a({"-files_are_flightlines", "-merged"});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_EQ(o.files_are_flightlines, 1u);
    EXPECT_TRUE(o.merged);
  }
  {
    Args a({"-faf", "0"});  // only 1 to 9 start a value
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_EQ(o.files_are_flightlines, 1u);
    EXPECT_EQ(a.at(2), "0");
  }
  EXPECT_TRUE(messages.empty());
}

struct WarningCase {
  const char* name;
  std::vector<std::string> args;
  Names warnings;
};
class FlightLineWarnings : public Opener, public ::testing::WithParamInterface<WarningCase> {};

TEST_P(FlightLineWarnings, Texts) {
  Args a(GetParam().args);
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(texts(LAS_WARNING), GetParam().warnings);
  EXPECT_TRUE(texts(LAS_ERROR).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Opener, FlightLineWarnings,
    ::testing::Values(
        WarningCase{"StartTooLarge", {"-faf", "70000"}, {"files_are_flightlines start value 70000 is too large"}},
        WarningCase{"StartFitsWithDefaultIndex", {"-faf", "65535"}, {}},
        WarningCase{"StartPlusIndex", {"-faf_index", "10", "-faf", "65530"},
                    {"files_are_flightlines start value 65530 plus index 9 is too large"}},
        WarningCase{"IndexTooLarge", {"-faf_index", "65536"},
                    {"files_are_flightlines_index index value 65536 is too large"}},
        WarningCase{"IndexPlusStart", {"-faf", "65535", "-faf_index", "2"},
                    {"files_are_flightlines start value 65535 plus index 2 is too large"}},
        WarningCase{"HugeStartIsClamped", {"-faf", "99999999999999"},
                    {"files_are_flightlines start value 2147483647 is too large"}}),
    [](const ::testing::TestParamInfo<WarningCase>& info) { return info.param.name; });

TEST_F(Opener, FlightLinesGiveATransformSettingThePointSource) {
  for (const char* option : {"-faf", "-apply_file_source_ID"}) {
    Args a({option});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    ASSERT_NE(o.transform, nullptr) << option;
    ASSERT_EQ(o.transform->num_operations, 1u);
    EXPECT_STREQ(o.transform->operations[0]->name(), "set_point_source");
    char text[256] = "";
    o.transform->unparse(text);
    EXPECT_STREQ(text, "-set_point_source 0 ");
  }
}

// ---------------------------------------------------------------------------
// Values that are stored

TEST_F(Opener, StoredSettings) {
  Args a({"-buffered", "12.5",   "-temp_files", "tmp/base", "-rescale",  "0.01",   "0.02",  "0.001",
          "-reoffset", "600000", "4000000",     "-5",       "-iparse",   "xyzti",  "-iskip", "2",
          "-io_ibuffer", "1024", "-itranslate_intensity", "1024", "-iscale_intensity", "0.5",
          "-itranslate_scan_angle", "-3", "-iscale_scan_angle", "2", "-ipts", "-comma_not_point",
          "-inside_tile", "100", "200", "50", "-inside_circle", "1.5", "2.5", "3.5", "-inside", "1", "2", "3", "4",
          "-max_depth", "3", "-resolution", "0.25", "-stream_order_level", "-stored", "-pipe_on", "-populate",
          "-auto_reoffset", "-offset_adjust", "-z_from_attribute", "2"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_TRUE(messages.empty()) << messages.front().text;
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
  EXPECT_EQ(o.buffer_size, 12.5f);
  EXPECT_EQ(o.temp_file_base, "tmp/base");
  ASSERT_NE(o.scale_factor, nullptr);
  EXPECT_EQ(o.scale_factor[0], 0.01);
  EXPECT_EQ(o.scale_factor[1], 0.02);
  EXPECT_EQ(o.scale_factor[2], 0.001);
  ASSERT_NE(o.offset, nullptr);
  EXPECT_EQ(o.offset[1], 4000000.0);
  EXPECT_EQ(o.offset[2], -5.0);
  EXPECT_STREQ(o.parse_string, "xyzti");
  EXPECT_EQ(o.skip_lines, 2u);
  EXPECT_EQ(o.io_ibuffer_size, 1024u);
  EXPECT_EQ(o.translate_intensity, 1024.0f);
  EXPECT_EQ(o.scale_intensity, 0.5f);
  EXPECT_EQ(o.translate_scan_angle, -3.0f);
  EXPECT_EQ(o.scale_scan_angle, 2.0f);
  EXPECT_TRUE(o.itxt);
  EXPECT_TRUE(o.ipts);
  EXPECT_TRUE(o.comma_not_point);
  ASSERT_NE(o.inside_tile, nullptr);
  EXPECT_EQ(o.inside_tile[2], 50.0f);
  ASSERT_NE(o.inside_circle, nullptr);
  EXPECT_EQ(o.inside_circle[2], 3.5);
  ASSERT_NE(o.inside_rectangle, nullptr);
  EXPECT_EQ(o.inside_rectangle[3], 4.0);
  EXPECT_EQ(o.copc_query, 2);  // the later of -max_depth and -resolution
  EXPECT_EQ(o.copc_depth, 3);
  EXPECT_EQ(o.copc_resolution, 0.25f);
  EXPECT_EQ(o.copc_stream_order, 2);
  EXPECT_TRUE(o.stored);
  EXPECT_TRUE(o.pipe_on);
  EXPECT_TRUE(o.populate_header);
  EXPECT_TRUE(o.auto_reoffset);
  EXPECT_TRUE(o.offset_adjust);
  EXPECT_TRUE(o.z_from_attribute);
  EXPECT_EQ(o.z_from_attribute_index, 2);
}

TEST_F(Opener, LaterOptionsOverwriteEarlierOnes) {
  Args a({"-rescale", "0.1", "0.1", "0.1", "-rescale_z", "0.5", "-iparse", "xyz", "-iparse", "xyzi", "-inside", "0",
          "0", "1", "1", "-inside_rectangle", "2", "2", "3", "3", "-populate", "-do_not_populate"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(o.scale_factor[0], 0.0);
  EXPECT_EQ(o.scale_factor[1], 0.0);
  EXPECT_EQ(o.scale_factor[2], 0.5);
  EXPECT_STREQ(o.parse_string, "xyzi");
  EXPECT_EQ(o.inside_rectangle[0], 2.0);
  EXPECT_FALSE(o.populate_header);
}

TEST_F(Opener, ZFromAttributeIndexIsOptional) {
  Args a({"-z_from_attribute", "-merged"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_TRUE(o.z_from_attribute);
  EXPECT_EQ(o.z_from_attribute_index, -1);
  EXPECT_TRUE(o.merged);
  Args b({"-z_from_attribute"});
  LASreadOpener p;
  p.parse(b.argc(), b.argv());
  EXPECT_TRUE(p.z_from_attribute);
  EXPECT_EQ(b.at(1), "");
}

TEST_F(Opener, TextInputFlags) {
  const struct {
    const char* option;
    bool ipts, iptx, iptx_transform;
  } cases[] = {{"-itxt", false, false, false},
               {"-ipts", true, false, false},
               {"-iptx", false, true, false},
               {"-iptx_transform", false, false, true}};
  for (const auto& c : cases) {
    Args a({c.option});
    LASreadOpener o;
    o.parse(a.argc(), a.argv());
    EXPECT_TRUE(o.itxt) << c.option;
    EXPECT_EQ(o.ipts, c.ipts) << c.option;
    EXPECT_EQ(o.iptx, c.iptx) << c.option;
    EXPECT_EQ(o.iptx_transform, c.iptx_transform) << c.option;
    EXPECT_EQ(rendered(o), std::string(c.option) + " ");
  }
}

// ---------------------------------------------------------------------------
// Extra attributes

TEST_F(Opener, ExtraAttributeDefaults) {
  Args a({"-iadd_extra", "9", "height", "desc", "0.01", "-merged"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  ASSERT_EQ(o.number_attributes, 1);
  EXPECT_EQ(o.attribute_data_types[0], 9);
  EXPECT_STREQ(o.attribute_names[0], "height");
  EXPECT_STREQ(o.attribute_descriptions[0], "desc");
  EXPECT_EQ(o.attribute_scales[0], 0.01);
  EXPECT_EQ(o.attribute_offsets[0], 0.0);
  EXPECT_EQ(o.attribute_pre_scales[0], 1.0);
  EXPECT_EQ(o.attribute_pre_offsets[0], 0.0);
  EXPECT_EQ(o.attribute_no_datas[0], 2e307);
  for (int k = 1; k <= 5; k++) EXPECT_EQ(a.at(k), "") << k;
  EXPECT_TRUE(o.merged);
}

TEST_F(Opener, ExtraAttributeOptionalNumbers) {
  Args a({"-iadd_attribute", "1", "a", "b", "2", "0", "3", "0.0", "0", "-iadd_extra", "2", "c", "d", "0.5",
          "0.00", "-iadd_extra", "3", "e", "f", "0", "7"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  ASSERT_EQ(o.number_attributes, 3);
  // all five, with literal zeros for offset, pre_offset and no_data
  EXPECT_EQ(o.attribute_scales[0], 2.0);
  EXPECT_EQ(o.attribute_offsets[0], 0.0);
  EXPECT_EQ(o.attribute_pre_scales[0], 3.0);
  EXPECT_EQ(o.attribute_pre_offsets[0], 0.0);
  EXPECT_EQ(o.attribute_no_datas[0], 0.0);
  // "0.00" is not a literal zero: the list ends before it and it is left
  EXPECT_EQ(o.attribute_scales[1], 0.5);
  EXPECT_EQ(o.attribute_no_datas[1], 2e307);
  EXPECT_EQ(a.at(15), "0.00");
  // a scale of 0 ends the list at once
  EXPECT_EQ(o.attribute_scales[2], 1.0);
  EXPECT_EQ(a.at(20), "0");
  EXPECT_EQ(a.at(21), "7");
}

TEST_F(Opener, UnsupportedAttributeTypeIsConsumedButNotRecorded) {
  Args a({"-iadd_extra", "11", "x", "y", "-iadd_extra", "0", "z", "w", "1.5"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(o.number_attributes, 0);
  EXPECT_EQ(texts(LAS_WARNING), (Names{"attribute data type 11 not supported. ignoring attribute 'x'.",
                                       "attribute data type 0 not supported. ignoring attribute 'z'."}));
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
}

TEST_F(Opener, MoreThan32AttributesAreRefused) {
  std::vector<std::string> args;
  for (int k = 0; k < 34; k++) {
    args.insert(args.end(), {"-iadd_extra", "4", "n" + std::to_string(k), "d", "2"});
  }
  Args a(args);
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(o.number_attributes, 32);
  EXPECT_STREQ(o.attribute_names[31], "n31");
  EXPECT_EQ(texts(LAS_ERROR), (Names{"cannot add attribute 'n32'. at most 32 extra attributes are supported",
                                     "cannot add attribute 'n33'. at most 32 extra attributes are supported"}));
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
}

// ---------------------------------------------------------------------------
// Ignore options, filter and transform

TEST_F(Opener, IgnoreOptionsWarnedAndLeftByDefault) {
  Args a({"-ignore_class", "2", "-i", "a"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(texts(LAS_WARNING), (Names{"this tool does not process '-ignore_xxxx' options"}));
  EXPECT_EQ(a.at(1), "-ignore_class");
  EXPECT_EQ(a.at(2), "2");
  EXPECT_EQ(o.ignore, nullptr);
  EXPECT_EQ(names(o), (Names{"a"}));
}

TEST_F(Opener, IgnoreOptionsKeptSilently) {
  Args a({"-ignore_first"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv(), false, true);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(a.at(1), "-ignore_first");
  EXPECT_EQ(o.ignore, nullptr);
}

TEST_F(Opener, IgnoreOptionsParsedWhenAsked) {
  Args a({"-ignore_class", "2", "7", "-ignore_first", "-i", "a"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv(), true, false);
  ASSERT_NE(o.ignore, nullptr);
  char text[512] = "";
  o.ignore->unparse(text);
  EXPECT_STREQ(text, "-ignore_class 2 7 -ignore_first ");
  for (int k = 1; k < a.argc(); k++) EXPECT_EQ(a.at(k), "") << k;
  EXPECT_EQ(names(o), (Names{"a"}));
}

TEST_F(Opener, FailedIgnoreOptionStopsParsing) {
  Args a({"-ignore_everything", "-merged", "-faf"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv(), true, false);
  EXPECT_EQ(texts(LAS_ERROR), (Names{"cannot understand argument '-ignore_everything'"}));
  EXPECT_EQ(o.ignore, nullptr);
  EXPECT_FALSE(o.merged);
  EXPECT_EQ(o.transform, nullptr);
}

TEST_F(Opener, FilteredTransformWithoutOperations) {
  Args a({"-filtered_transform"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  EXPECT_EQ(texts(LAS_WARNING), (Names{"no LAStransform specified. '-filtered_transform' has no effect."}));
  EXPECT_EQ(o.transform, nullptr);
  EXPECT_EQ(o.filter, nullptr);
  EXPECT_EQ(a.at(1), "");
}

TEST_F(Opener, FilteredTransformIsCheckedBeforeTheFlightLineOperation) {
  Args a({"-filtered_transform", "-faf"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  // -faf adds its operation only after the filtered-transform check.
  EXPECT_EQ(texts(LAS_WARNING), (Names{"no LAStransform specified. '-filtered_transform' has no effect."}));
  ASSERT_NE(o.transform, nullptr);
  EXPECT_EQ(o.transform->num_operations, 1u);
}

TEST_F(Opener, ParsingTwiceRebuildsFilterAndTransform) {
  Args a({"-faf"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  Args b({"-i", "x"});
  o.parse(b.argc(), b.argv());
  ASSERT_NE(o.transform, nullptr);  // -faf is still set
  EXPECT_EQ(o.transform->num_operations, 1u);
}

// ---------------------------------------------------------------------------
// Rendering

TEST_F(Opener, FreshOpenerRendersNothing) {
  LASreadOpener o;
  char text[64] = "";
  EXPECT_EQ(o.unparse(text), 0);
  EXPECT_STREQ(text, "");
}

TEST_F(Opener, UnparseAppendsToTheGivenText) {
  Args a({"-merged", "-stored"});
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  char text[128] = "-i \"a.asc\" ";
  EXPECT_EQ(o.unparse(text), 16);
  EXPECT_STREQ(text, "-i \"a.asc\" -stored -merged ");
}

struct RenderCase {
  const char* name;
  std::vector<std::string> args;
  std::string text;
};
class Render : public Opener, public ::testing::WithParamInterface<RenderCase> {};

// Rendering, then parsing the rendered text again, gives the same settings
// (compared through a second rendering).
TEST_P(Render, TextAndRoundTrip) {
  Args a(GetParam().args);
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  ASSERT_TRUE(texts(LAS_ERROR).empty());
  const std::string text = rendered(o);
  EXPECT_EQ(text, GetParam().text);

  Args b(tokens_of(text));
  LASreadOpener again;
  again.parse(b.argc(), b.argv());
  EXPECT_TRUE(texts(LAS_ERROR).empty());
  EXPECT_EQ(rendered(again), text);
  for (int k = 1; k < b.argc(); k++) EXPECT_EQ(b.at(k), "") << k;
}

INSTANTIATE_TEST_SUITE_P(
    Opener, Render,
    ::testing::Values(
        RenderCase{"Tile", {"-inside_tile", "630000", "4834000", "1000"}, "-inside_tile 630000 4.834e+06 1000 "},
        RenderCase{"Circle", {"-inside_circle", "10", "20", "5.5"}, "-inside_circle 10.000000 20.000000 5.500000 "},
        RenderCase{"Rectangle", {"-inside", "1", "2", "3", "4"},
                   "-inside_rectangle 1.000000 2.000000 3.000000 4.000000 "},
        RenderCase{"TileBeforeRectangle", {"-inside", "1", "2", "3", "4", "-inside_tile", "0", "0", "10"},
                   "-inside_tile 0 0 10 "},
        RenderCase{"Flags", {"-merged", "-stored", "-apply_file_source_ID", "-populate", "-unique", "-comma_not_point"},
                   "-stored -merged -apply_file_source_ID -populate -unique -comma_not_point "},
        RenderCase{"FafOne", {"-faf"}, "-faf "},
        RenderCase{"FafStart", {"-faf", "5"}, "-faf 5 "},
        RenderCase{"Rescale", {"-rescale", "0.01", "0.01", "0.001"}, "-rescale 0.010000 0.010000 0.001000 "},
        RenderCase{"RescaleXY", {"-rescale_xy", "0.5", "0.25"}, "-rescale_xy 0.500000 0.250000 "},
        RenderCase{"RescaleZ", {"-rescale_z", "0.001"}, "-rescale_z 0.001000 "},
        RenderCase{"Reoffset", {"-reoffset", "600000", "4000000", "0", "-auto_reoffset"},
                   "-reoffset 600000.000000 4000000.000000 0.000000 "},
        RenderCase{"AutoReoffset", {"-auto_reoffset", "-offset_adjust"}, "-auto_reoffset "},
        RenderCase{"OffsetAdjust", {"-offset_adjust"}, "-offset_adjust "},
        RenderCase{"IoBuffer", {"-io_ibuffer", "65536"}, "-io_ibuffer 65536 "},
        RenderCase{"IoBufferDefault", {"-io_ibuffer", "262144"}, ""},
        RenderCase{"TempFiles", {"-temp_files", "/tmp/run"}, "-temp_files \"/tmp/run\" "},
        RenderCase{"TextInput", {"-iparse", "xyzi", "-iskip", "3", "-iptx"}, "-iparse \"xyzi\" -iskip 3 -iptx "},
        RenderCase{"Copc", {"-resolution", "0.5", "-max_depth", "4", "-stream_order_normal"},
                   "-resolution 0.500000 -stream_order_normal -max_depth 4 "},
        RenderCase{"StreamOrderSpatialIsDefault", {"-stream_order_level", "-stream_order_spatial"}, ""},
        RenderCase{"StreamOrderLevel", {"-stream_order_level"}, "-stream_order_level "},
        RenderCase{"ZFromAttribute", {"-z_from_attribute", "1"}, "-z_from_attribute "},
        RenderCase{"NotRendered",
                   {"-i", "a", "-stdin", "-pipe_on", "-buffered", "5", "-itranslate_intensity", "3", "-iadd_extra", "4",
                    "h", "d", "-faf_index", "3"},
                   ""}),
    [](const ::testing::TestParamInfo<RenderCase>& info) { return info.param.name; });

// Settings that the rendering carries come back unchanged in a process that
// parses the rendered text.
class RoundTrip : public Opener, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(RoundTrip, SameSettings) {
  Args a(GetParam());
  LASreadOpener o;
  o.parse(a.argc(), a.argv());
  ASSERT_TRUE(texts(LAS_ERROR).empty());
  char text[4096] = "";
  const int n = o.unparse(text);
  EXPECT_EQ(n, static_cast<int>(strlen(text)));
  Args b(tokens_of(text));
  LASreadOpener again;
  again.parse(b.argc(), b.argv());
  EXPECT_TRUE(texts(LAS_ERROR).empty());
  EXPECT_EQ(settings(again), settings(o)) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Opener, RoundTrip,
    ::testing::Values(
        std::vector<std::string>{"-inside_circle", "10.25", "20.5", "5", "-stored", "-merged", "-faf", "3",
                                 "-rescale", "0.01", "0.01", "0.001", "-reoffset", "600000", "4000000", "-12.5",
                                 "-populate", "-io_ibuffer", "65536", "-temp_files", "/tmp/run dir", "-iparse",
                                 "xyzi", "-iskip", "3", "-ipts", "-resolution", "0.5", "-max_depth", "4", "-unique",
                                 "-comma_not_point", "-stream_order_level", "-z_from_attribute"},
        std::vector<std::string>{"-inside_tile", "630000", "4834000", "1000", "-faf", "-rescale_xy", "0.25", "0.5",
                                 "-auto_reoffset", "-iptx_transform", "-stream_order_normal"},
        std::vector<std::string>{"-inside", "-10", "-20", "30.5", "40.25", "-apply_file_source_ID", "-rescale_z",
                                 "0.001", "-offset_adjust", "-itxt", "-resolution", "0.125"},
        std::vector<std::string>{"-faf", "65535", "-io_ibuffer", "4294967295"}));

}  // namespace
