// The fan-out's pieces: command texts, argument splitting, the list file,
// locating the program and the spawn/poll loop with real child processes.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filter/lastransform.hpp"
#include "geo/geoprojectionconverter.hpp"
#include "lasio/lasreadopener.hpp"
#include "tests/support/test_support.hpp"
#include "tool/kestreltool.hpp"
#include "tool/lasmessage.hpp"
#include "tool/lasutility.hpp"
#include "fanout/laswriteopener.hpp"
#include "fanout/multicore.hpp"

extern char** environ;

namespace {

using testsupport::lines;
using testsupport::read_file;
using testsupport::TempDir;
using testsupport::write_file;
using Strings = std::vector<std::string>;

// A mutable argument vector as main() gets it.
class Args {
 public:
  explicit Args(const Strings& args) : store_(args) {
    store_.insert(store_.begin(), "/usr/bin/rastcmp");
    for (auto& s : store_) ptrs_.push_back(&s[0]);
    ptrs_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(store_.size()); }
  char** argv() { return ptrs_.data(); }

 private:
  Strings store_;
  std::vector<char*> ptrs_;
};

// Parses like the driver does: read opener first, then the tool frame.
struct Parsed {
  explicit Parsed(const Strings& a) : args(a), tool("rastcmp", args.argc(), args.argv()) {
    las_message_reset();
    opener.parse(args.argc(), args.argv(), false, false);
    tool.parse_all();
  }
  details::JobOptions options(const char* extra = "-oasc ") {
    details::JobOptions o;
    o.argc = args.argc();
    o.argv = args.argv();
    o.converter = &converter;
    o.opener = &opener;
    o.extra_options = extra;
    return o;
  }
  Args args;
  KestrelTool tool;
  LASreadOpener opener;
  GeoProjectionConverter converter;
};

std::string opener_text(const LASreadOpener& opener) {
  std::string t;
  opener.unparse(t);
  return t;
}

// ---------------------------------------------------------------------------
// Command texts

TEST(CommandText, OneInputPerJobAndNoConsumedOption) {
  // "-cores 2" and "-cpu64" are consumed; the message option "-v" is left
  // standing by the tool frame and so reaches every child.
  Parsed p({"-cores", "2", "-i", "a.asc", "dir/b.asc", "-v", "-cpu64"});
  ASSERT_EQ(p.tool.cores, 2);
  ASSERT_TRUE(p.tool.cpu64);
  const details::JobOptions o = p.options();
  EXPECT_EQ(details::command_text(o, 0), "-i \"a.asc\" -oasc  -v ");
  EXPECT_EQ(details::command_text(o, 1), "-i \"dir/b.asc\" -oasc  -v ");
}

TEST(CommandText, UnclaimedArgumentsPassOnQuotedWhenNeeded) {
  Parsed p({"hello world", "-i", "a.asc", "b.asc", "-cores", "2", "it's", "-x"});
  EXPECT_EQ(details::command_text(p.options(nullptr), 1), "-i \"b.asc\" \"hello world\" \"it's\" -x ");
}

TEST(CommandText, RowsInOrder) {
  Parsed p({"-i", "a.asc", "b.asc", "-faf", "-buffered", "10", "-temp_files", "/tmp/t d", "-stored", "-cores", "4"});
  details::JobOptions o = p.options("-oasc ");
  o.list_file = "/tmp/t d/file_list_buffered.7.txt";
  LASwriteOpener w;
  w.file_name = "o.ptc";
  w.directory = "od";
  w.appendix = "_x";
  w.cut = 2;
  w.format_name = "txt";
  w.parse_string = "xyz";
  w.separator = "comma";
  o.point_writer = &w;
  p.converter.set_ProjLinearUnitsGeoKey(9002, true);
  p.converter.set_VerticalUnitsGeoKey(9001);
  const std::string rendered = opener_text(p.opener);
  ASSERT_NE(rendered.find("-faf "), std::string::npos) << rendered;
  ASSERT_NE(rendered.find("-stored "), std::string::npos) << rendered;
  ASSERT_NE(p.opener.transform, nullptr);  // -faf asks the transform to set the point source
  char transform_text[4096] = "";
  p.opener.transform->unparse(transform_text);
  EXPECT_EQ(details::command_text(o, 1),
            "-i \"b.asc\" " + rendered + "-faf_index 1 -buffered 10 -neighbors_lof \"/tmp/t d/file_list_buffered.7.txt\" "
                "-oasc  -o \"o.ptc\" -odir \"od\" -odix \"_x\" -ocut 2 -otxt -oparse xyz -osep comma " +
                transform_text + "-feet -elevation_meter ");
}

TEST(CommandText, ListJobNamesTheListFile) {
  Parsed p({"-i", "a.asc", "b.asc", "-merged"});
  details::JobOptions o = p.options();
  o.list_job = true;
  o.list_file = "/tmp/file_list_buffered.1.txt";
  EXPECT_EQ(details::command_text(o, 0), "-lof \"/tmp/file_list_buffered.1.txt\" -merged -oasc  ");
}

TEST(CommandText, ConverterWithProjectionUsesItsOwnRendering) {
  Parsed p({"-i", "a.asc", "b.asc"});
  p.converter.set_ProjLinearUnitsGeoKey(9003, true);
  p.converter.set_ProjLinearUnitsGeoKey(9002, false);
  EXPECT_EQ(details::command_text(p.options(nullptr), 0), "-i \"a.asc\" -surveyfeet ");
  p.converter.set_no_projection(nullptr, false);
  EXPECT_EQ(details::command_text(p.options(nullptr), 0), "-i \"a.asc\" -surveyfeet -target_feet ");
  GeoProjectionConverter other;
  other.set_ProjLinearUnitsGeoKey(9001, false);
  other.set_proj_requested(true);
  details::JobOptions o = p.options(nullptr);
  o.converter = &other;
  EXPECT_EQ(details::command_text(o, 0), "-i \"a.asc\" -target_meter ");
}

TEST(CommandText, LongerThanFourKilobytesIsKeptWhole) {
  const std::string name = std::string(5000, 'n') + ".asc";
  const std::string arg = "-" + std::string(3000, 'x');
  Parsed p({"-i", name, "b.asc", arg});
  const std::string text = details::command_text(p.options(), 0);
  EXPECT_TRUE(text == "-i \"" + name + "\" -oasc  " + arg + " ") << text.size();
  const Strings split = details::convertToArgumentVector(text.c_str(), ' ', p.args.argv());
  ASSERT_EQ(split.size(), 5u);
  EXPECT_TRUE(split[2] == name);
  EXPECT_TRUE(split[4] == arg);
}

TEST(GeoUnits, DefaultsAndDescriptions) {
  GeoProjectionConverter c;
  EXPECT_FALSE(c.has_projection(true));
  EXPECT_FALSE(c.has_projection(false));
  EXPECT_FALSE(c.has_coordinate_units(true));
  EXPECT_STREQ(c.get_coordinate_unit_description_string(true, true), "units");
  EXPECT_STREQ(c.get_elevation_unit_description_string(false, false), "units");
  std::string t;
  EXPECT_EQ(c.unparse(t), 0);
  EXPECT_TRUE(c.set_ProjLinearUnitsGeoKey(9002, false));
  EXPECT_STREQ(c.get_coordinate_unit_description_string(true, false), "ft");
  EXPECT_TRUE(c.set_ProjLinearUnitsGeoKey(9003, true));
  EXPECT_STREQ(c.get_coordinate_unit_description_string(true, true), "sft");
  EXPECT_TRUE(c.set_VerticalUnitsGeoKey(9003));
  EXPECT_STREQ(c.get_elevation_unit_description_string(false, true), "feet");
  las_message_reset();
  halt_on_error(false);
  EXPECT_FALSE(c.set_ProjLinearUnitsGeoKey(9999, true));
  EXPECT_EQ(las_message_count(LAS_ERROR), 1);
  c.quiet = true;
  EXPECT_FALSE(c.set_VerticalUnitsGeoKey(1));
  EXPECT_EQ(las_message_count(LAS_ERROR), 1);
  las_message_reset();
}

// ---------------------------------------------------------------------------
// Argument splitting

struct SplitCase {
  const char* name;
  const char* command;
  Strings expected;  // after the program path
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, Tokens) {
  Args a({});
  Strings expected = GetParam().expected;
  expected.insert(expected.begin(), "/usr/bin/rastcmp");
  EXPECT_EQ(details::convertToArgumentVector(GetParam().command, ' ', a.argv()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Split,
    ::testing::Values(
        SplitCase{"Plain", "-i \"a b.asc\" -v ", {"-i", "a b.asc", "-v"}},
        SplitCase{"NoTrailingBlank", "-i x", {"-i", "x"}},
        SplitCase{"SingleQuotesStay", "-x 'a b' y", {"-x", "'a b'", "y"}},
        SplitCase{"OtherQuoteInside", "\"it's a\" '\"q r\"' ", {"it's a", "'q r'"}},
        SplitCase{"QuoteInsideToken", "-odir=\"a b\"c d", {"-odir=a bc", "d"}},
        SplitCase{"RunsOfBlanks", "  a   b    ", {"a", "b"}},
        SplitCase{"QuotedEmptyKept", "-x \"\" y", {"-x", "", "y"}},
        SplitCase{"Empty", "", {}},
        SplitCase{"UnclosedQuote", "a \"b c", {"a", "b c"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

TEST(SplitRoundTrip, ArgumentsSurviveCommandText) {
  // "-i" takes names up to the next option, so the unclaimed arguments
  // stand before it.
  const Strings unclaimed = {"plain", "with blank", "it's", "tab\there", "o'brien and co"};
  Strings all = unclaimed;
  for (const char* a : {"-i", "my dem.asc", "o'k.asc"}) all.push_back(a);
  Parsed p(all);
  for (unsigned int j = 0; j < 2; j++) {
    const std::string text = details::command_text(p.options(nullptr), j);
    Strings expected = {"/usr/bin/rastcmp", "-i", j == 0 ? "my dem.asc" : "o'k.asc"};
    expected.insert(expected.end(), unclaimed.begin(), unclaimed.end());
    EXPECT_EQ(details::convertToArgumentVector(text.c_str(), ' ', p.args.argv()), expected) << text;
  }
}

TEST(Strlist, OneBlockNullTerminated) {
  const Strings list = {"/bin/sh", "", "-c", "echo x"};
  char** a = details::strlist(list);
  ASSERT_NE(a, nullptr);
  for (size_t i = 0; i < list.size(); i++) EXPECT_EQ(std::string(a[i]), list[i]);
  EXPECT_EQ(a[list.size()], nullptr);
  // the texts live in the same block, after the pointer array
  EXPECT_EQ(reinterpret_cast<char*>(a + list.size() + 1), a[0]);
  free(a);
  char** empty = details::strlist({});
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty[0], nullptr);
  free(empty);
}

// ---------------------------------------------------------------------------
// The list file

TEST(ListFile, NameFromTheTempDirectoryAndProcessId) {
  const std::string pid = std::to_string(getpid());
  EXPECT_EQ(details::list_file_name("out"), "out/file_list_buffered." + pid + ".txt");
  EXPECT_EQ(details::list_file_name("out/"), "out/file_list_buffered." + pid + ".txt");
  EXPECT_EQ(details::list_file_name(""), temp_path("") + "file_list_buffered." + pid + ".txt");
}

TEST(ListFile, OneNamePerLineNeverThroughALink) {
  TempDir dir;
  Parsed p({"-i", "a b.asc", "c.asc"});
  const std::string victim = dir.file("victim");
  write_file(victim, "keep");
  const std::string list = dir.file("list.txt");
  ASSERT_EQ(symlink(victim.c_str(), list.c_str()), 0);
  ASSERT_TRUE(details::write_list_file(list, p.opener));
  EXPECT_EQ(read_file(list), "a b.asc\nc.asc\n");
  EXPECT_EQ(read_file(victim), "keep");
  struct stat st;
  ASSERT_EQ(lstat(list.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  // an older file of the same name is replaced
  ASSERT_TRUE(details::write_list_file(list, p.opener));
  EXPECT_EQ(read_file(list), "a b.asc\nc.asc\n");
  EXPECT_FALSE(details::write_list_file(dir.file("missing/list.txt"), p.opener));
}

// ---------------------------------------------------------------------------
// Locating the program

TEST(BinLocation, PathsUnchangedNamesOnPath) {
  EXPECT_EQ(details::bin_location_get("/no/such/prog"), "/no/such/prog");
  EXPECT_EQ(details::bin_location_get("./rastcmp"), "./rastcmp");
  EXPECT_EQ(details::bin_location_get(".hidden"), ".hidden");
  const std::string sh = details::bin_location_get("sh");
  ASSERT_FALSE(sh.empty());
  EXPECT_EQ(sh.substr(sh.size() - 3), "/sh");
  EXPECT_EQ(access(sh.c_str(), X_OK), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(details::bin_location_get("no-such-program-3141"), "");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Binary [no-such-program-3141] not found\n");
}

TEST(SelfLocation, FallsBackToTheRunningProgram) {
  char link[4096];
  const ssize_t n = readlink("/proc/self/exe", link, sizeof(link) - 1);
  ASSERT_GT(n, 0);
  const std::string self(link, static_cast<size_t>(n));
  EXPECT_EQ(details::self_location_get("/bin/sh"), "/bin/sh");
  EXPECT_EQ(details::self_location_get(self.c_str()), self);
  EXPECT_EQ(details::self_location_get("no-such-program-3141"), self);
  EXPECT_EQ(details::self_location_get("/no/such/dir/rastcmp"), self);
  EXPECT_EQ(details::self_location_get(nullptr), self);
  const std::string sh = details::self_location_get("sh");
  EXPECT_EQ(sh, details::bin_location_get("sh"));
}

// ---------------------------------------------------------------------------
// Spawning and polling

std::vector<Strings> sh_jobs(const Strings& scripts) {
  std::vector<Strings> jobs;
  for (const auto& s : scripts) jobs.push_back({"/bin/sh", "-c", s});
  return jobs;
}

struct Spawned {
  int worst;
  Strings err;
};

Spawned spawn(const std::vector<Strings>& jobs, int cores, char** executables = nullptr) {
  las_message_reset();
  testing::internal::CaptureStderr();
  const int worst = details::spawn_processes(static_cast<int>(jobs.size()), executables, jobs, cores);
  return {worst, lines(testing::internal::GetCapturedStderr())};
}

// The largest number of jobs between their "b" and "e" lines at once.
int max_overlap(const std::string& log) {
  int now = 0, most = 0;
  for (const std::string& l : lines(log)) {
    now += l == "b" ? 1 : -1;
    most = std::max(most, now);
  }
  return most;
}

TEST(Spawn, AtMostCoresAtOnceAndAllRun) {
  TempDir dir;
  const std::string log = dir.file("log");
  Strings scripts;
  for (int k = 0; k < 5; k++) {
    scripts.push_back("echo b >> '" + log + "'; sleep 0.2; echo e >> '" + log + "'; touch '" + dir.file("done" +
                      std::to_string(k)) + "'");
  }
  const Spawned s = spawn(sh_jobs(scripts), 2);
  EXPECT_EQ(s.worst, 0);
  ASSERT_GE(s.err.size(), 7u);
  EXPECT_EQ(s.err.front(), "Starting 5 processes on 2 cores");
  EXPECT_EQ(s.err.back(), "Sucessfully started 5 jobs");
  int started = 0;
  for (const auto& l : s.err) {
    if (l.rfind("Starting thread[", 0) != 0) continue;
    started++;
    EXPECT_TRUE(l.rfind("Starting thread[0](/bin/sh) with arguments: /bin/sh -c ", 0) == 0 ||
                l.rfind("Starting thread[1](/bin/sh) with arguments: /bin/sh -c ", 0) == 0)
        << l;
  }
  EXPECT_EQ(started, 5);
  const std::string text = read_file(log);
  EXPECT_EQ(lines(text).size(), 10u);
  EXPECT_EQ(max_overlap(text), 2) << text;
  for (int k = 0; k < 5; k++) EXPECT_EQ(access(dir.file("done" + std::to_string(k)).c_str(), F_OK), 0) << k;
}

struct SlotCase {
  int jobs;
  int cores;
  const char* first_line;
};

class SpawnSlots : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SpawnSlots, StartLineAndEveryJobRun) {
  const SlotCase& c = GetParam();
  const Spawned s = spawn(sh_jobs(Strings(static_cast<size_t>(c.jobs), "exit 0")), c.cores);
  EXPECT_EQ(s.worst, 0);
  ASSERT_FALSE(s.err.empty());
  EXPECT_EQ(s.err.front(), c.first_line);
  EXPECT_EQ(s.err.back(), "Sucessfully started " + std::to_string(c.jobs) + " jobs");
  EXPECT_EQ(s.err.size(), static_cast<size_t>(c.jobs) + 2);
}

INSTANTIATE_TEST_SUITE_P(Slots, SpawnSlots,
                         ::testing::Values(SlotCase{3, 8, "Starting 3 processes on 3 cores"},
                                           SlotCase{4, 1, "Starting 4 processes on 1 cores"},
                                           SlotCase{3, 0, "Starting 3 processes on 1 cores"},
                                           SlotCase{3, -1, "Starting 3 processes on 1 cores"},
                                           SlotCase{0, 4, "Starting 0 processes on 0 cores"}));

TEST(Spawn, HighestChildStatusWithAMessagePerFailure) {
  const Spawned s = spawn(sh_jobs({"exit 0", "exit 1", "exit 3", "exit 2", "exit 0"}), 2);
  EXPECT_EQ(s.worst, 3);
  EXPECT_EQ(las_message_count(LAS_WARNING), 1);
  EXPECT_EQ(las_message_count(LAS_SERIOUS_WARNING), 1);
  EXPECT_EQ(las_message_count(LAS_ERROR), 1);
  EXPECT_EQ(las_exit_status(), 3);
  int reported = 0;
  for (const auto& l : s.err) {
    if (l.find("ended with exit status") != std::string::npos) reported++;
  }
  EXPECT_EQ(reported, 3);
  EXPECT_NE(std::find_if(s.err.begin(), s.err.end(),
                         [](const std::string& l) {
                           return l.rfind("ERROR: job 3 of 5 (process ", 0) == 0 &&
                                  l.find(") ended with exit status 3") != std::string::npos;
                         }),
            s.err.end());
  las_message_reset();
}

TEST(Spawn, AllCleanLeavesTheStatusAlone) {
  const Spawned s = spawn(sh_jobs({"exit 0", "exit 0"}), 2);
  EXPECT_EQ(s.worst, 0);
  EXPECT_EQ(las_exit_status(), 0);
}

TEST(Spawn, ChildEndedBySignalIsFatal) {
  const Spawned s = spawn(sh_jobs({"kill -9 $$"}), 1);
  EXPECT_EQ(s.worst, 4);
  EXPECT_EQ(las_message_count(LAS_FATAL_ERROR), 1);
  las_message_reset();
}

TEST(Spawn, FailedStartNeverWaitsForAnUnrelatedChild) {
  // A child of this process that the fan-out knows nothing about.
  pid_t unrelated = -1;
  char* sleep_args[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("sleep 1"), nullptr};
  ASSERT_EQ(posix_spawn(&unrelated, "/bin/sh", nullptr, nullptr, sleep_args, environ), 0);
  char missing[] = "/no/such/program";
  char* executables[] = {missing, missing};
  const Spawned s = spawn(sh_jobs({"exit 0", "exit 0"}), 2, executables);
  EXPECT_EQ(s.worst, 3);
  EXPECT_EQ(las_message_count(LAS_ERROR), 2);
  ASSERT_EQ(s.err.size(), 8u);
  EXPECT_EQ(s.err[1], "Starting thread[0](/no/such/program) with arguments: /bin/sh -c exit 0 ");
  EXPECT_EQ(s.err[2], "  fail. error=2");
  EXPECT_EQ(s.err.back(), "Sucessfully started 2 jobs");
  // the unrelated child is still ours to collect, with its own status
  int status = -1;
  EXPECT_EQ(waitpid(unrelated, &status, WNOHANG), 0) << "the fan-out waited for a child it did not start";
  EXPECT_EQ(waitpid(unrelated, &status, 0), unrelated);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  las_message_reset();
}

TEST(Spawn, ExecutablesOverElementZero) {
  TempDir dir;
  const std::string out = dir.file("arg0");
  char sh[] = "/bin/sh";
  char* executables[] = {sh};
  const std::vector<Strings> jobs = {{"not-a-program", "-c", "echo \"$0\" > '" + out + "'"}};
  const Spawned s = spawn(jobs, 1, executables);
  EXPECT_EQ(s.worst, 0);
  EXPECT_EQ(read_file(out), "not-a-program\n");
}

TEST(Spawn, ProgramNotFoundIsReportedAndCounted) {
  const Spawned s = spawn({{"no-such-program-3141", "x"}}, 1);
  EXPECT_EQ(s.worst, 3);
  ASSERT_EQ(s.err.size(), 6u);
  EXPECT_EQ(s.err[1], "Error: Binary [no-such-program-3141] not found");
  EXPECT_EQ(s.err[2], "Starting thread[0]() with arguments: no-such-program-3141 x ");
  EXPECT_EQ(s.err[3].rfind("  fail. error=", 0), 0u);
  las_message_reset();
}

TEST(KestrelMultiCore, CommandTextsBecomeArgumentLists) {
  TempDir dir;
  const std::string out = dir.file("args");
  const std::string script = dir.file("show.sh");
  write_file(script, "for x in \"$@\"; do printf '[%s]\\n' \"$x\"; done > '" + out + "'\n");
  Args a({});
  char sh[] = "/bin/sh";
  char* executables[] = {sh};
  std::string text = script + " \"a b\" c 'd e' \"it's\" ";
  char* commands[] = {&text[0]};
  las_message_reset();
  testing::internal::CaptureStderr();
  EXPECT_EQ(details::kestrel_multi_core(1, executables, commands, 1, a.argv()), 0);
  const Strings err = lines(testing::internal::GetCapturedStderr());
  ASSERT_EQ(err.size(), 3u);
  EXPECT_EQ(err[1], "Starting thread[0](/bin/sh) with arguments: /usr/bin/rastcmp " + script + " a b c 'd e' it's ");
  EXPECT_EQ(read_file(out), "[a b]\n[c]\n['d e']\n[it's]\n");
}

}  // namespace
