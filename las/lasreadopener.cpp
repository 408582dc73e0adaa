// Input file list: takes "-i name..." from the command line.
#include "las/lasreadopener.hpp"

#include <cstring>  // strcmp, strrchr

#include "tool/lasmessage.hpp"  // LASMessage

void LASreadOpener::parse(int argc, char** argv, bool, bool) {
  for (int i = 1; i < argc; i++) {
    if (argv[i][0] == '\0') continue;
    if (strcmp(argv[i], "-h") == 0 || strcmp(argv[i], "-help") == 0) return;
    if (strcmp(argv[i], "-i") == 0) {
      if (i + 1 >= argc) {
        LASMessage(LAS_ERROR, "'%s' needs at least 1 argument: file_name or wild_card", argv[i]);
        if (do_halt_on_error()) byebye();
        return;
      }
      argv[i][0] = '\0';
      i++;
      add_file_name(argv[i], unique);
      argv[i][0] = '\0';
      while (i + 1 < argc && argv[i + 1][0] != '\0' && argv[i + 1][0] != '-') {
        i++;
        add_file_name(argv[i], unique);
        argv[i][0] = '\0';
      }
    } else if (strcmp(argv[i], "-stdin") == 0) {
      use_stdin = true;
      argv[i][0] = '\0';
    } else if (strcmp(argv[i], "-merged") == 0) {
      merged = true;
      argv[i][0] = '\0';
    } else if (strcmp(argv[i], "-unique") == 0) {
      unique = true;
      argv[i][0] = '\0';
    }
  }
}

const char* LASreadOpener::get_file_name_only(unsigned int i) const {
  const char* name = names[i].c_str();
  const char* cut = name;
  for (const char* p = name; *p; p++) {
    if (*p == '/' || *p == '\\' || *p == ':') cut = p + 1;
  }
  return cut;
}

const char* LASreadOpener::get_file_extension_only(unsigned int i) const {
  const char* name = names[i].c_str();
  const char* dot = strrchr(name, '.');
  if (dot == nullptr || dot == name) return nullptr;
  return dot + 1;
}

bool LASreadOpener::add_file_name(const char* name, bool only_unique) {
  if (only_unique) {
    for (const auto& n : names)
      if (n == name) return false;
  }
  names.emplace_back(name);
  return true;
}
