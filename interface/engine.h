#ifndef WENLEI_INTERFACE_ENGINE_H_
#define WENLEI_INTERFACE_ENGINE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "predict/loaded_model.h"
#include "source/source_data.h"
#include "text/dictionary.h"
#include "text/segmenter.h"
#include "util/status.h"

namespace wenlei {

struct EngineOptions {
  std::string dictionaryPath;  // for text input; empty: text cannot be classified
  double minConfidence = -1.0;  // negative: the resource set's threshold, else 0
  std::size_t maxDocumentBytes = std::size_t{16} << 20;  // 0: no limit
};

// One class of a result, with its probability.
struct ClassScore {
  std::int32_t number;  // 1..class count
  double probability;
};

struct ClassificationResult {
  std::string answerGbk;   // the exports' answer for the same words
  std::string answerUtf8;
  std::vector<std::int32_t> answerClasses;  // the one or two classes named
  std::vector<ClassScore> ranking;  // every class, highest first; empty without prediction
  std::size_t words = 0;
  std::size_t knownWords = 0;
  std::size_t droppedCharacters = 0;
  double confidence = 0.0;
  bool unknown = true;
};

// A resource set held in memory: the tables of Source.dat, the parsed model
// and, once text is classified, the segmentation dictionary.  Immutable
// after Open (the dictionary is loaded once, on first use, under
// std::call_once), so any number of threads may classify with one Engine at
// once; nothing is written to disk.
//
// Answers equal those of the exported functions for the same GBK words:
// the feature values pass through the same six-digit text the test file
// holds, the probabilities through the same text the result file holds
// before the decision reads them.  The probabilities reported are libsvm's
// own values.
class Engine {
 public:
  // Opens the resource set in directory and checks that its parts fit: a
  // classifying model with probability estimates, labels 1..n in order, as
  // many classes as Source.dat names, no feature beyond the vocabulary.
  static Status Open(const std::string& directory, const EngineOptions& options,
                     std::unique_ptr<Engine>* engine);

  std::size_t classCount() const { return classCount_; }
  // The class's name as answers show it (a tag before the first space
  // dropped), UTF-8; empty for a number out of range.
  const std::string& ClassName(std::size_t number) const;
  double minConfidence() const { return minConfidence_; }

  Status ClassifyGbkWords(const std::vector<std::string_view>& words,
                          ClassificationResult* result) const;
  Status ClassifyUtf8Words(const std::vector<std::string_view>& words,
                           ClassificationResult* result) const;
  Status ClassifyText(std::string_view utf8, ClassificationResult* result) const;

  // The words of UTF-8 text as text classification cuts it, as views into
  // text.
  Status Segment(std::string_view utf8, std::vector<std::string_view>* words) const;

 private:
  Engine() = default;
  Status CheckFit(const std::string& directory) const;
  // The highest feature number of the vocabulary.
  std::int32_t LargestKnownFeature() const;
  Status CheckSize(std::size_t bytes) const;
  const Segmenter* LoadedSegmenter(Status* status) const;
  // Counting to decision for words already in GBK.
  Status Decide(const std::vector<std::string_view>& gbkWords, ClassificationResult* result) const;

  SourceData sourceData_;
  std::unique_ptr<LoadedModel> model_;
  std::size_t classCount_ = 0;
  std::vector<std::string> displayNamesGbk_;   // by class number, 0 included
  std::vector<std::string> displayNamesUtf8_;
  std::string shortTextUtf8_;
  double minConfidence_ = 0.0;
  std::size_t maxDocumentBytes_ = 0;

  std::string dictionaryPath_;
  mutable std::once_flag dictionaryOnce_;
  mutable std::unique_ptr<Dictionary> dictionary_;
  mutable std::unique_ptr<Segmenter> segmenter_;
  mutable Status dictionaryStatus_;
};

// Loads a dictionary into a segmenter of its own, for segmentation alone.
class SegmentationDictionary {
 public:
  static Status Open(const std::string& path, std::unique_ptr<SegmentationDictionary>* opened);
  Status Segment(std::string_view utf8, std::vector<std::string_view>* words) const;

 private:
  std::unique_ptr<Dictionary> dictionary_;
  std::unique_ptr<Segmenter> segmenter_;
};

}  // namespace wenlei

#endif  // WENLEI_INTERFACE_ENGINE_H_
