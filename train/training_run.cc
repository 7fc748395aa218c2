#include "train/training_run.h"
#include "util/file_bytes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include "source/confidence_file.h"
#include "source/metadata_file.h"
#include "source/source_data.h"
#include "text/dictionary.h"
#include "text/segmenter.h"
#include "train/corpus_reading.h"
#include "train/stop_words.h"
#include "util/set_replacement.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

namespace fs = std::filesystem;

using Code = Status::Code;

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(Utf8Path(path), ignored);
}

// A file named by the caller that could not be used: missing, or there but
// unreadable or malformed.
Status FileFault(const std::string& path, const std::string& message) {
  return Status(Exists(path) ? Code::kInvalidArgument : Code::kNotFound, message);
}

// The bundled stop list, or the one named, and any added to it.
Status ReadStopWords(const TrainingSettings& settings, const BundledFiles& bundled,
                     StopWords* stopWords) {
  *stopWords = StopWords();
  std::vector<std::string> paths;
  if (settings.stopWordsPath != "none") {
    paths.push_back(settings.stopWordsPath.empty() ? bundled.stopWords : settings.stopWordsPath);
  }
  paths.insert(paths.end(), settings.addedStopWordsPaths.begin(),
               settings.addedStopWordsPaths.end());
  for (const auto& path : paths) {
    const Status read = stopWords->Read(path, settings.encoding);
    if (read.ok()) continue;
    if (settings.stopWordsPath.empty() && path == bundled.stopWords && !Exists(path)) {
      return Status(Code::kNotFound,
                    path + ": the bundled stop list is missing from this installation (training "
                           "reads it unless the stop-words option is \"none\")");
    }
    return FileFault(path, read.message());
  }
  return Status::Ok();
}

// The runs of characters every candidate of what the set reads needs; a
// held-out calibration takes the first candidate alone, and forming the
// others' runs would only cost their counting.
FeatureSet RunsToForm(const TrainerOptions& options) {
  FeatureSet runs;
  runs.words = false;
  const std::size_t taken = options.heldOut ? std::min<std::size_t>(1, options.featureSets.size())
                                            : options.featureSets.size();
  for (std::size_t c = 0; c < taken; ++c) {
    const FeatureSet& candidate = options.featureSets[c];
    if (!candidate.characters()) continue;
    runs.smallest = runs.characters() ? std::min(runs.smallest, candidate.smallest) : candidate.smallest;
    runs.largest = std::max(runs.largest, candidate.largest);
  }
  return runs;
}

std::string DictionaryPath(const TrainingSettings& settings, const BundledFiles& bundled) {
  return settings.dictionaryPath.empty() ? bundled.dictionary : settings.dictionaryPath;
}

// Reports a reading's share done and, from the pace so far, roughly how
// long is left; asks the run's progress whether to stop.
ReadingProgress ReportReading(TrainingProgress* progress, const std::string& what, const char* unit) {
  if (progress == nullptr) return {};
  const auto started = std::chrono::steady_clock::now();
  return [=](std::uint64_t done, std::uint64_t total) {
    const double share = total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string line = what + ": " + std::to_string(static_cast<int>(100.0 * share)) + "% (" +
                       std::to_string(done) + " of " + std::to_string(total) + " " + unit + ")";
    if (share > 0.0) {
      line += "; about " + std::to_string(static_cast<long>(seconds * (1.0 / share - 1.0) + 0.5)) +
              " s left";
    }
    progress->Status(line);
    return progress->Advance("reading", static_cast<double>(done), static_cast<double>(total));
  };
}

Status ReadInput(const CorpusInput& input, const TrainingSettings& settings,
                 const BundledFiles& bundled, TrainingProgress* progress, Corpus* corpus,
                 std::string* dictionarySha256) {
  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<Segmenter> segmenter;
  const SegmenterSource loadSegmenter = [&](const Segmenter** loaded) -> Status {
    if (!segmenter) {
      if (progress) progress->Status("reading the dictionary");
      const std::string path = DictionaryPath(settings, bundled);
      if (Status read = Dictionary::Load(path, &dictionary); !read.ok()) {
        return Status(Exists(path) ? Code::kCorrupt : Code::kNotFound, read.message());
      }
      if (Status digested = RememberedDigest(path, dictionarySha256); !digested.ok()) return digested;
      segmenter = std::make_unique<Segmenter>(*dictionary);
    }
    *loaded = segmenter.get();
    return Status::Ok();
  };
  if (input.inMemory) {
    // Texts a caller segmented with the dictionary (as a search segments
    // them once for all its fits): the set records that dictionary all the
    // same, which need not be loaded.
    const Segmenter* cutter = nullptr;
    if (settings.text == CorpusText::kWords) {
      if (Status digested = RememberedDigest(DictionaryPath(settings, bundled), dictionarySha256);
          !digested.ok()) {
        return digested;
      }
    } else if (Status loaded = loadSegmenter(&cutter); !loaded.ok()) {
      return loaded;
    }
    if (progress) progress->Status(cutter ? "segmenting the texts" : "reading the texts' words");
    if (input.count > 0 && (input.labels == nullptr || input.texts == nullptr ||
                            input.lengths == nullptr)) {
      return Status(Code::kInvalidArgument, "null labels, texts or lengths");
    }
    Status built = BuildCorpus(input.labels, input.texts, input.lengths, input.count, cutter, corpus,
                               CorpusWords::kCountsOnly, RunsToForm(settings.options),
                               ReportReading(progress, cutter ? "segmenting the texts" : "reading the texts' words", "texts"));
    if (built.ok()) RemoveRepeatedDocuments(corpus);
    return built;
  }
  if (progress) progress->Status("reading " + input.path);
  if (!Exists(input.path)) return Status(Code::kNotFound, input.path + ": no such file");
  CorpusReading reading;
  const Status read = ReadCorpusText(input.path, settings.encoding, settings.text, loadSegmenter,
                                     corpus, CorpusWords::kCountsOnly, &reading, RunsToForm(settings.options),
                                     ReportReading(progress, "reading " + input.path, "bytes"));
  if (read.ok() && !reading.detected.empty() && progress) progress->Warning(reading.detected);
  if (read.ok()) RemoveRepeatedDocuments(corpus);
  return read;
}

// How the set was trained, in a line for its metadata file.
std::string TrainerDescription(const TrainerOptions& options, const TrainingReport& report) {
  const bool liblinear = options.kernelType == 0 && options.solver != Solver::kLibsvm;
  const std::string solver =
      liblinear ? std::string("liblinear ") + SolverName(options.solver) + " " +
                        MulticlassName(options.multiclass)
                : std::string("libsvm svm_train");
  return solver + ", " + KernelName(options.kernelType) + " kernel, C=" +
         GeneralText(report.cost) + ", " + std::to_string(report.selectedUnits) + " selected words, vocabulary " +
         std::to_string(report.vocabularyWords) + " words, " +
         (options.heldOut ? "calibrated on one fold of " + std::to_string(options.folds) + " held out"
                          : std::to_string(options.folds) + "-fold cross-validation");
}

// The metadata file, written last into the staging directory: the
// digests of the files beside it there, the bytes this run wrote, whatever
// another process may do to the directory afterwards.
Status WriteMetadata(const std::string& staging, const Corpus& corpus,
                     const TrainerOptions& options, const TrainingOutcome& outcome) {
  const TrainingReport& report = outcome.report;
  SetMetadata metadata;
  metadata.dictionarySha256 = outcome.dictionarySha256;
  Status status = DigestFile(staging + kSourceFileName, &metadata.sourceSha256);
  if (status.ok()) status = DigestFile(staging + kModelFileName, &metadata.modelSha256);
  if (status.ok()) status = DigestFile(staging + kConfidenceFileName, &metadata.confidenceSha256);
  if (!status.ok()) return status;
  metadata.trainer = TrainerDescription(options, report);
  metadata.reads = FeatureSetName(report.reads);
  for (std::size_t c = 0; c < corpus.classNamesUtf8.size(); ++c) {
    metadata.classNames.emplace_back(static_cast<std::int32_t>(c + 1), corpus.classNamesUtf8[c]);
  }
  return WriteMetadataFile(staging, metadata);
}

// Makes the output directory when missing (*made tells) and checks that it
// is one.
Status MakeDirectory(const std::string& directory, bool* made) {
  std::error_code fault;
  const fs::path folder = Utf8Path(directory);
  *made = false;
  if (fs::exists(folder, fault)) {
    if (!fs::is_directory(folder, fault)) {
      return Status(Code::kInvalidArgument,
                    directory + " is not a directory; name a directory for the resource set");
    }
    return Status::Ok();
  }
  *made = fs::create_directories(folder, fault);
  if (fault || !fs::is_directory(folder, fault)) {
    return Status(Code::kIoError, "cannot create the directory " + directory +
                                      (fault ? ": " + fault.message() : std::string()));
  }
  return Status::Ok();
}

// The trainer's options with their lists read, and the corpus.
Status PrepareTraining(const CorpusInput& input, const TrainingSettings& settings,
                       const BundledFiles& bundled, TrainingProgress* progress,
                       TrainerOptions* options, TrainingOutcome* outcome) {
  *options = settings.options;
  Status status = ReadStopWords(settings, bundled, &options->stopWords);
  if (!status.ok()) return status;
  Corpus& corpus = outcome->corpus;
  status = ReadInput(input, settings, bundled, progress, &corpus, &outcome->dictionarySha256);
  if (!status.ok()) return status;
  if (corpus.classNamesUtf8.size() < 2) {
    return Status(Code::kInvalidArgument, corpus.path + ": one class only (\"" +
                                              corpus.classNamesUtf8[0] +
                                              "\"); a model needs two or more");
  }
  if (Status checked = CheckClassNames(corpus); !checked.ok()) return checked;
  if (!settings.synonymsPath.empty()) {
    const Status read = ReadSynonyms(settings.synonymsPath, settings.encoding, &options->synonyms);
    if (!read.ok()) return FileFault(settings.synonymsPath, read.message());
  }
  return Status::Ok();
}

// Trains into the staging directory and writes the metadata there.
Status TrainIntoStaging(const CorpusInput& input, const TrainingSettings& settings,
                        const BundledFiles& bundled, TrainingProgress* progress,
                        const SetReplacement& replacement, TrainingOutcome* outcome) {
  TrainerOptions options;
  Status status = PrepareTraining(input, settings, bundled, progress, &options, outcome);
  if (!status.ok()) return status;
  const Corpus& corpus = outcome->corpus;
  Trainer trainer(corpus, options, progress);
  const std::string& staging = replacement.staging();
  status = trainer.Train(staging, &outcome->report);
  for (const char* name : {kSourceFileName, kModelFileName, kConfidenceFileName}) {
    if (status.ok()) status = replacement.Written(name);
  }
  if (status.ok()) status = WriteMetadata(staging, corpus, options, *outcome);
  if (status.ok()) status = replacement.Written(kMetadataFileName);
  return status;
}

Status AlreadyHoldsSet(const std::string& directory) {
  return Status(Code::kInvalidArgument,
                directory + " already holds a resource set; set \"force\" to replace it");
}

// A share of the search: its results file in the directory, no set.
Status RunSearchPart(const CorpusInput& input, const std::string& directory,
                     const TrainingSettings& settings, const BundledFiles& bundled,
                     TrainingProgress* progress, TrainingOutcome* outcome) {
  bool made = false;
  Status status = MakeDirectory(directory, &made);
  TrainerOptions options;
  if (status.ok()) status = PrepareTraining(input, settings, bundled, progress, &options, outcome);
  if (status.ok()) {
    Trainer trainer(outcome->corpus, options, progress);
    status = trainer.Train((Utf8Path(directory) / "").u8string(), &outcome->report);
  }
  return status;
}

}  // namespace

Status TrainResourceSet(const CorpusInput& input, const std::string& directory,
                        const TrainingSettings& settings, const BundledFiles& bundled,
                        TrainingProgress* progress, TrainingOutcome* outcome) {
  *outcome = TrainingOutcome();
  if (directory.empty()) return Status(Code::kInvalidArgument, "no output directory given");
  if (settings.options.searchPart.count != 0) {
    return RunSearchPart(input, directory, settings, bundled, progress, outcome);
  }
  const fs::path folder = Utf8Path(directory);
  auto holdsSet = [&folder]() {
    return Exists((folder / kSourceFileName).u8string()) || Exists((folder / kModelFileName).u8string());
  };
  if (!settings.force && holdsSet()) return AlreadyHoldsSet(directory);
  bool made = false;
  Status status = MakeDirectory(directory, &made);
  if (!status.ok()) return status;
  // Locked before the first file is written, so the directory is known to
  // be writable before any training, and asked again under the lock: a run
  // that finished meanwhile may have written a set there.
  // The model and its threshold first, the resource file after them and the
  // metadata last: where the files move one by one, a reader of the exports
  // that loads the new Source.dat finds the model that belongs to it.
  SetReplacement replacement;
  status = replacement.Begin(directory, {kModelFileName, kConfidenceFileName, kSourceFileName, kMetadataFileName});
  if (status.ok() && !settings.force && holdsSet()) status = AlreadyHoldsSet(directory);
  if (status.ok()) status = TrainIntoStaging(input, settings, bundled, progress, replacement, outcome);
  if (status.ok()) status = replacement.Commit();
  replacement.Finish();
  if (status.ok() && progress != nullptr && outcome->report.AtOrBelowChance()) {
    progress->Warning(ChanceWarning(outcome->report));
  }
  if (!status.ok() && made) {
    std::error_code ignored;
    fs::remove(folder, ignored);  // only when empty
  }
  return status;
}

}  // namespace wenlei
