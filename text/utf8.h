#ifndef WENLEI_TEXT_UTF8_H_
#define WENLEI_TEXT_UTF8_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace wenlei {

// One decoded character of a UTF-8 text.
struct DecodedCharacter {
  char32_t codePoint;  // U+FFFD for a malformed sequence
  std::size_t length;  // bytes taken; 1 for a malformed sequence
  bool valid;
};

// Decodes the character that starts at text[offset] (offset < text.size()).
// Overlong forms, surrogates, values above U+10FFFF and truncated sequences
// are malformed; each malformed sequence consumes exactly one byte so that a
// scan always makes progress.
DecodedCharacter DecodeCharacter(std::string_view text, std::size_t offset);

// Byte offset of the first byte of the first malformed sequence, or nothing
// when text is well-formed UTF-8.
std::optional<std::size_t> FindInvalidUtf8(std::string_view text);

// True when text, which is not UTF-8, is made of ASCII and GBK double-byte
// characters only, with at least one of the latter: then it is most likely
// a GBK file given where UTF-8 was expected, and the user gets a hint.
bool ReadsAsGbk(std::string_view text);

// The message for text whose first malformed UTF-8 byte is at offset bad,
// with the hint `gbkHint` appended when the text reads as GBK (and is not
// simply UTF-8 cut off inside its last character).
std::string NotUtf8Message(std::string_view text, std::size_t bad, std::string_view gbkHint);

// Characters that separate words and never belong to one: the Unicode white
// space characters, plus the zero-width space and the byte-order mark, which
// are invisible in the text a person reads.
bool IsWordSeparator(char32_t c);

// The CJK unified ideographs, their extensions and compatibility forms.
inline bool IsChineseCharacter(char32_t c) {
  return (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x3134F);
}

inline bool IsAsciiLetterOrDigit(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

}  // namespace wenlei

#endif  // WENLEI_TEXT_UTF8_H_
