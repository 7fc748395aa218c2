#ifndef WENLEI_BENCH_JSON_WRITER_H_
#define WENLEI_BENCH_JSON_WRITER_H_

#include <cstdio>
#include <string>
#include <type_traits>

namespace wenlei::bench {

// Just enough JSON for the facts file: objects, arrays, strings, numbers
// and booleans.  Strings are expected to be ASCII or UTF-8.
class JsonWriter {
 public:
  void Begin() { Open('{'); }
  void End() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }

  void Key(const std::string& key) {
    Separate();
    AppendString(key);
    text_ += ": ";
    afterKey_ = true;
  }

  void Field(const std::string& key, const std::string& value) {
    Key(key);
    Separate();
    AppendString(value);
  }
  void Field(const std::string& key, const char* value) { Field(key, std::string(value)); }
  void Field(const std::string& key, bool value) {
    Key(key);
    Separate();
    text_ += value ? "true" : "false";
  }
  template <typename Number, typename = std::enable_if_t<std::is_arithmetic_v<Number>>>
  void Field(const std::string& key, Number value) {
    Key(key);
    Separate();
    if constexpr (std::is_floating_point_v<Number>) {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.17g", static_cast<double>(value));
      text_ += buffer;
    } else {
      text_ += std::to_string(value);
    }
  }

  const std::string& Text() const { return text_; }

 private:
  void Open(char bracket) {
    Separate();
    text_ += bracket;
    first_ = true;
  }
  void Close(char bracket) {
    text_ += bracket;
    first_ = false;
  }
  // A comma before every element but the first of its container; nothing
  // between a key and its value.
  void Separate() {
    if (afterKey_) {
      afterKey_ = false;
      return;
    }
    if (!first_ && !text_.empty()) text_ += ", ";
    first_ = false;
  }
  void AppendString(const std::string& value) {
    text_ += '"';
    for (unsigned char c : value) {
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += static_cast<char>(c);
      } else if (c < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        text_ += escape;
      } else {
        text_ += static_cast<char>(c);
      }
    }
    text_ += '"';
  }

  std::string text_;
  bool first_ = true;
  bool afterKey_ = false;
};

}  // namespace wenlei::bench

#endif  // WENLEI_BENCH_JSON_WRITER_H_
