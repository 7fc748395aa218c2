#ifndef WENLEI_UTIL_WHOLE_NUMBER_H_
#define WENLEI_UTIL_WHOLE_NUMBER_H_

#include <charconv>
#include <string_view>
#include <system_error>

namespace wenlei {

// Converts a whole token to a number as a formatted read would take it: one
// optional sign ('+' too), nothing left over.  Independent of the process
// locale.
template <typename Number>
bool ParseWhole(std::string_view text, Number* value) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    // One sign only: "+-1" and "++1" are no numbers to a formatted read.
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) return false;
  }
  if (text.empty()) return false;
  auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace wenlei

#endif  // WENLEI_UTIL_WHOLE_NUMBER_H_
