#include "source/source_data.h"

#include <gtest/gtest.h>

#include "source/source_file.h"
#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::TempDir;

void Write(const std::string& path, const SourceFileContents& contents) {
  std::string error;
  ASSERT_TRUE(WriteSourceFile(path, contents, &error)) << error;
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
  ASSERT_EQ(data.Load(dir.prefix()), SourceData::LoadOutcome::kLoaded);
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
  ASSERT_EQ(data.Load(one.prefix()), SourceData::LoadOutcome::kLoaded);
  ASSERT_EQ(data.Load(two.prefix()), SourceData::LoadOutcome::kLoaded);
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
  ASSERT_EQ(data.Load(dir.path()), SourceData::LoadOutcome::kLoaded);
  EXPECT_EQ(data.modelPath, dir.path() + "SVMModel");
  std::remove((dir.path() + "Source.dat").c_str());
}

TEST(SourceDataTest, MissingOrMalformedFileLeavesEverythingAsItWas) {
  TempDir good, bad, missing;
  Write(good.prefix() + "Source.dat", First());
  SourceData data;
  ASSERT_EQ(data.Load(good.prefix()), SourceData::LoadOutcome::kLoaded);
  const SourceData before = data;

  EXPECT_EQ(data.Load(missing.prefix()), SourceData::LoadOutcome::kMissing);

  std::string bytes = testing::ReadFile(good.prefix() + "Source.dat");
  testing::WriteFile(bad.prefix() + "Source.dat", bytes.substr(0, bytes.size() - 1));
  auto outcome = testing::RunInChild([&] {
    SourceData copy = data;
    std::_Exit(copy.Load(bad.prefix()) == SourceData::LoadOutcome::kMalformed ? 0 : 3);
  });
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.err, "wenlei: rejected resource file " + bad.prefix() +
                             "Source.dat: average document length value at offset " +
                             std::to_string(bytes.size() - 8) +
                             ": needs 8 bytes, the file ends after 7\n");
  EXPECT_EQ(data.Load(bad.prefix()), SourceData::LoadOutcome::kMalformed);

  EXPECT_TRUE(data.wordIndexTable == before.wordIndexTable);
  EXPECT_TRUE(data.termMapTable == before.termMapTable);
  EXPECT_TRUE(data.idfTable == before.idfTable);
  EXPECT_TRUE(data.classTable == before.classTable);
  EXPECT_EQ(data.modelPath, before.modelPath);
  EXPECT_EQ(data.testFilePath, before.testFilePath);
  EXPECT_EQ(data.resultFilePath, before.resultFilePath);
  EXPECT_EQ(data.averageDocLength, before.averageDocLength);
}

}  // namespace
}  // namespace wenlei
