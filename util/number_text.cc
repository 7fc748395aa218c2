#include "util/number_text.h"

#include <charconv>

namespace wenlei {
namespace {

// std::to_chars writes as printf does in the C locale, whatever the
// process locale.
std::string Formatted(double value, std::chars_format format, int precision) {
  char buffer[400];  // "%.17f" of the largest double needs 327
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
  return std::string(buffer, result.ptr);
}

}  // namespace

void AppendGeneral(double value, std::string* out, int digits) {
  char buffer[400];  // as Formatted's, for any digits asked
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  out->append(buffer, result.ptr);
}

std::string GeneralText(double value, int digits) {
  return Formatted(value, std::chars_format::general, digits);
}

std::string FixedText(double value, int decimals) {
  return Formatted(value, std::chars_format::fixed, decimals);
}

double RoundToSignificantDigits(double value, int digits) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits).ptr;
  double rounded = value;
  // Infinities and NaN have no digits to round; from_chars leaves them be.
  std::from_chars(text, end, rounded);
  return rounded;
}

double RoundToSixSignificantDigits(double value) { return RoundToSignificantDigits(value, 6); }

}  // namespace wenlei
