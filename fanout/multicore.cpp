// Fan-out of one child process of the running program per input file: the
// command texts, the list file, argument splitting and the spawn/poll loop.
#include "fanout/multicore.hpp"

#include <fcntl.h>     // open flags for the list file
#include <signal.h>    // sigaction to make children waitable
#include <spawn.h>     // posix_spawn
#include <sys/stat.h>  // stat for executable checks
#include <sys/wait.h>  // waitpid and the status macros
#include <unistd.h>    // readlink, access, unlink, close

#include <algorithm>  // std::max, std::min
#include <cerrno>     // errno for EINTR, EEXIST
#include <cstdio>     // fprintf, fdopen, vsnprintf
#include <cstdlib>    // malloc, free
#include <cstring>    // strlen, memcpy, strchr
#include <ctime>      // nanosleep

#include "filter/lasfilter.hpp"            // LASfilter::unparse, num_criteria
#include "filter/lasignore.hpp"            // LASignore::unparse
#include "filter/lastransform.hpp"         // LAStransform::unparse, num_operations
#include "geo/geoprojectionconverter.hpp"  // has_projection, unit descriptions, unparse
#include "lasio/lasreadopener.hpp"           // file list, unparse, is_buffered
#include "tool/lasmessage.hpp"             // LASMessage, do_halt_on_error, byebye
#include "tool/lasutility.hpp"             // temp_path, FileDelete, PATH search
#include "fanout/laswriteopener.hpp"         // LASwriteOpener fields
#include "fanout/srwriteopener.hpp"          // SRwriteOpener::set_file_name, unparse

extern char** environ;

namespace {


// Renders through an unparse(char*) that cannot be told the buffer size:
// the scratch buffer allows 4 KiB per rendered item, far above what one
// criterion, operation or the ignore codes can write.
template <typename Renderer>
void append_rendered(std::string& text, size_t items, Renderer render) {
  std::string scratch(8192 + 4096 * items, '\0');
  const int n = render(&scratch[0]);
  if (n > 0) text.append(scratch.data(), std::min(static_cast<size_t>(n), strlen(scratch.c_str())));
}

bool is_executable_file(const std::string& path) {
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

void sleep_2ms() {
  timespec wait = {0, 2000000};
  timespec rest;
  while (nanosleep(&wait, &rest) != 0 && errno == EINTR) wait = rest;
}

// Children are only waitable when SIGCHLD is not ignored (an ignored
// SIGCHLD can be inherited from whoever started this process).
void make_children_waitable() {
  struct sigaction current;
  if (sigaction(SIGCHLD, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) {
    struct sigaction deflt = {};
    deflt.sa_handler = SIG_DFL;
    sigemptyset(&deflt.sa_mask);
    sigaction(SIGCHLD, &deflt, nullptr);
  }
}

LAS_MESSAGE_TYPE level_of_status(int status) {
  switch (status) {
    case 1: return LAS_WARNING;
    case 2: return LAS_SERIOUS_WARNING;
    case 3: return LAS_ERROR;
    default: return LAS_FATAL_ERROR;
  }
}

// The status a job counts with, reported when it is not 0.
int job_status(int wait_status, int job, int count, pid_t pid) {
  if (WIFEXITED(wait_status)) {
    const int code = WEXITSTATUS(wait_status);
    if (code != 0) {
      LASMessage(level_of_status(code), "job %d of %d (process %d) ended with exit status %d", job + 1, count,
                 static_cast<int>(pid), code);
    }
    return std::min(code, 4);
  }
  if (WIFSIGNALED(wait_status)) {
    LASMessage(LAS_FATAL_ERROR, "job %d of %d (process %d) was ended by signal %d", job + 1, count,
               static_cast<int>(pid), WTERMSIG(wait_status));
  } else {
    LASMessage(LAS_FATAL_ERROR, "job %d of %d (process %d) ended abnormally", job + 1, count, static_cast<int>(pid));
  }
  return 4;
}

}  // namespace

namespace details {

std::string list_file_name(const std::string& dir) {
  return temp_path(dir) + "file_list_buffered." + std::to_string(GetCurrentProcessIdUni()) + ".txt";
}

bool write_list_file(const std::string& name, const LASreadOpener& opener) {
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(name.c_str(), flags, 0600);
  if (fd < 0 && errno == EEXIST) {
    // left over from an earlier run of the same process id; a link is
    // removed, never written through
    unlink(name.c_str());
    fd = open(name.c_str(), flags, 0600);
  }
  if (fd < 0) return false;
  FILE* file = fdopen(fd, "w");
  if (file == nullptr) {
    close(fd);
    unlink(name.c_str());
    return false;
  }
  bool ok = true;
  for (unsigned int i = 0; i < opener.get_file_name_number(); i++) {
    if (fprintf(file, "%s\n", opener.get_file_name(i)) < 0) ok = false;
  }
  if (fclose(file) != 0) ok = false;
  return ok;
}

std::string command_text(const JobOptions& o, unsigned int job) {
  std::string text;
  if (o.list_job) {
    string_appendf(text, "-lof \"%s\" ", o.list_file.c_str());
  } else {
    const char* name = o.opener->get_file_name(job);
    string_appendf(text, "-i \"%s\" ", name ? name : "");
  }
  o.opener->unparse(text);
  if (o.opener->files_are_flightlines != 0) string_appendf(text, "-faf_index %d ", static_cast<int>(job));
  if (o.opener->is_buffered()) {
    string_appendf(text, "-buffered %g -neighbors_lof \"%s\" ", static_cast<double>(o.opener->get_buffer_size()),
            o.list_file.c_str());
  }
  if (o.extra_options) string_appendf(text, "%s ", o.extra_options);
  if (const LASwriteOpener* w = o.point_writer) {
    if (!w->file_name.empty()) string_appendf(text, "-o \"%s\" ", w->file_name.c_str());
    if (!w->directory.empty()) string_appendf(text, "-odir \"%s\" ", w->directory.c_str());
    if (!w->appendix.empty()) string_appendf(text, "-odix \"%s\" ", w->appendix.c_str());
    if (w->cut) string_appendf(text, "-ocut %u ", w->cut);
    if (!w->format_name.empty()) string_appendf(text, "-o%s ", w->format_name.c_str());
    if (w->is_text()) {
      if (!w->parse_string.empty()) string_appendf(text, "-oparse %s ", w->parse_string.c_str());
      if (!w->separator.empty()) string_appendf(text, "-osep %s ", w->separator.c_str());
    }
  }
  if (const LASfilter* filter = o.opener->filter) {
    append_rendered(text, filter->num_criteria, [filter](char* s) { return filter->unparse(s); });
  }
  if (const LAStransform* transform = o.opener->transform) {
    const size_t items = transform->num_operations + (transform->filter ? transform->filter->num_criteria : 0);
    append_rendered(text, items, [transform](char* s) { return transform->unparse(s); });
  }
  if (const LASignore* ignore = o.opener->ignore) {
    append_rendered(text, 1, [ignore](char* s) { return ignore->unparse(s); });
  }
  if (const GeoProjectionConverter* c = o.converter) {
    if (!c->has_projection(true) && !c->has_projection(false) && !c->proj_requested()) {
      if (c->has_coordinate_units(true)) string_appendf(text, "-%s ", c->get_coordinate_unit_description_string(false, true));
      if (c->has_elevation_units(true)) {
        string_appendf(text, "-elevation_%s ", c->get_elevation_unit_description_string(false, true));
      }
    } else {
      c->unparse(text);
    }
  }
  for (int i = 1; i < o.argc; i++) {
    const char* arg = o.argv[i];
    if (arg == nullptr || arg[0] == '\0') continue;
    // a blank would split the argument and a single quote would open a
    // quoted stretch: both travel inside double quotes
    if (strchr(arg, ' ') || strchr(arg, '\'')) {
      string_appendf(text, "\"%s\" ", arg);
    } else {
      string_appendf(text, "%s ", arg);
    }
  }
  return text;
}

std::vector<std::string> convertToArgumentVector(const char* command, char separator, char** argv) {
  std::vector<std::string> tokens;
  tokens.push_back(argv && argv[0] ? argv[0] : "");
  if (command == nullptr) return tokens;
  std::string token;
  bool quoted = false;  // the token held a quote character
  char open = '\0';     // the quote of the current stretch
  auto finish = [&]() {
    if (!token.empty() || quoted) {
      std::string clean;
      for (char c : token) {
        if (c != '"') clean += c;
      }
      tokens.push_back(clean);
    }
    token.clear();
    quoted = false;
  };
  for (const char* p = command; *p; p++) {
    const char c = *p;
    if (open == '\0' && c == separator) {
      finish();
      continue;
    }
    if (c == '"' || c == '\'') {
      if (open == '\0') {
        open = c;
        quoted = true;
      } else if (open == c) {
        open = '\0';
      }
    }
    token += c;
  }
  finish();
  return tokens;
}

char** strlist(const std::vector<std::string>& list) {
  size_t bytes = (list.size() + 1) * sizeof(char*);
  for (const std::string& s : list) bytes += s.size() + 1;
  char** array = static_cast<char**>(malloc(bytes));
  if (array == nullptr) return nullptr;
  char* text = reinterpret_cast<char*>(array + list.size() + 1);
  for (size_t i = 0; i < list.size(); i++) {
    array[i] = text;
    memcpy(text, list[i].c_str(), list[i].size() + 1);
    text += list[i].size() + 1;
  }
  array[list.size()] = nullptr;
  return array;
}

std::string bin_location_get(const std::string& program) {
  if (!program.empty() && (program[0] == '/' || program[0] == '.')) return program;
  const std::string path = ::bin_location_get(program);
  if (path.empty()) fprintf(stderr, "Error: Binary [%s] not found\n", program.c_str());
  return path;
}

std::string self_location_get(const char* argv0) {
  const std::string name = argv0 ? argv0 : "";
  if (!name.empty()) {
    const std::string path =
        (name[0] == '.' || name.find('/') != std::string::npos) ? name : ::bin_location_get(name);
    if (is_executable_file(path)) return path;
  }
  char link[4096];
  const ssize_t n = readlink("/proc/self/exe", link, sizeof(link) - 1);
  if (n > 0) {
    const std::string path(link, static_cast<size_t>(n));
    if (is_executable_file(path)) return path;
  }
  if (access("/proc/self/exe", X_OK) == 0) return "/proc/self/exe";
  return "";
}

void kestrel_multi_core_init_command_array_with_executable(int count, char** array, char* executable) {
  for (int i = 0; i < count; i++) array[i] = executable;
}

int spawn_processes(int count, char** executables, const std::vector<std::vector<std::string>>& jobs, int cores) {
  count = std::max(0, std::min(count, static_cast<int>(jobs.size())));
  const int slots = count == 0 ? 0 : std::max(1, std::min(count, cores));
  fprintf(stderr, "Starting %d processes on %d cores\n", count, slots);
  make_children_waitable();

  std::vector<pid_t> pid(static_cast<size_t>(slots), -1);
  std::vector<int> job_in(static_cast<size_t>(slots), -1);
  int worst = 0;

  auto start = [&](int s, int j) {
    const std::vector<std::string>& args = jobs[static_cast<size_t>(j)];
    std::string program;
    if (executables && executables[j] && executables[j][0]) {
      program = executables[j];
    } else {
      program = bin_location_get(args.empty() ? std::string() : args[0]);
    }
    std::string line = "Starting thread[" + std::to_string(s) + "](" + program + ") with arguments: ";
    for (const std::string& a : args) line += a + " ";
    line += "\n";
    fputs(line.c_str(), stderr);
    char** argv = strlist(args);
    pid_t child = -1;
    const int rc = argv ? posix_spawn(&child, program.c_str(), nullptr, nullptr, argv, environ) : ENOMEM;
    free(argv);
    if (rc != 0) {
      fprintf(stderr, "  fail. error=%d\n", rc);
      LASMessage(LAS_ERROR, "job %d of %d could not be started", j + 1, count);
      worst = std::max(worst, 3);
      pid[static_cast<size_t>(s)] = -1;  // free again; never waited for
      return;
    }
    pid[static_cast<size_t>(s)] = child;
    job_in[static_cast<size_t>(s)] = j;
  };

  for (int s = 0; s < slots; s++) start(s, s);
  int next = slots;
  for (;;) {
    bool running = false;
    for (int s = 0; s < slots; s++) running = running || pid[static_cast<size_t>(s)] > 0;
    if (!running && next >= count) break;
    sleep_2ms();
    for (int s = 0; s < slots; s++) {
      const pid_t p = pid[static_cast<size_t>(s)];
      if (p <= 0) continue;
      int wait_status = 0;
      const pid_t r = waitpid(p, &wait_status, WNOHANG);
      if (r == 0 || (r < 0 && errno == EINTR)) continue;
      if (r == p) {
        worst = std::max(worst, job_status(wait_status, job_in[static_cast<size_t>(s)], count, p));
      } else {
        LASMessage(LAS_ERROR, "lost track of job %d of %d (process %d)", job_in[static_cast<size_t>(s)] + 1, count,
                   static_cast<int>(p));
        worst = std::max(worst, 3);
      }
      pid[static_cast<size_t>(s)] = -1;
    }
    for (int s = 0; s < slots && next < count; s++) {
      if (pid[static_cast<size_t>(s)] <= 0) start(s, next++);
    }
  }
  fprintf(stderr, "Sucessfully started %d jobs\n", count);
  return worst;
}

int kestrel_multi_core(int count, char** executables, char** commands, int cores, char** argv) {
  std::vector<std::vector<std::string>> jobs;
  jobs.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int j = 0; j < count; j++) jobs.push_back(convertToArgumentVector(commands[j], ' ', argv));
  return spawn_processes(count, executables, jobs, cores);
}

}  // namespace details

void kestrel_multi_core_standard(int argc, char** argv, GeoProjectionConverter* converter, LASreadOpener* opener,
                                 LASwriteOpener* point_writer, int cores, const char* extra_options,
                                 unsigned int mode) {
  details::JobOptions o;
  o.argc = argc;
  o.argv = argv;
  o.converter = converter;
  o.opener = opener;
  o.point_writer = point_writer;
  o.extra_options = extra_options;
  o.list_job = mode == details::kListMode || opener->merged;
  const unsigned int count = o.list_job ? 1u : opener->get_file_name_number();

  // Buffered input keeps one job per file; the list then names the
  // neighbours of each.
  bool list_written = false;
  if (o.list_job || opener->is_buffered()) {
    o.list_file = details::list_file_name(opener->temp_file_base);
    list_written = details::write_list_file(o.list_file, *opener);
    if (!list_written) {
      LASMessage(LAS_ERROR, "cannot open '%s'", o.list_file.c_str());
      if (do_halt_on_error()) byebye();
    }
  }

  std::vector<std::string> texts;
  texts.reserve(count);
  for (unsigned int j = 0; j < count; j++) texts.push_back(details::command_text(o, j));
  std::vector<char*> commands;
  for (std::string& t : texts) commands.push_back(&t[0]);

  std::string self = details::self_location_get(argc > 0 ? argv[0] : nullptr);
  std::vector<char*> executables(count);
  details::kestrel_multi_core_init_command_array_with_executable(static_cast<int>(count), executables.data(),
                                                                 &self[0]);
  details::kestrel_multi_core(static_cast<int>(count), executables.data(), commands.data(), cores, argv);

  texts.clear();
  if (list_written) FileDelete(o.list_file, LAS_WARNING);
  byebye();
}

void rastcmp_multi_core(int argc, char** argv, GeoProjectionConverter* converter, LASreadOpener* opener,
                        SRwriteOpener* raster_writer, int cores, bool cpu64, const std::string& tool_options) {
  if (opener->get_file_name_number() > 1 && !opener->merged) raster_writer->set_file_name(nullptr);
  std::string options = raster_writer->unparse(true);
  if (!tool_options.empty()) options += (options.empty() ? "" : " ") + tool_options;
  kestrel_multi_core_standard(argc, argv, converter, opener, nullptr, cores, options.c_str(), cpu64 ? 1u : 0u);
}
