// The ignore settings: option parsing and rendering.
#include "filter/lasignore.hpp"

#include <cctype>   // isdigit
#include <cstdio>   // sprintf, sscanf
#include <cstring>  // strcmp

#include "tool/lasmessage.hpp"  // LASMessage, laserror

namespace {

struct FlagOption {
  const char* option;
  uint32_t bits;
};

const FlagOption kFlagOptions[] = {
    {"-ignore_first_of_many", LASignore::FIRST_OF_MANY},
    {"-ignore_last_of_many", LASignore::LAST_OF_MANY},
    {"-ignore_intermediate", LASignore::INTERMEDIATE},
    {"-ignore_single", LASignore::SINGLE},
    {"-ignore_first", LASignore::FIRST_OF_MANY | LASignore::SINGLE},
    {"-ignore_last", LASignore::LAST_OF_MANY | LASignore::SINGLE},
    {"-ignore_synthetic", LASignore::SYNTHETIC},
    {"-ignore_keypoint", LASignore::KEYPOINT},
    {"-ignore_withheld", LASignore::WITHHELD},
    {"-ignore_overlap", LASignore::OVERLAP},
};

}  // namespace

void LASignore::set_code(uint32_t code) {
  ignore_mask[0] |= 1u << (code / 32);
  ignore_mask[1 + code / 32] |= 1u << (code % 32);
}

bool LASignore::active() const {
  for (uint32_t word : ignore_mask)
    if (word != 0) return true;
  return false;
}

bool LASignore::parse(int& i, int argc, char** argv) {
  char* option = argv[i];
  if (strcmp(option, "-ignore_class") == 0 || strcmp(option, "-ignore_extended_class") == 0) {
    if (i + 1 >= argc || !isdigit(static_cast<unsigned char>(argv[i + 1][0]))) {
      laserror("'%s' needs 1 at least argument: classification", option);
      return false;
    }
    int last = i;
    while (last + 1 < argc && isdigit(static_cast<unsigned char>(argv[last + 1][0]))) {
      const char* value = argv[last + 1];
      unsigned int code;
      if (sscanf(value, "%u", &code) != 1) {
        laserror("'%s' needs arguments between 0 and 255 but '%s' is no valid code", option, value);
        return false;
      }
      if (code > 255) {
        laserror("'%s' needs arguments between 0 and 255 but '%u' is out of range", option, code);
        return false;
      }
      set_code(code);
      last++;
    }
    for (int k = i; k <= last; k++) argv[k][0] = '\0';
    i = last;
    return true;
  }
  if (strcmp(option, "-ignore_class_mask") == 0) {
    if (i + 1 >= argc) {
      laserror("'%s' needs 1 argument: mask", option);
      return false;
    }
    unsigned int mask;
    if (sscanf(argv[i + 1], "%u", &mask) != 1) {
      laserror("'%s' needs argument between 0x00000000 and 0xFFFFFFFF but '%s' is no valid mask", option,
               argv[i + 1]);
      return false;
    }
    if (mask == 0 || mask == 0xFFFFFFFFu) {
      laserror("'%s' needs argument between 0x00000000 and 0xFFFFFFFF but %u makes no sense", option, mask);
      return false;
    }
    ignore_mask[0] |= 1u;
    ignore_mask[1] = mask;
    argv[i][0] = '\0';
    argv[i + 1][0] = '\0';
    i++;
    return true;
  }
  for (const FlagOption& flag : kFlagOptions) {
    if (strcmp(option, flag.option) == 0) {
      ignore_mask[0] |= flag.bits;
      argv[i][0] = '\0';
      return true;
    }
  }
  laserror("cannot understand argument '%s'", option);
  return false;
}

int LASignore::unparse(char* string) const {
  int n = 0;
  string[0] = '\0';
  if (ignore_mask[0] & 0xFFu) {
    n += sprintf(&string[n], "-ignore_class ");
    for (uint32_t code = 0; code < 256; code++) {
      if (ignore_mask[1 + code / 32] & (1u << (code % 32))) n += sprintf(&string[n], "%d ", static_cast<int>(code));
    }
  }
  const uint32_t flags = ignore_mask[0];
  const bool first = (flags & FIRST_OF_MANY) != 0;
  const bool last = (flags & LAST_OF_MANY) != 0;
  if (!(flags & SINGLE)) {
    if (first) n += sprintf(&string[n], "-ignore_first_of_many ");
    if (last) n += sprintf(&string[n], "-ignore_last_of_many ");
  } else if (first || last) {
    if (first) n += sprintf(&string[n], "-ignore_first ");
    if (last) n += sprintf(&string[n], "-ignore_last ");
  } else {
    n += sprintf(&string[n], "-ignore_single ");
  }
  if (flags & INTERMEDIATE) n += sprintf(&string[n], "-ignore_intermediate ");
  if (flags & SYNTHETIC) n += sprintf(&string[n], "-ignore_synthetic ");
  if (flags & KEYPOINT) n += sprintf(&string[n], "-ignore_keypoint ");
  if (flags & WITHHELD) n += sprintf(&string[n], "-ignore_withheld ");
  if (flags & OVERLAP) n += sprintf(&string[n], "-ignore_overlap ");
  return n;
}

void LASignore::usage() const {
  LASMessage(LAS_INFO,
             "Ignore points with certain classifications or flags in the computation.\n"
             "  -ignore_class 7 18\n"
             "  -ignore_extended_class 42\n"
             "  -ignore_class_mask 1048704\n"
             "  -ignore_first -ignore_last -ignore_single\n"
             "  -ignore_first_of_many -ignore_last_of_many -ignore_intermediate\n"
             "  -ignore_synthetic -ignore_keypoint -ignore_withheld -ignore_overlap");
}
