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
// takes and answers in, with the system's iconv.
class GbkConverter {
 public:
  // Opens both directions into *converter; kInternal, with *converter left
  // alone, when iconv has no GBK conversion.
  static Status Open(std::unique_ptr<GbkConverter>* converter);
  ~GbkConverter();
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;

  // Appends the GBK form of utf8, which must be well-formed (see
  // FindInvalidUtf8).  A character that GBK cannot encode is left out whole,
  // never half-converted; returns how many were left out.
  std::size_t AppendGbk(std::string_view utf8, std::string* gbk);

  // Appends the UTF-8 form of gbk.  A byte that starts no GBK character
  // becomes U+FFFD; returns the offset of the first such byte, or nothing
  // when gbk is well-formed.
  std::optional<std::size_t> AppendUtf8(std::string_view gbk, std::string* utf8);

 private:
  GbkConverter(void* toGbk, void* toUtf8) : toGbk_(toGbk), toUtf8_(toUtf8) {}

  void* toGbk_;   // iconv_t, kept opaque so callers need not include iconv.h
  void* toUtf8_;
};

}  // namespace wenlei

#endif  // WENLEI_TEXT_GBK_CONVERTER_H_
