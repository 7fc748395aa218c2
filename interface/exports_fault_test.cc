// Faults a host meets with real files: resource sets that load but cannot
// give right answers, and prefixes the system cannot use.  Each either works
// as it should or is refused with one line; no wrong answer comes back as
// a success.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "wenlei/exports.h"
#include "source/source_file.h"
#include "svm.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace {

using wenlei::testing::ClassWord;
using wenlei::testing::FileExists;
using wenlei::testing::ReadFile;
using wenlei::testing::RunInChild;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;
using wenlei::testing::WriteFile;

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

TEST_F(ExportsFaultTest, AnAverageLengthThatIsNotPositiveAndFiniteIsRefused) {
  const std::string bytes = ReadFile(dir_.prefix() + "Source.dat");
  TempDir bad;
  for (double length : {0.0, -2.0, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()}) {
    std::string damaged = bytes;
    std::memcpy(&damaged[damaged.size() - 8], &length, 8);  // little-endian hosts
    WriteFile(bad.prefix() + "Source.dat", damaged);
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", length);
    ExpectRefused(bad.prefix(), "wenlei: rejected resource file " + bad.prefix() +
                                    "Source.dat: average document length value at offset " +
                                    std::to_string(bytes.size() - 8) + ": " + shown +
                                    " is not a positive finite number");
  }
}

// Source.dat's name is shorter than the working files' names, so a prefix
// near the system's limits loaded and every classification then failed.
TEST_F(ExportsFaultTest, APrefixTooLongForTheWorkingFilesIsRefused) {
  const std::string source = ReadFile(dir_.prefix() + "Source.dat");
  // One file name: 245 bytes of prefix + "Source.dat" is 255, the longest
  // name the usual file systems take; + "SVMTestFile.dat" is not.
  const std::string longName = dir_.prefix() + std::string(245, 'n');
  WriteFile(longName + "Source.dat", source);
  ExpectRefused(longName, "wenlei: rejected resource prefix: the file name of " + longName +
                              "SVMTestFile.dat is 260 bytes, longer than the system's limit of 255");
}

TEST_F(ExportsFaultTest, APathTooLongForTheWorkingFilesIsRefused) {
  const std::string source = ReadFile(dir_.prefix() + "Source.dat");
  // A whole path: Source.dat at 4095 bytes, the longest the system opens.
  std::string deep = dir_.path();
  while (deep.size() + 1 + 200 + 1 + 10 < 4095) {
    deep += "/" + std::string(200, 'd');
    std::filesystem::create_directory(deep);
  }
  const std::string prefix = deep + "/" + std::string(4095 - deep.size() - 1 - 10, 'p');
  ASSERT_EQ((prefix + "Source.dat").size(), 4095u);
  WriteFile(prefix + "Source.dat", source);
  ExpectRefused(prefix, "wenlei: rejected resource prefix: the path " + prefix +
                            "SVMTestFile.dat is 4100 bytes, longer than the system's limit of 4095");
}

}  // namespace
