#ifndef WENLEI_TRAIN_CORPUS_VECTORISER_H_
#define WENLEI_TRAIN_CORPUS_VECTORISER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "source/source_file.h"
#include "text/character_features.h"
#include "text/content_word.h"
#include "train/corpus.h"

namespace wenlei {

// One feature of a document's vector.
struct Feature {
  std::int32_t index = 0;
  double value = 0.0;
};

// The vectors of a corpus's documents under the tables of one resource
// file, computed from the documents' word counts.  The tables are looked up
// once for every distinct word of the corpus; each document then costs its
// own length.  The results are those of a classification that reads the
// written file back, bit for bit: known words are counted, weighted and
// mapped to features in the byte order of the words, as it does.
class CorpusVectoriser {
 public:
  // contents must hold no repeated word in a table (the trainer's never do).
  // The corpus may hold runs of characters and words alike; those the set
  // does not read count for nothing, not even as content words.
  CorpusVectoriser(const Corpus& corpus, const SourceFileContents& contents,
                   const FeatureSet& reads = FeatureSet());

  // Mean number of known-word occurrences of the documents that subset
  // lists (all when null); 0 for no document.
  double AverageKnownWords(const std::vector<std::size_t>* subset) const;

  // The document's features, in ascending order (empty when it holds no
  // known word that maps to a feature), weighted with the given average
  // length, and its content words.
  void Vectorise(const CorpusDocument& document, double averageDocLength,
                 std::vector<Feature>* features, ContentWords* contentWords) const;

 private:
  struct WordEntry {
    double idf = 0.0;
    std::int32_t feature = 0;  // 0: none
    bool known = false;        // in the vocabulary
    bool mapped = false;       // in the term map
    bool addsToFeature = false;  // mapped to a canonical word, whose feature it adds to
    bool content = false;
  };

  const Corpus& corpus_;
  std::vector<WordEntry> entries_;  // by the word's number
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_CORPUS_VECTORISER_H_
