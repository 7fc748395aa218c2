#ifndef WENLEI_UTIL_DOCUMENT_LIMIT_H_
#define WENLEI_UTIL_DOCUMENT_LIMIT_H_

#include <cstddef>
#include <string>

namespace wenlei {

// The largest document a classification, the commands and the corpus reader
// take unless told otherwise: 16 MiB, in bytes of its text.
inline constexpr std::size_t kDefaultMaxDocumentBytes = std::size_t{16} << 20;

// The limit as the commands' help shows it: "16777216, 16 MiB".
inline std::string DefaultMaxDocumentBytesText() {
  return std::to_string(kDefaultMaxDocumentBytes) + ", " +
         std::to_string(kDefaultMaxDocumentBytes >> 20) + " MiB";
}

}  // namespace wenlei

#endif  // WENLEI_UTIL_DOCUMENT_LIMIT_H_
