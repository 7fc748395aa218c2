#ifndef WENLEI_UTIL_NUMBER_TEXT_H_
#define WENLEI_UTIL_NUMBER_TEXT_H_

#include <string>

namespace wenlei {

// Every number the library writes as text goes through these (and every
// one it reads through ParseWhole of util/whole_number.h), so that a host
// that set a decimal-comma locale still gets files, options and messages
// with a decimal point, and they read back.

// Appends value as printf's "%g" would in the C locale: six significant
// digits, trailing zeros dropped, exponent form below 1e-4 and from 1e6;
// with digits, as "%.<digits>g".
void AppendGeneral(double value, std::string* out, int digits = 6);

// value as printf's "%.<digits>g" in the C locale.
std::string GeneralText(double value, int digits = 6);

// value as printf's "%.<decimals>f" in the C locale.
std::string FixedText(double value, int decimals);

// value rounded to digits significant digits: the number GeneralText's text
// reads back as.
double RoundToSignificantDigits(double value, int digits);

// value rounded to six significant digits: the number that AppendGeneral's
// text reads back as.  The working files hold feature values and
// probabilities in that form, so whatever decides from them without the
// files must round the same way.
double RoundToSixSignificantDigits(double value);

}  // namespace wenlei

#endif  // WENLEI_UTIL_NUMBER_TEXT_H_
