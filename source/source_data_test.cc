#include "source/source_data.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "source/source_file.h"
#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace wenlei {
namespace {

using testing::TempDir;

void Write(const std::string& path, const SourceFileContents& contents) {
  ASSERT_TRUE(testing::IsOk(WriteSourceFile(path, contents)));
}

SourceFileContents First() {
  SourceFileContents contents;
  // "w" at positions 3 and 7 keeps number 4; no word takes 8.
  contents.vocabulary = {"a", "b", "", "w", "c", "d", "e", "w"};
  contents.termMap = {{"a", ""}, {"b", "a"}, {"b", "x"}};
  contents.idf = {{"a", 1.0}, {"a", 9.0}, {"b", 2.0}};
  contents.classNames = {"NULL", "Sports"};
  contents.averageDocLength = 3.0;
  return contents;
}

SourceFileContents Second() {
  SourceFileContents contents;
  contents.vocabulary = {"z", "a"};
  contents.termMap = {{"a", "b"}, {"z", ""}};
  contents.idf = {{"z", 5.0}, {"a", 7.0}};
  contents.classNames = {"Other", "Arts", "Music"};
  contents.averageDocLength = 6.0;
  return contents;
}

TEST(SourceDataTest, LoadFillsTablesFromRecordPositionsAndSetsPaths) {
  TempDir dir;
  Write(dir.prefix() + "Source.dat", First());
  SourceData data;
  ASSERT_TRUE(data.Load(dir.prefix()).ok());
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("w")), 4);
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("")), 3);
  for (const auto& [word, number] : data.wordIndexTable) EXPECT_NE(number, 8) << word;
  EXPECT_EQ(*data.termMapTable.Find(std::string("a")), "");
  EXPECT_EQ(*data.termMapTable.Find(std::string("b")), "a");
  EXPECT_EQ(*data.idfTable.Find(std::string("a")), 1.0);
  EXPECT_EQ(*data.classTable.Find(0), "NULL");
  EXPECT_EQ(data.averageDocLength, 3.0);
  EXPECT_EQ(data.modelPath, dir.prefix() + "SVMModel");
  EXPECT_EQ(data.testFilePath, dir.prefix() + "SVMTestFile.dat");
  EXPECT_EQ(data.resultFilePath, dir.prefix() + "resultFile.dat");
}

TEST(SourceDataTest, SecondLoadMergesKeepingFirstValuesButTakesLengthAndPaths) {
  TempDir one, two;
  Write(one.prefix() + "Source.dat", First());
  Write(two.prefix() + "Source.dat", Second());
  SourceData data;
  ASSERT_TRUE(data.Load(one.prefix()).ok());
  ASSERT_TRUE(data.Load(two.prefix()).ok());
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("a")), 1);
  EXPECT_EQ(*data.wordIndexTable.Find(std::string("z")), 1);  // position in its own file
  EXPECT_EQ(*data.termMapTable.Find(std::string("a")), "");
  EXPECT_EQ(*data.idfTable.Find(std::string("a")), 1.0);
  EXPECT_EQ(*data.idfTable.Find(std::string("z")), 5.0);
  EXPECT_EQ(*data.classTable.Find(0), "NULL");
  EXPECT_EQ(*data.classTable.Find(2), "Music");
  EXPECT_EQ(data.averageDocLength, 6.0);
  EXPECT_EQ(data.modelPath, two.prefix() + "SVMModel");

  data.ReleaseTables();
  EXPECT_TRUE(data.wordIndexTable.empty() && data.termMapTable.empty() &&
              data.idfTable.empty() && data.classTable.empty());
  EXPECT_EQ(data.averageDocLength, 6.0);
  EXPECT_EQ(data.resultFilePath, two.prefix() + "resultFile.dat");
}

TEST(SourceDataTest, PrefixIsUsedAsItStands) {
  TempDir dir;
  Write(dir.path() + "Source.dat", First());  // beside the directory, not in it
  SourceData data;
  ASSERT_TRUE(data.Load(dir.path()).ok());
  EXPECT_EQ(data.modelPath, dir.path() + "SVMModel");
  std::remove((dir.path() + "Source.dat").c_str());
}

// A load that fails leaves everything as it was.  The weighting divides by
// the average length, so a length that is not a positive finite number
// would send every document to one class.
TEST(SourceDataTest, AMissingOrMalformedFileOrABadAverageLengthChangesNothing) {
  TempDir good, bad;
  Write(good.prefix() + "Source.dat", First());
  SourceData data;
  ASSERT_TRUE(data.Load(good.prefix()).ok());
  const SourceData before = data;
  const std::string bytes = testing::ReadFile(good.prefix() + "Source.dat");
  const std::string lengthField = "rejected resource file " + bad.prefix() +
                                  "Source.dat: average document length value at offset " +
                                  std::to_string(bytes.size() - 8) + ": ";
  struct Case {
    std::string file;  // empty: none
    Status::Code code;
    std::string message;
  };
  std::vector<Case> cases = {
      {"", Status::Code::kNotFound,
       "cannot read " + bad.prefix() + "Source.dat: No such file or directory"},
      {bytes.substr(0, bytes.size() - 1), Status::Code::kCorrupt,
       lengthField + "needs 8 bytes, the file ends after 7"},
  };
  const struct {
    double length;
    const char* shown;
  } lengths[] = {{0.0, "0"},
                 {-0.0, "-0"},
                 {-3.5, "-3.5"},
                 {std::numeric_limits<double>::infinity(), "inf"},
                 {-std::numeric_limits<double>::infinity(), "-inf"},
                 {std::numeric_limits<double>::quiet_NaN(), "nan"}};
  for (const auto& l : lengths) {
    SourceFileContents contents = First();
    contents.averageDocLength = l.length;
    Write(bad.prefix() + "Source.dat", contents);
    cases.push_back({testing::ReadFile(bad.prefix() + "Source.dat"), Status::Code::kCorrupt,
                     lengthField + l.shown + " is not a positive finite number"});
  }
  for (const Case& c : cases) {
    std::remove((bad.prefix() + "Source.dat").c_str());
    if (!c.file.empty()) testing::WriteFile(bad.prefix() + "Source.dat", c.file);
    const Status rejected = data.Load(bad.prefix());
    EXPECT_EQ(rejected.code(), c.code) << c.message;
    EXPECT_EQ(rejected.message(), c.message);
    EXPECT_TRUE(data.wordIndexTable == before.wordIndexTable);
    EXPECT_TRUE(data.termMapTable == before.termMapTable);
    EXPECT_TRUE(data.idfTable == before.idfTable);
    EXPECT_TRUE(data.classTable == before.classTable);
    EXPECT_EQ(data.modelPath, before.modelPath);
    EXPECT_EQ(data.testFilePath, before.testFilePath);
    EXPECT_EQ(data.resultFilePath, before.resultFilePath);
    EXPECT_EQ(data.averageDocLength, before.averageDocLength);
  }
  EXPECT_EQ(data.Load(bad.prefix() + "none/").context(), Status::Context::kSourceFileOpen);
}

}  // namespace
}  // namespace wenlei

namespace wenlei {
namespace {

// Load orders each section in bulk; the tables must be exactly those of one
// insertion per record in file order, whether or not the idf section lists
// the vocabulary's words in the same order.
TEST(SourceDataTest, BulkLoadEqualsOneInsertionPerRecordOnLargeShuffledFiles) {
  std::mt19937 random(5);
  auto word = [&random] {
    std::string text;
    for (std::size_t length = 1 + random() % 9; length > 0; --length) {
      text += static_cast<char>(random() % 3 == 0 ? 'a' + random() % 3 : 0xB0 + random() % 4);
    }
    return text;
  };
  for (bool idfFollowsVocabulary : {true, false}) {
    SourceFileContents contents;
    for (int i = 0; i < 4000; ++i) contents.vocabulary.push_back(word());  // with repeats
    for (int i = 0; i < 1500; ++i) {
      contents.termMap.emplace_back(word(), random() % 2 ? "" : word().substr(0, 9));
    }
    for (std::size_t i = 0; i < contents.vocabulary.size(); ++i) {
      contents.idf.emplace_back(idfFollowsVocabulary ? contents.vocabulary[i] : word(),
                                static_cast<double>(i));
    }
    contents.classNames = {"NULL", "A"};
    contents.averageDocLength = 4.5;

    TempDir dir;
    Write(dir.prefix() + "Source.dat", contents);
    SourceData data;
    ASSERT_TRUE(data.Load(dir.prefix()).ok());

    WordIndexTable words;
    for (std::size_t i = 0; i < contents.vocabulary.size(); ++i) {
      words.Insert(contents.vocabulary[i], static_cast<std::int32_t>(i + 1));
    }
    TermMapTable termMap;
    for (const auto& [from, to] : contents.termMap) termMap.Insert(from, to);
    IdfTable idf;
    for (const auto& [term, value] : contents.idf) idf.Insert(term, value);
    EXPECT_EQ(data.wordIndexTable, words);
    EXPECT_EQ(data.termMapTable, termMap);
    EXPECT_EQ(data.idfTable, idf);
    EXPECT_LT(words.size(), contents.vocabulary.size());  // the repeats did occur
  }
}

}  // namespace
}  // namespace wenlei
