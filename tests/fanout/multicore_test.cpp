// The fan-out's pieces: command texts, argument splitting, the list file,
// locating the program and the spawn/poll loop with real child processes.
#include "fanout/multicore.hpp"

#include <spawn.h>
#include <sys/wait.h>

#include "fanout/laswriteopener.hpp"
#include "filter/lastransform.hpp"
#include "geo/geoprojectionconverter.hpp"
#include "lasio/lasreadopener.hpp"
#include "tests/support/raster_app_helpers.hpp"  // TempDir, DirTest, CaseName, write_*, run
#include "tool/kestreltool.hpp"
#include "tool/lasmessage.hpp"
#include "tool/lasutility.hpp"

extern char** environ;

namespace {

using namespace testsupport;

// Arguments parsed as the program does: read opener first, then the tool
// frame; argv is mutable as main() gets it.
struct Parsed {
  explicit Parsed(Strings a) : store(std::move(a)) {
    store.insert(store.begin(), "/usr/bin/rastcmp");
    for (auto& s : store) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    tool.argc = argc();
    tool.argv = argv.data();
    las_message_reset();
    opener.parse(argc(), argv.data(), false, false);
    tool.parse_all();
  }
  int argc() const { return static_cast<int>(store.size()); }
  details::JobOptions options(const char* extra = "-oasc ") {
    return {argc(), argv.data(), &converter, &opener, nullptr, extra, false, ""};
  }
  Strings store;
  std::vector<char*> argv;
  KestrelTool tool{"rastcmp", 0, nullptr};
  LASreadOpener opener;
  GeoProjectionConverter converter;
};

// Command texts

// "-cores 4" is consumed; "-v" is left standing and reaches every child.
TEST(CommandText, EveryPartInOrder) {
  Parsed p(
      {"-i", "a.asc", "b.asc", "-faf", "-buffered", "10", "-temp_files", "/tmp/t d", "-stored", "-cores", "4", "-v"});
  details::JobOptions o = p.options("-oasc ");
  o.list_file = "/tmp/t d/file_list_buffered.7.txt";
  LASwriteOpener w{"o.ptc", "od", "_x", 2, "txt", "xyz", "comma"};
  o.point_writer = &w;
  p.converter.set_ProjLinearUnitsGeoKey(9002, true);
  p.converter.set_VerticalUnitsGeoKey(9001);
  std::string rendered;
  p.opener.unparse(rendered);
  ASSERT_NE(rendered.find("-faf "), std::string::npos) << rendered;
  ASSERT_NE(rendered.find("-stored "), std::string::npos) << rendered;
  ASSERT_NE(p.opener.transform, nullptr);  // -faf asks the transform to set the point source
  char transform_text[4096] = "";
  p.opener.transform->unparse(transform_text);
  EXPECT_EQ(details::command_text(o, 1),
            "-i \"b.asc\" " + rendered +
                "-faf_index 1 -buffered 10 -neighbors_lof \"/tmp/t d/file_list_buffered.7.txt\" "
                "-oasc  -o \"o.ptc\" -odir \"od\" -odix \"_x\" -ocut 2 -otxt -oparse xyz -osep comma " +
                transform_text + "-feet -elevation_meter -v ");
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
  EXPECT_TRUE(details::convertToArgumentVector(text.c_str(), ' ', p.argv.data()) ==
              (Strings{"/usr/bin/rastcmp", "-i", name, "-oasc", arg}));
}

// Argument splitting

struct SplitCase {
  const char* name;
  const char* command;
  Strings expected;  // after the program path
};

class Split : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Split, Tokens) {
  char program[] = "/usr/bin/rastcmp";
  char* argv[] = {program, nullptr};
  Strings expected = GetParam().expected;
  expected.insert(expected.begin(), program);
  EXPECT_EQ(details::convertToArgumentVector(GetParam().command, ' ', argv), expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, Split,
                         ::testing::Values(SplitCase{"Plain", "-i \"a b.asc\" -v ", {"-i", "a b.asc", "-v"}},
                                           SplitCase{"NoTrailingBlank", "-i x", {"-i", "x"}},
                                           SplitCase{"SingleQuotesStay", "-x 'a b' y", {"-x", "'a b'", "y"}},
                                           SplitCase{"OtherQuoteInside", "\"it's a\" '\"q r\"' ", {"it's a", "'q r'"}},
                                           SplitCase{"QuoteInsideToken", "-odir=\"a b\"c d", {"-odir=a bc", "d"}},
                                           SplitCase{"RunsOfBlanks", "  a   b    ", {"a", "b"}},
                                           SplitCase{"QuotedEmptyKept", "-x \"\" y", {"-x", "", "y"}},
                                           SplitCase{"Empty", "", {}},
                                           SplitCase{"UnclosedQuote", "a \"b c", {"a", "b c"}}),
                         [](const ::testing::TestParamInfo<SplitCase>& info) { return info.param.name; });

// The list file and locating the program

// Named from the temporary directory and the process id; one name per
// line, never written through a link.
TEST(ListFile, NameAndContent) {
  const std::string pid = std::to_string(getpid());
  EXPECT_EQ(details::list_file_name("out"), "out/file_list_buffered." + pid + ".txt");
  EXPECT_EQ(details::list_file_name("out/"), "out/file_list_buffered." + pid + ".txt");
  EXPECT_EQ(details::list_file_name(""), temp_path("") + "file_list_buffered." + pid + ".txt");
  TempDir dir;
  Parsed p({"-i", "a b.asc", "c.asc"});
  const std::string victim = dir.file("victim"), list = dir.file("list.txt");
  write_file(victim, "keep");
  ASSERT_EQ(symlink(victim.c_str(), list.c_str()), 0);
  for (int k = 0; k < 2; k++) {  // the second time over an older list
    ASSERT_TRUE(details::write_list_file(list, p.opener));
    EXPECT_EQ(read_file(list), "a b.asc\nc.asc\n");
  }
  EXPECT_EQ(read_file(victim), "keep");
  struct stat st;
  ASSERT_EQ(lstat(list.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_FALSE(details::write_list_file(dir.file("missing/list.txt"), p.opener));
}

TEST(Location, PathsUnchangedNamesOnPathElseTheRunningProgram) {
  EXPECT_EQ(details::bin_location_get("/no/such/prog"), "/no/such/prog");
  EXPECT_EQ(details::bin_location_get("./rastcmp"), "./rastcmp");
  EXPECT_EQ(details::bin_location_get(".hidden"), ".hidden");
  const std::string sh = details::bin_location_get("sh");  // a name not found: see Spawn below
  ASSERT_GT(sh.size(), 3u);
  EXPECT_EQ(sh.substr(sh.size() - 3), "/sh");
  EXPECT_EQ(access(sh.c_str(), X_OK), 0);
  // the program's own location falls back to the running program
  char link[4096];
  const ssize_t n = readlink("/proc/self/exe", link, sizeof(link) - 1);
  ASSERT_GT(n, 0);
  const std::string self(link, static_cast<size_t>(n));
  EXPECT_EQ(details::self_location_get("/bin/sh"), "/bin/sh");
  EXPECT_EQ(details::self_location_get("sh"), details::bin_location_get("sh"));
  for (const char* gone : {"no-such-program-3141", "/no/such/dir/rastcmp", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(details::self_location_get(gone), self);
  }
}

// Spawning and polling

struct Spawned {
  int worst;
  Strings err;
};

// Runs each script under /bin/sh -c (or `jobs` as they are).
Spawned spawn(const Strings& scripts, int cores, char** executables = nullptr, std::vector<Strings> jobs = {}) {
  for (const auto& s : scripts) jobs.push_back({"/bin/sh", "-c", s});
  las_message_reset();
  testing::internal::CaptureStderr();
  const int worst = details::spawn_processes(static_cast<int>(jobs.size()), executables, jobs, cores);
  return {worst, lines(testing::internal::GetCapturedStderr())};
}

TEST(Spawn, AtMostCoresAtOnceAndAllRun) {
  TempDir dir;
  const std::string log = dir.file("log");
  const Spawned s = spawn(Strings(5, "echo b >> '" + log + "'; sleep 0.2; echo e >> '" + log + "'"), 2);
  EXPECT_EQ(s.worst, 0);
  int now = 0, most = 0;  // jobs between their "b" and "e" lines
  for (const std::string& l : lines(read_file(log))) most = std::max(most, now += l == "b" ? 1 : -1);
  EXPECT_EQ(most, 2);
  EXPECT_EQ(lines(read_file(log)).size(), 10u);
}

struct StatusCase {
  const char* name;
  Strings scripts;
  int cores;
  const char* first_line;
  int worst;
  std::vector<int> counts;  // messages at WARNING, SERIOUS_WARNING, ERROR, FATAL_ERROR
  std::string report = "";  // the start of one line on stderr, "" for none
};

class SpawnStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(SpawnStatus, SlotsHighestStatusAndOneMessagePerFailure) {
  const StatusCase& c = GetParam();
  const Spawned s = spawn(c.scripts, c.cores);
  EXPECT_EQ(s.worst, c.worst);
  ASSERT_FALSE(s.err.empty());
  EXPECT_EQ(s.err.front(), c.first_line);
  EXPECT_EQ(s.err.back(), "Sucessfully started " + std::to_string(c.scripts.size()) + " jobs");
  const LAS_MESSAGE_TYPE levels[] = {LAS_WARNING, LAS_SERIOUS_WARNING, LAS_ERROR, LAS_FATAL_ERROR};
  for (int k = 0; k < 4; k++) EXPECT_EQ(las_message_count(levels[k]), c.counts[k]) << levels[k];
  EXPECT_EQ(las_exit_status(), c.worst);
  auto lines_with = [&](auto test) { return std::count_if(s.err.begin(), s.err.end(), test); };
  EXPECT_EQ(lines_with([](const std::string& l) {
              return l.find(") ended with exit status ") != std::string::npos ||
                     l.find(") was ended by signal 9") != std::string::npos;
            }),
            c.counts[0] + c.counts[1] + c.counts[2] + c.counts[3]);
  if (!c.report.empty()) {
    EXPECT_EQ(lines_with([&](const std::string& l) { return l.rfind(c.report, 0) == 0; }), 1);
  }
  las_message_reset();
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, SpawnStatus,
    ::testing::Values(
        StatusCase{"AllClean", Strings(3, "exit 0"), 8, "Starting 3 processes on 3 cores", 0, {0, 0, 0, 0}},
        StatusCase{"NoCores", Strings(3, "exit 0"), 0, "Starting 3 processes on 1 cores", 0, {0, 0, 0, 0}},
        StatusCase{"NegativeCores", Strings(3, "exit 0"), -1, "Starting 3 processes on 1 cores", 0, {0, 0, 0, 0}},
        StatusCase{"NoJobs", {}, 4, "Starting 0 processes on 0 cores", 0, {0, 0, 0, 0}},
        StatusCase{"Highest", {"exit 0", "exit 1", "exit 3", "exit 2", "exit 0"}, 2, "Starting 5 processes on 2 cores",
                   3, {1, 1, 1, 0}, "ERROR: job 3 of 5 (process "},
        StatusCase{"Signal", {"kill -9 $$"}, 1, "Starting 1 processes on 1 cores", 4, {0, 0, 0, 1},
                   "FATAL ERROR: job 1 of 1 (process "}),
    CaseName());

TEST(Spawn, FailedStartNeverWaitsForAnUnrelatedChild) {
  pid_t unrelated = -1;  // a child of this process the fan-out knows nothing about
  char* sleep_args[] = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>("sleep 1"), nullptr};
  ASSERT_EQ(posix_spawn(&unrelated, "/bin/sh", nullptr, nullptr, sleep_args, environ), 0);
  char missing[] = "/no/such/program";
  char* executables[] = {missing, missing};
  const Spawned s = spawn({"exit 0", "exit 0"}, 2, executables);
  EXPECT_EQ(s.worst, 3);
  EXPECT_EQ(las_message_count(LAS_ERROR), 2);
  ASSERT_EQ(s.err.size(), 8u);
  EXPECT_EQ(s.err[1], "Starting thread[0](/no/such/program) with arguments: /bin/sh -c exit 0 ");
  EXPECT_EQ(s.err[2], "  fail. error=2");
  EXPECT_EQ(s.err[3], "ERROR: job 1 of 2 could not be started");
  int status = -1;
  EXPECT_EQ(waitpid(unrelated, &status, WNOHANG), 0) << "the fan-out waited for a child it did not start";
  EXPECT_EQ(waitpid(unrelated, &status, 0), unrelated);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  las_message_reset();
}

// An executable given overrides element zero; without one a name not on
// PATH is reported and counted.
TEST(Spawn, ExecutablesOverElementZeroProgramNotFound) {
  TempDir dir;
  char sh[] = "/bin/sh";
  char* executables[] = {sh};
  Spawned s = spawn({}, 1, executables, {{"not-a-program", "-c", "echo \"$0\" > '" + dir.file("arg0") + "'"}});
  EXPECT_EQ(s.worst, 0);
  EXPECT_EQ(read_file(dir.file("arg0")), "not-a-program\n");
  s = spawn({}, 1, nullptr, {{"no-such-program-3141", "x"}});
  EXPECT_EQ(s.worst, 3);
  ASSERT_EQ(s.err.size(), 6u);
  EXPECT_EQ(s.err[1], "Error: Binary [no-such-program-3141] not found");
  EXPECT_EQ(s.err[2], "Starting thread[0]() with arguments: no-such-program-3141 x ");
  EXPECT_EQ(s.err[3].rfind("  fail. error=", 0), 0u);
  las_message_reset();
}

}  // namespace
