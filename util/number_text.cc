#include "util/number_text.h"

#include <charconv>

namespace wenlei {

void AppendGeneral(double value, std::string* out) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  out->append(buffer, result.ptr);
}

double RoundToSixSignificantDigits(double value) {
  std::string text;  // short enough to stay in the string itself
  AppendGeneral(value, &text);
  double rounded = value;
  // Infinities and NaN have no digits to round; from_chars leaves them be.
  std::from_chars(text.data(), text.data() + text.size(), rounded);
  return rounded;
}

}  // namespace wenlei
