// Helpers for the point tests of every layer: a message recorder.
#ifndef TESTS_SUPPORT_POINT_HELPERS_HPP
#define TESTS_SUPPORT_POINT_HELPERS_HPP

#include <string>  // message texts
#include <vector>  // message lists

#include "tool/lasmessage.hpp"  // message handler

namespace lastest {

// Records every message (all levels) while it exists; halting on errors is
// off so that errors come back as results.
class Messages {
 public:
  Messages() {
    las_message_reset();
    set_message_handler(&capture, this);
    set_message_log_level(LAS_DEBUG);
    halt_on_error(false);
  }
  ~Messages() {
    unset_message_handler();
    las_message_reset();
  }
  Messages(const Messages&) = delete;
  Messages& operator=(const Messages&) = delete;

  struct Entry {
    LAS_MESSAGE_TYPE type;
    std::string text;
  };
  std::vector<Entry> entries;

  // The texts of one level, in order.
  std::vector<std::string> texts(LAS_MESSAGE_TYPE type) const {
    std::vector<std::string> out;
    for (const Entry& e : entries)
      if (e.type == type) out.push_back(e.text);
    return out;
  }
  int count(LAS_MESSAGE_TYPE type) const { return static_cast<int>(texts(type).size()); }
  int at_least(LAS_MESSAGE_TYPE type) const {
    int n = 0;
    for (const Entry& e : entries) n += e.type >= type;
    return n;
  }
  std::string dump() const {
    std::string all;
    for (const Entry& e : entries) all += std::to_string(int(e.type)) + ": " + e.text + "\n";
    return all;
  }

 private:
  static void capture(LAS_MESSAGE_TYPE type, const char* text, void* user) {
    static_cast<Messages*>(user)->entries.push_back({type, text});
  }
};

}  // namespace lastest

#endif
