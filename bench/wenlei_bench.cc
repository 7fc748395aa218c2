// The library's timings, each beside the reference it is judged against:
// every figure is one benchmark that times its subject and its reference
// alternately within each iteration, so both run under the same machine
// load, and reports both times and their ratio as counters.
//
//   wenlei_bench [benchmark flags] --data=DIR [--bundled=PREFIX]
//                [--corpus=DIR] [--facts=FILE]
//
// --data holds generated resource sets between runs (they are rebuilt when
// their description changes); --bundled names the bundled resource set,
// used when it holds Source.dat and SVMModel, else a stand-in trained on
// the corpus's train split (or, without a corpus, a generated one) takes
// its place; --corpus holds train.tsv and test.tsv; --facts receives what
// the run measured on (sizes, counts, origins) as JSON.  Every resource set
// is classified from a temporary copy, since classifying writes working
// files under the prefix.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <iconv.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "bench/json_writer.h"
#include "classify/classifier.h"
#include "wenlei/exports.h"
#include "wenlei/wenlei.h"
#include "classify/word_list.h"
#include "predict/model_file_check.h"
#include "source/source_data.h"
#include "svm.h"
#include "util/file_lock.h"
#include "testutil/test_support.h"
#include "vectorise/document_vector.h"

extern char** environ;

namespace wenlei::bench {
namespace {

constexpr std::size_t kBatchDocuments = 1000;
constexpr std::size_t kLongDocumentWords = 20000;

struct Options {
  std::string dataDir;
  std::string bundledPrefix;
  std::string corpusDir;
  std::string factsPath;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    auto value = [&](const char* name, std::string* out) {
      const std::string key = std::string("--") + name + "=";
      if (argument.rfind(key, 0) != 0) return false;
      *out = argument.substr(key.size());
      return true;
    };
    if (value("data", &options.dataDir) || value("bundled", &options.bundledPrefix) ||
        value("corpus", &options.corpusDir) || value("facts", &options.factsPath)) {
      continue;
    }
    throw std::runtime_error("unknown argument " + argument);
  }
  if (options.dataDir.empty()) throw std::runtime_error("--data=DIR is required");
  if (!options.bundledPrefix.empty() && options.bundledPrefix.back() != '/') {
    options.bundledPrefix += '/';
  }
  return options;
}

void Progress(const std::string& message) {
  std::fprintf(stderr, "bench: %s\n", message.c_str());
  std::fflush(stderr);
}

// A generated resource set kept under the data directory, rebuilt when the
// text that describes it changes.
std::string CachedSet(const std::string& dataDir, const std::string& name,
                      const std::string& description, const std::function<void(const std::string&)>& build) {
  const std::string prefix = dataDir + "/" + name + "/";
  const std::string stampPath = prefix + "description.txt";
  std::ifstream stamp(stampPath);
  std::stringstream stamped;
  stamped << stamp.rdbuf();
  if (HasResourceSet(prefix) && stamped.str() == description) return prefix;
  MakeDirectories(prefix);
  std::filesystem::remove(stampPath);
  Progress("building the " + name + " resource set (kept in " + dataDir + ")");
  build(prefix);
  std::ofstream(stampPath) << description;
  return prefix;
}

std::string Describe(const SyntheticSetSpec& spec) {
  std::ostringstream text;
  text << "synthetic classes=" << spec.classCount << " vocabulary=" << spec.vocabulary
       << " documentsPerClass=" << spec.documentsPerClass
       << " wordsPerDocument=" << spec.wordsPerDocument << " seed=" << spec.seed << "\n";
  return text.str();
}

// The library's process-wide resource set holds one prefix at a time.
class LoadedPrefix {
 public:
  static void Ensure(const std::string& prefix) {
    if (current() == prefix) return;
    releasesource();
    if (LoadSource(prefix.c_str()) != 1) throw std::runtime_error("cannot load " + prefix);
    current() = prefix;
  }
  static void Forget() { current().clear(); }

 private:
  static std::string& current() {
    static std::string prefix;
    return prefix;
  }
};

// One vector as libsvm receives it from the test file: the features are
// already rounded to the six significant digits the library writes.
std::vector<svm_node> Nodes(const FeatureVector& features) {
  std::vector<svm_node> nodes;
  for (const auto& [feature, value] : features) nodes.push_back({feature, value});
  nodes.push_back({-1, 0.0});
  return nodes;
}

// A resource set copied to a working directory, with its documents as the
// library sees them and as libsvm sees them.
struct ClassifiedSet {
  std::string name;
  std::string origin;
  std::string prefix;  // the temporary copy
  ModelFacts model;
  std::vector<LabelledDocument> documents;
  std::vector<std::unique_ptr<testing::WordListBuilder>> lists;
  std::vector<std::vector<svm_node>> vectors;  // empty for documents without features
  std::size_t typical = 0;                     // the document of median known-word count

  const WordList* List(std::size_t i) const { return lists[i]->list(); }

  void Prepare(const std::string& from, const std::string& workDir) {
    prefix = workDir + "/" + name + "/";
    MakeDirectories(prefix);
    CopyResourceSet(from, prefix);
    model = ReadModelFacts(prefix + kModelFileName);
    SourceData sourceData;
    if (!sourceData.Load(prefix).ok()) {
      throw std::runtime_error("cannot load " + prefix);
    }
    Classifier classifier(sourceData);
    std::vector<std::pair<double, std::size_t>> byLength;
    for (std::size_t i = 0; i < documents.size(); ++i) {
      lists.push_back(std::make_unique<testing::WordListBuilder>(
          testing::WordListBuilder::FromWords(documents[i].words)));
      const DocumentFeatures vector = classifier.Vectorise(*List(i));
      if (!vector.features.empty()) {
        vectors.push_back(Nodes(vector.features));
        byLength.emplace_back(vector.knownWordCount, i);
      } else {
        vectors.emplace_back();
      }
    }
    if (byLength.empty()) throw std::runtime_error("no document of " + name + " has a feature");
    std::sort(byLength.begin(), byLength.end());
    typical = byLength[byLength.size() / 2].second;
  }

  std::size_t KnownWords(std::size_t i) const {
    SourceData sourceData;
    sourceData.Load(prefix);
    double known = 0.0;
    Classifier(sourceData).CountWords(*List(i), &known);
    return static_cast<std::size_t>(known);
  }
};

class Bench {
 public:
  explicit Bench(const Options& options) : options_(options) {}

  void Prepare() {
    MakeDirectories(options_.dataDir);
    PrepareHelpSet();
    PrepareModelSizes();
    PrepareLargeSource();
    handle_ = CreateClassifier();
    CheckFloorMatchesLibrary();
    ScoreTestDocuments();
    PrepareModern();
  }

  void Register() {
    RegisterSingle(help_, "single/" + help_.name, true);
    for (ClassifiedSet& set : sizes_) RegisterSingle(set, "model/" + set.name, false);
    RegisterLoad();
    RegisterVectorise();
    RegisterBatch();
    RegisterModern();
  }

  void WriteFacts() const {
    if (options_.factsPath.empty()) return;
    JsonWriter json;
    json.Begin();
    json.Field("libsvm_version", LIBSVM_VERSION);
    json.Field("svm_predict", svmPredict_);
    json.Field("floor_matches_library", floorMatches_);
    WriteSetFacts(json, "help", help_);
    json.Key("model_sizes");
    json.BeginArray();
    for (const ClassifiedSet& set : sizes_) {
      json.Begin();
      WriteSetBody(json, set);
      json.End();
    }
    json.EndArray();
    json.Key("large_source");
    json.Begin();
    json.Field("file_bytes", FileBytes(largePrefix_ + kSourceFileName));
    json.Field("vocabulary", largeSpec_.vocabulary);
    json.Field("term_map", largeSpec_.termMap);
    json.Field("idf", largeSpec_.idf);
    json.Field("classes", largeSpec_.classCount);
    json.Field("prefix", largePrefix_);
    json.Field("document_words", longDocument_.size());
    json.Field("document_known_words", longDocumentKnown_);
    json.Field("document_distinct_known_words", longDocumentDistinct_);
    json.Field("document_features", longDocumentFeatures_);
    json.End();
    json.Field("batch_documents", kBatchDocuments);
    json.Field("batch_documents_with_features", batchVectors_);
    json.Field("modern_documents", help_.documents.size());
    json.Field("modern_text_from", modernTextFrom_);
    json.Field("modern_answers_equal_exports", modernAnswersEqual_);
    json.End();
    std::ofstream(options_.factsPath) << json.Text() << "\n";
  }

  ~Bench() {
    if (handle_ != nullptr) releaseClassifier(handle_);
    wenlei_close(modern_);
  }

 private:
  void PrepareHelpSet() {
    help_.name = "help";
    std::string from;
    const std::string train = options_.corpusDir + "/train.tsv";
    const std::string test = options_.corpusDir + "/test.tsv";
    const bool haveCorpus = !options_.corpusDir.empty() && std::filesystem::exists(train) &&
                            std::filesystem::exists(test);
    if (!options_.bundledPrefix.empty() && HasResourceSet(options_.bundledPrefix)) {
      from = options_.bundledPrefix;
      help_.origin = "bundled";
    } else if (haveCorpus) {
      from = CachedSet(options_.dataDir, "standin-corpus",
                       "corpus stand-in from " + std::to_string(FileBytes(train)) + " bytes\n",
                       [&](const std::string& prefix) {
                         BuildCorpusResourceSet(prefix, ReadCorpus(train));
                       });
      help_.origin = "stand-in trained on the corpus's train split";
    } else {
      from = CachedSet(options_.dataDir, "standin-synthetic", Describe(SyntheticSetSpec{}),
                       [](const std::string& prefix) {
                         BuildSyntheticResourceSet(prefix, SyntheticSetSpec{});
                       });
      help_.origin = "generated stand-in (no corpus)";
    }
    if (haveCorpus) {
      // Class numbers follow the resource set's own class names.
      std::vector<std::string> names = ClassNamesOf(from);
      if (!names.empty()) names.erase(names.begin());
      Corpus corpus = ReadCorpus(test, names);
      help_.documents = std::move(corpus.documents);
      helpDocumentsFrom_ = "the corpus's test split";
    } else {
      help_.documents = SyntheticDocuments(from, SyntheticSetSpec{}, 300);
      helpDocumentsFrom_ = "generated";
    }
    help_.Prepare(from, work_.path());
    // The batch: the documents again and again up to kBatchDocuments.
    for (std::size_t i = 0; i < kBatchDocuments; ++i) {
      batch_.push_back(*help_.List(i % help_.documents.size()));
      if (!help_.vectors[i % help_.documents.size()].empty()) ++batchVectors_;
    }
    answers_.assign(kBatchDocuments, std::vector<char>(256));
    for (auto& answer : answers_) answerPointers_.push_back(answer.data());
  }

  void PrepareModelSizes() {
    std::vector<std::pair<std::string, SyntheticSetSpec>> specs = {
        {"small", {8, 2000, 25, 60, 11}},
        {"medium", {8, 10000, 150, 150, 12}},
        {"large", {8, 50000, 400, 300, 13}},
    };
    for (const auto& [name, spec] : specs) {
      const std::string from =
          CachedSet(options_.dataDir, "model-" + name, Describe(spec),
                    [spec = spec](const std::string& prefix) { BuildSyntheticResourceSet(prefix, spec); });
      ClassifiedSet set;
      set.name = name;
      set.origin = Describe(spec);
      set.origin.pop_back();
      set.documents = SyntheticDocuments(from, spec, 50);
      set.Prepare(from, work_.path());
      sizes_.push_back(std::move(set));
    }
  }

  // A generated Source.dat kept under the data directory, copied to the
  // working directory; the copy's prefix.
  std::string LargeSource(const std::string& name, const LargeSourceSpec& spec) {
    std::ostringstream description;
    description << "large source vocabulary=" << spec.vocabulary << " termMap=" << spec.termMap
                << " idf=" << spec.idf << " classes=" << spec.classCount << " seed=" << spec.seed
                << " idfInOwnOrder=" << spec.idfInOwnOrder << "\n";
    const std::string prefix = options_.dataDir + "/" + name + "/";
    const std::string stampPath = prefix + "description.txt";
    std::ifstream stamp(stampPath);
    std::stringstream stamped;
    stamped << stamp.rdbuf();
    if (!std::filesystem::exists(prefix + kSourceFileName) || stamped.str() != description.str()) {
      Progress("generating a large Source.dat (" + name + ")");
      MakeDirectories(prefix);
      WriteLargeSourceFile(prefix + kSourceFileName, spec);
      std::ofstream(stampPath) << description.str();
    }
    const std::string copy = work_.path() + "/" + name + "/";
    MakeDirectories(copy);
    std::filesystem::copy_file(prefix + kSourceFileName, copy + kSourceFileName);
    return copy;
  }

  void PrepareLargeSource() {
    largePrefix_ = LargeSource("large-source", largeSpec_);
    LargeSourceSpec ownOrder = largeSpec_;
    ownOrder.idfInOwnOrder = true;
    largeOwnOrderPrefix_ = LargeSource("large-source-idf-own-order", ownOrder);

    if (!largeSource_.Load(largePrefix_).ok()) {
      throw std::runtime_error("cannot load " + largePrefix_);
    }
    std::vector<std::string> vocabulary;
    for (const auto& entry : largeSource_.wordIndexTable) vocabulary.push_back(entry.first);
    sortedVocabulary_ = vocabulary;  // already in table order
    std::vector<std::string> fileOrder(vocabulary.size());
    for (const auto& [word, feature] : largeSource_.wordIndexTable) {
      fileOrder[static_cast<std::size_t>(feature - 1)] = word;
    }
    DocumentGenerator generator(fileOrder, 1, 21);
    longDocument_ = generator.MixedDocument(kLongDocumentWords, 0.9);
    longList_ = std::make_unique<testing::WordListBuilder>(
        testing::WordListBuilder::FromWords(longDocument_));
    Classifier classifier(largeSource_);
    double known = 0.0;
    longDocumentDistinct_ = classifier.CountWords(*longList_->list(), &known).size();
    longDocumentKnown_ = static_cast<std::size_t>(known);
    longDocumentFeatures_ = classifier.Vectorise(*longList_->list()).features.size();
  }

  // The floor and svm-predict must see exactly the vector the library
  // predicts; compare their result lines with the library's.
  void CheckFloorMatchesLibrary() {
    svmPredict_ = FindProgram("svm-predict");
    const std::vector<svm_node>& nodes = help_.vectors[help_.typical];
    LoadedPrefix::Ensure(help_.prefix);
    char answer[256];
    Classification(handle_, help_.List(help_.typical), answer);
    std::ifstream result(help_.prefix + kResultFileName);
    std::string header, libraryLine;
    std::getline(result, header);
    std::getline(result, libraryLine);

    svm_model* model = svm_load_model((help_.prefix + kModelFileName).c_str());
    std::vector<double> probabilities(static_cast<std::size_t>(svm_get_nr_class(model)));
    const double label = svm_predict_probability(model, nodes.data(), probabilities.data());
    svm_free_and_destroy_model(&model);
    char number[64];
    std::string floorLine;
    std::snprintf(number, sizeof number, "%g ", label);
    floorLine += number;
    for (double p : probabilities) {
      std::snprintf(number, sizeof number, "%g ", p);
      floorLine += number;
    }
    floorMatches_ = floorLine == libraryLine;
    if (!floorMatches_) {
      Progress("warning: the floor's prediction \"" + floorLine + "\" differs from the library's \"" +
               libraryLine + "\"");
    }
    // The one-line test file svm-predict reads is the library's own.
    std::filesystem::copy_file(help_.prefix + kTestFileName, help_.prefix + "svm-predict-test.dat",
                               std::filesystem::copy_options::overwrite_existing);
  }

  // How often the first name of the answer is the document's class, over
  // the test documents, for the comparison with the peers.
  void ScoreTestDocuments() {
    LoadedPrefix::Ensure(help_.prefix);
    const std::vector<std::string> names = ClassNamesOf(help_.prefix);
    const std::string separator = " or ";
    BatchClassification(handle_, batch_.data(), help_.documents.size(), answerPointers_.data());
    // Per class: documents of it, answers naming it, and both.
    std::map<std::string, std::array<std::size_t, 3>> tally;
    for (std::size_t i = 0; i < help_.documents.size(); ++i) {
      std::string answer = answerPointers_[i];
      const std::size_t or_at = answer.find(separator);
      if (or_at != std::string::npos) {
        ++testAmbiguous_;
        answer.resize(or_at);
      }
      const auto classNumber = static_cast<std::size_t>(help_.documents[i].classNumber);
      const std::string truth = classNumber < names.size() ? names[classNumber] : "";
      ++tally[truth][0];
      ++tally[answer][1];
      if (answer == truth) {
        ++testRight_;
        ++tally[truth][2];
      }
    }
    // Macro-F1 over the classes the documents belong to.
    double sum = 0.0;
    std::size_t classes = 0;
    for (const auto& [name, counts] : tally) {
      if (counts[0] == 0) continue;
      ++classes;
      if (counts[2] > 0) sum += 2.0 * static_cast<double>(counts[2]) / static_cast<double>(counts[0] + counts[1]);
    }
    testMacroF1_ = classes > 0 ? sum / static_cast<double>(classes) : 0.0;
  }

  static std::string FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(path ? path : "/usr/bin");
    std::string directory;
    while (std::getline(directories, directory, ':')) {
      const std::string candidate = directory + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
  }

  // One side of a paired measurement: the work to time, what to do untimed
  // after it, and CPU time spent outside this thread (a child process).
  struct Side {
    std::function<double()> run;  // returns CPU seconds used by children
    std::function<void()> after = [] {};
  };

  // Subject and reference timed alternately within every iteration (their
  // order swapped each time), so both see the same machine however its load
  // drifts.  Reports each side's wall and CPU time per iteration and their
  // ratios; the repetitions' medians are the figures.
  static void RegisterPair(const std::string& name, std::function<void()> setUp, Side subject,
                           Side reference, int repetitions = 0) {
    auto* b = benchmark::RegisterBenchmark(name.c_str(), [=](benchmark::State& state) {
      setUp();
      Totals subjectTotals, referenceTotals;
      std::int64_t round = 0;
      for (auto _ : state) {
        const bool subjectFirst = round++ % 2 == 0;
        for (int turn = 0; turn < 2; ++turn) {
          const bool isSubject = (turn == 0) == subjectFirst;
          const Side& side = isSubject ? subject : reference;
          (isSubject ? subjectTotals : referenceTotals).Add(side.run);
          side.after();
        }
      }
      using benchmark::Counter;
      state.counters["subject_wall"] = Counter(subjectTotals.wall, Counter::kAvgIterations);
      state.counters["subject_cpu"] = Counter(subjectTotals.cpu, Counter::kAvgIterations);
      state.counters["reference_wall"] = Counter(referenceTotals.wall, Counter::kAvgIterations);
      state.counters["reference_cpu"] = Counter(referenceTotals.cpu, Counter::kAvgIterations);
      state.counters["subject_process_cpu"] = Counter(subjectTotals.processCpu, Counter::kAvgIterations);
      state.counters["reference_process_cpu"] = Counter(referenceTotals.processCpu, Counter::kAvgIterations);
      state.counters["ratio_wall"] = subjectTotals.wall / referenceTotals.wall;
      state.counters["ratio_cpu"] = subjectTotals.cpu / referenceTotals.cpu;
    });
    b->UseRealTime()->Unit(benchmark::kMillisecond);
    if (repetitions > 0) b->Iterations(1)->Repetitions(repetitions);
  }

  struct Totals {
    double wall = 0.0, cpu = 0.0, processCpu = 0.0;
    void Add(const std::function<double()>& run) {
      const auto wallStart = std::chrono::steady_clock::now();
      const double cpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
      const double processStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
      const double childCpu = run();
      cpu += CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart + childCpu;
      processCpu += CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - processStart + childCpu;
      wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    }
  };

  // CPU time of this thread, or of every thread of the process (for the
  // figure whose subject runs a second thread).
  static double CpuSeconds(clockid_t clock) {
    timespec now;
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
  }

  template <typename Work>
  static Side Timed(Work work) {
    return Side{[work]() mutable {
      work();
      return 0.0;
    }};
  }

  // (a) and (e): one Classification through the exports against libsvm
  // loading the model, predicting the same vector and releasing the model;
  // (b): the same against svm-predict run as a process.
  void RegisterSingle(ClassifiedSet& set, const std::string& group, bool withProcess) {
    ClassifiedSet* s = &set;
    ClassifierHandle handle = handle_;
    // One untimed classification after loading parses the model, as the
    // first call of a host does; the figures are the calls after it.
    auto setUp = [s, handle] {
      LoadedPrefix::Ensure(s->prefix);
      char answer[256];
      Classification(handle, s->List(s->typical), answer);
    };
    Side classification = Timed([s, handle] {
      char answer[256];
      Classification(handle, s->List(s->typical), answer);
      benchmark::DoNotOptimize(answer);
    });
    Side floor = Timed([s, probabilities = std::vector<double>(
                                static_cast<std::size_t>(s->model.classCount))]() mutable {
      svm_model* model = svm_load_model((s->prefix + kModelFileName).c_str());
      benchmark::DoNotOptimize(
          svm_predict_probability(model, s->vectors[s->typical].data(), probabilities.data()));
      svm_free_and_destroy_model(&model);
    });
    RegisterPair(group + "/Classification vs floor", setUp, classification, floor);
    if (!withProcess) return;
    // The lock that processes sharing a prefix take turns on, alone: what
    // each classification pays for it.
    // (The library keeps its lock file open between classifications; so
    // does this one.)
    RegisterPair(group + "/working-file lock vs Classification", setUp,
                 Timed([s, lock = std::make_shared<FileLock>()] {
                   const Status locked = lock->Lock(WorkingFileLockPath(s->prefix + kTestFileName));
                   if (!locked.ok()) throw std::runtime_error(locked.message());
                   lock->Unlock();
                 }),
                 classification);
    // The library's largest own part, alone.
    RegisterPair(group + "/model check vs floor", setUp, Timed([s] {
                   benchmark::DoNotOptimize(CheckModelFile(s->prefix + kModelFileName));
                 }),
                 floor);
    if (svmPredict_.empty()) {
      Progress("svm-predict is missing (Debian's libsvm-tools): its figure is skipped");
      return;
    }
    const std::vector<std::string> command = {svmPredict_, "-b", "1",
                                              s->prefix + "svm-predict-test.dat",
                                              s->prefix + kModelFileName,
                                              s->prefix + "svm-predict-result.dat"};
    RegisterPair(group + "/Classification vs svm-predict process", setUp, classification,
                 Side{[command] { return RunQuietly(command); }});
  }

  // Runs a program with its output discarded; the seconds of CPU time it used.
  static double RunQuietly(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      throw std::runtime_error("cannot run " + arguments[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      throw std::runtime_error(arguments[0] + " failed");
    }
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
  }

  // (c): LoadSource of the large file against reading its bytes.
  void RegisterLoad() {
    auto setUp = [] {
      LoadedPrefix::Forget();
      releasesource();
    };
    auto load = [](const std::string& prefix) {
      Side side = Timed([prefix] {
        if (LoadSource(prefix.c_str()) != 1) throw std::runtime_error("cannot load " + prefix);
      });
      side.after = [] { releasesource(); };
      return side;
    };
    const std::string path = largePrefix_ + kSourceFileName;
    Side readBytes = Timed([path] {
      std::FILE* file = std::fopen(path.c_str(), "rb");
      std::fseek(file, 0, SEEK_END);
      std::vector<char> bytes(static_cast<std::size_t>(std::ftell(file)));
      std::fseek(file, 0, SEEK_SET);
      benchmark::DoNotOptimize(std::fread(bytes.data(), 1, bytes.size(), file));
      std::fclose(file);
      benchmark::DoNotOptimize(bytes.data());
    });
    RegisterPair("load/LoadSource vs read bytes", setUp, load(largePrefix_), readBytes);
    RegisterPair("load/LoadSource, idf in its own order, vs read bytes", setUp,
                 load(largeOwnOrderPrefix_), readBytes);
  }

  // (d): counting, weighting and feature mapping of a long document,
  // cumulatively, each against one ordered lookup per word.
  void RegisterVectorise() {
    SourceData* source = &largeSource_;
    const WordList* list = longList_->list();
    const std::vector<std::string>* sorted = &sortedVocabulary_;
    Side lookups = Timed([list, sorted] {
      WordListView view(*list);
      std::size_t found = 0;
      for (std::size_t i = 0; i < view.size(); ++i) {
        const std::string_view word = view[i];
        auto it = std::lower_bound(sorted->begin(), sorted->end(), word,
                                   [](const std::string& a, std::string_view b) { return std::string_view(a) < b; });
        found += it != sorted->end() && *it == word;
      }
      benchmark::DoNotOptimize(found);
    });
    auto nothing = [] {};
    RegisterPair("vectorise/count vs lookups", nothing, Timed([source, list] {
                   double known = 0.0;
                   benchmark::DoNotOptimize(Classifier(*source).CountWords(*list, &known));
                 }),
                 lookups);
    RegisterPair("vectorise/count+weight vs lookups", nothing, Timed([source, list] {
                   double known = 0.0;
                   TermCounts counts = Classifier(*source).CountWords(*list, &known);
                   WeightTerms(counts, known, source->idfTable, source->averageDocLength);
                   benchmark::DoNotOptimize(counts);
                 }),
                 lookups);
    RegisterPair("vectorise/count+weight+map vs lookups", nothing, Timed([source, list] {
                   benchmark::DoNotOptimize(Classifier(*source).Vectorise(*list));
                 }),
                 lookups);
  }

  // (f) and the whole-split figure beside the peers.
  void RegisterBatch() {
    ClassifiedSet* s = &help_;
    ClassifierHandle handle = handle_;
    const std::vector<WordList>* batch = &batch_;
    char* const* answers = answerPointers_.data();
    auto setUp = [s, handle] {
      LoadedPrefix::Ensure(s->prefix);
      char answer[256];
      Classification(handle, s->List(s->typical), answer);  // parses the model, untimed
    };
    Side batchSide = Timed([=] { BatchClassification(handle, batch->data(), batch->size(), answers); });
    Side floor = Timed([s, probabilities = std::vector<double>(
                                static_cast<std::size_t>(s->model.classCount))]() mutable {
      svm_model* model = svm_load_model((s->prefix + kModelFileName).c_str());
      const std::size_t n = s->documents.size();
      for (std::size_t i = 0; i < kBatchDocuments; ++i) {
        const std::vector<svm_node>& nodes = s->vectors[i % n];
        if (nodes.empty()) continue;
        benchmark::DoNotOptimize(svm_predict_probability(model, nodes.data(), probabilities.data()));
      }
      svm_free_and_destroy_model(&model);
    });
    RegisterPair("batch/BatchClassification vs floor", setUp, batchSide, floor);
    // The same documents, one Classification each: what a host without the
    // batch path pays, and the per-document figure beside the peers.
    Side separate = Timed([=] {
      char answer[256];
      for (const WordList& list : *batch) Classification(handle, &list, answer);
    });
    RegisterPair("batch/separate Classification vs BatchClassification", setUp, separate, batchSide, 3);
    benchmark::RegisterBenchmark("corpus/BatchClassification of the test documents",
                                 [=](benchmark::State& state) {
                                   LoadedPrefix::Ensure(s->prefix);
                                   for (auto _ : state) {
                                     BatchClassification(handle, batch->data(), s->documents.size(), answers);
                                   }
                                 })
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
  }

  // The modern interface on the help set: a handle opened on the same
  // files, the test documents' words as pointers and lengths, and their raw
  // UTF-8 text (the corpus's raw split when it lines up, else the words
  // joined without separators).
  void PrepareModern() {
    char* message = nullptr;
    if (wenlei_open(help_.prefix.c_str(), nullptr, &modern_, &message) != WENLEI_OK) {
      const std::string why = message != nullptr ? message : "?";
      wenlei_free(message);
      throw std::runtime_error("wenlei_open " + help_.prefix + ": " + why);
    }
    for (const LabelledDocument& document : help_.documents) {
      modernWords_.emplace_back();
      modernLengths_.emplace_back();
      for (const std::string& word : document.words) {
        modernWords_.back().push_back(word.data());
        modernLengths_.back().push_back(word.size());
      }
    }
    std::vector<std::string> raw;
    std::ifstream rawFile(options_.corpusDir + "/test-raw.tsv");
    for (std::string line; rawFile && std::getline(rawFile, line);) {
      const std::size_t tab = line.find('\t');
      raw.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    }
    if (helpDocumentsFrom_ == "the corpus's test split" && raw.size() == help_.documents.size()) {
      modernTexts_ = std::move(raw);
      modernTextFrom_ = "the corpus's raw test split";
    } else {
      iconv_t toUtf8 = iconv_open("UTF-8", "GBK");
      for (const LabelledDocument& document : help_.documents) {
        std::string joined;
        for (const std::string& word : document.words) joined += word;
        std::string utf8(joined.size() * 2 + 4, '\0');
        char* in = joined.data();
        std::size_t inLeft = joined.size();
        char* out = utf8.data();
        std::size_t outLeft = utf8.size();
        iconv(toUtf8, &in, &inLeft, &out, &outLeft);
        utf8.resize(utf8.size() - outLeft);
        modernTexts_.push_back(utf8);
      }
      iconv_close(toUtf8);
      modernTextFrom_ = "the documents' words joined without separators";
    }
    // The modern interface answers as the exports do.
    LoadedPrefix::Ensure(help_.prefix);
    modernAnswersEqual_ = true;
    for (std::size_t i = 0; i < help_.documents.size(); ++i) {
      char answer[256];
      Classification(handle_, help_.List(i), answer);
      wenlei_result* result = ModernWords(i);
      modernAnswersEqual_ = modernAnswersEqual_ && result != nullptr &&
                            std::strcmp(answer, wenlei_result_answer_gbk(result)) == 0;
      wenlei_result_free(result);
    }
  }

  wenlei_result* ModernWords(std::size_t i) const {
    wenlei_result* result = nullptr;
    wenlei_classify_words(modern_, modernWords_[i].data(), modernLengths_[i].data(),
                          modernWords_[i].size(), WENLEI_GBK, &result, nullptr);
    return result;
  }

  // (g) The modern interface: each test document classified alone from its
  // words, beside the same documents from raw text; one thread against two
  // on one handle doing the same work between them.
  void RegisterModern() {
    const Bench* self = this;
    const std::size_t n = help_.documents.size();
    auto nothing = [] {};
    auto words = [self, n](std::size_t from, std::size_t step) {
      for (std::size_t i = from; i < n; i += step) wenlei_result_free(self->ModernWords(i));
    };
    Side fromWords = Timed([words] { words(0, 1); });
    Side fromText = Timed([self, n] {
      for (std::size_t i = 0; i < n; ++i) {
        wenlei_result* result = nullptr;
        wenlei_classify_text(self->modern_, self->modernTexts_[i].data(), self->modernTexts_[i].size(),
                             &result, nullptr);
        wenlei_result_free(result);
      }
    });
    RegisterPair("modern/words vs raw text, one document at a time", nothing, fromWords, fromText);
    Side oneThread = Timed([words] {
      words(0, 1);
      words(0, 1);
    });
    Side twoThreads = Timed([words] {
      std::thread other([words] { words(0, 1); });
      words(0, 1);
      other.join();
    });
    RegisterPair("modern/one thread vs two threads on one handle", nothing, oneThread, twoThreads);
  }

  void WriteSetFacts(JsonWriter& json, const char* key, const ClassifiedSet& set) const {
    json.Key(key);
    json.Begin();
    WriteSetBody(json, set);
    json.Field("documents_from", helpDocumentsFrom_);
    json.Field("test_documents", help_.documents.size());
    json.Field("test_right", testRight_);
    json.Field("test_ambiguous", testAmbiguous_);
    json.Field("test_macro_f1", testMacroF1_);
    json.End();
  }

  static void WriteSetBody(JsonWriter& json, const ClassifiedSet& set) {
    json.Field("name", set.name);
    json.Field("origin", set.origin);
    json.Field("source_bytes", FileBytes(set.prefix + kSourceFileName));
    json.Field("model_bytes", set.model.fileBytes);
    json.Field("classes", set.model.classCount);
    json.Field("kernel", set.model.kernel);
    json.Field("support_vectors", set.model.supportVectors);
    json.Field("model_non_zeros", set.model.nonZeros);
    json.Field("highest_feature", set.model.highestIndex);
    json.Field("documents", set.documents.size());
    json.Field("typical_document_words", set.documents[set.typical].words.size());
    json.Field("typical_document_known_words", set.KnownWords(set.typical));
    json.Field("typical_document_features", set.vectors[set.typical].size() - 1);
  }

  Options options_;
  testing::TempDir work_;
  ClassifierHandle handle_ = nullptr;
  ClassifiedSet help_;
  std::string helpDocumentsFrom_;
  std::size_t testRight_ = 0, testAmbiguous_ = 0;
  double testMacroF1_ = 0.0;
  std::vector<ClassifiedSet> sizes_;
  std::vector<WordList> batch_;
  std::size_t batchVectors_ = 0;
  std::vector<std::vector<char>> answers_;
  std::vector<char*> answerPointers_;
  LargeSourceSpec largeSpec_;
  std::string largePrefix_;
  std::string largeOwnOrderPrefix_;  // the same with the idf records shuffled
  SourceData largeSource_;
  std::vector<std::string> sortedVocabulary_;
  std::vector<std::string> longDocument_;
  std::unique_ptr<testing::WordListBuilder> longList_;
  std::size_t longDocumentKnown_ = 0, longDocumentDistinct_ = 0, longDocumentFeatures_ = 0;
  std::string svmPredict_;
  bool floorMatches_ = false;
  wenlei_classifier* modern_ = nullptr;
  std::vector<std::vector<const char*>> modernWords_;
  std::vector<std::vector<std::size_t>> modernLengths_;
  std::vector<std::string> modernTexts_;
  std::string modernTextFrom_;
  bool modernAnswersEqual_ = false;
};

}  // namespace
}  // namespace wenlei::bench

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  try {
    wenlei::bench::Bench bench(wenlei::bench::ParseOptions(argc, argv));
    bench.Prepare();
    bench.WriteFacts();
    bench.Register();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "wenlei_bench: %s\n", error.what());
    return 1;
  }
  return 0;
}
