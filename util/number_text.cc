#include "util/number_text.h"

#include <charconv>
#include <cmath>
#include <optional>

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

namespace {

// The powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr int kLargestExactPower = 22;

// Six significant digits by arithmetic, for a feature vector's many
// weights: the magnitude scaled to six digits before the point is rounded
// to a whole number q, and q divided back (or multiplied) by the exact
// power of ten gives, in one correctly rounded operation, the double
// nearest to the decimal: what reading the printed digits gives.  The
// scaling is one correctly rounded operation too, off by at most 6e-11, so
// the rounding of q is sure unless the scaled value lies that close to a
// half; such values, zero, and values whose scale needs a power beyond
// 10^22 give nullopt.
std::optional<double> RoundToSixDigitsByArithmetic(double value) {
  const double magnitude = std::fabs(value);
  if (!(magnitude > 0.0) || !std::isfinite(magnitude)) return std::nullopt;
  int shift = 5 - static_cast<int>(std::floor(std::log10(magnitude)));
  // log10 may miss the exponent by one next to a power of ten; a q of
  // 1,000,000 then names the same decimal as 100,000 one place on.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (shift > kLargestExactPower || shift < -kLargestExactPower) return std::nullopt;
    const double scaled =
        shift >= 0 ? magnitude * kExactPowersOfTen[shift] : magnitude / kExactPowersOfTen[-shift];
    if (scaled < 1e5) {
      ++shift;
      continue;
    }
    if (scaled >= 1e6) {
      --shift;
      continue;
    }
    const double whole = std::floor(scaled);
    if (std::fabs(scaled - whole - 0.5) < 1e-9) return std::nullopt;
    const double q = scaled - whole > 0.5 ? whole + 1.0 : whole;
    const double rounded =
        shift >= 0 ? q / kExactPowersOfTen[shift] : q * kExactPowersOfTen[-shift];
    return std::signbit(value) ? -rounded : rounded;
  }
  return std::nullopt;
}

}  // namespace

double RoundToSixSignificantDigits(double value) {
  if (const std::optional<double> rounded = RoundToSixDigitsByArithmetic(value)) return *rounded;
  return RoundToSignificantDigits(value, 6);
}

}  // namespace wenlei
