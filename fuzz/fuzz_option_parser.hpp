// The body of the filter and transform option targets: parse the arguments,
// render what was taken back into option text, and parse that text again as
// the fan-out's children would.
#ifndef FUZZ_FUZZ_OPTION_PARSER_HPP
#define FUZZ_FUZZ_OPTION_PARSER_HPP

#include <string>  // the rendered text
#include <vector>  // its arguments

#include "fuzz/fuzz_support.hpp"  // init, reset, split_arguments, Exit

namespace fuzzsupport {

// Parses the arguments with a fresh Parser and renders what was taken;
// empty after an error.
template <typename Parser>
std::string parse_and_render(std::vector<std::string>& args) {
  std::vector<char*> argv = argv_of(args);
  Parser parsed;
  if (!parsed.parse(static_cast<int>(args.size()), argv.data())) return "";
  static std::vector<char> text(1 << 20);  // once: a fresh megabyte per input would dominate
  text[0] = '\0';
  parsed.unparse(text.data());
  return text.data();
}

template <typename Parser>
int fuzz_option_parser(const uint8_t* data, size_t size) {
  init();
  reset();
  std::vector<std::string> args = split_arguments(data, size);
  if (args.size() < 2) return 0;
  try {
    const std::string text = parse_and_render<Parser>(args);
    std::vector<std::string> again{"program"};
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find(' ', at);
      const std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (!word.empty()) again.push_back(word);
      if (end == std::string::npos) break;
      at = end + 1;
    }
    if (again.size() > 1) parse_and_render<Parser>(again);
  } catch (const Exit&) {
  }
  return 0;
}

}  // namespace fuzzsupport

#endif
