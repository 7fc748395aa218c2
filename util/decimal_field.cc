#include "util/decimal_field.h"

#include <charconv>
#include <cstddef>
#include <limits>

namespace wenlei {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view text, std::size_t at) {
  while (at < text.size() && IsDigit(text[at])) ++at;
  return at;
}

// For a number out of double's range, tells an overflow (strtod's infinity)
// from an underflow (zero) by the decimal position of its first non-zero
// digit.
bool Overflows(std::string_view number) {
  long position = 0;  // power of ten of the first non-zero digit, plus one
  bool seenNonZero = false;
  bool inFraction = false;
  std::size_t at = 0;
  for (; at < number.size() && number[at] != 'e' && number[at] != 'E'; ++at) {
    char c = number[at];
    if (c == '.') {
      inFraction = true;
    } else if (!seenNonZero && c == '0') {
      if (inFraction) --position;
    } else if (!seenNonZero) {
      seenNonZero = true;
      if (!inFraction) position = 1;
    } else if (!inFraction) {
      ++position;
    }
  }
  long exponent = 0;
  if (at < number.size()) {
    bool negative = false;
    ++at;
    if (at < number.size() && (number[at] == '+' || number[at] == '-')) negative = number[at++] == '-';
    for (; at < number.size(); ++at) {
      if (exponent < 100000) exponent = exponent * 10 + (number[at] - '0');
    }
    if (negative) exponent = -exponent;
  }
  return position + exponent > 0;
}

}  // namespace

double ParseDecimalPrefix(std::string_view field) {
  std::size_t at = 0;
  while (at < field.size() && (field[at] == ' ' || (field[at] >= '\t' && field[at] <= '\r'))) ++at;
  bool negative = false;
  if (at < field.size() && (field[at] == '+' || field[at] == '-')) {
    negative = field[at] == '-';
    ++at;
  }
  const std::size_t start = at;
  std::size_t end = SkipDigits(field, at);
  std::size_t digits = end - start;
  if (end < field.size() && field[end] == '.') {
    std::size_t fractionEnd = SkipDigits(field, end + 1);
    digits += fractionEnd - (end + 1);
    end = fractionEnd;
  }
  if (digits == 0) return 0.0;
  if (end < field.size() && (field[end] == 'e' || field[end] == 'E')) {
    std::size_t exponent = end + 1;
    if (exponent < field.size() && (field[exponent] == '+' || field[exponent] == '-')) ++exponent;
    std::size_t exponentEnd = SkipDigits(field, exponent);
    if (exponentEnd > exponent) end = exponentEnd;
  }
  double value = 0.0;
  auto result = std::from_chars(field.data() + start, field.data() + end, value);
  if (result.ec == std::errc::result_out_of_range) {
    value = Overflows(field.substr(start, end - start)) ? std::numeric_limits<double>::infinity()
                                                        : 0.0;
  }
  return negative ? -value : value;
}

}  // namespace wenlei
