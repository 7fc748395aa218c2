#include "train/stop_words.h"

#include <fstream>
#include <memory>

#include "text/content_word.h"
#include "text/gbk_converter.h"
#include "text/utf8.h"

namespace wenlei {
namespace {

constexpr char kNonContentDirective[] = "@non-content";

std::string Trim(const std::string& text) {
  const char* space = " \t\r\n\v\f";
  std::size_t first = text.find_first_not_of(space);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

}  // namespace

bool StopWords::Read(const std::string& path, CorpusEncoding encoding, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": cannot open for reading";
    return false;
  }
  std::unique_ptr<GbkConverter> converter;
  if (Status opened = GbkConverter::Open(&converter); !opened.ok()) {
    *error = opened.message();
    return false;
  }
  std::string line, gbk;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string where = path + ":" + std::to_string(number) + ": ";
    std::string entry = Trim(line);
    if (entry.empty() || entry[0] == '#') continue;
    if (entry.find_first_of(" \t") != std::string::npos) {
      *error = where + "expected one word a line";
      return false;
    }
    if (entry == kNonContentDirective) {
      stopNonContent_ = true;
      continue;
    }
    gbk.clear();
    if (encoding == CorpusEncoding::kGbk) {
      std::string utf8;
      if (converter->AppendUtf8(entry, &utf8)) {
        *error = where + "invalid GBK";
        return false;
      }
      gbk = entry;
    } else {
      if (FindInvalidUtf8(entry)) {
        *error = where + "invalid UTF-8";
        return false;
      }
      if (converter->AppendGbk(entry, &gbk) > 0) {
        *error = where + "\"" + entry + "\" holds a character that GBK cannot encode";
        return false;
      }
    }
    words_.insert(gbk);
  }
  return true;
}

bool StopWords::Stops(const std::string& gbkWord) const {
  if (words_.count(gbkWord)) return true;
  if (!stopNonContent_) return false;
  // One converter per thread serves every list and keeps the class copyable.
  static thread_local std::unique_ptr<GbkConverter> converter = [] {
    std::unique_ptr<GbkConverter> opened;
    GbkConverter::Open(&opened);  // without GBK no word is taken for a stop word
    return opened;
  }();
  if (!converter) return false;
  std::string utf8;
  converter->AppendUtf8(gbkWord, &utf8);
  return !IsContentWord(utf8);
}

}  // namespace wenlei
