// wenlei train CORPUS.tsv -o DIR: builds a resource set (Source.dat and
// SVMModel) from a corpus of labelled, segmented documents.

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "source/confidence_file.h"
#include "source/source_data.h"
#include "text/dictionary.h"
#include "text/segmenter.h"
#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "tools/training/corpus.h"
#include "tools/training/train_options.h"
#include "tools/training/trainer.h"

namespace wenlei {
namespace {

namespace fs = std::filesystem;

// Shows the trainer's progress as one rewritten status line on a terminal.
class StatusLine : public TrainingProgress {
 public:
  explicit StatusLine(bool enabled)
      : enabled_(enabled), start_(std::chrono::steady_clock::now()) {}
  ~StatusLine() override { Finish(); }

  void Status(const std::string& line) override {
    if (!enabled_) return;
    std::fprintf(stderr, "\r[%5.0fs] %s\033[K", Seconds(), line.c_str());
    std::fflush(stderr);
    shown_ = true;
  }

  void Finish() {
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
  }

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "wenlei train: %s\n", message.c_str());
  return kExitFailure;
}

// The temporary files of a run, removed when the run is interrupted, so that
// an interrupted training leaves the directory as it found it.
char gTemporaryFiles[3][4096];

extern "C" void RemoveTemporaryFilesAndDie(int signalNumber) {
  for (const char* path : gTemporaryFiles) {
    if (path[0] != '\0') unlink(path);
  }
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

class RemovedOnSignal {
 public:
  explicit RemovedOnSignal(const std::vector<std::string>& paths) {
    for (std::size_t i = 0; i < paths.size() && i < 3; ++i) Keep(paths[i], gTemporaryFiles[i]);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
      signal(signalNumber, &RemoveTemporaryFilesAndDie);
    }
  }
  ~RemovedOnSignal() {
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) signal(signalNumber, SIG_DFL);
    for (char* path : gTemporaryFiles) path[0] = '\0';
  }

 private:
  static void Keep(const std::string& path, char* slot) {
    if (path.size() >= sizeof gTemporaryFiles[0]) return;  // too long to keep: left behind
    std::memcpy(slot, path.c_str(), path.size() + 1);
  }
};

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}

constexpr char kTemporaryPrefix[] = ".wenlei-train-";

// The process id in a name ".wenlei-train-PID.REST", or 0 for other names.
pid_t TrainingProcessOf(const std::string& name) {
  const std::size_t start = sizeof kTemporaryPrefix - 1;
  if (name.compare(0, start, kTemporaryPrefix) != 0) return 0;
  const std::size_t dot = name.find('.', start);
  if (dot == std::string::npos || dot == start || dot - start > 9) return 0;
  pid_t pid = 0;
  for (std::size_t i = start; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

// A run that was killed outright (SIGKILL, a crash, a power cut) could not
// remove its temporary files; the next run into the directory removes those
// whose process no longer exists.  A live process with that id, ours or
// another's, keeps its files.
void RemoveLeftoversOfDeadRuns(const fs::path& directory) {
  std::error_code status;
  for (fs::directory_iterator entry(directory, status), end; !status && entry != end;
       entry.increment(status)) {
    const pid_t pid = TrainingProcessOf(entry->path().filename().string());
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(pid, 0) == 0 || errno != ESRCH) continue;
    RemoveQuietly(entry->path().string());
  }
}

std::string FormatNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

void PrintReport(const TrainCommandLine& line, const Corpus& corpus, const TrainingReport& report,
                 double seconds) {
  std::ostringstream out;
  out << "trained " << line.outputDirectory << " from " << line.corpusPath << " in ";
  char number[64];
  std::snprintf(number, sizeof number, "%.1f s", seconds);
  out << number << "\n";
  out << "  documents         " << report.documents;
  if (report.documentsWithoutFeatures > 0) {
    out << " (" << report.documentsWithoutFeatures
        << " without a selected word, left out of the model)";
  }
  out << "\n  classes           " << report.classes << ":";
  std::vector<std::size_t> perClass = corpus.DocumentsPerClass();
  for (std::size_t c = 0; c < corpus.classNamesUtf8.size(); ++c) {
    out << (c ? ", " : " ") << c + 1 << " " << corpus.classNamesUtf8[c] << " (" << perClass[c]
        << ")";
  }
  out << "\n  word occurrences  " << corpus.wordOccurrences;
  if (corpus.wordsTooLong || corpus.wordsUnencodable) {
    out << " (skipped: " << corpus.wordsTooLong << " longer than " << kMaxWordBytes
        << " GBK bytes, " << corpus.wordsUnencodable << " not encodable in GBK)";
  }
  if (report.stoppedUnits > 0) {
    out << "\n  stop words        " << report.stoppedUnits << " of the words in "
        << line.options.minDocumentFrequency << "+ documents left out";
  }
  out << "\n  vocabulary        " << report.vocabularyWords << " words, term map "
      << report.termMapWords << " words; " << report.rankedUnits << " words in "
      << line.options.minDocumentFrequency << "+ documents\n";
  std::snprintf(number, sizeof number, "%.2f", report.averageDocLength);
  out << "  average length    " << number << " known words per document\n";
  out << "  chosen            k=" << report.selectedUnits << " C=" << report.cost << ", "
      << KernelName(line.options.kernelType) << " kernel, "
      << (line.options.vocabulary == VocabularyScope::kFull ? "full" : "selected")
      << " vocabulary";
  if (report.weightPower != 0.0) out << ", class weights ^" << FormatNumber(report.weightPower);
  out << "\n";
  std::snprintf(number, sizeof number, "%.2f%%, macro-F1 %.4f",
                100.0 * report.crossValidationAccuracy, report.crossValidationMacroF1);
  out << "  cv accuracy       " << number << " (" << line.options.folds << "-fold, "
      << report.grid.size() << " grid points, words selected within each fold)\n";
  std::snprintf(number, sizeof number, "%.4f (%.2f%% of cross-validated training documents under it)",
                report.minConfidence, 100.0 * report.flaggedShare);
  out << "  min confidence    " << number << "\n";
  out << "  support vectors   " << report.supportVectors << "\n";
  if (!report.skippedFeatureCounts.empty()) {
    out << "  skipped           k=";
    for (std::size_t i = 0; i < report.skippedFeatureCounts.size(); ++i) {
      out << (i ? "," : "") << report.skippedFeatureCounts[i];
    }
    out << " (a class had no document with a selected word)\n";
  }
  out << "  grid (cv accuracy by k and C):\n";
  std::vector<double> costs;
  bool weighted = false;
  for (const auto& point : report.grid) {
    if (std::find(costs.begin(), costs.end(), point.cost) == costs.end()) costs.push_back(point.cost);
    weighted = weighted || point.weightPower != report.grid[0].weightPower;
  }
  out << "    " << std::string(weighted ? 15 : 8, ' ');
  for (double cost : costs) {
    std::snprintf(number, sizeof number, " %8s", ("C=" + FormatNumber(cost)).c_str());
    out << number;
  }
  std::size_t lastFeatures = 0;
  double lastPower = -1.0;
  for (const auto& point : report.grid) {
    if (point.features != lastFeatures || point.weightPower != lastPower) {
      if (weighted) {
        std::snprintf(number, sizeof number, "\n    k=%-6zu w=%-4g", point.features,
                      point.weightPower);
      } else {
        std::snprintf(number, sizeof number, "\n    k=%-6zu", point.features);
      }
      out << number;
      lastFeatures = point.features;
      lastPower = point.weightPower;
    }
    std::snprintf(number, sizeof number, " %7.2f%%", 100.0 * point.accuracy);
    out << number;
  }
  out << "\n";
  std::fputs(out.str().c_str(), stdout);
}

// The bundled stop list, or the one named, and any added to it.
bool ReadStopWords(const TrainCommandLine& line, StopWords* stopWords, std::string* error) {
  *stopWords = StopWords();
  if (line.stopWordsPath != "none") {
    const std::string path =
        line.stopWordsPath.empty() ? BundledPath("stop-words.txt") : line.stopWordsPath;
    if (!stopWords->Read(path, line.encoding, error)) return false;
  }
  for (const auto& path : line.addedStopWordsPaths) {
    if (!stopWords->Read(path, line.encoding, error)) return false;
  }
  return true;
}

}  // namespace

int RunTrainCommand(int argc, char** argv) {
  TrainCommandLine line;
  switch (ParseTrainCommandLine(argc, argv, &line)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }
  std::string error;

  const fs::path directory(line.outputDirectory);
  const std::string sourcePath = (directory / kSourceFileName).string();
  const std::string modelPath = (directory / kModelFileName).string();
  std::error_code status;
  if (!line.force && (fs::exists(sourcePath, status) || fs::exists(modelPath, status))) {
    return Fail(line.outputDirectory +
                " already holds a resource set; use --force to replace it");
  }
  StatusLine progress(!line.quiet && isatty(STDERR_FILENO));
  // An error ends the status line first, so that it stands on a line of its own.
  auto fail = [&progress](const std::string& message) {
    progress.Finish();
    return Fail(message);
  };
  if (!ReadStopWords(line, &line.options.stopWords, &error)) return fail(error);
  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<Segmenter> segmenter;
  if (line.raw) {
    progress.Status("reading the dictionary");
    const std::string dictionaryPath =
        line.dictionaryPath.empty() ? BundledPath("dictionary/dict.txt") : line.dictionaryPath;
    dictionary = Dictionary::Load(dictionaryPath, &error);
    if (!dictionary) return fail(error);
    segmenter = std::make_unique<Segmenter>(*dictionary);
  }
  progress.Status("reading " + line.corpusPath);
  Corpus corpus;
  if (!ReadCorpus(line.corpusPath, line.encoding, &corpus, &error, segmenter.get())) {
    return fail(error);
  }
  if (corpus.LooksUnsegmented()) {
    progress.Finish();
    std::fprintf(stderr,
                 "wenlei train: warning: %s looks unsegmented: %.0f%% of its Chinese characters "
                 "stand in \"words\" of more than %zu characters; if it holds raw text, train "
                 "with --raw\n",
                 line.corpusPath.c_str(),
                 100.0 * static_cast<double>(corpus.chineseCharactersInLongWords) /
                     static_cast<double>(corpus.chineseCharacters),
                 kLongWordCharacters);
  }
  if (corpus.classNamesUtf8.size() < 2) {
    return fail(line.corpusPath + ": one class only (\"" + corpus.classNamesUtf8[0] +
                "\"); a model needs two or more");
  }
  if (!CheckClassNames(corpus, &error)) return fail(error);
  if (!line.synonymsPath.empty() &&
      !ReadSynonyms(line.synonymsPath, line.encoding, &line.options.synonyms, &error)) {
    return fail(error);
  }

  fs::create_directories(directory, status);
  if (status || !fs::is_directory(directory)) {
    return fail("cannot create the directory " + line.outputDirectory);
  }

  RemoveLeftoversOfDeadRuns(directory);
  // Everything is written under temporary names first; the finished pair
  // replaces the directory's set only at the very end.
  const std::string temporaryPrefix =
      (directory / (kTemporaryPrefix + std::to_string(getpid()) + ".")).string();
  const std::string temporarySource = temporaryPrefix + kSourceFileName;
  const std::string temporaryModel = temporaryPrefix + kModelFileName;
  const std::string temporaryConfidence = temporaryPrefix + kConfidenceFileName;
  RemovedOnSignal removedOnSignal({temporarySource, temporaryModel, temporaryConfidence});
  Trainer trainer(corpus, line.options, &progress);
  TrainingReport report;
  bool trained = trainer.Train(temporaryPrefix, &report, &error);
  progress.Finish();
  if (trained) {
    fs::rename(temporarySource, sourcePath, status);
    if (!status) fs::rename(temporaryModel, modelPath, status);
    if (!status) {
      fs::rename(temporaryConfidence, (directory / kConfidenceFileName).string(), status);
    }
    if (status) {
      error = "cannot move the new files into " + line.outputDirectory + ": " + status.message();
      trained = false;
    }
  }
  if (trained) {
    const Status described = WriteTrainedSetMetadata((directory / "").string(), corpus,
                                                     line.options, report);
    if (!described.ok()) error = described.message();
    trained = described.ok();
  }
  RemoveQuietly(temporarySource);
  RemoveQuietly(temporaryModel);
  RemoveQuietly(temporaryConfidence);
  if (!trained) return fail(error);

  PrintReport(line, corpus, report, progress.Seconds());
  return kExitSuccess;
}

}  // namespace wenlei
