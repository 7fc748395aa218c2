#include "source/confidence_file.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace wenlei {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(ConfidenceFileTest, WrittenThresholdReadsBack) {
  TempDir dir;
  const std::string prefix = dir.path() + "/";
  ASSERT_TRUE(testing::IsOk(WriteConfidenceFile(prefix, ConfidenceSettings{0.4375})));
  ConfidenceSettings settings;
  ASSERT_TRUE(testing::IsOk(ReadConfidenceFile(prefix, &settings)));
  EXPECT_EQ(settings.minConfidence, 0.4375);
}

// The threshold is written and read with a decimal point whatever the
// process locale, and a byte order mark in front is no key.
TEST(ConfidenceFileTest, DecimalCommaLocalesAndByteOrderMarksDoNotMatter) {
  TempDir dir;
  const std::string prefix = dir.path() + "/";
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE.UTF-8 locale";
  const Status written = WriteConfidenceFile(prefix, ConfidenceSettings{0.4375});
  ConfidenceSettings settings;
  const Status read = ReadConfidenceFile(prefix, &settings);
  WriteFile(prefix + kConfidenceFileName, "\xEF\xBB\xBFmin_confidence 0.25\n");
  ConfidenceSettings marked;
  const Status readMarked = ReadConfidenceFile(prefix, &marked);
  std::setlocale(LC_ALL, before.c_str());
  EXPECT_TRUE(testing::IsOk(written));
  EXPECT_TRUE(testing::IsOk(read));
  EXPECT_EQ(settings.minConfidence, 0.4375);
  EXPECT_TRUE(testing::IsOk(readMarked));
  EXPECT_EQ(marked.minConfidence, 0.25);
}

TEST(ConfidenceFileTest, MissingFileIsNoThreshold) {
  TempDir dir;
  ConfidenceSettings settings;
  EXPECT_EQ(ReadConfidenceFile(dir.path() + "/", &settings).code(), Status::Code::kNotFound);
  EXPECT_EQ(ReadConfidenceFile(dir.path() + "/no-such-dir/", &settings).code(),
            Status::Code::kNotFound);
}

TEST(ConfidenceFileTest, MalformedFilesAreRejectedWithTheLine) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"", ": no min_confidence line"},
      {"# only a comment\n", ": no min_confidence line"},
      {"min_confidence\n", ":1: expected \"key value\""},
      {"min_confidence 0.5 0.6\n", ":1: expected \"key value\""},
      {"\nthreshold 0.5\n", ":2: unknown key \"threshold\""},
      {"min_confidence 1.5\n", ":1: the threshold \"1.5\" is not a number from 0 to 1"},
      {"min_confidence -0.1\n", ":1: the threshold \"-0.1\" is not a number from 0 to 1"},
      {"min_confidence nan\n", ":1: the threshold \"nan\" is not a number from 0 to 1"},
      {"min_confidence 0.5x\n", ":1: the threshold \"0.5x\" is not a number from 0 to 1"},
  };
  TempDir dir;
  const std::string prefix = dir.path() + "/";
  for (const Case& c : cases) {
    WriteFile(prefix + kConfidenceFileName, c.text);
    ConfidenceSettings settings;
    const Status read = ReadConfidenceFile(prefix, &settings);
    EXPECT_EQ(read.code(), Status::Code::kCorrupt) << c.text;
    EXPECT_EQ(read.message(), prefix + kConfidenceFileName + c.message);
  }
  WriteFile(prefix + kConfidenceFileName, "# note\r\nmin_confidence 0\r\n");
  ConfidenceSettings settings{0.7};
  EXPECT_TRUE(testing::IsOk(ReadConfidenceFile(prefix, &settings)));
  EXPECT_EQ(settings.minConfidence, 0.0);
}

}  // namespace
}  // namespace wenlei
