// wenlei eval DIR TEST.tsv: classifies every document of a labelled test
// corpus through the library's modern interface (or with --exports through
// its exported functions, as a host of them does) and measures the answers.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "util/file_bytes.h"
#include "wenlei/wenlei.h"
#include "text/dictionary.h"
#include "text/segmenter.h"
#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "tools/commands/option_parser.h"
#include "tools/host/library_session.h"
#include "train/corpus.h"
#include "train/corpus_reading.h"
#include "tools/training/evaluation.h"
#include "util/whole_number.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message) {
  std::fprintf(stderr, "wenlei eval: %s\n", message.c_str());
  return kExitFailure;
}

// The classes a result names, by index (class number - 1): one or two, or
// none for a document without a known word.
ParsedAnswer AnswerOf(const wenlei_classifier* classifier, const wenlei_result* result) {
  ParsedAnswer parsed;
  const std::size_t names = wenlei_result_name_count(result);
  if (names == 0) {
    parsed.kind = ParsedAnswer::Kind::kNoKnownWords;
    return parsed;
  }
  int indices[2] = {-1, -1};
  for (std::size_t i = 0; i < names && i < 2; ++i) {
    indices[i] = static_cast<int>(wenlei_class_number(classifier, wenlei_result_name(result, i))) - 1;
    if (indices[i] < 0) return parsed;
  }
  parsed.kind = names == 1 ? ParsedAnswer::Kind::kOneClass : ParsedAnswer::Kind::kTwoClasses;
  parsed.first = indices[0];
  parsed.second = names == 1 ? -1 : indices[1];
  return parsed;
}

// What the model says about one document beyond its answer text.
struct DocumentScore {
  std::vector<double> probabilities;  // by class number - 1; empty without a known word
  std::vector<int> ranking;           // class indices, most probable first
  std::size_t words = 0;
  std::size_t knownWords = 0;  // occurrences of vocabulary words
  double confidence = 0.0;
};

// Documents handed to the library in one call: one reading of the model
// serves them all.
constexpr std::size_t kBatchSize = 100;

}  // namespace

int RunEvalCommand(int argc, char** argv) {
  std::string encoding, dictionaryPath, minConfidenceText, scoresPath;
  bool json = false, quiet = false, oneByOne = false, exports = false, raw = false,
       segmented = false;
  OptionParser parser(
      "wenlei eval", "wenlei eval DIR TEST.tsv [options]",
      "Classifies each line of TEST.tsv (\"class<TAB>word word ...\") with the\n"
      "resource set in DIR through the library's modern interface and prints\n"
      "accuracy (the first name answered against the true class), macro-F1,\n"
      "the share of answers with two names, per-class precision and recall and\n"
      "the confusion matrix.  A document without a known word counts as wrong.\n"
      "It also reports the share of documents flagged unknown (confidence under\n"
      "the set's stored threshold) and the top-2 accuracy (the true class is one\n"
      "of the model's two most probable).  Lines labelled \"unknown\" hold\n"
      "out-of-domain documents: they count only in the share of those flagged.");
  parser.AddFlag(0, "raw", &raw,
                 "TEST.tsv holds raw text, segmented as `wenlei classify`\nsegments it (without "
                 "--raw or --segmented: as TEST.tsv\nlooks, and said when it is raw)");
  parser.AddFlag(0, "segmented", &segmented, "TEST.tsv holds words separated by spaces");
  parser.AddValue('d', "dict", "FILE", &dictionaryPath,
                  "segmentation dictionary for --raw (default: the bundled\nmodels/dictionary/dict.txt)");
  parser.AddValue(0, "min-confidence", "X", &minConfidenceText,
                  "flag answers under confidence X unknown (default: the\nthreshold stored with "
                  "the set; 0: none)");
  parser.AddValue(0, "scores", "FILE", &scoresPath,
                  "write one line per document to FILE: line, true class,\nconfidence, the two "
                  "highest probabilities, words, known words");
  parser.AddFlag(0, "json", &json,
                 "print one JSON object (keys include accuracy, macro_f1,\ntwo_name_rate, "
                 "confusion)");
  parser.AddValue(0, "encoding", "NAME", &encoding, "utf-8 or gbk: encoding of TEST.tsv (utf-8)");
  parser.AddFlag(0, "exports", &exports,
                 "classify through the exported functions, as a host of\nthem does, in batches of " +
                     std::to_string(kBatchSize));
  parser.AddFlag(0, "one-by-one", &oneByOne,
                 "with --exports: one Classification call per document,\nas a host of the five "
                 "functions does");
  parser.AddFlag('q', "quiet", &quiet, "no progress on standard error");
  std::vector<std::string> operands;
  switch (parser.Parse(argc, argv, &operands)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }
  CorpusEncoding testEncoding = CorpusEncoding::kUtf8;
  if (!encoding.empty() && !ParseCorpusEncoding(encoding, &testEncoding)) {
    parser.ReportUsageError("--encoding: \"" + encoding + "\" is not utf-8 or gbk");
    return kExitUsage;
  }
  if (operands.size() != 2) {
    parser.ReportUsageError("expected a resource directory and a test file");
    return kExitUsage;
  }
  if (raw && segmented) {
    parser.ReportUsageError("--raw and --segmented: TEST.tsv is read as one or the other");
    return kExitUsage;
  }
  if (oneByOne && !exports) {
    parser.ReportUsageError("--one-by-one calls the exported functions one document at a time; "
                            "it needs --exports");
    return kExitUsage;
  }
  double minConfidence = -1.0;
  if (!minConfidenceText.empty()) {
    if (!ParseWhole(minConfidenceText, &minConfidence) ||
        !(minConfidence >= 0.0 && minConfidence <= 1.0)) {
      parser.ReportUsageError("--min-confidence: \"" + minConfidenceText +
                              "\" is not a number from 0 to 1");
      return kExitUsage;
    }
  }
  const std::string directory = operands[0], testPath = operands[1];

  // One handle for both doors: the class names and the threshold, and the
  // ranking and confidence of every document's words.
  wenlei_classifier* classifier = nullptr;
  {
    char* message = nullptr;
    wenlei_options* options = wenlei_options_create();
    wenlei_options_set_min_confidence(options, minConfidence);
    const wenlei_status opened = wenlei_open(directory.c_str(), options, &classifier, &message);
    wenlei_options_destroy(options);
    if (opened != WENLEI_OK) {
      const std::string why = message != nullptr ? message : "cannot open " + directory;
      wenlei_free(message);
      return Fail(why);
    }
  }
  std::unique_ptr<wenlei_classifier, void (*)(wenlei_classifier*)> closer(classifier, &wenlei_close);
  minConfidence = wenlei_min_confidence(classifier);
  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<Segmenter> segmenter;
  const SegmenterSource loadSegmenter = [&](const Segmenter** loaded) -> Status {
    if (!segmenter) {
      const Status read = Dictionary::Load(
          dictionaryPath.empty() ? BundledPath("dictionary/dict.txt") : dictionaryPath, &dictionary);
      if (!read.ok()) return read;
      segmenter = std::make_unique<Segmenter>(*dictionary);
    }
    *loaded = segmenter.get();
    return Status::Ok();
  };
  Corpus test;
  CorpusReading reading;
  const CorpusText text = raw ? CorpusText::kRaw : segmented ? CorpusText::kWords : CorpusText::kDetect;
  if (Status read = ReadCorpusText(testPath, testEncoding, text, loadSegmenter, &test,
                                   CorpusWords::kCountsAndLists, &reading);
      !read.ok()) {
    return Fail(read.message());
  }
  if (!reading.detected.empty()) std::fprintf(stderr, "wenlei eval: %s\n", reading.detected.c_str());

  // A test file names the classes as the set was trained with them.
  const std::size_t classCount = wenlei_class_count(classifier);
  std::vector<std::string> namesUtf8;
  for (std::size_t number = 1; number <= classCount; ++number) {
    namesUtf8.emplace_back(wenlei_class_label(classifier, number));
  }
  // The test file's classes by the resource set's numbering.
  constexpr int kNoClass = kOutOfDomain - 1;
  std::vector<int> modelClassOf(test.classNamesGbk.size(), kNoClass);
  for (std::size_t t = 0; t < test.classNamesUtf8.size(); ++t) {
    for (std::size_t m = 0; m < namesUtf8.size(); ++m) {
      if (test.classNamesUtf8[t] == namesUtf8[m]) modelClassOf[t] = static_cast<int>(m);
    }
  }
  for (std::size_t t = 0; t < test.classNamesUtf8.size(); ++t) {
    if (modelClassOf[t] == kNoClass && test.classNamesUtf8[t] == kOutOfDomainLabel) {
      modelClassOf[t] = kOutOfDomain;
    }
  }
  for (const auto& document : test.documents) {
    if (modelClassOf[document.classIndex] == kNoClass) {
      return Fail(testPath + ":" + std::to_string(document.line) + ": class \"" +
                  test.classNamesUtf8[document.classIndex] +
                  "\" is not one of the resource set's classes");
    }
  }

  const bool showProgress = !quiet && isatty(STDERR_FILENO);
  const std::size_t total = test.documents.size();
  Evaluation evaluation(namesUtf8);
  evaluation.SetMinConfidence(minConfidence);
  double seconds = 0.0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> scores(nullptr, &std::fclose);
  if (!scoresPath.empty()) {
    scores.reset(OpenFile(scoresPath, "w"));
    if (!scores) return Fail(scoresPath + ": cannot open for writing");
    std::fputs("line\tclass\tconfidence\tp1\tp2\twords\tknown_words\n", scores.get());
  }
  auto record = [&](const CorpusDocument& document, const ParsedAnswer& answer,
                    const DocumentScore& score, bool unknown) {
    ModelView view;
    if (score.ranking.size() > 0) view.first = score.ranking[0];
    if (score.ranking.size() > 1) view.second = score.ranking[1];
    view.unknown = unknown;
    evaluation.Add(modelClassOf[document.classIndex], answer, view);
    if (!scores) return;
    const double p1 = score.ranking.empty() ? 0.0 : score.probabilities[score.ranking[0]];
    const double p2 = score.ranking.size() < 2 ? 0.0 : score.probabilities[score.ranking[1]];
    std::fprintf(scores.get(), "%d\t%s\t%s\t%s\t%s\t%zu\t%zu\n", document.line,
                 test.classNamesUtf8[document.classIndex].c_str(),
                 FixedText(score.confidence, 6).c_str(), FixedText(p1, 6).c_str(),
                 FixedText(p2, 6).c_str(), score.words, score.knownWords);
  };
  auto progress = [&](std::size_t done) {
    if (!showProgress) return;
    std::fprintf(stderr, "\rclassified %zu/%zu, accuracy so far %s%%\033[K", done, total,
                 FixedText(100.0 * evaluation.Accuracy(), 2).c_str());
    std::fflush(stderr);
  };

  // Both doors: the modern interface's ranking, confidence and flag for a
  // document's words; without --exports its answer too.
  std::vector<const char*> words;
  std::vector<std::size_t> lengths;
  // The modern interface's result for a document, or null with *why set.
  auto classify = [&](const CorpusDocument& document, std::string* why) -> wenlei_result* {
    words.clear();
    lengths.clear();
    for (const std::string& word : document.words) {
      words.push_back(word.data());
      lengths.push_back(word.size());
    }
    wenlei_result* result = nullptr;
    char* message = nullptr;
    const wenlei_status status = wenlei_classify_words(classifier, words.data(), lengths.data(),
                                                       words.size(), WENLEI_GBK, &result, &message);
    if (status == WENLEI_OK) return result;
    *why = testPath + ":" + std::to_string(document.line) + ": " +
           (message != nullptr ? message : wenlei_status_name(status));
    wenlei_free(message);
    return nullptr;
  };
  auto scoreOf = [&](const wenlei_result* result) {
    DocumentScore score;
    score.words = wenlei_result_words(result);
    score.knownWords = wenlei_result_known_words(result);
    score.confidence = wenlei_result_confidence(result);
    const std::size_t ranked = wenlei_result_class_count(result);
    if (ranked > 0) score.probabilities.assign(classCount, 0.0);
    for (std::size_t rank = 0; rank < ranked; ++rank) {
      const int index = static_cast<int>(wenlei_result_class_number(result, rank)) - 1;
      if (index < 0 || index >= static_cast<int>(classCount)) continue;
      score.ranking.push_back(index);
      score.probabilities[index] = wenlei_result_probability(result, rank);
    }
    return score;
  };

  if (!exports) {
    for (std::size_t i = 0; i < total; ++i) {
      const CorpusDocument& document = test.documents[i];
      std::string why;
      auto start = std::chrono::steady_clock::now();
      wenlei_result* result = classify(document, &why);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      if (result == nullptr) return Fail(why);
      record(document, AnswerOf(classifier, result), scoreOf(result),
             wenlei_result_unknown(result) != 0);
      wenlei_result_free(result);
      if ((i + 1) % kBatchSize == 0 || i + 1 == total) progress(i + 1);
    }
  } else {
    std::unique_ptr<LibrarySession> session;
    if (Status opened = LibrarySession::Open(directory, &session); !opened.ok()) {
      return Fail(opened.message());
    }
    const std::size_t batch = oneByOne ? 1 : kBatchSize;
    for (std::size_t begin = 0; begin < total; begin += batch) {
      const std::size_t end = std::min(total, begin + batch);
      std::vector<std::vector<std::string>> documents;
      for (std::size_t i = begin; i < end; ++i) documents.push_back(test.documents[i].words);
      auto start = std::chrono::steady_clock::now();
      const std::vector<std::string> answers =
          oneByOne ? std::vector<std::string>{session->Classify(documents[0])}
                   : session->ClassifyBatch(documents);
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      // The exported functions answer with names only: the ranking and the
      // confidence come from the modern interface for the same words.
      for (std::size_t i = begin; i < end; ++i) {
        const CorpusDocument& document = test.documents[i];
        std::string why;
        wenlei_result* result = classify(document, &why);
        if (result == nullptr) return Fail(why);
        // The exports' answer text is the modern interface's for the same
        // words; one that is not names no class it can be told from.
        const ParsedAnswer answer = answers[i - begin] == wenlei_result_answer_gbk(result)
                                        ? AnswerOf(classifier, result)
                                        : ParsedAnswer();
        record(document, answer, scoreOf(result),
               wenlei_result_unknown(result) != 0);
        wenlei_result_free(result);
      }
      progress(end);
    }
  }
  if (showProgress) std::fputs("\n", stderr);
  evaluation.SetSecondsPerDocument(seconds / static_cast<double>(total));

  std::string report = json ? evaluation.Json() : evaluation.Text();
  std::fputs(report.c_str(), stdout);
  return kExitSuccess;
}

}  // namespace wenlei
