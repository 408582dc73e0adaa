// The ignore settings: classification codes and return/flag classes of
// points that a tool leaves out of its computation without removing them.
#ifndef FILTER_LASIGNORE_HPP
#define FILTER_LASIGNORE_HPP

#include <cstdint>  // uint32_t words

class LASignore {
 public:
  // Word 0: bits 0-7 mark the blocks of 32 codes in use, then the return
  // and flag classes; words 1-8: one bit per classification code 0-255.
  uint32_t ignore_mask[9] = {};

  static constexpr uint32_t FIRST_OF_MANY = 0x100;
  static constexpr uint32_t LAST_OF_MANY = 0x200;
  static constexpr uint32_t INTERMEDIATE = 0x400;
  static constexpr uint32_t SINGLE = 0x800;
  static constexpr uint32_t SYNTHETIC = 0x1000;
  static constexpr uint32_t KEYPOINT = 0x2000;
  static constexpr uint32_t WITHHELD = 0x4000;
  static constexpr uint32_t OVERLAP = 0x8000;

  // Takes the "-ignore_" option at position i (and its codes, moving i to
  // the last one) and blanks it; false after an error that did not end the
  // process.
  bool parse(int& i, int argc, char** argv);
  // Writes the option text of the settings at `string`; returns its length.
  int unparse(char* string) const;
  // True if any code or class is set.
  bool active() const;
  // Prints the overview of the ignore options at INFO.
  void usage() const;

 private:
  void set_code(uint32_t code);
};

#endif
