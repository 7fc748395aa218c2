#ifndef WENLEI_TRAIN_CORPUS_H_
#define WENLEI_TRAIN_CORPUS_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "text/character_features.h"
#include "train/word_counts.h"
#include "util/document_limit.h"
#include "util/status.h"

namespace wenlei {

enum class CorpusEncoding { kUtf8, kGbk };

// Parses "utf-8"/"utf8" and "gbk" (any case); false for anything else.
bool ParseCorpusEncoding(const std::string& name, CorpusEncoding* encoding);

// One labelled document of a corpus file.
struct CorpusDocument {
  int classIndex = 0;              // index into Corpus::classNamesUtf8 (0-based)
  std::vector<std::string> words;  // GBK, in document order; empty when read as counts only
  int line = 0;                    // 1-based line of the corpus file
  WordCounts counts;               // each word of the document once, by ascending number
};

// What a read keeps of each document: its word counts only (all that
// training needs, a small share of the words' size), or the word list too.
enum class CorpusWords { kCountsAndLists, kCountsOnly };

// A corpus file: one document a line, "class<TAB>w1 w2 w3", each document
// kept as its word counts (and, when asked, its word list).
//
// The classes are sorted by the UTF-8 bytes of their names, which is the
// order of their Unicode code points; this order does not depend on the order
// of the lines, so shuffling a corpus leaves the class numbers alone.
//
// A word is kept in GBK when it converts completely and fits the resource
// file's 29-byte word field; words that contain a character GBK lacks, or
// that are longer, are left out of the document and counted.
struct Corpus {
  std::string path;
  std::vector<std::string> classNamesUtf8;
  // Same order: the names as the resource file holds them, at most 9 bytes
  // (ShortClassNames of the full names).
  std::vector<std::string> classNamesGbk;
  std::vector<CorpusDocument> documents;   // in file order
  // Every word the documents hold once (GBK), in ascending byte order, so
  // that a document's counts come in the order of its words' bytes.
  std::vector<std::string> distinctWords;
  std::size_t wordOccurrences = 0;         // words kept, repeats included
  std::size_t wordsTooLong = 0;            // occurrences left out for length
  std::size_t wordsUnencodable = 0;        // occurrences left out for GBK
  // Chinese characters of the words as read, and those in words of more
  // than kLongWordCharacters Chinese characters: a corpus whose text is
  // mostly in such "words" was not segmented.
  std::size_t chineseCharacters = 0;
  std::size_t chineseCharactersInLongWords = 0;
  std::size_t wordsWithChineseCharacters = 0;
  std::size_t segmentedDocuments = 0;  // segmented while reading (raw text)
  // Documents left out as copies of an earlier one (RemoveRepeatedDocuments).
  std::size_t repeatedDocuments = 0;

  // Whether most of the Chinese text stands in runs far longer than words,
  // and the "words" that hold Chinese hold more than kRawMeanCharacters on
  // average (Chinese words average under two): raw text, whose "words" are
  // clauses and lines.  A segmented corpus with many long words (names,
  // terms) has short ones beside them.
  bool LooksUnsegmented() const;

  // Documents per class, indexed like classNamesUtf8.
  std::vector<std::size_t> DocumentsPerClass() const;
};

// Longest GBK class name and longest GBK word the resource file can hold.
inline constexpr std::size_t kMaxClassNameBytes = 9;
inline constexpr std::size_t kMaxWordBytes = 29;
// The longest corpus line read (its line end not counted): a document's
// limit in the classify command and the modern interface.
inline constexpr std::size_t kMaxCorpusLineBytes = kDefaultMaxDocumentBytes;
// Words of Chinese text rarely hold more Chinese characters than this.
inline constexpr std::size_t kLongWordCharacters = 6;
inline constexpr std::size_t kRawMeanCharacters = 4;

inline bool Corpus::LooksUnsegmented() const {
  return chineseCharacters > 0 && chineseCharactersInLongWords * 2 > chineseCharacters &&
         chineseCharacters > kRawMeanCharacters * wordsWithChineseCharacters;
}

class Segmenter;

// Told now and then how far a reading is: bytes of the file read (or texts
// added) of the total.  True stops the reading, which then fails with
// kCancelled.
using ReadingProgress = std::function<bool(std::uint64_t done, std::uint64_t total)>;

// Reads a corpus file.  On bad input returns a fault with a one-line message
// "path:line: what is wrong" (kBadEncoding for malformed text or a NUL byte,
// kIoError for a file that cannot be opened or read, kInvalidArgument for
// the rest): a line longer than kMaxCorpusLineBytes, a non-empty line
// without a tab, an empty class name, a class name with a control character
// or white space at either end, a class name that GBK cannot encode,
// malformed UTF-8 (or GBK with kGbk), or a file without a single document.
// A directory or a device is refused before reading.  Empty lines are
// skipped, and so is a UTF-8 byte order mark at the start.
//
// With a segmenter the text after the tab is raw text, cut into words as
// `wenlei classify` cuts it (characters GBK cannot encode are counted in
// wordsUnencodable).
//
// The file is read line by line and each document is counted as it is read;
// with kCountsOnly no document's words are kept as text.
//
// With runs that read characters, each document's counts also hold its
// runs of characters in that range (FormCharacterRuns), which its word
// list never does.
Status ReadCorpus(const std::string& path, CorpusEncoding encoding, Corpus* corpus,
                  const Segmenter* segmenter = nullptr, CorpusWords keep = CorpusWords::kCountsAndLists,
                  const FeatureSet& runs = FeatureSet(), const ReadingProgress& progress = {});

// The same from count UTF-8 texts in memory (text i is lengths[i] bytes)
// and their UTF-8 class names: raw texts segmented with segmenter, or
// without one words separated by spaces, as a corpus file holds them.  A
// fault names the text ("text 3: ...").
Status BuildCorpus(const char* const* labels, const char* const* texts, const std::size_t* lengths,
                   std::size_t count, const Segmenter* segmenter, Corpus* corpus,
                   CorpusWords keep = CorpusWords::kCountsAndLists, const FeatureSet& runs = FeatureSet(),
                   const ReadingProgress& progress = {});

// Leaves out every document that repeats an earlier one of its class, word
// for word (and run for run): a copy in the held-out part of its original's
// fold would reward a model that learns its training documents by heart,
// and copies would weigh as many documents.  Counts them in
// corpus->repeatedDocuments.
void RemoveRepeatedDocuments(Corpus* corpus);

// Numbers the words of documents made by hand (their word lists) and fills
// corpus->distinctWords and each document's counts.
void CountWordLists(Corpus* corpus);

// Variant word -> canonical word, both in GBK; read from a file of lines
// "variant<TAB>canonical".  A canonical word must fit 9 GBK bytes, a variant
// 29; a canonical word may not itself be a variant, and a variant may be
// listed once.  Lines starting with '#' and empty lines are skipped.
using SynonymTable = std::map<std::string, std::string>;
Status ReadSynonyms(const std::string& path, CorpusEncoding encoding, SynonymTable* synonyms);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_CORPUS_H_
