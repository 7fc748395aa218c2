// Damaged resource files: every prefix of a whole file, and every count
// field set to values that do not match the records.  Each is either
// rejected, leaving an already loaded resource set exactly as it was, or,
// when the bytes happen to form a whole file, loaded as that file.  The
// expected reading comes from a walk of the format written here, apart
// from the loader.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace wenlei {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

constexpr std::size_t kWidths[] = {30, 40, 40, 10};

std::int32_t Int32At(const std::string& bytes, std::size_t at) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(bytes[at + i]);
  std::int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void PutInt32(std::string* bytes, std::size_t at, std::int32_t value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(bits >> (8 * i) & 0xFF);
}

double DoubleAt(const std::string& bytes, std::size_t at) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(bytes[at + i]);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string TextAt(const std::string& bytes, std::size_t at, std::size_t width) {
  std::string field = bytes.substr(at, width);
  return field.substr(0, field.find('\0'));
}

// The records a whole file holds, or nothing when its counts ask for more
// bytes than it has (or are negative).
std::optional<SourceFileContents> Walk(const std::string& bytes) {
  SourceFileContents contents;
  std::size_t at = 0;
  for (int section = 0; section < 4; ++section) {
    if (bytes.size() - at < 4) return std::nullopt;
    const std::int32_t count = Int32At(bytes, at);
    at += 4;
    const std::size_t width = kWidths[section];
    if (count < 0 || (bytes.size() - at) / width < static_cast<std::size_t>(count)) {
      return std::nullopt;
    }
    for (std::int32_t i = 0; i < count; ++i, at += width) {
      if (section == 0) contents.vocabulary.push_back(TextAt(bytes, at, 30));
      if (section == 1) contents.termMap.emplace_back(TextAt(bytes, at, 30), TextAt(bytes, at + 30, 10));
      if (section == 2) contents.idf.emplace_back(TextAt(bytes, at, 30), DoubleAt(bytes, at + 32));
      if (section == 3) contents.classNames.push_back(TextAt(bytes, at, 10));
    }
  }
  if (bytes.size() - at < 8) return std::nullopt;
  contents.averageDocLength = DoubleAt(bytes, at);
  return contents;
}

// Offsets of the four count fields of a whole file.
std::vector<std::size_t> CountOffsets(const std::string& bytes) {
  std::vector<std::size_t> offsets;
  std::size_t at = 0;
  for (std::size_t width : kWidths) {
    offsets.push_back(at);
    at += 4 + width * static_cast<std::size_t>(Int32At(bytes, at));
  }
  return offsets;
}

SourceFileContents Resident() {
  SourceFileContents contents;
  contents.vocabulary = {"a", "\xc4\xe3\xba\xc3", "resident"};
  contents.termMap = {{"a", ""}, {"resident", "a"}};
  contents.idf = {{"a", 0.5}, {"resident", 4.0}};
  contents.classNames = {"NULL", "Kept"};
  contents.averageDocLength = 2.0;
  return contents;
}

SourceFileContents Incoming() {
  SourceFileContents contents;
  contents.vocabulary = {"a", "new", "\xb2\xe2\xca\xd4", "new", "", std::string(29, 'w')};
  contents.termMap = {{"new", ""}, {"a", "new"}, {"\xb2\xe2\xca\xd4", "x"}, {"", ""},
                      {std::string(29, 'w'), "123456789"}};
  contents.idf = {{"new", 1.25}, {"a", 9.0}, {"\xb2\xe2\xca\xd4", -3.5}, {"new", 7.0}, {"z", 0.0}};
  contents.classNames = {"NULL", "01 Sport", "Arts", "123456789"};
  contents.averageDocLength = 11.5;
  return contents;
}

class SourceTruncationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testing::IsOk(WriteSourceFile(resident_.prefix() + kSourceFileName, Resident())));
    ASSERT_TRUE(testing::IsOk(WriteSourceFile(incoming_.prefix() + kSourceFileName, Incoming())));
    ASSERT_TRUE(before_.Load(resident_.prefix()).ok());
    whole_ = ReadFile(incoming_.prefix() + kSourceFileName);
  }

  // Loads bytes into a copy of the resident set and checks the outcome
  // against the walk of the format.
  void LoadAndCheck(const std::string& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFile(damaged_.prefix() + kSourceFileName, bytes);
    SourceData data = before_;
    const Status outcome = data.Load(damaged_.prefix());
    const std::string& err = outcome.message();
    const std::optional<SourceFileContents> expected = Walk(bytes);
    if (!expected) {
      ++rejected_;
      ASSERT_EQ(outcome.code(), Status::Code::kCorrupt);
      EXPECT_EQ(err.rfind("rejected resource file " + damaged_.prefix() + kSourceFileName + ": ", 0), 0u) << err;
      EXPECT_EQ(err.find('\n'), std::string::npos) << "one line: " << err;
      EXPECT_NE(err.find(" at offset "), std::string::npos) << "names where: " << err;
      ExpectUnchanged(data);
      return;
    }
    ++accepted_;
    ASSERT_TRUE(outcome.ok()) << err;
    ExpectMerged(data, *expected);
  }

  void ExpectUnchanged(const SourceData& data) {
    EXPECT_TRUE(data.wordIndexTable == before_.wordIndexTable);
    EXPECT_TRUE(data.termMapTable == before_.termMapTable);
    EXPECT_TRUE(data.idfTable == before_.idfTable);
    EXPECT_TRUE(data.classTable == before_.classTable);
    EXPECT_EQ(data.modelPath, before_.modelPath);
    EXPECT_EQ(data.testFilePath, before_.testFilePath);
    EXPECT_EQ(data.resultFilePath, before_.resultFilePath);
    EXPECT_EQ(data.averageDocLength, before_.averageDocLength);
  }

  void ExpectMerged(const SourceData& data, const SourceFileContents& file) {
    std::map<std::string, std::int32_t> words(before_.wordIndexTable.begin(), before_.wordIndexTable.end());
    for (std::size_t i = 0; i < file.vocabulary.size(); ++i) {
      words.emplace(file.vocabulary[i], static_cast<std::int32_t>(i + 1));
    }
    std::map<std::string, std::string> terms(before_.termMapTable.begin(), before_.termMapTable.end());
    terms.insert(file.termMap.begin(), file.termMap.end());
    std::map<std::string, double> idf(before_.idfTable.begin(), before_.idfTable.end());
    idf.insert(file.idf.begin(), file.idf.end());
    std::map<std::int32_t, std::string> classes(before_.classTable.begin(), before_.classTable.end());
    for (std::size_t i = 0; i < file.classNames.size(); ++i) {
      classes.emplace(static_cast<std::int32_t>(i), file.classNames[i]);
    }
    EXPECT_EQ(std::vector<WordIndexTable::Entry>(data.wordIndexTable.begin(), data.wordIndexTable.end()),
              std::vector<WordIndexTable::Entry>(words.begin(), words.end()));
    EXPECT_EQ(std::vector<TermMapTable::Entry>(data.termMapTable.begin(), data.termMapTable.end()),
              std::vector<TermMapTable::Entry>(terms.begin(), terms.end()));
    // Damaged counts can turn any eight bytes into an idf or the average
    // length, NaN included, so reals are compared by their bits.
    ASSERT_EQ(data.idfTable.size(), idf.size());
    auto expectedIdf = idf.begin();
    for (const auto& [word, value] : data.idfTable) {
      EXPECT_EQ(word, expectedIdf->first);
      EXPECT_EQ(std::memcmp(&value, &expectedIdf->second, sizeof value), 0) << word;
      ++expectedIdf;
    }
    EXPECT_EQ(std::vector<ClassTable::Entry>(data.classTable.begin(), data.classTable.end()),
              std::vector<ClassTable::Entry>(classes.begin(), classes.end()));
    EXPECT_EQ(std::memcmp(&data.averageDocLength, &file.averageDocLength, sizeof(double)), 0);
    EXPECT_EQ(data.modelPath, damaged_.prefix() + kModelFileName);
    EXPECT_EQ(data.testFilePath, damaged_.prefix() + kTestFileName);
    EXPECT_EQ(data.resultFilePath, damaged_.prefix() + kResultFileName);
  }

  TempDir resident_, incoming_, damaged_;
  SourceData before_;
  std::string whole_;
  int rejected_ = 0;
  int accepted_ = 0;
};

TEST_F(SourceTruncationTest, EveryPrefixIsRejectedUntilTheFileIsWhole) {
  // Bytes after the average length are never read: prefixes that reach
  // into them are whole files.
  const std::string file = whole_ + "tail";
  for (std::size_t length = 0; length <= file.size(); ++length) {
    LoadAndCheck(file.substr(0, length), "prefix of " + std::to_string(length) + " bytes");
    if (HasFatalFailure()) return;
    EXPECT_EQ(Walk(file.substr(0, length)).has_value(), length >= whole_.size()) << length;
  }
  EXPECT_EQ(rejected_, static_cast<int>(whole_.size()));
  EXPECT_EQ(accepted_, 5);
}

TEST_F(SourceTruncationTest, EveryPrefixOfAFileOfEmptySectionsIsRejectedUntilWhole) {
  SourceFileContents empty;
  empty.averageDocLength = 1.0;
  ASSERT_TRUE(testing::IsOk(WriteSourceFile(incoming_.prefix() + kSourceFileName, empty)));
  const std::string file = ReadFile(incoming_.prefix() + kSourceFileName);
  ASSERT_EQ(file.size(), 24u);
  for (std::size_t length = 0; length <= file.size(); ++length) {
    LoadAndCheck(file.substr(0, length), "prefix of " + std::to_string(length) + " bytes");
  }
  EXPECT_EQ(accepted_, 1);
}

TEST_F(SourceTruncationTest, EveryCountFieldSetWrongIsRejectedOrReadAsTheBytesSay) {
  const std::vector<std::size_t> offsets = CountOffsets(whole_);
  ASSERT_EQ(offsets.size(), 4u);
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  for (std::size_t section = 0; section < 4; ++section) {
    const std::size_t at = offsets[section];
    const std::int32_t count = Int32At(whole_, at);
    const std::int32_t width = static_cast<std::int32_t>(kWidths[section]);
    // Counts whose byte size wraps 32-bit arithmetic to a small number.
    const std::int32_t wrapsToWidth = static_cast<std::int32_t>((std::uint64_t(1) << 32) / width + 1);
    const std::int32_t values[] = {-1, 0, count - 1, count + 1, kMax, kMin, wrapsToWidth,
                                   kMax / width + 1, 1 << 24};
    for (std::int32_t value : values) {
      std::string damaged = whole_;
      PutInt32(&damaged, at, value);
      LoadAndCheck(damaged, "section " + std::to_string(section + 1) + " count " + std::to_string(value));
      if (HasFatalFailure()) return;
      // These can never be whole, whatever the bytes after them hold; one
      // record more elsewhere may shift the later counts onto bytes that
      // happen to fit.
      if (value < 0 || value > 1000 || (value == count + 1 && section == 3)) {
        EXPECT_FALSE(Walk(damaged).has_value()) << value;
      }
    }
  }
  // One fewer class name leaves a consistent file: the first eight bytes
  // of the last name's record become the average length.
  std::string oneFewerClass = whole_;
  PutInt32(&oneFewerClass, offsets[3], Int32At(whole_, offsets[3]) - 1);
  ASSERT_TRUE(Walk(oneFewerClass).has_value());
  EXPECT_EQ(Walk(oneFewerClass)->classNames.size(), Incoming().classNames.size() - 1);
  EXPECT_GT(rejected_, 20);
  EXPECT_GT(accepted_, 0);
}

TEST_F(SourceTruncationTest, TheWalkAgreesWithTheWriter) {
  const std::optional<SourceFileContents> read = Walk(whole_);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->vocabulary, Incoming().vocabulary);
  EXPECT_EQ(read->termMap, Incoming().termMap);
  EXPECT_EQ(read->idf, Incoming().idf);
  EXPECT_EQ(read->classNames, Incoming().classNames);
  EXPECT_EQ(read->averageDocLength, Incoming().averageDocLength);
  LoadAndCheck(whole_, "the whole file");
  EXPECT_EQ(accepted_, 1);
}

}  // namespace
}  // namespace wenlei
