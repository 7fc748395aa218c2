#ifndef WENLEI_UTIL_NUMBER_TEXT_H_
#define WENLEI_UTIL_NUMBER_TEXT_H_

#include <string>

namespace wenlei {

// Appends value as printf's "%g" would in the C locale: six significant
// digits, trailing zeros dropped, exponent form below 1e-4 and from 1e6.
// Independent of the process locale, so a host that set a decimal-comma
// locale still gets files that read back.
void AppendGeneral(double value, std::string* out);

// value rounded to six significant digits: the number that AppendGeneral's
// text reads back as.  The working files hold feature values and
// probabilities in that form, so whatever decides from them without the
// files must round the same way.
double RoundToSixSignificantDigits(double value);

}  // namespace wenlei

#endif  // WENLEI_UTIL_NUMBER_TEXT_H_
