#include "tools/training/train_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace wenlei {
namespace {

const char kDescription[] =
    "Builds a resource set, DIR/Source.dat and DIR/SVMModel, from a corpus with\n"
    "one document a line: a class name, a tab, the document's raw text (with\n"
    "--raw) or its words separated by spaces.  The number of selected words k\n"
    "and the SVM cost C are chosen by cross-validation on the corpus, with the\n"
    "words selected within each fold; the same corpus and options always give\n"
    "the same files, byte for byte.  DIR/Confidence.txt receives the confidence\n"
    "threshold under which answers are reported unknown.";

const char kEpilogue[] =
    "Classes are numbered in the order of their names' UTF-8 bytes.  Words are\n"
    "ranked by chi-square; a word's idf is ln((1 + N) / (1 + df)) + 1.  The\n"
    "bundled stop list is empty: punctuation and symbols such as \"()\" can\n"
    "carry a class, and the confidence counts content words only.\n"
    "Examples: wenlei train --raw labelled-texts.tsv -o my-set\n"
    "          wenlei train data/corpus/train.tsv -o models/help-zh";

}  // namespace

OptionParser::Outcome ParseTrainCommandLine(int argc, char** argv, TrainCommandLine* line) {
  // Each option's text as given, applied in this order once all are read.
  struct Valued {
    const char* name;
    std::string value;
  };
  std::vector<Valued> values = {{"encoding", ""}, {"synonyms", ""}, {"min-df", ""},
                                {"features", ""}, {"cost", ""}, {"folds", ""},
                                {"vocabulary", ""}, {"ranking", ""}, {"kernel", ""},
                                {"solver", ""}, {"multiclass", ""}, {"jobs", ""}, {"gamma", ""}, {"degree", ""}, {"coef0", ""},
                                {"seed", ""}, {"class-weights", ""}, {"stop-words", ""},
                                {"unknown-share", ""}, {"dict", ""}};
  auto valueOf = [&values](const char* name) -> std::string* {
    for (auto& valued : values) {
      if (std::string(valued.name) == name) return &valued.value;
    }
    return nullptr;
  };
  std::string output;
  std::vector<std::string> addedStopWords;
  bool balanceClasses = false, raw = false, force = false;
  OptionParser parser("wenlei train", "wenlei train CORPUS.tsv -o DIR [options]", kDescription);
  parser.AddValue('o', "output", "DIR", &output,
                  "the resource directory to write (made when missing)");
  parser.AddValue(0, "encoding", "NAME", valueOf("encoding"),
                  "utf-8 or gbk: encoding of the corpus and synonyms (utf-8)");
  parser.AddValue(0, "synonyms", "FILE", valueOf("synonyms"),
                  "lines \"variant<TAB>canonical\": words merged into one feature");
  parser.AddValue(0, "min-df", "N", valueOf("min-df"), "keep words held by N or more documents (1)");
  parser.AddValue(0, "features", "K,...", valueOf("features"),
                  "candidate numbers of selected words, \"all\" for every\nword "
                  "(1000,2000,4000,all)");
  parser.AddValue('c', "cost", "C,...", valueOf("cost"), "candidate SVM costs\n(0.0625,0.125,0.25,0.5,1,2,4,8)");
  parser.AddValue(0, "folds", "N", valueOf("folds"), "cross-validation folds (5)");
  parser.AddValue(0, "vocabulary", "SCOPE", valueOf("vocabulary"),
                  "selected: the vocabulary holds the selected words only;\nfull: every word "
                  "that --min-df keeps (selected)");
  parser.AddValue(0, "ranking", "ORDER", valueOf("ranking"),
                  "class-turns: each class in turn gives its best word;\nchi-square: words by their "
                  "largest chi-square over the\nclasses (class-turns)");
  parser.AddValue(0, "kernel", "NAME", valueOf("kernel"), "linear, polynomial, rbf or sigmoid (linear)");
  parser.AddValue(0, "solver", "NAME", valueOf("solver"),
                  "the linear kernel's solver: l2-svm, l2-svm-primal,\nl1-svm, logistic, "
                  "crammer-singer (liblinear) or\nlibsvm (l2-svm)");
  parser.AddValue(0, "multiclass", "SCHEME", valueOf("multiclass"),
                  "how the linear solvers join classes: one-vs-rest or\none-vs-one "
                  "(a model per pair of classes) (one-vs-one)");
  parser.AddValue('j', "jobs", "N", valueOf("jobs"),
                  "folds trained at once, 0 for one per processor (0);\nthe files do not "
                  "depend on it");
  parser.AddValue(0, "gamma", "G", valueOf("gamma"), "gamma of the non-linear kernels (1)");
  parser.AddValue(0, "degree", "D", valueOf("degree"), "degree of the polynomial kernel (3)");
  parser.AddValue(0, "coef0", "R", valueOf("coef0"), "coef0 of the polynomial and sigmoid kernels (0)");
  parser.AddValue(0, "seed", "N", valueOf("seed"), "seed of the folds and of libsvm (1)");
  parser.AddValue(0, "class-weights", "P,...", valueOf("class-weights"),
                  "candidate class weightings: each class's cost times\n"
                  "(N / (classes * its documents))^P; 0 weighs all documents\nalike (0)");
  parser.AddFlag(0, "balance-classes", &balanceClasses, "the same as --class-weights 1");
  std::vector<std::string> classWeights;
  parser.AddRepeatedValue(0, "class-weight", "NAME=F", &classWeights,
                          "multiply the cost of class NAME by F, on top of the\n"
                          "weighting (may be repeated)");
  parser.AddValue(0, "stop-words", "FILE", valueOf("stop-words"),
                  "stop list replacing the bundled models/stop-words.txt\n(\"none\": no stop list)");
  parser.AddRepeatedValue(0, "add-stop-words", "FILE", &addedStopWords,
                          "more stop words (may be repeated)");
  parser.AddValue(0, "unknown-share", "S", valueOf("unknown-share"),
                  "share of cross-validated training documents the stored\nconfidence threshold "
                  "may flag unknown (0.02)");
  parser.AddFlag(0, "raw", &raw,
                 "the corpus holds raw text, segmented here as `wenlei\nclassify` segments it");
  parser.AddValue('d', "dict", "FILE", valueOf("dict"),
                  "segmentation dictionary for --raw (default: the bundled\nmodels/dictionary/dict.txt)");
  parser.AddFlag(0, "force", &force, "replace a resource set that DIR already holds");
  std::string progressEvery;
  parser.AddFlag('q', "quiet", &line->quiet, "no progress on standard error");
  parser.AddValue(0, "progress-every", "S", &progressEvery,
                  "seconds between progress lines when standard error is\nnot a terminal; "
                  "0: every step as it comes (5)");
  parser.SetEpilogue(kEpilogue);

  std::vector<std::string> operands;
  OptionParser::Outcome outcome = parser.Parse(argc, argv, &operands);
  if (outcome != OptionParser::Outcome::kRun) return outcome;

  TrainingSettings& settings = line->settings;
  auto apply = [&parser, &settings](const std::string& name, const std::string& value) {
    Status status = settings.Set(name, value);
    if (!status.ok()) parser.ReportUsageError("--" + name + ": " + status.message());
    return status.ok();
  };
  if (balanceClasses && !apply("balance-classes", "1")) return OptionParser::Outcome::kUsageError;
  for (const auto& valued : values) {
    if (!valued.value.empty() && !apply(valued.name, valued.value)) {
      return OptionParser::Outcome::kUsageError;
    }
  }
  for (const auto& weight : classWeights) {
    if (!apply("class-weight", weight)) return OptionParser::Outcome::kUsageError;
  }
  for (const auto& path : addedStopWords) {
    if (!apply("add-stop-words", path)) return OptionParser::Outcome::kUsageError;
  }
  if (!progressEvery.empty()) {
    char* end = nullptr;
    const double seconds = std::strtod(progressEvery.c_str(), &end);
    if (*end != '\0' || !(seconds >= 0.0 && seconds <= 86400.0)) {
      parser.ReportUsageError("--progress-every: \"" + progressEvery +
                              "\" is not a number of seconds");
      return OptionParser::Outcome::kUsageError;
    }
    line->progressInterval = seconds;
  }
  settings.raw = raw;
  settings.force = force;

  if (operands.size() != 1) {
    parser.ReportUsageError(operands.empty() ? "no corpus file given"
                                             : "more than one corpus file given");
    return OptionParser::Outcome::kUsageError;
  }
  line->corpusPath = operands[0];
  if (output.empty()) {
    parser.ReportUsageError("no output directory given (-o DIR)");
    return OptionParser::Outcome::kUsageError;
  }
  line->outputDirectory = output;
  return OptionParser::Outcome::kRun;
}

}  // namespace wenlei
