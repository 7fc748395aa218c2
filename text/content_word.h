#ifndef WENLEI_TEXT_CONTENT_WORD_H_
#define WENLEI_TEXT_CONTENT_WORD_H_

#include <cstddef>
#include <string_view>

namespace wenlei {

// True when a UTF-8 word holds a letter (of any script) or a Chinese
// character: a word that can say what a text is about.  Punctuation,
// symbols, digits and numbers alone cannot.
bool IsContentWord(std::string_view utf8);

// The same test for a word in GBK, the form the resource set's tables hold;
// it reads a table made once from the UTF-8 test, so both always agree.
bool IsGbkContentWord(std::string_view gbk);

// A document's content words (GBK) and how many of their occurrences the
// vocabulary knows, from the (word, occurrences) pairs of its known words.
// The confidence of an answer counts these only: punctuation and numbers
// say nothing of where a text comes from, yet every text has them.
struct ContentWords {
  std::size_t words = 0;
  std::size_t known = 0;
};
template <typename GbkWords, typename KnownCounts>
ContentWords CountContentWords(const GbkWords& gbkWords, const KnownCounts& knownCounts) {
  ContentWords counted;
  for (const auto& word : gbkWords) counted.words += IsGbkContentWord(word) ? 1 : 0;
  for (const auto& [word, occurrences] : knownCounts) {
    if (IsGbkContentWord(word)) counted.known += static_cast<std::size_t>(occurrences);
  }
  return counted;
}

}  // namespace wenlei

#endif  // WENLEI_TEXT_CONTENT_WORD_H_
