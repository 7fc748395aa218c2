#include "tools/training/train_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace wenlei {
namespace {

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long* value) {
  if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long parsed = std::strtoull(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed > max) return false;
  *value = parsed;
  return true;
}

bool ParseReal(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  double parsed = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

const char kDescription[] =
    "Builds a resource set, DIR/Source.dat and DIR/SVMModel, from a corpus with\n"
    "one document a line: a class name, a tab, the document's raw text (with\n"
    "--raw) or its words separated by spaces.  The number of selected words k and the SVM cost C are chosen\n"
    "by cross-validation on the corpus, with the words selected within each\n"
    "fold; the same corpus and options always give the same files, byte for\n"
    "byte.  DIR/Confidence.txt receives the confidence threshold under which\n"
    "answers are reported unknown.";

const char kEpilogue[] =
    "Classes are numbered in the order of their names' UTF-8 bytes.  Words are\n"
    "ranked by chi-square; a word's idf is ln((1 + N) / (1 + df)) + 1.  Words\n"
    "without a letter or a Chinese character (punctuation, numbers) are left\n"
    "out by the bundled stop list.\n"
    "Examples: wenlei train --raw labelled-texts.tsv -o my-set\n"
    "          wenlei train data/corpus/train.tsv -o models/help-zh";

}  // namespace

OptionParser::Outcome ParseTrainCommandLine(int argc, char** argv, TrainCommandLine* line) {
  std::string output, encoding, minDf, features, costs, folds, vocabulary, kernel, gamma,
      degree, coef0, seed, weights, unknownShare, ranking;
  bool balanceClasses = false;
  OptionParser parser("wenlei train", "wenlei train CORPUS.tsv -o DIR [options]", kDescription);
  parser.AddValue('o', "output", "DIR", &output,
                  "the resource directory to write (made when missing)");
  parser.AddValue(0, "encoding", "NAME", &encoding,
                  "utf-8 or gbk: encoding of the corpus and synonyms (utf-8)");
  parser.AddValue(0, "synonyms", "FILE", &line->synonymsPath,
                  "lines \"variant<TAB>canonical\": words merged into one feature");
  parser.AddValue(0, "min-df", "N", &minDf, "keep words held by N or more documents (2)");
  parser.AddValue(0, "features", "K,...", &features,
                  "candidate numbers of selected words, \"all\" for every\nword "
                  "(500,750,1000,1500,2000,4000,all)");
  parser.AddValue('c', "cost", "C,...", &costs, "candidate SVM costs (1,2,4)");
  parser.AddValue(0, "folds", "N", &folds, "cross-validation folds (5)");
  parser.AddValue(0, "vocabulary", "SCOPE", &vocabulary,
                  "selected: the vocabulary holds the selected words only;\nfull: every word "
                  "that --min-df keeps (selected)");
  parser.AddValue(0, "ranking", "ORDER", &ranking,
                  "class-turns: each class in turn gives its best word;\nchi-square: words by their "
                  "largest chi-square over the\nclasses (class-turns)");
  parser.AddValue(0, "kernel", "NAME", &kernel, "linear, polynomial, rbf or sigmoid (linear)");
  parser.AddValue(0, "gamma", "G", &gamma, "gamma of the non-linear kernels (1)");
  parser.AddValue(0, "degree", "D", &degree, "degree of the polynomial kernel (3)");
  parser.AddValue(0, "coef0", "R", &coef0, "coef0 of the polynomial and sigmoid kernels (0)");
  parser.AddValue(0, "seed", "N", &seed, "seed of the folds and of libsvm (1)");
  parser.AddValue(0, "class-weights", "P,...", &weights,
                  "candidate class weightings: each class's cost times\n"
                  "(N / (classes * its documents))^P; 0 weighs all documents\nalike (0)");
  parser.AddFlag(0, "balance-classes", &balanceClasses, "the same as --class-weights 1");
  parser.AddValue(0, "stop-words", "FILE", &line->stopWordsPath,
                  "stop list replacing the bundled models/stop-words.txt\n(\"none\": no stop list)");
  parser.AddRepeatedValue(0, "add-stop-words", "FILE", &line->addedStopWordsPaths,
                          "more stop words (may be repeated)");
  parser.AddValue(0, "unknown-share", "S", &unknownShare,
                  "share of cross-validated training documents the stored\nconfidence threshold "
                  "may flag unknown (0.02)");
  parser.AddFlag(0, "raw", &line->raw,
                 "the corpus holds raw text, segmented here as `wenlei\nclassify` segments it");
  parser.AddValue('d', "dict", "FILE", &line->dictionaryPath,
                  "segmentation dictionary for --raw (default: the bundled\nmodels/dictionary/dict.txt)");
  parser.AddFlag(0, "force", &line->force, "replace a resource set that DIR already holds");
  parser.AddFlag('q', "quiet", &line->quiet, "no progress on standard error");
  parser.SetEpilogue(kEpilogue);

  std::vector<std::string> operands;
  OptionParser::Outcome outcome = parser.Parse(argc, argv, &operands);
  if (outcome != OptionParser::Outcome::kRun) return outcome;

  auto bad = [&parser](const std::string& option, const std::string& value,
                       const char* expected) {
    parser.ReportUsageError("--" + option + ": \"" + value + "\" is not " + expected);
    return OptionParser::Outcome::kUsageError;
  };
  TrainerOptions& options = line->options;
  unsigned long long number = 0;
  if (!encoding.empty() && !ParseCorpusEncoding(encoding, &line->encoding)) {
    return bad("encoding", encoding, "utf-8 or gbk");
  }
  if (!minDf.empty()) {
    if (!ParseUnsigned(minDf, 1000000000, &number) || number == 0) {
      return bad("min-df", minDf, "a positive whole number");
    }
    options.minDocumentFrequency = number;
  }
  if (!features.empty()) {
    options.featureCounts.clear();
    for (const auto& part : SplitCommas(features)) {
      if (part == "all") {
        options.featureCounts.push_back(0);
      } else if (ParseUnsigned(part, 100000000, &number) && number > 0) {
        options.featureCounts.push_back(number);
      } else {
        return bad("features", features, "a list of positive whole numbers or \"all\"");
      }
    }
  }
  if (!costs.empty()) {
    options.costs.clear();
    for (const auto& part : SplitCommas(costs)) {
      double cost;
      if (!ParseReal(part, &cost) || cost <= 0.0) {
        return bad("cost", costs, "a list of positive numbers");
      }
      options.costs.push_back(cost);
    }
  }
  if (!folds.empty()) {
    if (!ParseUnsigned(folds, 1000, &number) || number < 2) {
      return bad("folds", folds, "a number of 2 or more");
    }
    options.folds = static_cast<int>(number);
  }
  if (vocabulary == "full") {
    options.vocabulary = VocabularyScope::kFull;
  } else if (vocabulary == "selected") {
    options.vocabulary = VocabularyScope::kSelected;
  } else if (!vocabulary.empty()) {
    return bad("vocabulary", vocabulary, "selected or full");
  }
  if (ranking == "class-turns") {
    options.ranking = RankingOrder::kClassTurns;
  } else if (ranking == "chi-square") {
    options.ranking = RankingOrder::kChiSquare;
  } else if (!ranking.empty()) {
    return bad("ranking", ranking, "chi-square or class-turns");
  }
  if (!kernel.empty() && !ParseKernel(kernel, &options.kernelType)) {
    return bad("kernel", kernel, "linear, polynomial, rbf or sigmoid");
  }
  if (!gamma.empty() && (!ParseReal(gamma, &options.gamma) || options.gamma <= 0.0)) {
    return bad("gamma", gamma, "a positive number");
  }
  if (!degree.empty()) {
    if (!ParseUnsigned(degree, 20, &number) || number == 0) {
      return bad("degree", degree, "a degree from 1 to 20");
    }
    options.degree = static_cast<int>(number);
  }
  if (!coef0.empty() && !ParseReal(coef0, &options.coef0)) return bad("coef0", coef0, "a number");
  if (balanceClasses) options.classWeightPowers = {1.0};
  if (!weights.empty()) {
    options.classWeightPowers.clear();
    for (const auto& part : SplitCommas(weights)) {
      double power;
      if (!ParseReal(part, &power) || power < 0.0 || power > 4.0) {
        return bad("class-weights", weights, "a list of numbers from 0 to 4");
      }
      options.classWeightPowers.push_back(power);
    }
  }
  if (!unknownShare.empty() &&
      (!ParseReal(unknownShare, &options.unknownShare) || options.unknownShare < 0.0 ||
       options.unknownShare >= 1.0)) {
    return bad("unknown-share", unknownShare, "a share from 0 up to 1");
  }
  if (!seed.empty()) {
    if (!ParseUnsigned(seed, 4294967295ULL, &number)) return bad("seed", seed, "a whole number");
    options.seed = static_cast<unsigned>(number);
  }

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
