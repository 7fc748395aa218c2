#ifndef WENLEI_UTIL_DECIMAL_FIELD_H_
#define WENLEI_UTIL_DECIMAL_FIELD_H_

#include <string_view>

namespace wenlei {

// Reads the longest prefix of field (after leading white space) that forms a
// decimal number: optional sign, digits, optional point and fraction,
// optional exponent.  Anything after it is ignored; no such prefix gives 0.0.
// "nan", "inf" and hexadecimal forms are not numbers here, and the process
// locale plays no part.
double ParseDecimalPrefix(std::string_view field);

}  // namespace wenlei

#endif  // WENLEI_UTIL_DECIMAL_FIELD_H_
