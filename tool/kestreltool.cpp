// Common options, banner and usage of the tools.
#include "tool/kestreltool.hpp"

#include <cstdio>   // fprintf, sscanf
#include <cstdlib>  // strtoul
#include <cstring>  // strcmp

#include "tool/workerpool.hpp"  // processor_count

void KestrelTool::lastitle(LAS_MESSAGE_TYPE level, std::string suffix) {
  if (title_printed) return;
  LASMessage(level, "Kestrel %s (rastcmp project) version %d%s\n", name.c_str(), KESTREL_BUILD, suffix.c_str());
  title_printed = get_message_log_level() <= level;
}

bool KestrelTool::parse_pre(int& i, bool apply) {
  const char* a = argv[i];
  if (strcmp(a, "-v") == 0 || strcmp(a, "-verbose") == 0) {
    if (apply && get_message_log_level() > LAS_VERBOSE) set_message_log_level(LAS_VERBOSE);
    return true;
  }
  if (strcmp(a, "-vv") == 0 || strcmp(a, "-very_verbose") == 0) {
    if (apply) set_message_log_level(LAS_VERY_VERBOSE);
    return true;
  }
  if (strcmp(a, "-quiet") == 0) {
    if (apply) set_message_log_level(LAS_QUIET);
    return true;
  }
  if (strcmp(a, "-silent") == 0) {
    if (apply) set_message_log_level(LAS_WARNING);
    return true;
  }
  if (strcmp(a, "-errors_ignore") == 0) {
    if (apply) halt_on_error(false);
    return true;
  }
  if (strcmp(a, "-force") == 0) {
    if (apply) force = true;
    return true;
  }
  if (strcmp(a, "-print_log_stats") == 0) {
    if (apply) print_log_stats(true);
    return true;
  }
  return false;
}

bool KestrelTool::parse_base(int& i) {
  char* a = argv[i];
  if (strcmp(a, "-h") == 0 || strcmp(a, "-hh") == 0 || strcmp(a, "-help") == 0) {
    lastitle(LAS_INFO, "");
    usage();
    if (strcmp(a, "-hh") != 0) {
      LASMessage(LAS_INFO, "use '-hh' or see %s_README.md to get extended help\n", name.c_str());
    }
    byebye();
  }
  if (strcmp(a, "-version") == 0) {
    lastitle(LAS_INFO, "");
    byebye();
  }
  if (strcmp(a, "-gui") == 0) {
    LASMessage(LAS_WARNING, "not compiled with GUI support. ignoring '-gui' ...");
    return true;
  }
  if (strcmp(a, "-cores") == 0) {
    bool ok = false;
    if (i + 1 >= argc) {
      LASMessage(LAS_ERROR, "'%s' needs 1 argument: number", a);
    } else {
      unsigned int n = 0;
      if (sscanf(argv[i + 1], "%u", &n) != 1) {
        LASMessage(LAS_ERROR, "cannot understand argument '%s' for '%s'", argv[i + 1], a);
      } else {
        cores = static_cast<int>(n);
        ok = true;
      }
    }
    if (!ok) {
      if (!do_halt_on_error()) usage();
      byebye();
    }
    a[0] = '\0';
    argv[i + 1][0] = '\0';
    i++;
    return true;
  }
  if (strcmp(a, "-threads") == 0) {
    if (!kestrel_parse_threads(a, i + 1 < argc ? argv[i + 1] : nullptr, &threads)) {
      if (!do_halt_on_error()) usage();
      byebye();
      return true;
    }
    a[0] = '\0';
    argv[i + 1][0] = '\0';
    i++;
    return true;
  }
  if (strcmp(a, "-cpu64") == 0) {
    cpu64 = true;
    a[0] = '\0';
    return true;
  }
  return false;
}

void KestrelTool::prepare_arguments() {
  for (int i = 1; i < argc; i++) {
    if (static_cast<unsigned char>(argv[i][0]) == 150) argv[i][0] = '-';
  }
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] != '\0') parse_pre(i, true);
  }
}

void KestrelTool::parse_all() {
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '\0') continue;
    if (parse_pre(i, true)) continue;
    parse_base(i);
  }
}

bool kestrel_parse_threads(const char* option, const char* text, unsigned int* threads) {
  if (text == nullptr) {
    LASMessage(LAS_ERROR, "'%s' needs 1 argument: number", option);
    return false;
  }
  char* end = nullptr;
  const unsigned long n = strtoul(text, &end, 10);
  if (end == text || *end != '\0' || text[0] == '-' || n == 0 || n > KESTREL_MAX_THREADS) {
    LASMessage(LAS_ERROR, "cannot understand argument '%s' for '%s'. a number from 1 to %u", text, option,
               KESTREL_MAX_THREADS);
    return false;
  }
  *threads = static_cast<unsigned int>(n);
  return true;
}

unsigned int kestrel_default_threads() {
  const unsigned int n = processor_count();
  return n < KESTREL_MAX_THREADS ? n : KESTREL_MAX_THREADS;
}

unsigned int KestrelTool::chunk_threads() const { return threads ? threads : kestrel_default_threads(); }

std::string KestrelTool::threads_for_children() const { return "-threads " + std::to_string(threads ? threads : 1); }
