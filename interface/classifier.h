#ifndef WENLEI_INTERFACE_CLASSIFIER_H_
#define WENLEI_INTERFACE_CLASSIFIER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "wenlei/exports.h"
#include "source/source_data.h"
#include "vectorise/document_vector.h"
#include "vectorise/term_weighting.h"

namespace wenlei {

// The answer for a document without known words, "文本内容太短或无效，不能确定类别"
// in GBK: 32 bytes, built by count since it is not a C string by design.
inline const std::string& ShortTextMessage() {
  static const std::string message(
      "\xCE\xC4\xB1\xBE\xC4\xDA\xC8\xDD\xCC\xAB\xB6\xCC\xBB\xF2\xCE\xDE"
      "\xD0\xA7\xA3\xAC\xB2\xBB\xC4\xDC\xC8\xB7\xB6\xA8\xC0\xE0\xB1\xF0",
      32);
  return message;
}

// Ratio of runner-up to best probability above which both classes are named.
inline constexpr double kAmbiguityThreshold = 0.95;

// The object behind a handle: a reference to a resource set, and the
// pipeline that turns a word list into an answer with it.
class Classifier {
 public:
  explicit Classifier(SourceData& sourceData) : sourceData_(sourceData) {}

  // Counts the known words of a list: each occurrence of a word that the
  // vocabulary knows adds 1.0 to its count and to *knownWordCount.
  TermCounts CountWords(const WordList& words, double* knownWordCount) const;

  // Counting, weighting and feature mapping of one document.  False, with
  // the vector untouched, when the document has no known word.
  bool BuildDocumentVector(const WordList& words, DocumentVector* documentVector) const;

  // Runs the whole pipeline for one document and returns the answer text.
  std::string ClassificationDriver(const WordList& words);

  // Runs the pipeline for many documents with one prediction step, so the
  // model is read once; each answer equals what ClassificationDriver gives
  // for that document alone.  The test file holds one record per document
  // that has known words, in list order, and the result file one line each.
  std::vector<std::string> BatchClassificationDriver(const WordList* lists, std::size_t count);

  SourceData& sourceData() { return sourceData_; }

 private:
  SourceData& sourceData_;
};

}  // namespace wenlei

#endif  // WENLEI_INTERFACE_CLASSIFIER_H_
