#include "train/training_settings.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

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

Status Bad(const std::string& value, const char* expected) {
  return Status(Status::Code::kInvalidArgument, "\"" + value + "\" is not " + expected);
}

bool ParseFlag(const std::string& value, bool* flag) {
  if (value == "1" || value == "true" || value == "yes") {
    *flag = true;
  } else if (value == "0" || value == "false" || value == "no") {
    *flag = false;
  } else {
    return false;
  }
  return true;
}

}  // namespace

Status TrainingSettings::Set(const std::string& name, const std::string& value) {
  unsigned long long number = 0;
  if (name == "encoding") {
    if (!ParseCorpusEncoding(value, &encoding)) return Bad(value, "utf-8 or gbk");
  } else if (name == "synonyms") {
    synonymsPath = value;
  } else if (name == "min-df") {
    if (!ParseUnsigned(value, 1000000000, &number) || number == 0) {
      return Bad(value, "a positive whole number");
    }
    options.minDocumentFrequency = number;
  } else if (name == "features") {
    std::vector<std::size_t> counts;
    for (const auto& part : SplitCommas(value)) {
      if (part == "all") {
        counts.push_back(0);
      } else if (ParseUnsigned(part, 100000000, &number) && number > 0) {
        counts.push_back(number);
      } else {
        return Bad(value, "a list of positive whole numbers or \"all\"");
      }
    }
    options.featureCounts = counts;
  } else if (name == "cost" || name == "costs") {
    std::vector<double> costs;
    for (const auto& part : SplitCommas(value)) {
      double cost;
      if (!ParseReal(part, &cost) || cost <= 0.0) return Bad(value, "a list of positive numbers");
      costs.push_back(cost);
    }
    options.costs = costs;
  } else if (name == "folds") {
    if (!ParseUnsigned(value, 1000, &number) || number < 2) {
      return Bad(value, "a number of 2 or more");
    }
    options.folds = static_cast<int>(number);
  } else if (name == "vocabulary") {
    if (value == "full") {
      options.vocabulary = VocabularyScope::kFull;
    } else if (value == "selected") {
      options.vocabulary = VocabularyScope::kSelected;
    } else {
      return Bad(value, "selected or full");
    }
  } else if (name == "ranking") {
    if (value == "class-turns") {
      options.ranking = RankingOrder::kClassTurns;
    } else if (value == "chi-square") {
      options.ranking = RankingOrder::kChiSquare;
    } else {
      return Bad(value, "chi-square or class-turns");
    }
  } else if (name == "kernel") {
    if (!ParseKernel(value, &options.kernelType)) {
      return Bad(value, "linear, polynomial, rbf or sigmoid");
    }
  } else if (name == "solver") {
    if (!ParseSolver(value, &options.solver)) {
      return Bad(value, "l2-svm, l2-svm-primal, l1-svm, logistic, crammer-singer or libsvm");
    }
  } else if (name == "multiclass") {
    if (!ParseMulticlass(value, &options.multiclass)) return Bad(value, "one-vs-rest or one-vs-one");
  } else if (name == "jobs") {
    if (!ParseUnsigned(value, 1024, &number)) return Bad(value, "a whole number");
    options.jobs = static_cast<unsigned>(number);
  } else if (name == "gamma") {
    if (!ParseReal(value, &options.gamma) || options.gamma <= 0.0) {
      return Bad(value, "a positive number");
    }
  } else if (name == "degree") {
    if (!ParseUnsigned(value, 20, &number) || number == 0) return Bad(value, "a degree from 1 to 20");
    options.degree = static_cast<int>(number);
  } else if (name == "coef0") {
    if (!ParseReal(value, &options.coef0)) return Bad(value, "a number");
  } else if (name == "seed") {
    if (!ParseUnsigned(value, 4294967295ULL, &number)) return Bad(value, "a whole number");
    options.seed = static_cast<unsigned>(number);
  } else if (name == "class-weights") {
    std::vector<double> powers;
    for (const auto& part : SplitCommas(value)) {
      double power;
      if (!ParseReal(part, &power) || power < 0.0 || power > 4.0) {
        return Bad(value, "a list of numbers from 0 to 4");
      }
      powers.push_back(power);
    }
    options.classWeightPowers = powers;
  } else if (name == "class-weight") {
    // NAME=FACTOR, split at the last '=' since a factor holds none.
    const std::size_t equals = value.rfind('=');
    double factor = 0.0;
    if (equals == std::string::npos || equals == 0 ||
        !ParseReal(value.substr(equals + 1), &factor) || factor <= 0.0) {
      return Bad(value, "a class name, '=' and a positive factor");
    }
    const std::string className = value.substr(0, equals);
    auto& weights = options.classWeights;
    weights.erase(std::remove_if(weights.begin(), weights.end(),
                                 [&className](const auto& w) { return w.first == className; }),
                  weights.end());
    weights.emplace_back(className, factor);
  } else if (name == "balance-classes") {
    bool balance = false;
    if (!ParseFlag(value, &balance)) return Bad(value, "1 or 0");
    options.classWeightPowers = {balance ? 1.0 : 0.0};
  } else if (name == "stop-words") {
    stopWordsPath = value;
  } else if (name == "add-stop-words") {
    addedStopWordsPaths.push_back(value);
  } else if (name == "unknown-share") {
    if (!ParseReal(value, &options.unknownShare) || options.unknownShare < 0.0 ||
        options.unknownShare >= 1.0) {
      return Bad(value, "a share from 0 up to 1");
    }
  } else if (name == "raw") {
    if (!ParseFlag(value, &raw)) return Bad(value, "1 or 0");
  } else if (name == "dict" || name == "dictionary") {
    dictionaryPath = value;
  } else if (name == "force") {
    if (!ParseFlag(value, &force)) return Bad(value, "1 or 0");
  } else {
    return Status(Status::Code::kInvalidArgument, "no such option");
  }
  return Status::Ok();
}

}  // namespace wenlei
