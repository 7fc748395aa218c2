#ifndef WENLEI_TOOLS_COMMANDS_JSON_TEXT_H_
#define WENLEI_TOOLS_COMMANDS_JSON_TEXT_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace wenlei {

// Appends utf8 as a JSON string literal, quotes included.  Control
// characters are escaped; everything else, Chinese included, stays as it is.
inline void AppendJsonString(std::string_view utf8, std::string* out) {
  out->push_back('"');
  for (char c : utf8) {
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
