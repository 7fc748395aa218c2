#ifndef WENLEI_VECTORISE_WORD_COUNTING_H_
#define WENLEI_VECTORISE_WORD_COUNTING_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "source/source_data.h"
#include "util/byte_string_order.h"
#include "vectorise/term_weighting.h"

namespace wenlei {

// Counts the known words of a document of n words, wordAt(i) giving the
// i-th as a std::string_view: each occurrence of a word that the vocabulary
// knows adds 1.0 to its count and to *knownWordCount.
//
// The distinct words are found in ascending order first (the loader's radix
// sort), so each is looked up once, the lookups walk the vocabulary forward,
// each starting where the last one ended, and TermCounts is filled from its
// end.  The counts are whole numbers, so adding a word's occurrences at once
// gives exactly the sums that adding 1.0 per occurrence would.
template <typename WordAt>
TermCounts CountKnownWords(std::size_t n, const WordAt& wordAt,
                           const WordIndexTable& wordIndexTable, double* knownWordCount) {
  TermCounts termCounts;
  *knownWordCount = 0.0;
  auto from = wordIndexTable.begin();
  ForEachByteStringRun(n, wordAt, [&](std::size_t first, std::size_t occurrences) {
    const std::string_view word = wordAt(first);
    if (wordIndexTable.FindFrom(word, &from) == nullptr) return;
    *knownWordCount += static_cast<double>(occurrences);
    termCounts.emplace_hint(termCounts.end(), std::string(word),
                            static_cast<double>(occurrences));
  });
  return termCounts;
}

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_WORD_COUNTING_H_
