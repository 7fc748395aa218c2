#ifndef WENLEI_TOOLS_TRAINING_EVALUATION_H_
#define WENLEI_TOOLS_TRAINING_EVALUATION_H_

#include <cstddef>
#include <string>
#include <vector>

namespace wenlei {

// The classes an answer names: one, two (joined by " or "), none for a
// document without known words, or an answer that names no class.
struct ParsedAnswer {
  enum class Kind { kOneClass, kTwoClasses, kNoKnownWords, kUnrecognised };
  Kind kind = Kind::kUnrecognised;
  int first = -1;   // 0-based class index (class number - 1)
  int second = -1;  // with kTwoClasses
};

// What the model's probabilities say about a document: its two most
// probable classes (0-based, -1 when missing) and whether its confidence
// is under the threshold (a document without a known word always is).
struct ModelView {
  int first = -1;
  int second = -1;
  bool unknown = false;
};

// The true class of a test document from outside the set's classes, which
// should be answered unknown (test lines labelled "unknown").
inline constexpr int kOutOfDomain = -1;
inline constexpr char kOutOfDomainLabel[] = "unknown";

// Counts of a test run and the measures derived from them.  The first name
// of an answer is its prediction; an answer without a class (no known word,
// or text that names no class) counts as wrong.
class Evaluation {
 public:
  explicit Evaluation(std::vector<std::string> classNames);

  // trueClass is kOutOfDomain for an out-of-domain document: it counts in
  // the out-of-domain figures only.
  void Add(int trueClass, const ParsedAnswer& answer, const ModelView& view = ModelView());
  void SetSecondsPerDocument(double seconds) { secondsPerDocument_ = seconds; }
  void SetMinConfidence(double threshold) { minConfidence_ = threshold; }

  std::size_t documents() const { return documents_; }
  std::size_t correct() const { return correct_; }
  std::size_t noKnownWords() const { return noKnownWords_; }
  std::size_t unrecognised() const { return unrecognised_; }
  std::size_t twoNameAnswers() const { return twoNameAnswers_; }
  std::size_t trueAmongTwoNames() const { return trueAmongTwoNames_; }

  double Accuracy() const;
  // Share of answers that hold two names.
  double TwoNameRate() const;
  // Among answers with two names, the share whose two names hold the true
  // class.
  double TrueAmongTwoNamesRate() const;
  // Share of documents whose true class is the first or the second name.
  double NamesAnsweredAccuracy() const;
  // Share of documents whose true class is one of the model's two most
  // probable classes, whatever the answer text shows.
  double Top2Accuracy() const;
  // Share of the in-domain documents flagged unknown.
  double UnknownRate() const;
  // Accuracy over the in-domain documents not flagged unknown.
  double AnsweredAccuracy() const;
  std::size_t outOfDomain() const { return outOfDomain_; }
  // Share of the out-of-domain documents flagged unknown.
  double OutOfDomainUnknownRate() const;
  double Precision(int c) const;
  double Recall(int c) const;
  double F1(int c) const;
  std::size_t Support(int c) const;
  // Mean F1 over the classes that occur in the test set or in the answers.
  double MacroF1() const;

  // Rows: true class; columns: first name of the answer, then one column for
  // answers without a class.
  const std::vector<std::vector<std::size_t>>& confusion() const { return confusion_; }
  const std::vector<std::string>& classNames() const { return classNames_; }

  std::string Text() const;
  std::string Json() const;

 private:
  std::size_t Predicted(int c) const;

  std::vector<std::string> classNames_;  // UTF-8, for display
  std::vector<std::vector<std::size_t>> confusion_;
  std::size_t documents_ = 0;
  std::size_t correct_ = 0;
  std::size_t namesAnswered_ = 0;
  std::size_t noKnownWords_ = 0;
  std::size_t unrecognised_ = 0;
  std::size_t twoNameAnswers_ = 0;
  std::size_t trueAmongTwoNames_ = 0;
  std::size_t top2_ = 0;
  std::size_t unknown_ = 0;
  std::size_t answeredCorrect_ = 0;
  std::size_t outOfDomain_ = 0;
  std::size_t outOfDomainUnknown_ = 0;
  double secondsPerDocument_ = 0.0;
  double minConfidence_ = 0.0;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_TRAINING_EVALUATION_H_
