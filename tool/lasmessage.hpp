// Messages, their levels and counters, and the orderly end of the process.
#ifndef TOOL_LASMESSAGE_HPP
#define TOOL_LASMESSAGE_HPP

#include <cstdarg>  // va_list for buildMessage
#include <cstdint>  // int64_t counters
#include <string>   // format_message

enum LAS_MESSAGE_TYPE {
  LAS_DEBUG = 0,
  LAS_VERY_VERBOSE = 1,
  LAS_VERBOSE = 2,
  LAS_INFO = 3,
  LAS_WARNING = 4,
  LAS_SERIOUS_WARNING = 5,
  LAS_ERROR = 6,
  LAS_FATAL_ERROR = 7,
  LAS_QUIET = 8
};

typedef void (*LASMessageHandler)(LAS_MESSAGE_TYPE type, const char* text, void* user_data);

constexpr int LAS_MESSAGE_BUFFER_SIZE = 8192;

void LASMessage(LAS_MESSAGE_TYPE type, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

void set_message_log_level(LAS_MESSAGE_TYPE level);
LAS_MESSAGE_TYPE get_message_log_level();
const char* las_message_type_string(LAS_MESSAGE_TYPE type);
void buildMessage(char* buffer, LAS_MESSAGE_TYPE type, const char* format, va_list args);
void format_message(std::string& text, unsigned int indent, bool add_newline);
void las_default_message_handler(LAS_MESSAGE_TYPE type, const char* text, void* user_data);
void set_message_handler(LASMessageHandler handler, void* user_data = nullptr);
void unset_message_handler();

// Number of messages issued at a level (0..7), shown or not.
int64_t las_message_count(LAS_MESSAGE_TYPE type);
// Resets counters and repeat state (tests only).
void las_message_reset();
// The exit status the counters call for.
int las_exit_status();

void halt_on_error(bool halt);
bool do_halt_on_error();
void wait_on_exit(bool wait);
void print_log_stats(bool print);

// Called by byebye() with the exit status before anything else; a hook that
// throws gives control back to its caller instead of ending the process
// (the parsing fuzz targets use it). Null restores the plain exit.
typedef void (*LASExitHook)(int status);
void set_exit_hook(LASExitHook hook);

[[noreturn]] void byebye();

template <typename... Args>
inline void laserror(const char* format, Args... args) {
  LASMessage(LAS_ERROR, format, args...);
  if (do_halt_on_error()) byebye();
}
inline void laserror(const char* format) {
  LASMessage(LAS_ERROR, "%s", format);
  if (do_halt_on_error()) byebye();
}

#endif
