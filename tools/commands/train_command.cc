// wenlei train CORPUS.tsv -o DIR: builds a resource set (Source.dat and
// SVMModel) from a corpus of labelled, segmented documents.

#include <signal.h>
#if defined(_WIN32)
#include <windows.h>
#include <io.h>
#include <psapi.h>
#define isatty _isatty
#define STDERR_FILENO 2
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "source/source_data.h"
#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "text/character_features.h"
#include "train/corpus.h"
#include "tools/training/train_options.h"
#include "train/trainer.h"
#include "train/training_run.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

namespace fs = std::filesystem;

// The signals that stop a run (Windows has no SIGHUP).
#if defined(_WIN32)
constexpr int kStopSignals[] = {SIGINT, SIGTERM};
#else
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
#endif

// The signal that interrupted the run, or 0.  The run stops at its next
// unit of work and removes what it wrote, so an interrupted training leaves
// the directory as it found it; a second signal ends the process at once.
volatile std::sig_atomic_t gInterruptedBy = 0;

extern "C" void StopTraining(int signalNumber) {
  gInterruptedBy = signalNumber;
  signal(signalNumber, SIG_DFL);
}

class StoppedOnSignal {
 public:
  StoppedOnSignal() {
    for (int signalNumber : kStopSignals) signal(signalNumber, &StopTraining);
  }
  ~StoppedOnSignal() {
    for (int signalNumber : kStopSignals) signal(signalNumber, SIG_DFL);
    // Ended as the signal would have ended it, now that nothing is left behind.
    if (gInterruptedBy != 0) raise(gInterruptedBy);
  }
  StoppedOnSignal(const StoppedOnSignal&) = delete;
  StoppedOnSignal& operator=(const StoppedOnSignal&) = delete;
};

// Shows the trainer's progress: on a terminal as one rewritten status
// line; otherwise as a plain line every few seconds, the latest status with
// the time since the start (every status as it comes with an interval of 0).
class StatusLine : public TrainingProgress {
 public:
  enum class Mode { kQuiet, kTerminal, kLines };

  StatusLine(Mode mode, double interval)
      : mode_(mode), interval_(interval), start_(std::chrono::steady_clock::now()) {
    if (mode_ == Mode::kLines && interval_ > 0) {
      ticker_ = std::thread([this]() { Tick(); });
    }
  }
  ~StatusLine() override {
    Finish();
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (ticker_.joinable()) ticker_.join();
  }

  void Status(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    latest_ = line;
    if (mode_ == Mode::kTerminal) {
      std::fprintf(stderr, "\r[%5.0fs] %s\033[K", Seconds(), line.c_str());
      std::fflush(stderr);
      shown_ = true;
    } else if (mode_ == Mode::kLines && interval_ <= 0) {
      PrintLine();
    }
  }

  bool Advance(const std::string&, double, double) override { return gInterruptedBy != 0; }

  void Warning(const std::string& line) override {
    Finish();
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "wenlei train: warning: %s\n", line.c_str());
  }

  // Ends the terminal's status line and stops the plain lines.
  void Finish() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
    latest_.clear();
  }

  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  void PrintLine() {
    if (latest_.empty()) return;
    std::fprintf(stderr, "wenlei train: [%5.0fs] %s\n", Seconds(), latest_.c_str());
    std::fflush(stderr);
  }

  void Tick() {
    std::unique_lock<std::mutex> lock(mutex_);
    const auto period = std::chrono::duration<double>(interval_);
    while (!wake_.wait_for(lock, period, [this]() { return stopping_; })) PrintLine();
  }

  Mode mode_;
  double interval_;
  bool shown_ = false;
  bool stopping_ = false;
  std::string latest_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread ticker_;
  std::chrono::steady_clock::time_point start_;
};

int Fail(const std::string& message) {
  std::fprintf(stderr, "wenlei train: %s\n", message.c_str());
  return kExitFailure;
}

// Numbers with a decimal point whatever the process locale, as the library
// writes them.
std::string FormatNumber(double value) { return GeneralText(value); }

std::string Percent(double share) { return FixedText(100.0 * share, 2) + "%"; }

std::string Mebibytes(double bytes) { return FixedText(bytes / (1024.0 * 1024.0), 0) + " MiB"; }

std::string PadLeft(const std::string& text, std::size_t width) {
  return std::string(text.size() < width ? width - text.size() : 0, ' ') + text;
}

void PrintReport(const TrainCommandLine& line, const Corpus& corpus, const TrainingReport& report,
                 double seconds) {
  std::ostringstream out;
  out << "trained " << line.outputDirectory << " from " << line.corpusPath << " in ";
  out << FixedText(seconds, 1) << " s\n";
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
  if (corpus.repeatedDocuments > 0) {
    out << "\n  repeats           " << corpus.repeatedDocuments
        << " documents left out as copies of another of their class";
  }
  out << "\n  word occurrences  " << corpus.wordOccurrences;
  if (corpus.wordsTooLong || corpus.wordsUnencodable) {
    out << " (skipped: " << corpus.wordsTooLong << " longer than " << kMaxWordBytes
        << " GBK bytes, " << corpus.wordsUnencodable << " not encodable in GBK)";
  }
  if (report.stoppedUnits > 0) {
    out << "\n  stop words        " << report.stoppedUnits << " of the words in "
        << line.settings.options.minDocumentFrequency << "+ documents left out";
  }
  out << "\n  vocabulary        " << report.vocabularyWords << " words, term map "
      << report.termMapWords << " words; " << report.rankedUnits << " words in "
      << line.settings.options.minDocumentFrequency << "+ documents\n";
  out << "  average length    " << FixedText(report.averageDocLength, 2)
      << " known words per document\n";
  out << "  chosen            k=" << report.selectedUnits << " C=" << FormatNumber(report.cost) << ", "
      << KernelName(line.settings.options.kernelType) << " kernel, "
      << (line.settings.options.vocabulary == VocabularyScope::kFull ? "full" : "selected")
      << " vocabulary, reads " << FeatureSetName(report.reads);
  if (report.weightPower != 0.0) out << ", class weights ^" << FormatNumber(report.weightPower);
  out << "\n";
  if (line.settings.options.heldOut) {
    out << "  held-out accuracy " << Percent(report.crossValidationAccuracy) << ", macro-F1 "
        << FixedText(report.crossValidationMacroF1, 4) << " (one fold of " << line.settings.options.folds
        << " held out, features selected without it)\n";
  } else {
    out << "  cv accuracy       " << Percent(report.crossValidationAccuracy) << ", macro-F1 "
        << FixedText(report.crossValidationMacroF1, 4) << " (" << line.settings.options.folds << "-fold, "
        << report.grid.size() << " grid points, features selected within each fold"
        << (report.searchedDocuments < report.documents
                ? ", on " + std::to_string(report.searchedDocuments) + " of the " +
                      std::to_string(report.documents) + " documents"
                : std::string())
        << ")\n";
  }
  out << "  min confidence    " << FixedText(report.minConfidence, 4) << " ("
      << Percent(report.flaggedShare) << " of cross-validated training documents under it"
      << (report.thresholdCapped ? "; the highest threshold allowed" : "") << ")\n";
  out << "  support vectors   " << report.supportVectors << "\n";
#if defined(_WIN32)
  PROCESS_MEMORY_COUNTERS memory{};
  if (K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory)) {
    out << "  peak memory       " << Mebibytes(static_cast<double>(memory.PeakWorkingSetSize))
        << "\n";
  }
#else
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) == 0) {
    out << "  peak memory       " << Mebibytes(1024.0 * static_cast<double>(usage.ru_maxrss)) << "\n";
  }
#endif
  for (std::size_t i = 0; i < report.skippedFeatureCounts.size(); ++i) {
    out << "  skipped           k=" << report.skippedFeatureCounts[i] << " (class \""
        << report.skippedForClass[i] << "\" had no document with a selected word)\n";
  }
  if (report.AtOrBelowChance()) out << "  warning           " << ChanceWarning(report) << "\n";
  out << "  grid (cv accuracy by k and C):\n";
  std::vector<double> costs;
  bool weighted = false;
  for (const auto& point : report.grid) {
    if (std::find(costs.begin(), costs.end(), point.cost) == costs.end()) costs.push_back(point.cost);
    weighted = weighted || point.weightPower != report.grid[0].weightPower;
  }
  out << "    " << std::string(weighted ? 15 : 8, ' ');
  for (double cost : costs) {
    out << " " << PadLeft("C=" + FormatNumber(cost), 8);
  }
  std::size_t lastFeatures = 0;
  double lastPower = -1.0;
  for (const auto& point : report.grid) {
    if (point.features != lastFeatures || point.weightPower != lastPower) {
      // "k=" and the count in 6 columns, then "w=" and the power in 4.
      std::string row = "\n    k=" + std::to_string(point.features);
      row.resize(std::max<std::size_t>(row.size(), 13), ' ');
      if (weighted) {
        row += " w=" + FormatNumber(point.weightPower);
        row.resize(std::max<std::size_t>(row.size(), 20), ' ');
      }
      out << row;
      lastFeatures = point.features;
      lastPower = point.weightPower;
    }
    out << " " << PadLeft(Percent(point.accuracy), 8);
  }
  out << "\n";
  std::fputs(out.str().c_str(), stdout);
}

}  // namespace

int RunTrainCommand(int argc, char** argv) {
  TrainCommandLine line;
  switch (ParseTrainCommandLine(argc, argv, &line)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }

  const fs::path directory(line.outputDirectory);
  TrainingSettings settings = line.settings;
  std::error_code status;
  if (!settings.force && (fs::exists(directory / kSourceFileName, status) ||
                          fs::exists(directory / kModelFileName, status))) {
    return Fail(line.outputDirectory +
                " already holds a resource set; use --force to replace it");
  }
  StatusLine progress(line.quiet                ? StatusLine::Mode::kQuiet
                      : isatty(STDERR_FILENO) ? StatusLine::Mode::kTerminal
                                              : StatusLine::Mode::kLines,
                      line.progressInterval);
  StoppedOnSignal stoppedOnSignal;
  CorpusInput input;
  input.path = line.corpusPath;
  const BundledFiles bundled{BundledPath("stop-words.txt"), BundledPath("dictionary/dict.txt")};
  TrainingOutcome outcome;
  Status trained =
      TrainResourceSet(input, line.outputDirectory, settings, bundled, &progress, &outcome);
  progress.Finish();
  if (!trained.ok()) return Fail(trained.message());
  if (const SearchPart& part = settings.options.searchPart; part.count != 0) {
    const std::string written = "cross-validated share " + SearchPartName(part) +
                                " of the search into " +
                                (directory / SearchPartFileName(part)).u8string() + " in " +
                                FixedText(progress.Seconds(), 1) + " s\n";
    std::fputs(written.c_str(), stdout);
    return kExitSuccess;
  }
  PrintReport(line, outcome.corpus, outcome.report, progress.Seconds());
  return kExitSuccess;
}

}  // namespace wenlei
