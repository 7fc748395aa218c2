#ifndef WENLEI_UTIL_CHARACTER_CLASS_H_
#define WENLEI_UTIL_CHARACTER_CLASS_H_

namespace wenlei {

// The C locale's white space, as formatted reads skip it, whatever locale
// the host process has set.  Takes a byte or a getc result (EOF is none).
constexpr bool IsCSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The blanks that separate fields within a line.
constexpr bool IsBlank(int c) { return c == ' ' || c == '\t'; }

}  // namespace wenlei

#endif  // WENLEI_UTIL_CHARACTER_CLASS_H_
