// The training entry through the shared library: a set trained from texts
// opens and classifies, errors come back as statuses, and a cancelled run
// leaves nothing behind.
#include <gtest/gtest.h>
#include <errno.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "testutil/test_support.h"
#include "util/sha256.h"
#include "train/trainer_test_corpus.h"
#include "wenlei/exports.h"
#include "wenlei/wenlei.h"

namespace {

using wenlei::testing::ListDirectory;
using wenlei::Sha256Hex;
using wenlei::testing::ReadFile;
using wenlei::testing::TempDir;
using wenlei::testing::WriteFile;

// The generated corpus as labels and texts.
struct Texts {
  std::vector<std::string> labels, texts;
  std::vector<const char*> labelPointers, textPointers;
  std::vector<size_t> lengths;

  explicit Texts(const std::string& corpus) {
    std::istringstream lines(corpus);
    for (std::string line; std::getline(lines, line);) {
      const std::size_t tab = line.find('\t');
      labels.push_back(line.substr(0, tab));
      texts.push_back(line.substr(tab + 1));
    }
    for (std::size_t i = 0; i < labels.size(); ++i) {
      labelPointers.push_back(labels[i].c_str());
      textPointers.push_back(texts[i].c_str());
      lengths.push_back(texts[i].size());
    }
  }
  wenlei_status Train(const std::string& directory, const wenlei_train_options* options,
                      std::string* message) const {
    char* text = nullptr;
    wenlei_status status = wenlei_train_texts(labelPointers.data(), textPointers.data(),
                                              lengths.data(), labels.size(), directory.c_str(),
                                              options, &text);
    if (text != nullptr) *message = text;
    wenlei_free(text);
    return status;
  }
};

class TrainApiTest : public ::testing::Test {
 protected:
  void SetUp() override { options_ = wenlei_train_options_create(); }
  void TearDown() override { wenlei_train_options_destroy(options_); }

  wenlei_status Set(const char* name, const char* value, std::string* message = nullptr) {
    char* text = nullptr;
    wenlei_status status = wenlei_train_options_set(options_, name, value, &text);
    if (text != nullptr && message != nullptr) *message = text;
    wenlei_free(text);
    return status;
  }

  TempDir dir_;
  wenlei_train_options* options_ = nullptr;
  Texts corpus_{wenlei::testing::GeneratedCorpus().Text()};
};

TEST_F(TrainApiTest, TrainedTextsOpenAndClassify) {
  const std::string output = dir_.path() + "/set";
  std::string message;
  ASSERT_EQ(Set("features", "all"), WENLEI_OK);
  ASSERT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
  wenlei_classifier* classifier = nullptr;
  ASSERT_EQ(wenlei_open(output.c_str(), nullptr, &classifier, nullptr), WENLEI_OK);
  EXPECT_EQ(wenlei_class_count(classifier), 3u);
  const std::string text = corpus_.texts[0];
  wenlei_result* result = nullptr;
  ASSERT_EQ(wenlei_classify_text(classifier, text.c_str(), text.size(), &result, nullptr),
            WENLEI_OK);
  EXPECT_STREQ(wenlei_result_answer(result), corpus_.labels[0].c_str());
  wenlei_result_free(result);
  wenlei_close(classifier);

  // A second run into the set needs "force".
  EXPECT_EQ(corpus_.Train(output, options_, &message), WENLEI_INVALID_ARGUMENT);
  EXPECT_NE(message.find("already holds a resource set"), std::string::npos) << message;
  ASSERT_EQ(Set("force", "1"), WENLEI_OK);
  EXPECT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
}

// The set records the dictionary its texts were cut with; a handle that
// segments with another works, and says so.
TEST_F(TrainApiTest, ASetNamesItsDictionaryAndAnotherOneIsReported) {
  const std::string output = dir_.path() + "/set";
  std::string message;
  ASSERT_EQ(Set("features", "all"), WENLEI_OK);
  ASSERT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
  const std::string dictionary = ReadFile(wenlei_default_dictionary());
  EXPECT_NE(ReadFile(output + "/Metadata.txt").find("dictionary_sha256 " + Sha256Hex(dictionary)),
            std::string::npos);
  const std::string other = dir_.path() + "/other-dict.txt";
  WriteFile(other, dictionary.substr(dictionary.find('\n') + 1));  // one word fewer
  struct Case {
    const char* dictionary;  // null: the bundled one
    bool warned;
  };
  for (const Case& c : {Case{nullptr, false}, Case{other.c_str(), true}}) {
    wenlei_options* options = wenlei_options_create();
    if (c.dictionary != nullptr) wenlei_options_set_dictionary(options, c.dictionary);
    wenlei_classifier* classifier = nullptr;
    ASSERT_EQ(wenlei_open(output.c_str(), options, &classifier, nullptr), WENLEI_OK);
    wenlei_options_destroy(options);
    const std::string trained = wenlei_trained_with(classifier);
    EXPECT_NE(trained.find("; dictionary sha256 " + Sha256Hex(dictionary)), std::string::npos);
    EXPECT_EQ(trained.find("segmenting with") != std::string::npos, c.warned) << trained;
    ASSERT_EQ(wenlei_warning(classifier) != nullptr, c.warned);
    if (c.warned) {
      const std::string warning = wenlei_warning(classifier);
      EXPECT_NE(warning.find(other), std::string::npos) << warning;
      EXPECT_NE(warning.find(Sha256Hex(dictionary.substr(dictionary.find('\n') + 1))),
                std::string::npos) << warning;
    }
    wenlei_result* result = nullptr;
    EXPECT_EQ(wenlei_classify_text(classifier, corpus_.texts[0].c_str(), corpus_.texts[0].size(),
                                   &result, nullptr),
              WENLEI_OK);
    wenlei_result_free(result);
    wenlei_close(classifier);
  }
  // The bundled set records none: nothing to say.
  wenlei_classifier* bundled = nullptr;
  ASSERT_EQ(wenlei_open(wenlei_default_resources(), nullptr, &bundled, nullptr), WENLEI_OK);
  EXPECT_EQ(wenlei_warning(bundled), nullptr);
  wenlei_close(bundled);
}

TEST_F(TrainApiTest, ErrorsComeBackAsStatusAndMessage) {
  struct Case {
    const char* name;
    const char* value;
    const char* message;
  };
  for (const Case& bad : {Case{"no-such-option", "1", "no-such-option: no such option"},
                          Case{"min-df", "0", "min-df: \"0\" is not a whole number from 1 to 1000000000"},
                          Case{"kernel", "cubic", "kernel: \"cubic\" is not linear, polynomial, "
                                                  "rbf or sigmoid"},
                          Case{"raw", "maybe", "raw: \"maybe\" is not 1 or 0"}}) {
    std::string message;
    EXPECT_EQ(Set(bad.name, bad.value, &message), WENLEI_INVALID_ARGUMENT) << bad.name;
    EXPECT_EQ(message, bad.message);
  }
  EXPECT_EQ(wenlei_train_options_set(nullptr, "seed", "1", nullptr), WENLEI_INVALID_ARGUMENT);

  const std::string output = dir_.path() + "/set";
  char* message = nullptr;
  EXPECT_EQ(wenlei_train_file((dir_.path() + "/missing.tsv").c_str(), output.c_str(), options_,
                              &message),
            WENLEI_NOT_FOUND);
  wenlei_free(message);
  WriteFile(dir_.path() + "/bad.tsv", "体育\t\xff\xfe\n");
  EXPECT_EQ(wenlei_train_file((dir_.path() + "/bad.tsv").c_str(), output.c_str(), options_,
                              nullptr),
            WENLEI_BAD_ENCODING);
  WriteFile(dir_.path() + "/one.tsv", "体育\t球 赛\n体育\t球 队\n");
  EXPECT_EQ(wenlei_train_file((dir_.path() + "/one.tsv").c_str(), output.c_str(), options_,
                              nullptr),
            WENLEI_INVALID_ARGUMENT);
  const char* labels[] = {"体育", "财经"};
  const char* texts[] = {"球赛", "\xc3"};
  const size_t lengths[] = {6, 1};
  EXPECT_EQ(wenlei_train_texts(labels, texts, lengths, 2, output.c_str(), options_, nullptr),
            WENLEI_BAD_ENCODING);
  EXPECT_EQ(wenlei_train_texts(nullptr, nullptr, nullptr, 0, output.c_str(), options_, nullptr),
            WENLEI_INVALID_ARGUMENT);
  EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(TrainApiTest, EveryStageReportsItsEnd) {
  struct Report {
    std::string stage;
    double done, total;
  };
  auto callback = [](void* context, const char* stage, double done, double total) {
    static_cast<std::vector<Report>*>(context)->push_back({stage, done, total});
    return 0;
  };
  // Folds on one thread and on several, with one cost and with a grid.
  for (const char* jobs : {"1", "2"}) {
    for (const char* costs : {"1", "0.5,1,2"}) {
      std::vector<Report> reports;
      ASSERT_EQ(Set("jobs", jobs), WENLEI_OK);
      ASSERT_EQ(Set("cost", costs), WENLEI_OK);
      wenlei_train_options_set_progress(options_, callback, &reports);
      const std::string output = dir_.path() + "/set" + jobs + costs;
      std::string message;
      ASSERT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
      std::vector<std::string> stages;
      for (std::size_t i = 0; i < reports.size(); ++i) {
        const Report& report = reports[i];
        if (stages.empty() || stages.back() != report.stage) stages.push_back(report.stage);
        EXPECT_LE(report.done, report.total) << report.stage;
        const bool last = i + 1 == reports.size() || reports[i + 1].stage != report.stage;
        if (last) {
          EXPECT_EQ(report.done, report.total) << report.stage << " ends unfinished";
        } else {
          EXPECT_EQ(reports[i + 1].total, report.total) << report.stage;
        }
      }
      EXPECT_EQ(stages, (std::vector<std::string>{"features", "cross-validation", "calibration",
                                                  "training"}));
    }
  }
}

// The forks of this process, counted by a handler that fork runs.
std::atomic<int> gForks{0};

// A host's training runs inside the host alone: no copy of it (a fork
// would duplicate its unflushed output and its locks' state), no child of
// any kind, also in a host of one thread.
TEST_F(TrainApiTest, TrainingStartsNoProcess) {
  ASSERT_EQ(pthread_atfork([] { ++gForks; }, nullptr, nullptr), 0);
  bool child = false;  // seen while the folds train
  auto callback = [](void* context, const char*, double, double) {
    siginfo_t info{};
    const int waited = waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT);
    *static_cast<bool*>(context) |= waited == 0 || errno != ECHILD;
    return 0;
  };
  // liblinear's default solver, which shuffles with the C library's rand().
  ASSERT_EQ(Set("jobs", "2"), WENLEI_OK);
  ASSERT_EQ(Set("cost", "0.5,1,2"), WENLEI_OK);
  wenlei_train_options_set_progress(options_, callback, &child);
  std::string message;
  ASSERT_EQ(corpus_.Train(dir_.path() + "/set", options_, &message), WENLEI_OK) << message;
  EXPECT_EQ(gForks.load(), 0);
  EXPECT_FALSE(child);
}

TEST_F(TrainApiTest, CancellingLeavesTheDirectoryAsItWas) {
  struct Calls {
    int count = 0;
    int stopAt = 0;
    std::vector<std::string> stages;
  };
  auto callback = [](void* context, const char* stage, double done, double total) {
    Calls* calls = static_cast<Calls*>(context);
    calls->stages.push_back(stage);
    EXPECT_LE(done, total);
    return ++calls->count >= calls->stopAt ? 1 : 0;
  };
  // Stopped at the first report, at a report in the middle: the directory
  // the run made is gone again, and an existing one keeps its files.
  for (int stopAt : {1, 4}) {
    Calls calls;
    calls.stopAt = stopAt;
    wenlei_train_options_set_progress(options_, callback, &calls);
    const std::string output = dir_.path() + "/made" + std::to_string(stopAt);
    std::string message;
    EXPECT_EQ(corpus_.Train(output, options_, &message), WENLEI_CANCELLED);
    EXPECT_EQ(calls.count, stopAt);
    EXPECT_FALSE(std::filesystem::exists(output));

    const std::string existing = dir_.path() + "/existing";
    std::filesystem::create_directories(existing);
    WriteFile(existing + "/notes.txt", "kept");
    calls.count = 0;
    EXPECT_EQ(corpus_.Train(existing, options_, &message), WENLEI_CANCELLED);
    EXPECT_EQ(ListDirectory(existing), std::vector<std::string>{"notes.txt"});
  }
}

// Class lines changed by hand, which no digest covers, would make the two
// doors answer differently: such a set is refused.
TEST_F(TrainApiTest, OpenChecksTheMetadatasNamesAgainstSourceDat) {
  const std::string output = dir_.path() + "/set";
  std::string message;
  ASSERT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
  const std::string path = output + "/Metadata.txt";
  const std::string trained = ReadFile(path);
  auto replaced = [&trained](const std::string& from, const std::string& to) {
    std::string text = trained;
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    std::string text;
    wenlei_status status;
  };
  // Classes in code point order: 体育 1, 科技 2, 财经 3.
  const std::vector<Case> cases = {
      {trained, WENLEI_OK},
      {replaced("class 1 体育\nclass 2 科技", "class 1 科技\nclass 2 体育"), WENLEI_MISMATCH},
      {replaced("class 2 科技", "class 2 体育"), WENLEI_MISMATCH},
      {replaced("class 3 财经\n", ""), WENLEI_MISMATCH},
      {replaced("class 3 财经", "class 4 财经"), WENLEI_MISMATCH},
      {"# " + std::string(1 << 20, 'x') + "\n" + trained, WENLEI_CORRUPT},
  };
  for (const auto& c : cases) {
    WriteFile(path, c.text);
    wenlei_classifier* classifier = nullptr;
    char* why = nullptr;
    EXPECT_EQ(wenlei_open(output.c_str(), nullptr, &classifier, &why), c.status)
        << c.text.substr(0, 200) << (why ? why : "");
    wenlei_free(why);
    wenlei_close(classifier);
  }
}

// A polynomial kernel of a huge gamma overflows into a model of NaN, which
// answered every document alike: the run fails and the old set stays.
TEST_F(TrainApiTest, AModelWhoseNumbersAreNotFiniteIsNotWritten) {
  const std::string output = dir_.path() + "/set";
  std::string message;
  ASSERT_EQ(corpus_.Train(output, options_, &message), WENLEI_OK) << message;
  const std::string model = ReadFile(output + "/SVMModel");
  const std::vector<std::pair<const char*, const char*>> settings = {
      {"kernel", "polynomial"}, {"gamma", "1e300"}, {"coef0", "1e300"}, {"degree", "9"},
      {"cost", "1"}, {"features", "all"}, {"folds", "2"}, {"force", "1"}};
  for (const auto& [name, value] : settings) ASSERT_EQ(Set(name, value), WENLEI_OK) << name;
  EXPECT_EQ(corpus_.Train(output, options_, &message), WENLEI_INVALID_ARGUMENT);
  EXPECT_NE(message.find("is not a finite number"), std::string::npos) << message;
  EXPECT_EQ(ReadFile(output + "/SVMModel"), model);
}

// A host that set a decimal-comma locale still gives and gets numbers with
// a decimal point: option values, their defaults and the set's metadata.
TEST_F(TrainApiTest, NumbersKeepTheirDecimalPointUnderADecimalCommaLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  std::string message;
  const wenlei_status set = Set("cost", "0.0625,0.5", &message);
  std::string defaults;
  for (std::size_t i = 0; wenlei_train_option_name(i) != nullptr; ++i) {
    defaults += std::string(wenlei_train_option_name(i)) + "=" + wenlei_train_option_default(i) + " ";
  }
  const std::string output = dir_.path() + "/set";
  const wenlei_status trained = corpus_.Train(output, options_, &message);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_EQ(set, WENLEI_OK) << message;
  EXPECT_NE(defaults.find("cost=0.0625,0.125,0.25,0.5,1,"), std::string::npos) << defaults;
  ASSERT_EQ(trained, WENLEI_OK) << message;
  const std::string metadata = ReadFile(output + "/Metadata.txt");
  EXPECT_TRUE(metadata.find(" C=0.0625,") != std::string::npos ||
              metadata.find(" C=0.5,") != std::string::npos)
      << metadata;
}

// UTF-8 to GBK, for the exports.
std::string Gbk(const std::string& utf8) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
  char* from = in.data();
  char* to = out.data();
  size_t left = in.size(), room = out.size();
  iconv(converter, &from, &left, &to, &room);
  iconv_close(converter);
  out.resize(out.size() - room);
  return out;
}

// Two and three runs into one directory at once, and a reader opening it
// all the while: a run either writes a whole set or fails at once, the
// reader never meets files of two runs, and both doors answer alike after.
TEST_F(TrainApiTest, ConcurrentRunsNeverMixTheirSets) {
  const std::string output = dir_.path() + "/set";
  const std::vector<std::vector<std::string>> classes = {
      {"体育", "财经", "科技"}, {"甲", "乙"}, {"天", "地", "人", "和"}};
  constexpr int kBusy = 3;
  for (int runs : {2, 3}) {
    std::vector<pid_t> children;
    for (int run = 0; run < runs; ++run) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        Texts texts(wenlei::testing::GeneratedCorpus{classes[run], 15}.Text());
        wenlei_train_options* options = wenlei_train_options_create();
        wenlei_train_options_set(options, "force", "1", nullptr);
        std::string message;
        const wenlei_status status = texts.Train(output, options, &message);
        _exit(status == WENLEI_OK ? 0
              : message.find("another training is writing") != std::string::npos ? kBusy
                                                                                   : 1);
      }
      children.push_back(child);
    }
    int opened = 0;
    for (std::size_t running = children.size(); running > 0;) {
      wenlei_classifier* classifier = nullptr;
      char* why = nullptr;
      const wenlei_status status = wenlei_open(output.c_str(), nullptr, &classifier, &why);
      EXPECT_TRUE(status == WENLEI_OK || status == WENLEI_NOT_FOUND) << (why ? why : "");
      opened += status == WENLEI_OK;
      wenlei_free(why);
      wenlei_close(classifier);
      running = 0;
      for (pid_t& child : children) {
        int exit = 0;
        if (child > 0 && waitpid(child, &exit, WNOHANG) == child) {
          EXPECT_TRUE(WIFEXITED(exit) && (WEXITSTATUS(exit) == 0 || WEXITSTATUS(exit) == kBusy))
              << "run ended with " << exit;
          child = -child;
        }
        running += child > 0;
      }
    }
    EXPECT_EQ(ListDirectory(output),
              (std::vector<std::string>{"Confidence.txt", "Metadata.txt", "SVMModel", "Source.dat"}));
  }
  // The set is one run's: its names are one corpus's classes, and the
  // exports answer what the modern interface answers for them.
  wenlei_classifier* classifier = nullptr;
  ASSERT_EQ(wenlei_open(output.c_str(), nullptr, &classifier, nullptr), WENLEI_OK);
  std::vector<std::string> names;
  for (std::size_t c = 1; c <= wenlei_class_count(classifier); ++c) {
    names.push_back(wenlei_class_name(classifier, c));
  }
  std::vector<std::string> run;
  for (const auto& candidate : classes) {
    std::vector<std::string> sorted = candidate;
    std::sort(sorted.begin(), sorted.end());
    if (sorted == names) run = candidate;
  }
  ASSERT_FALSE(run.empty());
  const wenlei::testing::GeneratedCorpus corpus{run, 15};
  const std::string prefix = output + "/";
  ASSERT_EQ(LoadSource(prefix.c_str()), 1);
  ClassifierHandle exports = CreateClassifier();
  for (std::size_t c = 0; c < run.size(); ++c) {
    const std::vector<std::string> words = {Gbk(corpus.TopicWord(c, 1)), Gbk(corpus.TopicWord(c, 2))};
    auto builder = wenlei::testing::WordListBuilder::FromWords(words);
    char answer[256] = {};
    Classification(exports, builder.list(), answer);
    std::vector<const char*> pointers = {words[0].c_str(), words[1].c_str()};
    std::vector<size_t> lengths = {words[0].size(), words[1].size()};
    wenlei_result* result = nullptr;
    ASSERT_EQ(wenlei_classify_words(classifier, pointers.data(), lengths.data(), 2, WENLEI_GBK,
                                    &result, nullptr),
              WENLEI_OK);
    EXPECT_EQ(wenlei_result_answer_gbk(result), std::string(answer));
    EXPECT_EQ(Gbk(wenlei_result_answer(result)), std::string(answer));
    wenlei_result_free(result);
  }
  releaseClassifier(exports);
  releasesource();
  wenlei_close(classifier);
}

}  // namespace
