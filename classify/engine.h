#ifndef WENLEI_CLASSIFY_ENGINE_H_
#define WENLEI_CLASSIFY_ENGINE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "predict/loaded_model.h"
#include "source/metadata_file.h"
#include "source/source_data.h"
#include "text/character_features.h"
#include "text/dictionary.h"
#include "text/segmenter.h"
#include "util/document_limit.h"
#include "util/status.h"
#include "vectorise/document_features.h"
#include "vectorise/vocabulary_index.h"

namespace wenlei {

struct EngineOptions {
  std::string dictionaryPath;  // for text input; empty: text cannot be classified
  double minConfidence = -1.0;  // negative: the resource set's threshold, else 0
  std::size_t maxDocumentBytes = kDefaultMaxDocumentBytes;  // 0: no limit
};

// One class of a result, with its probability.
struct ClassScore {
  std::int32_t number;  // 1..class count
  double probability;
};

struct ClassificationResult {
  std::string answerGbk;   // the exports' answer for the same words
  std::string answerUtf8;  // the same, with the full class names
  std::vector<std::int32_t> answerClasses;  // the one or two classes named
  std::vector<ClassScore> ranking;  // every class, highest first; empty without prediction
  // Each class's margin (ClassMargins), by class number - 1; empty without
  // prediction.
  std::vector<double> margins;
  std::size_t words = 0;
  std::size_t knownWords = 0;
  std::size_t droppedCharacters = 0;
  double confidence = 0.0;
  bool unknown = true;
  // The known words with their weights, kept for an explanation (numbers
  // of the engine's VocabularyIndex); empty without prediction.
  std::vector<KnownTerm> knownTerms;
};

// One word's share in the decision between the answer and the runner-up.
struct WordContribution {
  std::string word;  // UTF-8
  double contribution;
};

// Why the answer beat the runner-up: the pair's decision value (positive
// favours the answer) is the sum of the words' contributions and the
// constant.
struct Explanation {
  std::vector<WordContribution> words;  // strongest (largest magnitude) first
  double constant = 0.0;
  double decisionValue = 0.0;
};

// A resource set held in memory: the tables of Source.dat, the parsed model
// and, once text is classified, the segmentation dictionary.  Immutable
// after Open (the dictionary is loaded once, on first use, under a
// process-wide lock), so any number of threads may classify with one Engine at
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
  // dropped), UTF-8, in full as the set's metadata file names it when the
  // file does (Source.dat may hold a short form); empty for a number out of
  // range.
  const std::string& ClassName(std::size_t number) const;
  // The class's name as the set was trained with it, tag included: the
  // metadata file's name, else Source.dat's; empty for a number out of
  // range.  A labelled corpus names its classes so.
  const std::string& ClassLabel(std::size_t number) const;
  double minConfidence() const { return minConfidence_; }
  // The number of the class whose name (as ClassName gives it) is name; 0
  // when none is.
  std::size_t ClassNumber(std::string_view name) const;
  std::size_t vocabularySize() const { return sourceData_.wordIndexTable.size(); }
  std::size_t featureCount() const { return featureCount_; }
  const char* kernelName() const { return model_->kernelName(); }
  const char* svmTypeName() const { return model_->svmTypeName(); }
  int supportVectorCount() const { return model_->supportVectorCount(); }
  // How the set was trained (its metadata file's trainer line); empty when
  // the set does not say.
  const std::string& trainedWith() const { return trainedWith_; }
  // What the caller should know about the set as opened: that text will be
  // segmented with another dictionary than the set was trained with (its
  // metadata file's dictionary_sha256), naming both digests; empty when
  // nothing is amiss or the set records no dictionary.
  const std::string& warning() const { return warning_; }

  // The words of a result of this engine that decided between its two
  // highest-ranked classes, each with its contribution: for a linear model
  // the word's weight in the document times the pair's weight at its
  // feature, exact up to rounding.  Words that share one feature share its
  // contribution in proportion to their weights.  A result without two
  // ranked classes has an empty explanation; a model with another kernel
  // gives kInvalidArgument.  With contentOnly the words that are not
  // content words (see text/content_word.h: punctuation, numbers) are left
  // out and their contributions added to the constant, so that the sum
  // still makes the decision value.
  Status Explain(const ClassificationResult& result, Explanation* explanation,
                 bool contentOnly = false) const;

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
  // One try of Open; *oneGeneration false (with *why) when the files read
  // do not match the digests of the set's metadata file.
  static Status OpenOneGeneration(const std::string& directory, const EngineOptions& options,
                                  std::unique_ptr<Engine>* engine, bool* oneGeneration,
                                  std::string* why);
  Status CheckFit(const std::string& directory) const;
  // Takes the trainer's line of the set's metadata file (empty for a set
  // without one).  Checks that the metadata's class names are the ones Source.dat holds
  // (each full name gives back its stored short form, no name twice) and
  // takes them as the answers' names.
  Status TakeMetadata(const SetMetadata& metadata, const std::string& directory);
  // Compares the dictionary text will be segmented with to the one the set
  // was trained with, into trainedWith_ and warning_.
  void CheckDictionary(const SetMetadata& metadata, const std::string& dictionaryPath);
  Status CheckSize(std::size_t bytes) const;
  const Segmenter* LoadedSegmenter(Status* status) const;
  // Counting to decision for words already in GBK.
  Status Decide(const std::vector<std::string_view>& gbkWords, ClassificationResult* result) const;

  SourceData sourceData_;
  std::unique_ptr<LoadedModel> model_;
  std::size_t classCount_ = 0;
  std::size_t featureCount_ = 0;
  std::string trainedWith_;
  std::string warning_;
  bool fullNames_ = false;  // the metadata file names the classes
  std::unique_ptr<VocabularyIndex> index_;  // the tables of sourceData_
  std::vector<std::string> displayNamesGbk_;   // by class number, 0 included
  std::vector<std::string> displayNamesUtf8_;
  std::vector<std::string> labelsUtf8_;  // by class number, as trained
  std::string shortTextUtf8_;
  double minConfidence_ = 0.0;
  std::size_t maxDocumentBytes_ = 0;

  void LoadDictionary() const;

  std::string dictionaryPath_;
  mutable std::atomic<bool> dictionaryTried_{false};
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

#endif  // WENLEI_CLASSIFY_ENGINE_H_
