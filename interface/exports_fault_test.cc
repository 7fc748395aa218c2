// Faults a host meets with real files: resource sets that load but cannot
// give right answers, and prefixes the system cannot use.  Each either works
// as it should or is refused with one line; no wrong answer comes back as
// a success.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <filesystem>
#include <limits>

#include "wenlei/exports.h"
#include "source/source_file.h"
#include "svm.h"
#include "testutil/resource_set_builder.h"
#include "testutil/small_file_system.h"
#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace {

using wenlei::testing::ClassWord;
using wenlei::testing::FileExists;
using wenlei::testing::ReadFile;
using wenlei::testing::RunInChild;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;
using wenlei::testing::WriteFile;

struct ChildOutcomeOrSkip {
  bool ran = false;
  wenlei::testing::ChildOutcome outcome;
  std::string skipped;
};

std::string Classify(ClassifierHandle handle, const WordList* words) {
  char buffer[256] = {};
  Classification(handle, words, buffer);
  return buffer;
}

WordListBuilder Words(int classNumber, int count) {
  WordListBuilder words;
  for (int i = 0; i < count; ++i) words.Add(ClassWord(classNumber, i % 4));
  return words;
}

class ExportsFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spec_.classNames = {"Sports", "Arts"};
    wenlei::testing::BuildResourceSet(dir_.prefix(), spec_);
    handle_ = CreateClassifier();
    ASSERT_EQ(LoadSource(dir_.prefix().c_str()), 1);
  }
  void TearDown() override {
    releaseClassifier(handle_);
    releasesource();
  }

  // LoadSource in a child: its status, and the one line it wrote.
  void ExpectRefused(const std::string& prefix, const std::string& line) {
    auto outcome = RunInChild([&] { std::_Exit(LoadSource(prefix.c_str())); });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0) << "LoadSource returned 1";
    EXPECT_EQ(outcome.err, line + "\n");
    EXPECT_EQ(outcome.out, "");
    // Refused in this process too, and the loaded set still answers.
    EXPECT_EQ(LoadSource(prefix.c_str()), 0);
    EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  }

  TempDir dir_;
  wenlei::testing::ResourceSetSpec spec_;
  ClassifierHandle handle_ = nullptr;
};

// libsvm saves a classifier of one class when its training data hold one
// label; its own prediction answers that label with probability 1.
TEST_F(ExportsFaultTest, AModelOfOneClassAnswersThatClass) {
  for (int type : {C_SVC, NU_SVC}) {
    TempDir one;
    wenlei::testing::ResourceSetSpec spec;
    spec.classNames = {"Only"};
    spec.parameter.svm_type = type;
    wenlei::testing::BuildResourceSet(one.prefix(), spec);
    ASSERT_NE(ReadFile(one.prefix() + "SVMModel").find("nr_class 1\n"), std::string::npos);
    releasesource();
    ASSERT_EQ(LoadSource(one.prefix().c_str()), 1);
    EXPECT_EQ(Classify(handle_, Words(1, 5).list()), "Only") << type;
    EXPECT_EQ(ReadFile(one.prefix() + "resultFile.dat"), "labels 1\n1 1 \n");
  }
}

// A resource file whose values would send every document to one class, or
// a prefix whose working files the system could not open, is refused with
// one line and the loaded set stays.
TEST_F(ExportsFaultTest, ABadResourceFileOrPrefixIsRefusedInOneLine) {
  const std::string bytes = ReadFile(dir_.prefix() + "Source.dat");
  std::vector<std::pair<std::string, std::string>> refusals;  // prefix, line
  for (double length : {0.0, -2.0, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()}) {
    const std::string prefix = dir_.prefix() + "length" + std::to_string(refusals.size()) + "-";
    std::string damaged = bytes;
    std::memcpy(&damaged[damaged.size() - 8], &length, 8);  // little-endian hosts
    WriteFile(prefix + "Source.dat", damaged);
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", length);
    refusals.emplace_back(prefix, "wenlei: rejected resource file " + prefix +
                                      "Source.dat: average document length value at offset " +
                                      std::to_string(bytes.size() - 8) + ": " + shown +
                                      " is not a positive finite number");
  }
  wenlei::SourceFileContents contents;
  std::FILE* file = std::fopen((dir_.prefix() + "Source.dat").c_str(), "rb");
  ASSERT_TRUE(wenlei::testing::IsOk(wenlei::ReadSourceFile(file, &contents)));
  std::fclose(file);
  const std::size_t offset = 12 + 30 * contents.vocabulary.size() + 40 * contents.termMap.size() + 32;
  for (double idf : {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity()}) {
    const std::string prefix = dir_.prefix() + "idf" + std::to_string(refusals.size()) + "-";
    contents.idf[0].second = idf;
    ASSERT_TRUE(wenlei::testing::IsOk(wenlei::WriteSourceFile(prefix + "Source.dat", contents)));
    refusals.emplace_back(prefix, "wenlei: rejected resource file " + prefix +
                                      "Source.dat: idf section value at offset " + std::to_string(offset) +
                                      ": " + (idf != idf ? "nan" : "-inf") + " is not a finite number");
  }
  // One file name: 245 bytes of prefix + "Source.dat" is 255, the longest
  // name the usual file systems take; + "SVMTestFile.dat" is not.
  const std::string longName = dir_.prefix() + std::string(245, 'n');
  WriteFile(longName + "Source.dat", bytes);
  refusals.emplace_back(longName, "wenlei: rejected resource prefix: the file name of " + longName +
                                      "SVMTestFile.dat is 260 bytes, longer than the system's limit of 255");
  // A whole path: Source.dat at 4095 bytes, the longest the system opens.
  std::string deep = dir_.path();
  while (deep.size() + 1 + 200 + 1 + 10 < 4095) {
    deep += "/" + std::string(200, 'd');
    std::filesystem::create_directory(deep);
  }
  const std::string prefix = deep + "/" + std::string(4095 - deep.size() - 1 - 10, 'p');
  ASSERT_EQ((prefix + "Source.dat").size(), 4095u);
  WriteFile(prefix + "Source.dat", bytes);
  refusals.emplace_back(prefix, "wenlei: rejected resource prefix: the path " + prefix +
                                    "SVMTestFile.dat is 4100 bytes, longer than the system's limit of 4095");
  for (const auto& [prefix, line] : refusals) ExpectRefused(prefix, line);
}

// Only regular files are read: a FIFO would block, /dev/zero never end.
TEST_F(ExportsFaultTest, SpecialFilesAreNotRead) {
  TempDir special;
  ASSERT_EQ(mkfifo((special.prefix() + "Source.dat").c_str(), 0600), 0);
  ExpectRefused(special.prefix(), "wenlei: rejected resource file " + special.prefix() +
                                      "Source.dat: not a regular file");
  for (bool fifo : {true, false}) {
    TempDir dir;
    wenlei::testing::BuildResourceSet(dir.prefix(), spec_);
    const std::string model = dir.prefix() + "SVMModel";
    std::remove(model.c_str());
    ASSERT_EQ(fifo ? mkfifo(model.c_str(), 0600) : symlink("/dev/zero", model.c_str()), 0);
    auto outcome = RunInChild([&] {
      ClassifierHandle handle = CreateClassifier();
      LoadSource(dir.prefix().c_str());
      Classify(handle, Words(1, 6).list());
    });
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "can't open model file " + model + "\n");
  }
}

// The prediction step hands libsvm the bytes it checked: a model rewritten
// in place (cp over it) between classifications is whole or refused, never
// half parsed.
TEST_F(ExportsFaultTest, AModelRewrittenWhileClassifyingIsParsedAsChecked) {
  // The bundled set: a model large enough for a rewrite to be met halfway.
  const std::string bundled = WENLEI_MODELS_DIR "/help-zh/";
  TempDir dir;
  for (const char* name : {"Source.dat", "SVMModel"}) WriteFile(dir.prefix() + name, ReadFile(bundled + name));
  wenlei::SourceFileContents contents;
  std::FILE* file = std::fopen((bundled + "Source.dat").c_str(), "rb");
  ASSERT_TRUE(wenlei::testing::IsOk(wenlei::ReadSourceFile(file, &contents)));
  std::fclose(file);
  WordListBuilder words;
  for (std::size_t i = 0; i < 20; ++i) words.Add(contents.vocabulary[i * 7]);
  for (int child = 0; child < 3; ++child) {
    auto outcome = RunInChild([&] {
      releasesource();
      if (LoadSource(dir.prefix().c_str()) != 1) std::_Exit(3);
      wenlei::testing::InPlaceRewriter rewriter(dir.prefix() + "SVMModel", ReadFile(bundled + "SVMModel"));
      for (int i = 0; i < 40; ++i) Classify(handle_, words.list());
    });
    EXPECT_TRUE(outcome.exited) << "ended by a signal";
    if (outcome.status != 0) {
      EXPECT_NE(outcome.err.find("damaged model file"), std::string::npos) << outcome.err;
    }
  }
}

// Source.dat's name is shorter than the working files' names, so a prefix
// near the system's limits loaded and every classification then failed.
// A document of many known words: its test-file record needs more than one
// 4,096-byte page.
WordListBuilder LongDocument(int classNumber, int words) {
  WordListBuilder document;
  for (int i = 0; i < words; ++i) document.Add(ClassWord(classNumber, i));
  return document;
}

// Working files on a file system of their own, where a write can fail: each
// failure ends the step with the file and the system's reason, and no
// answer is given from what the files held before.
class WorkingFileFaultTest : public ::testing::Test {
 protected:
  // Runs body on a small tmpfs holding a resource set of 300 words a class,
  // loaded and answering once; skips when no tmpfs can be mounted.
  ChildOutcomeOrSkip Run(const std::function<void(const std::string& prefix)>& body) {
    ChildOutcomeOrSkip result;
    std::string unavailable;
    result.ran = wenlei::testing::RunOnSmallFileSystem(
        4 << 20,
        [&](const std::string& mountPoint) {
          const std::string prefix = mountPoint + "/";
          wenlei::testing::ResourceSetSpec spec;
          spec.classNames = {"Sports", "Arts"};
          spec.wordsPerClass = 300;
          wenlei::testing::BuildResourceSet(prefix, spec);
          if (LoadSource(prefix.c_str()) != 1) _exit(3);
          ClassifierHandle handle = CreateClassifier();
          if (Classify(handle, Words(1, 4).list()) != "Sports") _exit(4);
          releaseClassifier(handle);  // body may end the process: nothing may leak
          body(prefix);
        },
        &result.outcome, &unavailable);
    if (!result.ran) result.skipped = "cannot mount a small file system here: " + unavailable;
    return result;
  }
};

TEST_F(WorkingFileFaultTest, AFullDiskEndsTheStepInsteadOfPredictingAPartialRecord) {
  auto result = Run([](const std::string& prefix) {
    wenlei::testing::FillFileSystem(prefix);
    ClassifierHandle handle = CreateClassifier();
    std::fputs(Classify(handle, LongDocument(2, 300).list()).c_str(), stdout);
  });
  if (!result.ran) GTEST_SKIP() << result.skipped;
  EXPECT_EQ(result.outcome.status, 1);
  EXPECT_EQ(result.outcome.out, "") << "an answer from a partial record";
  EXPECT_NE(result.outcome.err.find("SVMTestFile.dat: No space left on device\n"), std::string::npos)
      << result.outcome.err;
  EXPECT_EQ(result.outcome.err.rfind("wenlei: cannot write /", 0), 0u) << result.outcome.err;
}

TEST_F(WorkingFileFaultTest, AFullDiskEndsABatchWhoseResultFileCannotGrow) {
  auto result = Run([](const std::string& prefix) {
    ClassifierHandle handle = CreateClassifier();
    // The test file takes its pages now; the batch below rewrites it within
    // them while its result file needs pages that the full disk lacks.
    Classify(handle, LongDocument(1, 600).list());
    wenlei::testing::FillFileSystem(prefix);
    std::vector<WordListBuilder> documents(300);
    std::vector<WordList> lists;
    for (auto& document : documents) lists.push_back(*document.Add(ClassWord(2, 1)).list());
    std::vector<std::vector<char>> buffers(lists.size(), std::vector<char>(64, 0));
    std::vector<char*> answers;
    for (auto& buffer : buffers) answers.push_back(buffer.data());
    BatchClassification(handle, lists.data(), lists.size(), answers.data());
    std::fputs(answers[0], stdout);
  });
  if (!result.ran) GTEST_SKIP() << result.skipped;
  EXPECT_EQ(result.outcome.status, 1);
  EXPECT_EQ(result.outcome.out, "");
  EXPECT_NE(result.outcome.err.find("resultFile.dat: No space left on device\n"), std::string::npos)
      << result.outcome.err;
}

TEST_F(WorkingFileFaultTest, AReadOnlyTestFileIsAWriteFailureNotAStaleAnswer) {
  auto result = Run([](const std::string& prefix) {
    if (!wenlei::testing::MakeReadOnly(prefix + "SVMTestFile.dat")) _exit(5);
    ClassifierHandle handle = CreateClassifier();
    std::fputs(Classify(handle, Words(2, 6).list()).c_str(), stdout);
  });
  if (!result.ran) GTEST_SKIP() << result.skipped;
  EXPECT_EQ(result.outcome.status, 1);
  EXPECT_EQ(result.outcome.out, "") << "the stale record's answer";
  EXPECT_NE(result.outcome.err.find("SVMTestFile.dat: Read-only file system\n"), std::string::npos)
      << result.outcome.err;
}

TEST_F(WorkingFileFaultTest, AReadOnlyDirectoryIsAWriteFailure) {
  for (bool lockFileThere : {true, false}) {
    auto result = Run([&](const std::string& prefix) {
      if (!lockFileThere) std::remove((prefix + "SVMTestFile.dat.lock").c_str());
      if (!wenlei::testing::MakeReadOnly(prefix)) _exit(5);
      ClassifierHandle handle = CreateClassifier();
      std::fputs(Classify(handle, Words(2, 6).list()).c_str(), stdout);
    });
    if (!result.ran) GTEST_SKIP() << result.skipped;
    EXPECT_EQ(result.outcome.status, 1);
    EXPECT_EQ(result.outcome.out, "");
    const std::string file = lockFileThere ? "SVMTestFile.dat" : "SVMTestFile.dat.lock";
    EXPECT_NE(result.outcome.err.find("/" + file + ": Read-only file system\n"), std::string::npos)
        << result.outcome.err;
    EXPECT_EQ(result.outcome.err.find("can't open input file"), std::string::npos);
  }
}

// Two processes that load one prefix share its working files; each waits
// for the other's classification to end before starting its own.
TEST_F(ExportsFaultTest, TwoProcessesOnOnePrefixGetTheirOwnAnswers) {
  std::vector<WordListBuilder> documents;
  std::vector<std::string> expected;
  for (int a = 0; a <= 8; ++a) {
    WordListBuilder& words = documents.emplace_back();
    for (int i = 0; i < a; ++i) words.Add(ClassWord(1, i % 4));
    for (int i = 0; i < 8 - a; ++i) words.Add(ClassWord(2, i % 5));
    expected.push_back(Classify(handle_, words.list()));
  }
  ASSERT_NE(std::count(expected.begin(), expected.end(), "Sports"), 0);
  ASSERT_NE(std::count(expected.begin(), expected.end(), "Arts"), 0);

  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int wrong = 0;
      for (int round = 0; round < 40; ++round) {
        for (std::size_t d = 0; d < documents.size(); ++d) {
          // The two walk the documents in opposite orders.
          const std::size_t at = child == 0 ? d : documents.size() - 1 - d;
          if (Classify(handle_, documents[at].list()) != expected[at]) ++wrong;
        }
      }
      _exit(wrong > 100 ? 100 : wrong);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "a classifying process crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong answers (at most 100 counted)";
  }
}

}  // namespace

namespace {

// A working file or the lock file made a symbolic link to a file outside
// the set: the classification is refused with a line naming it (the
// prediction step's own line for the result file) and exit status 1, and
// the link's target keeps its bytes.
TEST_F(ExportsFaultTest, WorkingFilesThatAreSymbolicLinksAreNotWrittenThrough) {
  TempDir outside;
  const std::string target = outside.prefix() + "precious";
  const std::string reason = ": a symbolic link, which the library does not write through\n";
  const struct {
    const char* name;
    std::string lines;
  } cases[] = {
      {"SVMTestFile.dat", "wenlei: cannot write " + dir_.prefix() + "SVMTestFile.dat" + reason},
      {"resultFile.dat", "can't open output file " + dir_.prefix() + "resultFile.dat\n"},
      {"SVMTestFile.dat.lock", "wenlei: cannot write " + dir_.prefix() + "SVMTestFile.dat.lock" + reason},
  };
  for (const auto& c : cases) {
    WriteFile(target, "keep me");
    const std::string link = dir_.prefix() + c.name;
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    auto outcome = RunInChild([&] { Classify(handle_, Words(1, 6).list()); });
    EXPECT_TRUE(outcome.exited) << c.name;
    EXPECT_EQ(outcome.status, 1) << c.name;
    EXPECT_EQ(outcome.err, c.lines);
    EXPECT_EQ(ReadFile(target), "keep me") << c.name;
    std::filesystem::remove(link);
  }
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
}

}  // namespace
