#include "util/number_text.h"

#include <charconv>

namespace wenlei {

void AppendGeneral(double value, std::string* out) {
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  out->append(buffer, result.ptr);
}

}  // namespace wenlei
