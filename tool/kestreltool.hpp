// The command-line frame shared by the tools: name, arguments, banner,
// common options and the hooks a tool overrides.
#ifndef TOOL_KESTRELTOOL_HPP
#define TOOL_KESTRELTOOL_HPP

#include <string>  // tool name, banner suffix

#include "tool/lasmessage.hpp"  // LAS_MESSAGE_TYPE

constexpr int KESTREL_BUILD = 251128;

class KestrelTool {
 public:
  bool title_printed = false;
  int argc = 0;
  char** argv = nullptr;
  bool force = false;
  int cores = 1;
  unsigned int threads = 0;  // "-threads n"; 0 when not given
  bool cpu64 = false;
  std::string name;

  KestrelTool() = default;
  KestrelTool(const std::string& tool_name, int arg_count, char** arg_vector)
      : argc(arg_count), argv(arg_vector), name(tool_name) {}
  virtual ~KestrelTool() = default;

  virtual void lastitle(LAS_MESSAGE_TYPE level, std::string suffix);
  virtual void usage() {}
  virtual bool parse_pre(int& i, bool apply);
  virtual bool parse_base(int& i);

  // Runs parse_pre (applied) and then parse_base over every argument that
  // is not blank. Arguments neither takes are left as they are.
  void parse_all();

  // Reads a byte 150 at the start of an argument as '-' and applies the
  // message options (parse_pre) at once, so that they govern the messages
  // of every parser that runs before parse_all().
  void prepare_arguments();

  // The threads that decode or encode point chunks: "-threads n" when
  // given, else every processor in a single-process run. The children of
  // "-cores" get "-threads 1" unless the user chose, so that the two do not
  // multiply (see threads_for_children).
  unsigned int chunk_threads() const;
  // The "-threads n" text for the children of "-cores".
  std::string threads_for_children() const;
};

// The most threads "-threads" takes.
constexpr unsigned int KESTREL_MAX_THREADS = 64;

// Reads the number after "-threads" (`text` may be null when it is
// missing). False after an ERROR for a missing or bad number.
bool kestrel_parse_threads(const char* option, const char* text, unsigned int* threads);

// What "-threads" left at 0 (not given) means in a single-process run:
// every processor, up to KESTREL_MAX_THREADS.
unsigned int kestrel_default_threads();

#endif
