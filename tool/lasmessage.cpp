// Message filtering, repeat suppression, prefixes, counters and exit status.
#include "tool/lasmessage.hpp"

#include <cstdio>   // vsnprintf, fprintf, getc
#include <cstdlib>  // exit
#include <cstring>  // strlen

namespace {

LAS_MESSAGE_TYPE las_message_level = LAS_INFO;
int64_t lasmessage_cnt[8] = {0, 0, 0, 0, 0, 0, 0, 0};
LASMessageHandler message_handler = &las_default_message_handler;
void* message_user_data = nullptr;
std::string current_msg;
unsigned int rep_log_msg = 0;
bool halt_on_error_ = true;
bool wait_on_exit_ = false;
bool print_log_stats_ = false;

constexpr unsigned int kMaxRepeats = 15;

}  // namespace

void LASMessage(LAS_MESSAGE_TYPE type, const char* format, ...) {
  if (type >= LAS_DEBUG && type <= LAS_FATAL_ERROR) lasmessage_cnt[type]++;
  if (type < las_message_level) return;
  char buffer[LAS_MESSAGE_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  buildMessage(buffer, type, format, args);
  va_end(args);

  const size_t len = strlen(format);
  if (current_msg.size() == len && current_msg.compare(0, len, format) == 0) {
    rep_log_msg++;
    if (rep_log_msg > kMaxRepeats) return;
    message_handler(type, buffer, message_user_data);
    return;
  }
  if (rep_log_msg > kMaxRepeats) {
    std::string note = "(log message repeated " + std::to_string(rep_log_msg) + " times)";
    message_handler(LAS_INFO, note.c_str(), message_user_data);
  }
  current_msg.assign(format, len);
  rep_log_msg = 1;
  message_handler(type, buffer, message_user_data);
}

void set_message_log_level(LAS_MESSAGE_TYPE level) {
  if (level == las_message_level) return;
  las_message_level = level;
  LASMessage(LAS_VERY_VERBOSE, "Log level [%s]", las_message_type_string(level));
}

LAS_MESSAGE_TYPE get_message_log_level() { return las_message_level; }

const char* las_message_type_string(LAS_MESSAGE_TYPE type) {
  switch (type) {
    case LAS_DEBUG: return "DEBUG";
    case LAS_VERY_VERBOSE: return "VERY_VERBOSE";
    case LAS_VERBOSE: return "VERBOSE";
    case LAS_INFO: return "INFO";
    case LAS_WARNING: return "WARNING";
    case LAS_SERIOUS_WARNING: return "SERIOUS_WARNING";
    case LAS_ERROR: return "ERROR";
    case LAS_FATAL_ERROR: return "FATAL_ERROR";
    case LAS_QUIET: return "QUIET";
  }
  return "?";
}

void buildMessage(char* buffer, LAS_MESSAGE_TYPE, const char* format, va_list args) {
  const int full = vsnprintf(buffer, LAS_MESSAGE_BUFFER_SIZE, format, args);
  if (full < 0) {
    buffer[0] = '\0';
    return;
  }
  if (full > LAS_MESSAGE_BUFFER_SIZE) {
    fprintf(stderr, "INTERNAL: message cropped from %d to %d chars", full, LAS_MESSAGE_BUFFER_SIZE);
    return;
  }
  if (full == LAS_MESSAGE_BUFFER_SIZE) return;  // cropped by one: keeps its end
  size_t n = static_cast<size_t>(full);
  while (n > 0 && buffer[n - 1] == '\n') buffer[--n] = '\0';
}

void format_message(std::string& text, unsigned int indent, bool add_newline) {
  const std::string pad = "\n" + std::string(indent, ' ');
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && i + 1 < text.size() && text[i + 1] == '\t') {
      out += pad;
      ++i;
    } else {
      out += text[i];
    }
  }
  if (add_newline) out += '\n';
  text.swap(out);
}

void las_default_message_handler(LAS_MESSAGE_TYPE type, const char* text, void*) {
  const char* prefix = nullptr;
  switch (type) {
    case LAS_WARNING: prefix = "WARNING: "; break;
    case LAS_SERIOUS_WARNING: prefix = "SERIOUS WARNING: "; break;
    case LAS_ERROR: prefix = "ERROR: "; break;
    case LAS_FATAL_ERROR: prefix = "FATAL ERROR: "; break;
    default: break;
  }
  if (prefix == nullptr) {
    fprintf(stderr, "%s\n", text);
    return;
  }
  std::string s(text);
  format_message(s, static_cast<unsigned int>(strlen(prefix)), true);
  fprintf(stderr, "%s%s", prefix, s.c_str());
}

void set_message_handler(LASMessageHandler handler, void* user_data) {
  message_handler = handler;
  message_user_data = user_data;
}

void unset_message_handler() {
  message_handler = &las_default_message_handler;
  message_user_data = nullptr;
}

int64_t las_message_count(LAS_MESSAGE_TYPE type) {
  if (type < LAS_DEBUG || type > LAS_FATAL_ERROR) return 0;
  return lasmessage_cnt[type];
}

void las_message_reset() {
  for (auto& c : lasmessage_cnt) c = 0;
  current_msg.clear();
  rep_log_msg = 0;
  las_message_level = LAS_INFO;
  halt_on_error_ = true;
  wait_on_exit_ = false;
  print_log_stats_ = false;
}

int las_exit_status() {
  if (lasmessage_cnt[LAS_FATAL_ERROR] > 0) return 4;
  if (lasmessage_cnt[LAS_ERROR] > 0) return 3;
  if (lasmessage_cnt[LAS_SERIOUS_WARNING] > 0) return 2;
  if (lasmessage_cnt[LAS_WARNING] > 0) return 1;
  return 0;
}

namespace {
LASExitHook exit_hook_ = nullptr;
}  // namespace

void halt_on_error(bool halt) { halt_on_error_ = halt; }
bool do_halt_on_error() { return halt_on_error_; }
void wait_on_exit(bool wait) { wait_on_exit_ = wait; }
void print_log_stats(bool print) { print_log_stats_ = print; }

void set_exit_hook(LASExitHook hook) { exit_hook_ = hook; }

void byebye() {
  if (exit_hook_ != nullptr) exit_hook_(las_exit_status());
  if (print_log_stats_) {
    const unsigned long fe = static_cast<unsigned long>(lasmessage_cnt[LAS_FATAL_ERROR]);
    const unsigned long e = static_cast<unsigned long>(lasmessage_cnt[LAS_ERROR]);
    const unsigned long sw = static_cast<unsigned long>(lasmessage_cnt[LAS_SERIOUS_WARNING]);
    const unsigned long w = static_cast<unsigned long>(lasmessage_cnt[LAS_WARNING]);
    const unsigned long i = static_cast<unsigned long>(lasmessage_cnt[LAS_INFO]);
    LASMessage(LAS_INFO, "Log stats: FE=%lu,E=%lu,SW=%lu,W=%lu,I=%lu", fe, e, sw, w, i);
  }
  if (wait_on_exit_) {
    fprintf(stderr, "<press ENTER>\n");
    getc(stdin);
  }
  fflush(stderr);
  exit(las_exit_status());
}
