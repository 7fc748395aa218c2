#include "train/training_settings.h"

#include <optional>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "util/number_text.h"
#include "util/whole_number.h"

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

// With a decimal point whatever the process locale, as the values are
// written back.
bool ParseReal(const std::string& text, double* value) {
  double parsed = 0.0;
  if (!ParseWhole(text, &parsed) || !std::isfinite(parsed)) return false;
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

std::string Reals(const std::vector<double>& values) {
  std::string text;
  for (double value : values) {
    text += (text.empty() ? "" : ",") + GeneralText(value);
  }
  return text;
}

// A whole number within [low, high] into *value, else the message naming the range.
template <typename Number>
Status SetWhole(const std::string& text, unsigned long long low, unsigned long long high,
                Number* value) {
  unsigned long long number = 0;
  if (!ParseUnsigned(text, high, &number) || number < low) {
    return Bad(text, ("a whole number from " + std::to_string(low) + " to " +
                      std::to_string(high)).c_str());
  }
  *value = static_cast<Number>(number);
  return Status::Ok();
}

Status SetFlag(const std::string& text, bool* flag) {
  return ParseFlag(text, flag) ? Status::Ok() : Bad(text, "1 or 0");
}

// The raw and segmented flags: each sets the corpus's reading, or (0) leaves
// it to be detected; the two at once contradict each other.
Status SetCorpusText(const std::string& text, CorpusText reading, TrainingSettings* settings) {
  bool on = false;
  if (Status set = SetFlag(text, &on); !set.ok()) return set;
  if (on && settings->text != CorpusText::kDetect && settings->text != reading) {
    return Status(Status::Code::kInvalidArgument,
                  "the corpus is read as raw text or as segmented words, not both");
  }
  if (on) {
    settings->text = reading;
  } else if (settings->text == reading) {
    settings->text = CorpusText::kDetect;
  }
  return Status::Ok();
}

// Candidates "a,b,c" in [low, high], each into *values.
Status SetReals(const std::string& text, double low, double high, bool lowIncluded,
                const char* expected, std::vector<double>* values) {
  std::vector<double> parsed;
  for (const auto& part : SplitCommas(text)) {
    double value;
    if (!ParseReal(part, &value) || value < low || (!lowIncluded && value == low) || value > high) {
      return Bad(text, expected);
    }
    parsed.push_back(value);
  }
  *values = parsed;
  return Status::Ok();
}

std::string Number(double value) { return Reals({value}); }

using S = TrainingSettings;

const std::vector<TrainingOption> kOptions = {
    {"encoding", 0, "NAME", "utf-8 or gbk: encoding of the corpus and synonyms", false,
     [](const std::string& v, S* s) {
       return ParseCorpusEncoding(v, &s->encoding) ? Status::Ok() : Bad(v, "utf-8 or gbk");
     },
     [](const S& s) { return std::string(s.encoding == CorpusEncoding::kGbk ? "gbk" : "utf-8"); }},
    {"synonyms", 0, "FILE", "lines \"variant<TAB>canonical\": words merged into one feature", false,
     [](const std::string& v, S* s) {
       s->synonymsPath = v;
       return Status::Ok();
     },
     nullptr},
    {"min-df", 0, "N", "keep words held by N or more documents", false,
     [](const std::string& v, S* s) { return SetWhole(v, 1, 1000000000, &s->options.minDocumentFrequency); },
     [](const S& s) { return std::to_string(s.options.minDocumentFrequency); }},
    {"reads", 0, "SET,...",
     "what a set reads, the candidates the cross-validation\nchooses from: words, chars1-2 (runs of 1 to 2\n"
     "characters), words+chars1-3, ...",
     false,
     [](const std::string& v, S* s) {
       std::vector<FeatureSet> sets;
       for (const auto& part : SplitCommas(v)) {
         const std::optional<FeatureSet> set = ParseFeatureSet(part);
         if (!set) return Bad(v, "a list of words, charsA-B or words+charsA-B (A <= B <= 3)");
         sets.push_back(*set);
       }
       s->options.featureSets = sets;
       return Status::Ok();
     },
     [](const S& s) {
       std::string text;
       for (const FeatureSet& set : s.options.featureSets) text += (text.empty() ? "" : ",") + FeatureSetName(set);
       return text;
     }},
    {"features", 0, "K,...", "candidate numbers of selected words, \"all\" for every\nword", false,
     [](const std::string& v, S* s) {
       std::vector<std::size_t> counts;
       for (const auto& part : SplitCommas(v)) {
         unsigned long long number = 0;
         if (part == "all") {
           counts.push_back(0);
         } else if (ParseUnsigned(part, 100000000, &number) && number > 0) {
           counts.push_back(number);
         } else {
           return Bad(v, "a list of whole numbers from 1 to 100000000 or \"all\"");
         }
       }
       s->options.featureCounts = counts;
       return Status::Ok();
     },
     [](const S& s) {
       std::string text;
       for (std::size_t k : s.options.featureCounts) {
         text += (text.empty() ? "" : ",") + (k == 0 ? std::string("all") : std::to_string(k));
       }
       return text;
     }},
    {"cost", 'c', "C,...", "candidate SVM costs", false,
     [](const std::string& v, S* s) {
       return SetReals(v, 0.0, HUGE_VAL, false, "a list of positive numbers", &s->options.costs);
     },
     [](const S& s) { return Reals(s.options.costs); }},
    {"folds", 0, "N", "cross-validation folds", false,
     [](const std::string& v, S* s) { return SetWhole(v, 2, 1000, &s->options.folds); },
     [](const S& s) { return std::to_string(s.options.folds); }},
    {"held-out", 0, nullptr,
     "with one feature count, one cost and one class weighting:\nno cross-validation; the "
     "confidence is calibrated on one\nfold held out, the model of the others predicting it",
     false, [](const std::string& v, S* s) { return SetFlag(v, &s->options.heldOut); }, nullptr},
    {"vocabulary", 0, "SCOPE",
     "selected: the vocabulary holds the selected words only;\nfull: every word that --min-df "
     "keeps",
     false,
     [](const std::string& v, S* s) {
       if (v == "full") {
         s->options.vocabulary = VocabularyScope::kFull;
       } else if (v == "selected") {
         s->options.vocabulary = VocabularyScope::kSelected;
       } else {
         return Bad(v, "selected or full");
       }
       return Status::Ok();
     },
     [](const S& s) {
       return std::string(s.options.vocabulary == VocabularyScope::kFull ? "full" : "selected");
     }},
    {"ranking", 0, "ORDER",
     "class-turns: each class in turn gives its best word;\nchi-square: words by their largest "
     "chi-square over the\nclasses",
     false,
     [](const std::string& v, S* s) {
       if (v == "class-turns") {
         s->options.ranking = RankingOrder::kClassTurns;
       } else if (v == "chi-square") {
         s->options.ranking = RankingOrder::kChiSquare;
       } else {
         return Bad(v, "chi-square or class-turns");
       }
       return Status::Ok();
     },
     [](const S& s) {
       return std::string(s.options.ranking == RankingOrder::kChiSquare ? "chi-square"
                                                                        : "class-turns");
     }},
    {"kernel", 0, "NAME", "linear, polynomial, rbf or sigmoid", false,
     [](const std::string& v, S* s) {
       return ParseKernel(v, &s->options.kernelType)
                  ? Status::Ok()
                  : Bad(v, "linear, polynomial, rbf or sigmoid");
     },
     [](const S& s) { return std::string(KernelName(s.options.kernelType)); }},
    {"solver", 0, "NAME",
     "the linear kernel's solver: l2-svm, l2-svm-primal,\nl1-svm, logistic, crammer-singer "
     "(liblinear) or\nlibsvm",
     false,
     [](const std::string& v, S* s) {
       return ParseSolver(v, &s->options.solver)
                  ? Status::Ok()
                  : Bad(v, "l2-svm, l2-svm-primal, l1-svm, logistic, crammer-singer or libsvm");
     },
     [](const S& s) { return std::string(SolverName(s.options.solver)); }},
    {"multiclass", 0, "SCHEME",
     "how the linear solvers join classes: one-vs-rest or\none-vs-one (a model per pair of "
     "classes)",
     false,
     [](const std::string& v, S* s) {
       return ParseMulticlass(v, &s->options.multiclass) ? Status::Ok()
                                                         : Bad(v, "one-vs-rest or one-vs-one");
     },
     [](const S& s) { return std::string(MulticlassName(s.options.multiclass)); }},
    {"jobs", 'j', "N",
     "folds trained at once, 0 for one per processor;\nthe files do not depend on it", false,
     [](const std::string& v, S* s) { return SetWhole(v, 0, 1024, &s->options.jobs); },
     [](const S& s) { return std::to_string(s.options.jobs); }},
    {"gamma", 0, "G", "gamma of the non-linear kernels", false,
     [](const std::string& v, S* s) {
       if (!ParseReal(v, &s->options.gamma) || s->options.gamma <= 0.0) {
         return Bad(v, "a positive number");
       }
       return Status::Ok();
     },
     [](const S& s) { return Number(s.options.gamma); }},
    {"degree", 0, "D", "degree of the polynomial kernel", false,
     [](const std::string& v, S* s) { return SetWhole(v, 1, 20, &s->options.degree); },
     [](const S& s) { return std::to_string(s.options.degree); }},
    {"coef0", 0, "R", "coef0 of the polynomial and sigmoid kernels", false,
     [](const std::string& v, S* s) {
       return ParseReal(v, &s->options.coef0) ? Status::Ok() : Bad(v, "a number");
     },
     [](const S& s) { return Number(s.options.coef0); }},
    {"seed", 0, "N", "seed of the folds and of libsvm", false,
     [](const std::string& v, S* s) { return SetWhole(v, 0, 4294967295ULL, &s->options.seed); },
     [](const S& s) { return std::to_string(s.options.seed); }},
    {"class-weights", 0, "P,...",
     "candidate class weightings: each class's cost times\n(N / (classes * its documents))^P; 0 "
     "weighs all documents\nalike",
     false,
     [](const std::string& v, S* s) {
       return SetReals(v, 0.0, 4.0, true, "a list of numbers from 0 to 4",
                       &s->options.classWeightPowers);
     },
     [](const S& s) { return Reals(s.options.classWeightPowers); }},
    {"class-weight", 0, "NAME=F",
     "multiply the cost of class NAME by F, on top of the\nweighting (may be repeated)", true,
     [](const std::string& v, S* s) {
       // NAME=F, split at the last '=' since a factor holds none.
       const std::size_t equals = v.rfind('=');
       double factor = 0.0;
       if (equals == std::string::npos || equals == 0 ||
           !ParseReal(v.substr(equals + 1), &factor) || factor <= 0.0) {
         return Bad(v, "a class name, '=' and a positive factor");
       }
       const std::string name = v.substr(0, equals);
       auto& weights = s->options.classWeights;
       weights.erase(std::remove_if(weights.begin(), weights.end(),
                                    [&name](const auto& w) { return w.first == name; }),
                     weights.end());
       weights.emplace_back(name, factor);
       return Status::Ok();
     },
     nullptr},
    {"balance-classes", 0, nullptr, "the same as --class-weights 1", false,
     [](const std::string& v, S* s) {
       bool balance = false;
       if (Status set = SetFlag(v, &balance); !set.ok()) return set;
       s->options.classWeightPowers = {balance ? 1.0 : 0.0};
       return Status::Ok();
     },
     nullptr},
    {"stop-words", 0, "FILE",
     "stop list replacing the bundled models/stop-words.txt\n(\"none\": no stop list)", false,
     [](const std::string& v, S* s) {
       s->stopWordsPath = v;
       return Status::Ok();
     },
     nullptr},
    {"add-stop-words", 0, "FILE", "more stop words (may be repeated)", true,
     [](const std::string& v, S* s) {
       s->addedStopWordsPaths.push_back(v);
       return Status::Ok();
     },
     nullptr},
    {"unknown-share", 0, "S",
     "share of cross-validated training documents the stored\nconfidence threshold may flag "
     "unknown",
     false,
     [](const std::string& v, S* s) {
       double share = 0.0;
       if (!ParseReal(v, &share) || share < 0.0 || share >= 1.0) {
         return Bad(v, "a share from 0 up to 1");
       }
       s->options.unknownShare = share;
       return Status::Ok();
     },
     [](const S& s) { return Number(s.options.unknownShare); }},
    {"search-documents", 0, "N",
     "the cross-validation sees at most N documents, each\nclass's share (0: all); the final "
     "model sees all",
     false,
     [](const std::string& v, S* s) {
       unsigned long long documents = 0;
       if (!ParseUnsigned(v, std::numeric_limits<std::size_t>::max(), &documents)) {
         return Bad(v, "a number of documents, 0 for all");
       }
       s->options.searchDocuments = static_cast<std::size_t>(documents);
       return Status::Ok();
     },
     [](const S& s) { return std::to_string(s.options.searchDocuments); }},
    {"highest-threshold", 0, "X",
     "the highest confidence threshold the calibration may\nstore (1: no limit)",
     false,
     [](const std::string& v, S* s) {
       double threshold = 0.0;
       if (!ParseReal(v, &threshold) || threshold <= 0.0 || threshold > 1.0) {
         return Bad(v, "a threshold above 0 up to 1");
       }
       s->options.highestThreshold = threshold;
       return Status::Ok();
     },
     [](const S& s) { return Number(s.options.highestThreshold); }},
    {"raw", 0, nullptr,
     "the corpus holds raw text, segmented here as `wenlei\nclassify` segments it (without "
     "--raw or --segmented:\nas the corpus looks, and said when it is raw)",
     false, [](const std::string& v, S* s) { return SetCorpusText(v, CorpusText::kRaw, s); },
     nullptr},
    {"segmented", 0, nullptr, "the corpus holds words separated by spaces", false,
     [](const std::string& v, S* s) { return SetCorpusText(v, CorpusText::kWords, s); }, nullptr},
    {"dict", 'd', "FILE",
     "segmentation dictionary for --raw (default: the bundled\nmodels/dictionary/dict.txt)", false,
     [](const std::string& v, S* s) {
       s->dictionaryPath = v;
       return Status::Ok();
     },
     nullptr},
    {"force", 0, nullptr, "replace a resource set that DIR already holds", false,
     [](const std::string& v, S* s) { return SetFlag(v, &s->force); }, nullptr},
    // The search spread over machines; Python's wenlei.train(client=...) sets both.
    {"search-part", 0, "I/N",
     "cross-validate share I of N of the search and write its\nresults to "
     "DIR/SearchPart-I-of-N.txt instead of a set",
     false,
     [](const std::string& v, S* s) {
       return ParseSearchPart(v, &s->options.searchPart) ? Status::Ok()
                                                         : Bad(v, "I/N with 1 <= I <= N <= 100000");
     },
     nullptr},
    {"search-results", 0, "FILE",
     "the results of a share of the search (every share's,\nrepeated): taken instead of "
     "cross-validating",
     true,
     [](const std::string& v, S* s) {
       s->options.searchResults.push_back(v);
       return Status::Ok();
     },
     nullptr},
};

}  // namespace

const std::vector<TrainingOption>& TrainingOptionTable() { return kOptions; }

const TrainingOption* FindTrainingOption(const std::string& name) {
  const std::string current = name == "costs" ? "cost" : name == "dictionary" ? "dict" : name;
  for (const TrainingOption& option : kOptions) {
    if (current == option.name) return &option;
  }
  return nullptr;
}

std::string TrainingOptionDefault(const TrainingOption& option) {
  return option.show == nullptr ? std::string() : option.show(TrainingSettings());
}

Status TrainingSettings::Set(const std::string& name, const std::string& value) {
  const TrainingOption* option = FindTrainingOption(name);
  if (option == nullptr) return Status(Status::Code::kInvalidArgument, "no such option");
  return option->set(value, this);
}

}  // namespace wenlei
