// Fan-out of one child process of the running program per input file, at
// most n at a time, each child given the same options as the parent.
#ifndef FANOUT_MULTICORE_HPP
#define FANOUT_MULTICORE_HPP

#include <string>  // command texts, program paths
#include <vector>  // argument lists

class GeoProjectionConverter;
class LASreadOpener;
class SRwriteOpener;
struct LASwriteOpener;

// Runs one child per input file (or one over a list file for merged input),
// at most `cores` at a time, and ends the process with the highest of its
// own and the children's exit statuses. `tool_options` (the program's own
// options as command-line text) go to every child.
[[noreturn]] void rastcmp_multi_core(int argc, char** argv, GeoProjectionConverter* converter, LASreadOpener* opener,
                                     SRwriteOpener* raster_writer, int cores, bool cpu64,
                                     const std::string& tool_options = std::string());

// Builds the command texts (options of the opener, the converter, the point
// writer and `extra_options`, plus every argument no parser took) and runs
// the jobs. `mode` 3 runs one job over a list file, any other value one job
// per input file. `point_writer` may be null. Ends the process.
[[noreturn]] void kestrel_multi_core_standard(int argc, char** argv, GeoProjectionConverter* converter,
                                              LASreadOpener* opener, LASwriteOpener* point_writer, int cores,
                                              const char* extra_options, unsigned int mode);

namespace details {

constexpr unsigned int kListMode = 3;

// The list file of this process: temp_path(dir) + "file_list_buffered." +
// process id + ".txt".
std::string list_file_name(const std::string& dir);

// Writes one name per line into a newly created file (an existing file of
// that name is replaced, a symbolic link is never followed). False if the
// file cannot be created or written.
bool write_list_file(const std::string& name, const LASreadOpener& opener);

// What one job's command text is built from.
struct JobOptions {
  int argc = 0;
  char** argv = nullptr;
  const GeoProjectionConverter* converter = nullptr;
  const LASreadOpener* opener = nullptr;
  const LASwriteOpener* point_writer = nullptr;
  const char* extra_options = nullptr;
  bool list_job = false;   // one job over the list file ("-lof")
  std::string list_file;   // the list file's name, empty when there is none
};

// The command text of job `job` (options only, never the program's name).
std::string command_text(const JobOptions& options, unsigned int job);

// Splits a command text at `separator` outside quotes (double and single
// quotes each open and close a quoted stretch), removes double quotes,
// drops empty unquoted tokens and puts argv[0] in front.
std::vector<std::string> convertToArgumentVector(const char* command, char separator, char** argv);

// A null-terminated array of the strings, all in one malloc'ed block that
// the caller frees with free().
char** strlist(const std::vector<std::string>& list);

// The path to start for `program`: a name beginning with '/' or '.', or
// holding a '/', unchanged; otherwise the first executable match on PATH.
// Not found: "Error: Binary [name] not found" on stderr and "".
std::string bin_location_get(const std::string& program);

// The path of the running program for its children: argv0 located as
// above, falling back to /proc/self/exe when that finds nothing executable;
// "" (without a message) when even that fails.
std::string self_location_get(const char* argv0);

// Fills all `count` entries of `array` with the one `executable` pointer.
void kestrel_multi_core_init_command_array_with_executable(int count, char** array, char* executable);

// Starts the jobs (each an argument list whose element 0 becomes the
// child's argv[0]) with posix_spawn, at most `cores` at a time, polls them
// every 2 ms and returns when all have ended. The program of job j is
// executables[j] when given, else element 0 located on PATH. Returns the
// highest exit status of the children (a child that could not be started
// counts 3, one ended by a signal 4); each failing child is also reported
// through LASMessage at the level its status stands for.
int spawn_processes(int count, char** executables, const std::vector<std::vector<std::string>>& jobs, int cores);

// Turns the command texts into argument lists and runs them.
int kestrel_multi_core(int count, char** executables, char** commands, int cores, char** argv);

}  // namespace details

#endif
