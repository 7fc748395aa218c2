// Drives the shared library through its C header, as a host does.
#include "decide/class_decision.h"
#include "wenlei/exports.h"
#include "wenlei/wenlei.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "svm.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace {

using wenlei::testing::ClassWord;
using wenlei::testing::ReadFile;
using wenlei::testing::RunInChild;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;
using wenlei::testing::WriteFile;

const std::string kShortText = wenlei::ShortTextMessage();

// Classifies and checks that nothing after the terminating zero was written.
std::string Classify(ClassifierHandle handle, const WordList* words) {
  char buffer[256];
  std::memset(buffer, 0x7E, sizeof buffer);
  Classification(handle, words, buffer);
  const std::size_t length = std::strlen(buffer);
  for (std::size_t i = length + 1; i < sizeof buffer; ++i) {
    if (buffer[i] != 0x7E) ADD_FAILURE() << "byte " << i << " after the answer was written";
  }
  return std::string(buffer, length);
}

WordListBuilder Words(int classNumber, int count) {
  WordListBuilder words;
  for (int i = 0; i < count; ++i) words.Add(ClassWord(classNumber, i % 4));
  return words;
}

class ExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    spec_.classNames = {"Sports", "Arts", "03 Music"};
    wenlei::testing::BuildResourceSet(dir_.prefix(), spec_);
    handle_ = CreateClassifier();
  }
  void TearDown() override {
    releaseClassifier(handle_);
    releasesource();
  }
  void Load() { ASSERT_EQ(LoadSource(dir_.prefix().c_str()), 1); }
  std::string Path(const char* name) const { return dir_.prefix() + name; }

  TempDir dir_;
  wenlei::testing::ResourceSetSpec spec_;
  ClassifierHandle handle_ = nullptr;
};

TEST_F(ExportsTest, BeforeAnyLoadEveryListGetsTheShortTextMessageAndNoFile) {
  TempDir cwd;
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(cwd.path());
  EXPECT_EQ(Classify(handle_, Words(1, 5).list()), kShortText);
  EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));
  std::filesystem::current_path(previous);
}

TEST_F(ExportsTest, AnswersClassNamesEndToEnd) {
  Load();
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), "Sports");
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  EXPECT_EQ(Classify(handle_, Words(3, 6).list()), "Music");  // the tag "03" is cut

  std::istringstream result(ReadFile(Path("resultFile.dat")));
  std::string header, line, extra;
  std::getline(result, header);
  std::getline(result, line);
  EXPECT_EQ(header, "labels 1 2 3");
  EXPECT_EQ(line.substr(0, 2), "3 ");
  EXPECT_FALSE(std::getline(result, extra));
  const std::string test = ReadFile(Path("SVMTestFile.dat"));
  EXPECT_EQ(test.substr(0, 2), "0 ");
  EXPECT_EQ(test.substr(test.size() - 2), " \n");
}

TEST_F(ExportsTest, HandlesShareTheResourceSet) {
  ClassifierHandle early = CreateClassifier();
  Load();
  ClassifierHandle late = CreateClassifier();
  EXPECT_EQ(Classify(early, Words(2, 5).list()), Classify(late, Words(2, 5).list()));
  releaseClassifier(early);
  releaseClassifier(nullptr);
  EXPECT_EQ(Classify(late, Words(2, 5).list()), "Arts");
  releaseClassifier(late);
}

TEST_F(ExportsTest, InlineAndAddressedTextsAreTheSameWord) {
  Load();
  WordListBuilder inlineTwice;
  inlineTwice.Add(ClassWord(1, 0)).Add(ClassWord(1, 0)).Add(ClassWord(2, 1));
  Classify(handle_, inlineTwice.list());
  const std::string expected = ReadFile(Path("SVMTestFile.dat"));
  WordListBuilder mixed;
  mixed.Add(ClassWord(1, 0)).AddAtAddress(ClassWord(1, 0)).AddAtAddress(ClassWord(2, 1));
  Classify(handle_, mixed.list());
  EXPECT_EQ(ReadFile(Path("SVMTestFile.dat")), expected);
}

TEST_F(ExportsTest, ListsWithoutKnownWordsTouchNoFile) {
  Load();
  WriteFile(Path("SVMTestFile.dat"), "old test");
  WriteFile(Path("resultFile.dat"), "old result");
  WordListBuilder unknown;
  unknown.Add("k1w").Add("k1w00").Add(std::string(40, 'x')).Add("");
  EXPECT_EQ(Classify(handle_, unknown.list()), kShortText);
  WordListBuilder empty;
  EXPECT_EQ(Classify(handle_, empty.list()), kShortText);
  WordList equalEnds{nullptr, unknown.list()->first, unknown.list()->first, nullptr};
  EXPECT_EQ(Classify(handle_, &equalEnds), kShortText);
  EXPECT_EQ(ReadFile(Path("SVMTestFile.dat")), "old test");
  EXPECT_EQ(ReadFile(Path("resultFile.dat")), "old result");
}

TEST_F(ExportsTest, ReleaseAndReloadSwitchBetweenMessageAndLabels) {
  Load();
  releasesource();
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), kShortText);
  Load();
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), "Sports");
}

TEST_F(ExportsTest, TwoNamesWhenTheRunnerUpIsWithinFivePercent) {
  Load();
  int twoNames = 0;
  for (int a = 0; a <= 8; ++a) {
    for (int b = 0; b <= 8; ++b) {
      if (a + b == 0) continue;
      WordListBuilder words;
      for (int i = 0; i < a; ++i) words.Add(ClassWord(1, i % 3));
      for (int i = 0; i < b; ++i) words.Add(ClassWord(2, i % 5));
      const std::string answer = Classify(handle_, words.list());
      // Work out the expected answer from the probabilities independently.
      std::istringstream result(ReadFile(Path("resultFile.dat")));
      std::string header;
      std::getline(result, header);
      double label, p[3];
      result >> label >> p[0] >> p[1] >> p[2];
      int best = 0;
      for (int i = 1; i < 3; ++i) if (p[i] > p[best]) best = i;
      int second = best == 0 ? 1 : 0;
      for (int i = 0; i < 3; ++i) if (i != best && p[i] > p[second]) second = i;
      const char* names[] = {"Sports", "Arts", "Music"};
      std::string expected = names[best];
      if (p[second] / p[best] > 0.95) {
        expected += std::string(" or ") + names[second];
        ++twoNames;
      }
      EXPECT_EQ(answer, expected) << a << " and " << b;
    }
  }
  EXPECT_GT(twoNames, 0) << "the sweep should cross the boundary between two classes";
}

// The 95 % rule through both doors, on the probabilities the prediction
// step writes: a model of two classes whose estimates put B's probability
// at a chosen share of A's (probA 0 and probB ln(share) make libsvm's
// sigmoid give 1 / (1 + share) and share / (1 + share)), each share clear
// of 0.95 after the result file's six digits.
TEST_F(ExportsTest, NamesTheRunnerUpOnlyAboveNinetyFivePercentOfTheBest) {
  TempDir set;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {"A", "B"};
  wenlei::testing::BuildResourceSet(set.prefix(), spec);
  struct Case {
    double share;  // B's probability over A's
    const char* answer;
  };
  const Case cases[] = {{0.9, "A"},         {0.945, "A"},   {0.955, "A or B"},
                        {1 / 0.955, "B or A"}, {1 / 0.945, "B"}};
  const std::string word = ClassWord(1, 0);
  const char* words[] = {word.c_str()};
  const std::size_t lengths[] = {word.size()};
  for (const Case& c : cases) {
    char probB[32];
    std::snprintf(probB, sizeof probB, "%.17g", std::log(c.share));
    WriteFile(set.prefix() + "SVMModel",
              std::string("svm_type c_svc\nkernel_type linear\nnr_class 2\ntotal_sv 2\nrho 0\n"
                          "label 1 2\nprobA 0\nprobB ") +
                  probB + "\nnr_sv 1 1\nSV\n1 1:1 \n-1 2:1 \n");
    ASSERT_EQ(LoadSource(set.prefix().c_str()), 1);
    EXPECT_EQ(Classify(handle_, Words(1, 1).list()), c.answer) << c.share;
    releasesource();

    wenlei_classifier* classifier = nullptr;
    ASSERT_EQ(wenlei_open(set.path().c_str(), nullptr, &classifier, nullptr), WENLEI_OK);
    wenlei_result* result = nullptr;
    ASSERT_EQ(wenlei_classify_words(classifier, words, lengths, 1, WENLEI_UTF8, &result, nullptr),
              WENLEI_OK);
    EXPECT_STREQ(wenlei_result_answer(result), c.answer) << c.share;
    wenlei_result_free(result);
    wenlei_close(classifier);
  }
}

TEST_F(ExportsTest, NoFeatureAfterMappingAnswersTheShortTextMessage) {
  // A vocabulary word left out of the term map counts but maps to nothing.
  wenlei::SourceFileContents contents;
  contents.vocabulary = {"lonely"};
  contents.classNames = {"NULL", "A", "B"};
  contents.averageDocLength = 1.0;
  TempDir other;
  ASSERT_TRUE(wenlei::testing::IsOk(wenlei::WriteSourceFile(other.prefix() + "Source.dat", contents)));
  std::filesystem::copy_file(Path("SVMModel"), other.prefix() + "SVMModel");
  ASSERT_EQ(LoadSource(other.prefix().c_str()), 1);
  WordListBuilder words;
  words.Add("lonely");
  EXPECT_EQ(Classify(handle_, words.list()), kShortText);
  EXPECT_EQ(ReadFile(other.prefix() + "SVMTestFile.dat"), "");
  EXPECT_EQ(ReadFile(other.prefix() + "resultFile.dat"), "labels 1 2 3\n");
}

TEST_F(ExportsTest, AReplacedModelTakesEffectAtTheNextCall) {
  Load();
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), "Sports");
  svm_parameter noProbability = wenlei::testing::DefaultParameter();
  noProbability.probability = 0;
  wenlei::testing::TrainAndSaveModel(wenlei::testing::ClusteredExamples(3, 6, 5), noProbability,
                                     Path("SVMModel"));
  auto outcome = RunInChild([&] { std::fputs(Classify(handle_, Words(1, 6).list()).c_str(), stdout); });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "model does not support probabiliy estimates\n");
  EXPECT_EQ(outcome.out, kShortText);
  EXPECT_EQ(ReadFile(Path("resultFile.dat")).find("labels"), std::string::npos);
}

// The model parsed last serves only while the file holds the same bytes: a
// model damaged in place, deleted or swapped is seen at the next call.
TEST_F(ExportsTest, TheParsedModelIsReusedOnlyForTheSameBytes) {
  Load();
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), "Sports");
  const std::string sound = ReadFile(Path("SVMModel"));
  WriteFile(Path("SVMModel"), sound.substr(0, sound.size() - 40));
  auto outcome = RunInChild([&] { Classify(handle_, Words(1, 6).list()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err.rfind("wenlei: damaged model file " + Path("SVMModel") + ": ", 0), 0u)
      << outcome.err;
  EXPECT_NE(outcome.err.find("\ncan't open model file " + Path("SVMModel") + "\n"),
            std::string::npos);

  WriteFile(Path("SVMModel"), sound);
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  const std::string resultBefore = ReadFile(Path("resultFile.dat"));
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  EXPECT_EQ(ReadFile(Path("resultFile.dat")), resultBefore);

  std::filesystem::remove(Path("SVMModel"));
  outcome = RunInChild([&] { Classify(handle_, Words(1, 6).list()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "can't open model file " + Path("SVMModel") + "\n");

  // releasesource frees the parsed model; the next load parses it anew.
  WriteFile(Path("SVMModel"), sound);
  releasesource();
  Load();
  EXPECT_EQ(Classify(handle_, Words(3, 6).list()), "Music");
}

TEST_F(ExportsTest, AClassNumberTheTableLacksStaysEmptyAfterAMergingLoad) {
  // The same model beside a resource file that names only the first two
  // classes: the third class is answered with the empty name.
  TempDir partial;
  wenlei::SourceFileContents contents;
  {
    std::FILE* file = std::fopen(Path("Source.dat").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(wenlei::testing::IsOk(wenlei::ReadSourceFile(file, &contents)));
    std::fclose(file);
  }
  contents.classNames.resize(3);  // "NULL", Sports, Arts
  ASSERT_TRUE(wenlei::testing::IsOk(wenlei::WriteSourceFile(partial.prefix() + "Source.dat", contents)));
  WriteFile(partial.prefix() + "SVMModel", ReadFile(Path("SVMModel")));
  ASSERT_EQ(LoadSource(partial.prefix().c_str()), 1);
  EXPECT_EQ(Classify(handle_, Words(3, 6).list()), "");
  EXPECT_EQ(Classify(handle_, Words(1, 6).list()), "Sports");

  // That lookup entered the number with the empty name, so a load that
  // merges the full set in keeps it empty.
  Load();
  EXPECT_EQ(Classify(handle_, Words(3, 6).list()), "");
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  releasesource();
  Load();
  EXPECT_EQ(Classify(handle_, Words(3, 6).list()), "Music");
}

TEST_F(ExportsTest, MalformedResourceFileIsRejectedAndChangesNothing) {
  Load();
  TempDir damaged;
  std::string bytes = ReadFile(Path("Source.dat"));
  WriteFile(damaged.prefix() + "Source.dat", bytes.substr(0, bytes.size() / 2));
  auto outcome = RunInChild([&] { std::_Exit(LoadSource(damaged.prefix().c_str())); });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.err.find("wenlei: rejected resource file " + damaged.prefix() + "Source.dat: "),
            std::string::npos);
  EXPECT_EQ(outcome.err.find('\n'), outcome.err.size() - 1) << "one line";
  EXPECT_EQ(LoadSource(damaged.prefix().c_str()), 0);
  EXPECT_EQ(Classify(handle_, Words(2, 6).list()), "Arts");
  EXPECT_FALSE(wenlei::testing::FileExists(damaged.prefix() + "SVMTestFile.dat"));
}

TEST_F(ExportsTest, AnEmptyPrefixNamesTheWorkingDirectory) {
  auto outcome = RunInChild([&] {
    std::filesystem::current_path(dir_.path());
    LoadSource("");
    std::fputs(Classify(handle_, Words(2, 6).list()).c_str(), stdout);
  });
  EXPECT_EQ(outcome.out, "Arts");
  EXPECT_TRUE(wenlei::testing::FileExists(Path("resultFile.dat")));
}

TEST_F(ExportsTest, ProcessEndingFailures) {
  TempDir empty;
  auto outcome = RunInChild([&] { LoadSource(empty.prefix().c_str()); });
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "open file fail.\n");
  EXPECT_EQ(outcome.err, "");

  Load();
  std::filesystem::rename(Path("SVMModel"), Path("SVMModel.away"));
  outcome = RunInChild([&] { Classify(handle_, Words(1, 6).list()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "can't open model file " + Path("SVMModel") + "\n");
  std::filesystem::rename(Path("SVMModel.away"), Path("SVMModel"));

  std::filesystem::remove(Path("resultFile.dat"));
  std::filesystem::create_directory(Path("resultFile.dat"));
  outcome = RunInChild([&] { Classify(handle_, Words(1, 6).list()); });
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "can't open output file " + Path("resultFile.dat") + "\n");
  std::filesystem::remove(Path("resultFile.dat"));

  outcome = RunInChild([&] {
    std::filesystem::remove_all(dir_.path());  // the loaded tables stay
    Classify(handle_, Words(1, 6).list());
  });
  EXPECT_EQ(outcome.status, 1);
  // Reported as the write failure it is, before anything is predicted.
  EXPECT_EQ(outcome.err, "wenlei: cannot write " + Path("SVMTestFile.dat.lock") +
                             ": No such file or directory\n");
}

TEST(ExportsLimitTest, ClassNumbersAboveThirtySixEndTheProcess) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  for (int c = 1; c <= 38; ++c) spec.classNames.push_back("c" + std::to_string(c));
  spec.documentsPerClass = 6;
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  ASSERT_EQ(LoadSource(dir.prefix().c_str()), 1);
  ClassifierHandle handle = CreateClassifier();
  EXPECT_EQ(Classify(handle, Words(36, 8).list()), "c36");
  auto outcome = RunInChild([&] { Classify(handle, Words(38, 8).list()); });
  EXPECT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.err, "There is an error:'class1 > 36 || class2 > 36'.\n");
  releaseClassifier(handle);
  releasesource();
}

TEST_F(ExportsTest, WorkingFilesUseADecimalPointUnderACommaLocale) {
  Load();
  const std::string answer = Classify(handle_, Words(3, 7).list());
  const std::string testInC = ReadFile(Path("SVMTestFile.dat"));
  const std::string resultInC = ReadFile(Path("resultFile.dat"));
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  EXPECT_EQ(Classify(handle_, Words(3, 7).list()), answer);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(ReadFile(Path("SVMTestFile.dat")), testInC);
  EXPECT_EQ(ReadFile(Path("resultFile.dat")), resultInC);
}

}  // namespace

namespace {

TEST_F(ExportsTest, BatchAnswersEqualSingleAnswersWithOneModelRead) {
  Load();
  // Documents of every kind: clear, mixed, unknown-only, empty.
  std::vector<WordListBuilder> documents;
  for (int a = 0; a <= 6; ++a) {
    WordListBuilder words;
    for (int i = 0; i < a; ++i) words.Add(ClassWord(1, i % 3));
    for (int i = 0; i < 6 - a; ++i) words.Add(ClassWord(2 + a % 2, i % 5));
    documents.push_back(std::move(words));
  }
  documents.emplace_back().Add("unknown").Add("words");
  documents.emplace_back();
  documents.push_back(Words(3, 2));

  std::vector<std::string> single;
  for (auto& document : documents) single.push_back(Classify(handle_, document.list()));

  std::vector<WordList> lists;
  for (auto& document : documents) lists.push_back(*document.list());
  std::vector<std::vector<char>> buffers(lists.size(), std::vector<char>(64, 0x7E));
  std::vector<char*> answers;
  for (auto& buffer : buffers) answers.push_back(buffer.data());
  BatchClassification(handle_, lists.data(), lists.size(), answers.data());
  for (std::size_t i = 0; i < lists.size(); ++i) {
    EXPECT_EQ(std::string(answers[i]), single[i]) << "document " << i;
    EXPECT_EQ(buffers[i][std::strlen(answers[i]) + 1], 0x7E);
  }
  // One record per document with known words; one result line each.
  const std::string test = ReadFile(Path("SVMTestFile.dat"));
  EXPECT_EQ(std::count(test.begin(), test.end(), '\n'), 8);
  const std::string result = ReadFile(Path("resultFile.dat"));
  EXPECT_EQ(std::count(result.begin(), result.end(), '\n'), 9);

  // A batch without any known word touches no file, like a single call.
  WriteFile(Path("SVMTestFile.dat"), "kept");
  BatchClassification(handle_, &lists[7], 2, &answers[7]);
  EXPECT_EQ(std::string(answers[7]), kShortText);
  EXPECT_EQ(ReadFile(Path("SVMTestFile.dat")), "kept");
  BatchClassification(handle_, lists.data(), 0, answers.data());
}

}  // namespace
