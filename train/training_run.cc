#include "train/training_run.h"
#include "util/file_bytes.h"

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
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
#include "train/stop_words.h"

namespace wenlei {
namespace {

namespace fs = std::filesystem;

using Code = Status::Code;

constexpr char kTemporaryStart[] = ".wenlei-train-";

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(Utf8Path(path), ignored);
}

void RemoveQuietly(const std::string& path) {
  std::error_code ignored;
  fs::remove(Utf8Path(path), ignored);
}

// A file named by the caller that could not be used: missing, or there but
// unreadable or malformed.
Status FileFault(const std::string& path, const std::string& message) {
  return Status(Exists(path) ? Code::kInvalidArgument : Code::kNotFound, message);
}

// The process id in a name ".wenlei-train-PID.REST", or 0 for other names.
pid_t TrainingProcessOf(const std::string& name) {
  const std::size_t start = sizeof kTemporaryStart - 1;
  if (name.compare(0, start, kTemporaryStart) != 0) return 0;
  const std::size_t dot = name.find('.', start);
  if (dot == std::string::npos || dot == start || dot - start > 9) return 0;
  pid_t pid = 0;
  for (std::size_t i = start; i < dot; ++i) {
    if (name[i] < '0' || name[i] > '9') return 0;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

// Whether no process with this id runs (a process we may not look at runs).
bool ProcessIsGone(pid_t pid) {
#if defined(_WIN32)
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
#else
  return kill(pid, 0) != 0 && errno == ESRCH;
#endif
}

// A run that was killed outright (SIGKILL, a crash, a power cut) could not
// remove its temporary files; the next run into the directory removes those
// whose process no longer exists.  A live process with that id, ours or
// another's, keeps its files.
void RemoveLeftoversOfDeadRuns(const fs::path& directory) {
  std::error_code status;
  for (fs::directory_iterator entry(directory, status), end; !status && entry != end;
       entry.increment(status)) {
    const pid_t pid = TrainingProcessOf(entry->path().filename().u8string());
    if (pid <= 0 || pid == getpid()) continue;
    if (!ProcessIsGone(pid)) continue;
    RemoveQuietly(entry->path().u8string());
  }
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

Status ReadInput(const CorpusInput& input, const TrainingSettings& settings,
                 const BundledFiles& bundled, TrainingProgress* progress, Corpus* corpus) {
  std::unique_ptr<Dictionary> dictionary;
  std::unique_ptr<Segmenter> segmenter;
  if (settings.raw || input.inMemory) {
    if (progress) progress->Status("reading the dictionary");
    const std::string path =
        settings.dictionaryPath.empty() ? bundled.dictionary : settings.dictionaryPath;
    const Status loaded = Dictionary::Load(path, &dictionary);
    if (!loaded.ok()) {
      return Status(Exists(path) ? Code::kCorrupt : Code::kNotFound, loaded.message());
    }
    segmenter = std::make_unique<Segmenter>(*dictionary);
  }
  if (input.inMemory) {
    if (progress) progress->Status("segmenting the texts");
    if (input.count > 0 && (input.labels == nullptr || input.texts == nullptr ||
                            input.lengths == nullptr)) {
      return Status(Code::kInvalidArgument, "null labels, texts or lengths");
    }
    return BuildCorpus(input.labels, input.texts, input.lengths, input.count, *segmenter, corpus,
                       CorpusWords::kCountsOnly);
  }
  if (progress) progress->Status("reading " + input.path);
  if (!Exists(input.path)) return Status(Code::kNotFound, input.path + ": no such file");
  if (Status read = ReadCorpus(input.path, settings.encoding, corpus, segmenter.get(),
                               CorpusWords::kCountsOnly);
      !read.ok()) {
    return read;
  }
  if (corpus->LooksUnsegmented() && progress) {
    char share[32];
    std::snprintf(share, sizeof share, "%.0f%%",
                  100.0 * static_cast<double>(corpus->chineseCharactersInLongWords) /
                      static_cast<double>(corpus->chineseCharacters));
    progress->Warning(input.path + " looks unsegmented: " + share +
                      " of its Chinese characters stand in \"words\" of more than " +
                      std::to_string(kLongWordCharacters) +
                      " characters; if it holds raw text, train with --raw");
  }
  return Status::Ok();
}

// How the set was trained, in a line for its metadata file.
std::string TrainerDescription(const TrainerOptions& options, const TrainingReport& report) {
  char cost[32];
  std::snprintf(cost, sizeof cost, "%g", report.cost);
  const bool liblinear = options.kernelType == 0 && options.solver != Solver::kLibsvm;
  const std::string solver =
      liblinear ? std::string("liblinear ") + SolverName(options.solver) + " " +
                        MulticlassName(options.multiclass)
                : std::string("libsvm svm_train");
  return solver + ", " + KernelName(options.kernelType) + " kernel, C=" +
         cost + ", " + std::to_string(report.selectedUnits) + " selected words, vocabulary " +
         std::to_string(report.vocabularyWords) + " words, " + std::to_string(options.folds) +
         "-fold cross-validation";
}

// The digests of the files a run wrote, taken from the temporary files
// before they are renamed into place: the bytes this run wrote, whatever
// another process may do to the directory afterwards.
Status DigestWrittenFiles(const std::vector<std::string>& temporary, SetMetadata* metadata) {
  Status status = DigestFile(temporary[0], &metadata->sourceSha256);
  if (status.ok()) status = DigestFile(temporary[1], &metadata->modelSha256);
  if (status.ok()) status = DigestFile(temporary[2], &metadata->confidenceSha256);
  return status;
}

// Written after the files it describes, so that a reader can tell they
// belong to one run.
Status WriteMetadata(const std::string& directory, const Corpus& corpus,
                     const TrainerOptions& options, const TrainingReport& report,
                     SetMetadata metadata) {
  const std::string prefix = (Utf8Path(directory) / "").u8string();
  metadata.trainer = TrainerDescription(options, report);
  for (std::size_t c = 0; c < corpus.classNamesUtf8.size(); ++c) {
    metadata.classNames.emplace_back(static_cast<std::int32_t>(c + 1), corpus.classNamesUtf8[c]);
  }
  return WriteMetadataFile(prefix, metadata);
}

}  // namespace

std::string TemporaryPrefix(const std::string& directory) {
  return (Utf8Path(directory) / (kTemporaryStart + std::to_string(getpid()) + ".")).u8string();
}

Status TrainResourceSet(const CorpusInput& input, const std::string& directory,
                        const TrainingSettings& settings, const BundledFiles& bundled,
                        TrainingProgress* progress, TrainingOutcome* outcome) {
  *outcome = TrainingOutcome();
  const fs::path folder = Utf8Path(directory);
  const std::string sourcePath = (folder / kSourceFileName).string();
  const std::string modelPath = (folder / kModelFileName).string();
  const std::string confidencePath = (folder / kConfidenceFileName).string();
  if (directory.empty()) return Status(Code::kInvalidArgument, "no output directory given");
  if (!settings.force && (Exists(sourcePath) || Exists(modelPath))) {
    return Status(Code::kInvalidArgument,
                  directory + " already holds a resource set; set \"force\" to replace it");
  }
  TrainerOptions options = settings.options;
  Status status = ReadStopWords(settings, bundled, &options.stopWords);
  if (!status.ok()) return status;
  Corpus& corpus = outcome->corpus;
  status = ReadInput(input, settings, bundled, progress, &corpus);
  if (!status.ok()) return status;
  if (corpus.classNamesUtf8.size() < 2) {
    return Status(Code::kInvalidArgument, corpus.path + ": one class only (\"" +
                                              corpus.classNamesUtf8[0] +
                                              "\"); a model needs two or more");
  }
  if (Status checked = CheckClassNames(corpus); !checked.ok()) return checked;
  if (!settings.synonymsPath.empty()) {
    const Status read = ReadSynonyms(settings.synonymsPath, settings.encoding, &options.synonyms);
    if (!read.ok()) return FileFault(settings.synonymsPath, read.message());
  }

  std::error_code fault;
  const bool made = !fs::exists(folder, fault);
  fs::create_directories(folder, fault);
  if (fault || !fs::is_directory(folder, fault)) {
    return Status(Code::kIoError, "cannot create the directory " + directory);
  }
  RemoveLeftoversOfDeadRuns(folder);
  const std::string prefix = TemporaryPrefix(directory);
  const std::vector<std::string> temporary = {prefix + kSourceFileName, prefix + kModelFileName,
                                              prefix + kConfidenceFileName};
  Trainer trainer(corpus, options, progress);
  Status trained = trainer.Train(prefix, &outcome->report);
  SetMetadata metadata;
  if (trained.ok()) trained = DigestWrittenFiles(temporary, &metadata);
  if (trained.ok()) {
    // The model and its threshold first, the resource file last: a reader
    // that finds a new Source.dat finds the files that belong to it.
    fs::rename(Utf8Path(temporary[1]), Utf8Path(modelPath), fault);
    if (!fault) fs::rename(Utf8Path(temporary[2]), Utf8Path(confidencePath), fault);
    if (!fault) fs::rename(Utf8Path(temporary[0]), Utf8Path(sourcePath), fault);
    if (fault) {
      trained = Status(Code::kIoError,
                       "cannot move the new files into " + directory + ": " + fault.message());
    }
  }
  for (const auto& path : temporary) RemoveQuietly(path);
  if (!trained.ok()) {
    if (made) fs::remove(folder, fault);  // only when empty
    return trained;
  }
  return WriteMetadata(directory, corpus, options, outcome->report, std::move(metadata));
}

}  // namespace wenlei
