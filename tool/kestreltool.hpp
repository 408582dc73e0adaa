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
};

#endif
