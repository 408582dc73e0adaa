// Fuzz target: the point transform option parser and the rendering of what it
// took back into option text, which is parsed again as the fan-out's
// children would.
#include <string>  // the rendered text
#include <vector>  // its arguments

#include "filter/lastransform.hpp"    // LAStransform
#include "fuzz/fuzz_support.hpp"  // init, reset, split_arguments, Exit

namespace {

// Parses the arguments and renders what was taken; empty after an error.
std::string parse_and_render(std::vector<std::string>& args) {
  std::vector<char*> argv = fuzzsupport::argv_of(args);
  LAStransform parsed;
  if (!parsed.parse(static_cast<int>(args.size()), argv.data())) return "";
  static std::vector<char> text(1 << 20);  // once: a fresh megabyte per input would dominate
  text[0] = '\0';
  parsed.unparse(text.data());
  return text.data();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::init();
  fuzzsupport::reset();
  std::vector<std::string> args = fuzzsupport::split_arguments(data, size);
  if (args.size() < 2) return 0;
  try {
    const std::string text = parse_and_render(args);
    std::vector<std::string> again{"program"};
    size_t at = 0;
    while (at < text.size()) {
      const size_t end = text.find(' ', at);
      const std::string word = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
      if (!word.empty()) again.push_back(word);
      if (end == std::string::npos) break;
      at = end + 1;
    }
    if (again.size() > 1) parse_and_render(again);
  } catch (const fuzzsupport::Exit&) {
  }
  return 0;
}
