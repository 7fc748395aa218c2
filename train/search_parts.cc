#include "train/search_parts.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <set>

#include "train/trainer.h"
#include "util/file_bytes.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

constexpr char kFirstLine[] = "wenlei search results";
// A held-out document's answer is one character: the class number from '0'
// ('0' for a document without a selected word).
constexpr char kAnswerZero = '0';

bool ParseCount(const std::string& text, std::size_t* value) {
  if (text.empty() || text.size() > 6 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  *value = std::stoul(text);
  return true;
}

// FNV-1a over what the search's answers depend on in the corpus: its
// classes, words and every document's counts.
class Fingerprint {
 public:
  void Add(std::string_view bytes) {
    for (unsigned char byte : bytes) hash_ = (hash_ ^ byte) * 1099511628211ULL;
    hash_ = (hash_ ^ 0xff) * 1099511628211ULL;  // ends the field
  }
  void Add(std::uint64_t number) { Add(std::to_string(number)); }
  std::string Text() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016" PRIx64, hash_);
    return text;
  }

 private:
  std::uint64_t hash_ = 14695981039346656037ULL;
};

std::string CorpusFingerprint(const Corpus& corpus) {
  Fingerprint fingerprint;
  for (const std::string& name : corpus.classNamesUtf8) fingerprint.Add(name);
  for (const std::string& word : corpus.distinctWords) fingerprint.Add(word);
  for (const CorpusDocument& document : corpus.documents) {
    fingerprint.Add(static_cast<std::uint64_t>(document.classIndex));
    for (const WordCount& count : document.counts) {
      fingerprint.Add(count.word);
      fingerprint.Add(count.count);
    }
  }
  return fingerprint.Text();
}

// The options the search's answers depend on, as one line.
std::string SettingsLine(const TrainerOptions& options) {
  std::string line = "folds " + std::to_string(options.folds) + " seed " +
                     std::to_string(options.seed) + " min-df " +
                     std::to_string(options.minDocumentFrequency);
  line += " reads";
  for (const FeatureSet& set : options.featureSets) line += " " + FeatureSetName(set);
  line += " features";
  for (std::size_t k : options.featureCounts) line += " " + std::to_string(k);
  line += " vocabulary " + std::to_string(static_cast<int>(options.vocabulary)) + " ranking " +
          std::to_string(static_cast<int>(options.ranking)) + " kernel " +
          KernelName(options.kernelType) + " solver " + SolverName(options.solver) +
          " multiclass " + MulticlassName(options.multiclass) + " degree " +
          std::to_string(options.degree) + " gamma " + GeneralText(options.gamma, 17) +
          " coef0 " + GeneralText(options.coef0, 17);
  Fingerprint lists;
  for (const auto& [name, factor] : options.classWeights) {
    lists.Add(name);
    lists.Add(GeneralText(factor, 17));
  }
  for (const auto& [variant, canonical] : options.synonyms) {
    lists.Add(variant);
    lists.Add(canonical);
  }
  line += " weights-and-synonyms " + lists.Text() + " stop-words " +
          std::to_string(options.stopWords.size()) +
          (options.stopWords.stopsNonContent() ? "+non-content" : "");
  return line;
}

std::string PointText(const std::pair<double, double>& point) {
  return GeneralText(point.first, 17) + " " + GeneralText(point.second, 17);
}

// The first count - 1 fields of line separated by single spaces, and the
// rest of it as the last.
std::vector<std::string> SplitSpaces(const std::string& line, std::size_t count) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (fields.size() + 1 < count) {
    const std::size_t space = line.find(' ', start);
    if (space == std::string::npos) break;
    fields.push_back(line.substr(start, space - start));
    start = space + 1;
  }
  fields.push_back(line.substr(start));
  return fields;
}

Status Malformed(const std::string& path, std::size_t line, const std::string& what) {
  return Status(Status::Code::kCorrupt,
                path + ":" + std::to_string(line) + ": " + what + " (not a search results file?)");
}

}  // namespace

bool ParseSearchPart(const std::string& text, SearchPart* part) {
  const std::size_t slash = text.find('/');
  SearchPart parsed;
  if (slash == std::string::npos || !ParseCount(text.substr(0, slash), &parsed.index) ||
      !ParseCount(text.substr(slash + 1), &parsed.count) || parsed.index < 1 ||
      parsed.index > parsed.count || parsed.count > 100000) {
    return false;
  }
  *part = parsed;
  return true;
}

std::string SearchPartName(const SearchPart& part) {
  return std::to_string(part.index) + "/" + std::to_string(part.count);
}

std::string SearchPartFileName(const SearchPart& part) {
  return "SearchPart-" + std::to_string(part.index) + "-of-" + std::to_string(part.count) + ".txt";
}

SearchParts::SearchParts(const Corpus& corpus, const TrainerOptions& options)
    : corpus_(corpus), options_(options), part_(options.searchPart) {}

Status SearchParts::Open(const Corpus& corpus, const TrainerOptions& options,
                         std::shared_ptr<SearchParts>* parts) {
  parts->reset();
  const bool computing = options.searchPart.count != 0;
  if (!computing && options.searchResults.empty()) return Status::Ok();
  auto invalid = [](const char* message) { return Status(Status::Code::kInvalidArgument, message); };
  if (computing && !options.searchResults.empty()) {
    return invalid("a share of the search writes its results; it takes none");
  }
  if (options.heldOut) return invalid("a held-out calibration has no search to share");
  std::shared_ptr<SearchParts> made(new SearchParts(corpus, options));
  for (const std::string& path : options.searchResults) {
    if (Status read = made->Read(path); !read.ok()) return read;
  }
  *parts = std::move(made);
  return Status::Ok();
}

std::string SearchParts::Header() const {
  return "corpus " + std::to_string(corpus_.documents.size()) + " " + CorpusFingerprint(corpus_) +
         "\nsettings " + SettingsLine(options_) + "\n";
}

void SearchParts::BeginPass(const FeatureSet& reads, std::size_t k, std::size_t rankedUnits) {
  // Units are numbered by the options' candidates, k and folds, whatever
  // the search meets on its way, so that every share numbers them alike.
  const auto& sets = options_.featureSets;
  const std::size_t candidate =
      static_cast<std::size_t>(std::find(sets.begin(), sets.end(), reads) - sets.begin());
  std::set<std::size_t> counts;
  for (std::size_t count : options_.featureCounts) {
    counts.insert(count == 0 || count > rankedUnits ? rankedUnits : count);
  }
  const std::size_t kPlace = static_cast<std::size_t>(std::distance(counts.begin(), counts.find(k)));
  passReads_ = FeatureSetName(reads);
  passK_ = k;
  passFirstUnit_ = (candidate * options_.featureCounts.size() + kPlace) *
                   static_cast<std::size_t>(options_.folds);
}

bool SearchParts::Computes(std::size_t fold) const {
  return (passFirstUnit_ + fold) % part_.count == part_.index - 1;
}

SearchParts::UnitKey SearchParts::Key(std::size_t fold) const {
  return UnitKey(passReads_, passK_, fold);
}

void SearchParts::Keep(const std::vector<FoldDocuments>& folds,
                       const std::vector<std::pair<double, double>>& points,
                       const std::vector<std::vector<double>>& predicted, const Status& outcome) {
  if (outcome.code() == Status::Code::kCancelled) return;
  for (std::size_t f = 0; f < folds.size(); ++f) {
    if (!Computes(f)) continue;
    Unit& unit = units_[Key(f)];
    if (!outcome.ok()) {
      unit.faultCode = static_cast<int>(outcome.code());
      unit.fault = outcome.message();
      continue;
    }
    for (std::size_t p = 0; p < points.size(); ++p) {
      unit.points.push_back(PointText(points[p]));
      std::string answers;
      answers.reserve(folds[f].heldOutDocuments.size());
      for (std::size_t document : folds[f].heldOutDocuments) {
        answers.push_back(static_cast<char>(kAnswerZero + static_cast<int>(predicted[p][document])));
      }
      unit.answers.push_back(std::move(answers));
    }
  }
}

Status SearchParts::Fill(const std::vector<FoldDocuments>& folds,
                         const std::vector<std::pair<double, double>>& points,
                         std::vector<std::vector<double>>* predicted) {
  predicted->assign(points.size(), std::vector<double>(corpus_.documents.size(), 0.0));
  for (std::size_t f = 0; f < folds.size(); ++f) {
    const std::string unitName = passReads_ + " k=" + std::to_string(passK_) + " fold " +
                                 std::to_string(f + 1);
    const auto found = units_.find(Key(f));
    if (found == units_.end()) {
      if (refused_.ok()) {
        refused_ = Status(Status::Code::kInvalidArgument,
                          "the search results hold no answers for " + unitName +
                              ": give the results of every share");
      }
      return refused_;
    }
    const Unit& unit = found->second;
    if (unit.faultCode != 0) return Status(static_cast<Status::Code>(unit.faultCode), unit.fault);
    bool samePoints = unit.points.size() == points.size();
    for (std::size_t p = 0; samePoints && p < points.size(); ++p) {
      samePoints = unit.points[p] == PointText(points[p]) &&
                   unit.answers[p].size() == folds[f].heldOutDocuments.size();
    }
    if (!samePoints) {
      if (refused_.ok()) {
        refused_ = Status(Status::Code::kMismatch, "the search results for " + unitName +
                                                       " are of another grid or other folds");
      }
      return refused_;
    }
    for (std::size_t p = 0; p < points.size(); ++p) {
      for (std::size_t i = 0; i < unit.answers[p].size(); ++i) {
        (*predicted)[p][folds[f].heldOutDocuments[i]] = unit.answers[p][i] - kAnswerZero;
      }
    }
  }
  return Status::Ok();
}

Status SearchParts::Finish(const std::string& prefix) const {
  return computing() ? Write(prefix) : refused_;
}

Status SearchParts::Write(const std::string& prefix) const {
  const std::string path = prefix + SearchPartFileName(part_);
  std::string text = std::string(kFirstLine) + ", part " + SearchPartName(part_) + "\n" + Header();
  for (const auto& [key, unit] : units_) {
    text += "unit " + std::get<0>(key) + " " + std::to_string(std::get<1>(key)) + " " +
            std::to_string(std::get<2>(key)) + "\n";
    if (unit.faultCode != 0) {
      // A message is one line.
      std::string message = unit.fault;
      std::replace(message.begin(), message.end(), '\n', ' ');
      text += "fault " + std::to_string(unit.faultCode) + " " + message + "\n";
      continue;
    }
    for (std::size_t p = 0; p < unit.points.size(); ++p) {
      text += "point " + unit.points[p] + " " + unit.answers[p] + "\n";
    }
  }
  errno = 0;
  FilePointer file(OpenFile(path, "wb"));
  const bool written = file && std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                       std::fclose(file.release()) == 0;
  if (!written) {
    return Status(Status::Code::kIoError, "cannot write " + path + ": " +
                                              std::strerror(errno != 0 ? errno : EIO));
  }
  return Status::Ok();
}

Status SearchParts::Read(const std::string& path) {
  std::string bytes;
  if (Status read = ReadFileBytes(path, &bytes); !read.ok()) return read;
  std::size_t lineNumber = 0, start = 0;
  auto nextLine = [&](std::string* line) {
    if (start >= bytes.size()) return false;
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    *line = bytes.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    return true;
  };
  std::string line;
  if (!nextLine(&line) || line.rfind(std::string(kFirstLine) + ", part ", 0) != 0) {
    return Malformed(path, 1, "no first line \"" + std::string(kFirstLine) + ", part I/N\"");
  }
  const std::string header = Header();
  std::string given;
  for (int i = 0; i < 2 && nextLine(&line); ++i) given += line + "\n";
  if (given != header) {
    return Status(Status::Code::kMismatch,
                  path + ": search results of another corpus or other training options");
  }
  Unit* unit = nullptr;
  while (nextLine(&line)) {
    const std::vector<std::string> fields = SplitSpaces(line, 4);
    std::size_t k = 0, fold = 0, code = 0;
    if (fields.size() == 4 && fields[0] == "unit" && ParseCount(fields[2], &k) &&
        ParseCount(fields[3], &fold)) {
      auto [it, added] = units_.emplace(UnitKey(fields[1], k, fold), Unit());
      if (!added) {
        return Status(Status::Code::kInvalidArgument,
                      path + ":" + std::to_string(lineNumber) + ": the unit " + fields[1] + " k=" +
                          std::to_string(k) + " fold " + std::to_string(fold + 1) +
                          " is given twice in the search results");
      }
      unit = &it->second;
    } else if (unit != nullptr && fields.size() >= 2 && fields[0] == "fault" &&
               ParseCount(fields[1], &code) && code > 0) {
      unit->faultCode = static_cast<int>(code);
      unit->fault = SplitSpaces(line, 3).back();
    } else if (unit != nullptr && fields.size() == 4 && fields[0] == "point") {
      const std::size_t classes = corpus_.classNamesUtf8.size();
      const std::string& answers = fields[3];
      if (!std::all_of(answers.begin(), answers.end(), [classes](char c) {
            return c >= kAnswerZero && static_cast<std::size_t>(c - kAnswerZero) <= classes;
          })) {
        return Malformed(path, lineNumber, "an answer that names no class");
      }
      unit->points.push_back(fields[1] + " " + fields[2]);
      unit->answers.push_back(answers);
    } else {
      return Malformed(path, lineNumber, "a line that is neither unit, point nor fault");
    }
  }
  return Status::Ok();
}

}  // namespace wenlei
