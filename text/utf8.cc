#include "text/utf8.h"

#include "text/gbk_form.h"

namespace wenlei {
namespace {

constexpr DecodedCharacter kMalformed{0xFFFD, 1, false};

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

DecodedCharacter DecodeCharacter(std::string_view text, std::size_t offset) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data()) + offset;
  const std::size_t available = text.size() - offset;
  const unsigned char lead = bytes[0];
  if (lead < 0x80) return {lead, 1, true};

  std::size_t length;
  char32_t codePoint;
  char32_t smallest;  // anything below is an overlong form
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, codePoint = lead & 0x1F, smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, codePoint = lead & 0x0F, smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, codePoint = lead & 0x07, smallest = 0x10000;
  } else {
    return kMalformed;  // a stray continuation byte, C0, C1 or F5..FF
  }
  if (available < length) return kMalformed;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(bytes[i])) return kMalformed;
    codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
  }
  if (codePoint < smallest || codePoint > 0x10FFFF) return kMalformed;
  if (codePoint >= 0xD800 && codePoint <= 0xDFFF) return kMalformed;
  return {codePoint, length, true};
}

std::optional<std::size_t> FindInvalidUtf8(std::string_view text) {
  std::size_t offset = 0;
  while (offset < text.size()) {
    // ASCII dominates the markup and digits of most inputs; skip it cheaply.
    if (static_cast<unsigned char>(text[offset]) < 0x80) {
      ++offset;
      continue;
    }
    DecodedCharacter character = DecodeCharacter(text, offset);
    if (!character.valid) return offset;
    offset += character.length;
  }
  return std::nullopt;
}

bool ReadsAsGbk(std::string_view text) {
  if (FindMalformedGbk(text)) return false;
  for (char c : text) {
    if (static_cast<unsigned char>(c) > kGbkEuroSign) return true;
  }
  return false;
}

namespace {

// True when the malformed sequence at bad is a UTF-8 character cut off by
// the end of the text: then the text is UTF-8 that was cut, not GBK.
bool EndsInACutCharacter(std::string_view text, std::size_t bad) {
  unsigned char lead = static_cast<unsigned char>(text[bad]);
  std::size_t needed = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : 0;
  std::size_t present = text.size() - bad - 1;
  if (needed == 0 || present >= needed) return false;
  for (std::size_t i = bad + 1; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return false;
  }
  return true;
}

}  // namespace

std::string NotUtf8Message(std::string_view text, std::size_t bad, std::string_view gbkHint) {
  std::string message = "not UTF-8 (invalid byte at offset " + std::to_string(bad) + ")";
  if (ReadsAsGbk(text) && !EndsInACutCharacter(text, bad)) {
    message.append("; it reads as GBK: ").append(gbkHint);
  }
  return message;
}

bool IsWordSeparator(char32_t c) {
  switch (c) {
    case '\t': case '\n': case '\v': case '\f': case '\r': case ' ':
    case 0x85: case 0xA0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
    case 0x200B: case 0xFEFF:
      return true;
    default:
      return c >= 0x2000 && c <= 0x200A;
  }
}

}  // namespace wenlei
