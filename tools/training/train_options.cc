#include "tools/training/train_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "util/whole_number.h"

namespace wenlei {
namespace {

const char kDescription[] =
    "Builds a resource set, DIR/Source.dat and DIR/SVMModel, from a corpus with\n"
    "one document a line: a class name, a tab, the document's raw text or its\n"
    "words separated by spaces (which of the two is seen from the corpus, or\n"
    "given with --raw or --segmented).  The number of selected words k\n"
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

// An option's help with its default after it, on a line of its own when
// the last line has no room for it.
std::string HelpWithDefault(const TrainingOption& option) {
  std::string help = option.help;
  const std::string byDefault = TrainingOptionDefault(option);
  if (byDefault.empty()) return help;
  const std::size_t lastLine = help.size() - (help.rfind('\n') + 1);
  constexpr std::size_t kWidth = 60;
  help += (lastLine + byDefault.size() + 3 > kWidth ? "\n(" : " (") + byDefault + ")";
  return help;
}

}  // namespace

OptionParser::Outcome ParseTrainCommandLine(int argc, char** argv, TrainCommandLine* line) {
  const std::vector<TrainingOption>& table = TrainingOptionTable();
  // Each option's text as given (flags: whether given), applied once all
  // are read: flags first, then values in the table's order.
  std::vector<std::string> values(table.size());
  std::vector<std::vector<std::string>> repeated(table.size());
  std::unique_ptr<bool[]> flags(new bool[table.size()]());
  std::string output;
  OptionParser parser("wenlei train", "wenlei train CORPUS.tsv -o DIR [options]", kDescription);
  parser.AddValue('o', "output", "DIR", &output,
                  "the resource directory to write (made when missing)");
  for (std::size_t i = 0; i < table.size(); ++i) {
    const TrainingOption& option = table[i];
    if (option.valueName == nullptr) {
      parser.AddFlag(option.shortName, option.name, &flags[i], HelpWithDefault(option));
    } else if (option.repeated) {
      parser.AddRepeatedValue(option.shortName, option.name, option.valueName, &repeated[i],
                              HelpWithDefault(option));
    } else {
      parser.AddValue(option.shortName, option.name, option.valueName, &values[i],
                      HelpWithDefault(option));
    }
  }
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
  auto apply = [&parser, &settings](const TrainingOption& option, const std::string& value) {
    Status status = option.set(value, &settings);
    if (!status.ok()) parser.ReportUsageError("--" + std::string(option.name) + ": " + status.message());
    return status.ok();
  };
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (flags[i] && !apply(table[i], "1")) return OptionParser::Outcome::kUsageError;
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (!values[i].empty() && !apply(table[i], values[i])) return OptionParser::Outcome::kUsageError;
    for (const auto& value : repeated[i]) {
      if (!apply(table[i], value)) return OptionParser::Outcome::kUsageError;
    }
  }
  if (!progressEvery.empty()) {
    double seconds = -1.0;
    if (!ParseWhole(progressEvery, &seconds) || !(seconds >= 0.0 && seconds <= 86400.0)) {
      parser.ReportUsageError("--progress-every: \"" + progressEvery +
                              "\" is not a number of seconds");
      return OptionParser::Outcome::kUsageError;
    }
    line->progressInterval = seconds;
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
