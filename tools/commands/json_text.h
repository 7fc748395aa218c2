#ifndef WENLEI_TOOLS_COMMANDS_JSON_TEXT_H_
#define WENLEI_TOOLS_COMMANDS_JSON_TEXT_H_

#include <cstdio>
#include <string>
#include <string_view>

#include "text/utf8.h"

namespace wenlei {

// Appends utf8 as a JSON string literal, quotes included.  Control
// characters are escaped; everything else, Chinese included, stays as it is.
// A byte that is not part of well-formed UTF-8 (a file name in another
// encoding, say) becomes \ufffd, so that the line stays valid JSON.
inline void AppendJsonString(std::string_view utf8, std::string* out) {
  out->push_back('"');
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    const char c = utf8[at];
    if (static_cast<unsigned char>(c) >= 0x80) {
      const DecodedCharacter decoded = DecodeCharacter(utf8, at);
      if (decoded.valid) {
        out->append(utf8.substr(at, decoded.length));
      } else {
        out->append("\\ufffd");
      }
      at += decoded.length - 1;
      continue;
    }
    switch (c) {
      case '"': out->append("\\\""); break;
      case '\\': out->append("\\\\"); break;
      case '\n': out->append("\\n"); break;
      case '\r': out->append("\\r"); break;
      case '\t': out->append("\\t"); break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out->append(escaped);
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_JSON_TEXT_H_
