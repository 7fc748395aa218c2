#ifndef WENLEI_TEXT_GBK_FORM_H_
#define WENLEI_TEXT_GBK_FORM_H_

#include <cstddef>
#include <optional>
#include <string_view>

namespace wenlei {

// The byte that stands alone for the euro sign, as in code page 936; the
// converter (iconv's GBK) writes it for U+20AC, so the GBK words a host
// converts itself may hold it too.
inline constexpr unsigned char kGbkEuroSign = 0x80;

// The offset of the first byte that breaks GBK's byte form, or nothing when
// text has that form throughout: bytes below 0x80 and the euro sign 0x80
// alone, or a lead byte 0x81..0xFE followed by a trail byte 0x40..0x7E or
// 0x80..0xFE.  Whether a well-formed pair names an assigned character is
// not asked: the library compares words as bytes.
inline std::optional<std::size_t> FindMalformedGbk(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    if (lead <= kGbkEuroSign) continue;
    if (lead == 0xFF || i + 1 == text.size()) return i;
    const unsigned char trail = static_cast<unsigned char>(text[i + 1]);
    if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return i;
    ++i;
  }
  return std::nullopt;
}

}  // namespace wenlei

#endif  // WENLEI_TEXT_GBK_FORM_H_
