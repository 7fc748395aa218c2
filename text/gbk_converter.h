#ifndef WENLEI_TEXT_GBK_CONVERTER_H_
#define WENLEI_TEXT_GBK_CONVERTER_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

// Converts between UTF-8, the text people type, and GBK, the text the library
// takes and answers in.  The tables (text/gbk_table.inc) reproduce the GNU C
// library's iconv GBK converter byte for byte, so every platform converts
// alike without iconv.  A converter holds no state: one serves any number of
// threads at once.
class GbkConverter {
 public:
  constexpr GbkConverter() = default;

  // Makes a converter; it cannot fail, the Status keeps callers' error paths.
  static Status Open(std::unique_ptr<GbkConverter>* converter);

  // Appends the GBK form of utf8, which must be well-formed (see
  // FindInvalidUtf8).  A character that GBK cannot encode is left out whole,
  // never half-converted; returns how many were left out.  Unicode's tag
  // characters (U+E0000..U+E007F) are left out without being counted, as
  // iconv does.  A malformed sequence is left out byte by byte, each byte
  // counted.
  std::size_t AppendGbk(std::string_view utf8, std::string* gbk) const;

  // Appends the UTF-8 form of gbk.  A byte that starts no GBK character
  // becomes U+FFFD; returns the offset of the first such byte, or nothing
  // when gbk is well-formed.
  std::optional<std::size_t> AppendUtf8(std::string_view gbk, std::string* utf8) const;
};

}  // namespace wenlei

#endif  // WENLEI_TEXT_GBK_CONVERTER_H_
