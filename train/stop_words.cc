#include "train/stop_words.h"
#include "util/file_bytes.h"

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

Status StopWords::Read(const std::string& path, CorpusEncoding encoding) {
  std::ifstream file(Utf8Path(path), std::ios::binary);
  if (!file) return Status(Status::Code::kNotFound, path + ": cannot open for reading");
  std::unique_ptr<GbkConverter> converter;
  if (Status opened = GbkConverter::Open(&converter); !opened.ok()) return opened;
  auto bad = [](std::string message) {
    return Status(Status::Code::kInvalidArgument, std::move(message));
  };
  std::string line, gbk;
  for (int number = 1; std::getline(file, line); ++number) {
    const std::string where = path + ":" + std::to_string(number) + ": ";
    std::string entry = Trim(line);
    if (entry.empty() || entry[0] == '#') continue;
    if (entry.find_first_of(" \t") != std::string::npos) {
      return bad(where + "expected one word a line");
    }
    if (entry == kNonContentDirective) {
      stopNonContent_ = true;
      continue;
    }
    gbk.clear();
    if (encoding == CorpusEncoding::kGbk) {
      std::string utf8;
      if (converter->AppendUtf8(entry, &utf8)) {
        return bad(where + "invalid GBK");
      }
      gbk = entry;
    } else {
      if (FindInvalidUtf8(entry)) {
        return bad(where + "invalid UTF-8");
      }
      if (converter->AppendGbk(entry, &gbk) > 0) {
        return bad(where + "\"" + entry + "\" holds a character that GBK cannot encode");
      }
    }
    words_.insert(gbk);
  }
  return Status::Ok();
}

bool StopWords::Stops(const std::string& gbkWord) const {
  if (words_.count(gbkWord)) return true;
  if (!stopNonContent_) return false;
  static constexpr GbkConverter converter;
  std::string utf8;
  converter.AppendUtf8(gbkWord, &utf8);
  return !IsContentWord(utf8);
}

}  // namespace wenlei
