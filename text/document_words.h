#ifndef WENLEI_TEXT_DOCUMENT_WORDS_H_
#define WENLEI_TEXT_DOCUMENT_WORDS_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "text/gbk_converter.h"
#include "text/segmenter.h"
#include "util/status.h"

namespace wenlei {

// Turns one input document into the GBK words the library takes.
class DocumentWords {
 public:
  struct Options {
    bool gbkInput = false;      // the document is GBK, not UTF-8
    bool presegmented = false;  // the words are already separated by white space
  };

  // The words' GBK bytes one after the other, and where each ends: a
  // string per word would cost several times a long document's size.
  struct Result {
    std::string gbkText;
    std::vector<std::size_t> wordEnds;
    std::size_t droppedCharacters = 0;  // characters GBK cannot encode

    std::size_t wordCount() const { return wordEnds.size(); }
    std::string_view word(std::size_t i) const {
      const std::size_t start = i == 0 ? 0 : wordEnds[i - 1];
      return std::string_view(gbkText).substr(start, wordEnds[i] - start);
    }
    std::vector<std::string> Words() const;
  };

  // segmenter may be null when options.presegmented is set.
  DocumentWords(const GbkConverter* converter, const Segmenter* segmenter, Options options)
      : converter_(converter), segmenter_(segmenter), options_(options) {}

  // kBadEncoding, with one line, for a document that is not well-formed in
  // its encoding; the line gives the byte offset of the first bad byte.
  Status Make(std::string_view document, Result* result);

 private:
  void AddUtf8Words(std::string_view utf8, Result* result);

  const GbkConverter* converter_;
  const Segmenter* segmenter_;
  Options options_;
};

}  // namespace wenlei

#endif  // WENLEI_TEXT_DOCUMENT_WORDS_H_
