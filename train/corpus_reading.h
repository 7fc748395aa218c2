#ifndef WENLEI_TRAIN_CORPUS_READING_H_
#define WENLEI_TRAIN_CORPUS_READING_H_

#include <functional>
#include <string>

#include "train/corpus.h"
#include "util/status.h"

namespace wenlei {

class Segmenter;

// What the text after a corpus line's tab holds: words separated by spaces,
// raw text to segment, or whichever the corpus looks like.
enum class CorpusText { kDetect, kWords, kRaw };

// Gives the segmenter for raw text, loaded when first asked for.
using SegmenterSource = std::function<Status(const Segmenter** segmenter)>;

// How a corpus file was read, for the caller to tell.
struct CorpusReading {
  bool raw = false;
  // The line that says raw text was detected; empty when the caller chose
  // the reading or the corpus looked like words.
  std::string detected;
};

// Reads a corpus file as text says.  kDetect reads it as words, and again as
// raw text when most of its Chinese text stands in runs far longer than
// words (Corpus::LooksUnsegmented): read as words, such a corpus would give
// a model or a measure of runs no document repeats.
Status ReadCorpusText(const std::string& path, CorpusEncoding encoding, CorpusText text,
                      const SegmenterSource& segmenter, Corpus* corpus, CorpusWords keep,
                      CorpusReading* reading, const FeatureSet& runs = FeatureSet(),
                      const ReadingProgress& progress = {});

}  // namespace wenlei

#endif  // WENLEI_TRAIN_CORPUS_READING_H_
