#include "text/document_words.h"

#include "text/utf8.h"

namespace wenlei {
namespace {

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

std::vector<std::string> DocumentWords::Result::Words() const {
  std::vector<std::string> words;
  words.reserve(wordCount());
  for (std::size_t i = 0; i < wordCount(); ++i) words.emplace_back(word(i));
  return words;
}

Status DocumentWords::Make(std::string_view document, Result* result) {
  result->gbkText.clear();
  result->wordEnds.clear();
  result->droppedCharacters = 0;
  if (options_.gbkInput && options_.presegmented) {
    // A GBK trail byte is never below 0x40, so ASCII white space can only
    // stand between characters: the bytes are split and passed unchanged.
    std::size_t start = 0;
    for (std::size_t i = 0; i <= document.size(); ++i) {
      if (i < document.size() && !IsAsciiSpace(document[i])) continue;
      if (i > start) {
        result->gbkText.append(document.substr(start, i - start));
        result->wordEnds.push_back(result->gbkText.size());
      }
      start = i + 1;
    }
    return Status::Ok();
  }
  if (options_.gbkInput) {
    std::string utf8;
    if (auto bad = converter_->AppendUtf8(document, &utf8)) {
      return Status(Status::Code::kBadEncoding,
                    "not GBK (invalid byte at offset " + std::to_string(*bad) + ")");
    }
    AddUtf8Words(utf8, result);
    return Status::Ok();
  }
  if (auto bad = FindInvalidUtf8(document)) {
    return Status(Status::Code::kBadEncoding, NotUtf8Message(document, *bad, "try --gbk"));
  }
  AddUtf8Words(document, result);
  return Status::Ok();
}

void DocumentWords::AddUtf8Words(std::string_view utf8, Result* result) {
  std::vector<std::string_view> words;
  if (options_.presegmented) {
    SplitAtSeparators(utf8, &words);
  } else {
    segmenter_->Cut(utf8, &words);
  }
  result->wordEnds.reserve(words.size());
  for (std::string_view word : words) {
    const std::size_t start = result->gbkText.size();
    result->droppedCharacters += converter_->AppendGbk(word, &result->gbkText);
    // A word made only of characters GBK cannot encode vanishes whole.
    if (result->gbkText.size() > start) result->wordEnds.push_back(result->gbkText.size());
  }
}

}  // namespace wenlei
