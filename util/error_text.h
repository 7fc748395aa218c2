#ifndef WENLEI_UTIL_ERROR_TEXT_H_
#define WENLEI_UTIL_ERROR_TEXT_H_

#include <string>

namespace wenlei {

// The C library's text for an error number.  Looking it up takes the C
// library's locale lock, which a fork in another thread would leave held in
// the child for ever; so the lookup runs under a lock that fork waits for.
std::string ErrorText(int errorNumber);

}  // namespace wenlei

#endif  // WENLEI_UTIL_ERROR_TEXT_H_
