#include "source/source_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "testutil/test_support.h"
#include "testutil/status_assertion.h"

namespace wenlei {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

SourceFileContents Sample() {
  SourceFileContents contents;
  contents.vocabulary = {"\xc4\xe3\xba\xc3", "a", "a"};
  contents.termMap = {{"a", ""}, {"\xc4\xe3\xba\xc3", "a"}};
  contents.idf = {{"a", 1.5}, {"\xc4\xe3\xba\xc3", -0.25}};
  contents.classNames = {"NULL", "01 Sport", "Arts"};
  contents.averageDocLength = 12.5;
  return contents;
}

bool Read(const std::string& path, SourceFileContents* contents, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  const Status read = ReadSourceFile(file, contents);
  std::fclose(file);
  *error = read.message();
  return read.ok();
}

TEST(SourceFileTest, WritesTheDocumentedLayoutAndReadsItBack) {
  TempDir dir;
  const std::string path = dir.path() + "/Source.dat";
  std::string error;
  ASSERT_TRUE(testing::IsOk(WriteSourceFile(path, Sample())));
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 24u + 30 * 3 + 40 * 2 + 40 * 2 + 10 * 3);
  EXPECT_EQ(bytes.substr(0, 4), std::string("\x03\x00\x00\x00", 4));
  EXPECT_EQ(bytes.substr(4, 5), std::string("\xc4\xe3\xba\xc3\0", 5));
  const std::size_t idfSection = 4 + 90 + 4 + 80;
  EXPECT_EQ(bytes.substr(idfSection, 4), std::string("\x02\x00\x00\x00", 4));
  double idf;
  std::memcpy(&idf, bytes.data() + idfSection + 4 + 32, 8);
  EXPECT_EQ(idf, 1.5);

  SourceFileContents back;
  ASSERT_TRUE(Read(path, &back, &error)) << error;
  EXPECT_EQ(back.vocabulary, Sample().vocabulary);
  EXPECT_EQ(back.termMap, Sample().termMap);
  EXPECT_EQ(back.idf, Sample().idf);
  EXPECT_EQ(back.classNames, Sample().classNames);
  EXPECT_EQ(back.averageDocLength, 12.5);
}

TEST(SourceFileTest, WriterRefusesStringsThatDoNotFitTheirField) {
  TempDir dir;
  SourceFileContents contents = Sample();
  contents.classNames.push_back("0123456789");  // 10 bytes: no room for the NUL
  const Status refused = WriteSourceFile(dir.path() + "/Source.dat", contents);
  EXPECT_EQ(refused.code(), Status::Code::kInvalidArgument);
  EXPECT_NE(refused.message().find("0123456789"), std::string::npos);
  EXPECT_FALSE(testing::FileExists(dir.path() + "/Source.dat"));

  contents = Sample();
  contents.vocabulary.push_back(std::string(30, 'w'));
  EXPECT_FALSE(WriteSourceFile(dir.path() + "/Source.dat", contents).ok());
  contents.vocabulary.back() = std::string(29, 'w');
  EXPECT_TRUE(testing::IsOk(WriteSourceFile(dir.path() + "/Source.dat", contents)));
}

TEST(SourceFileTest, FieldsWithoutNulTakeTheirWholeWidthAndGarbageAfterNulIsIgnored) {
  TempDir dir;
  std::string bytes("\x02\x00\x00\x00", 4);
  bytes += std::string(30, 'x');                          // no NUL at all
  bytes += std::string("ab\0garbage", 10) + std::string(20, 'y');
  bytes += std::string(4, '\0') + std::string(4, '\0');   // no term map, no idf
  bytes += std::string("\x01\x00\x00\x00", 4) + std::string("0123456789", 10);
  bytes += std::string(8, '\0');
  bytes += "trailing bytes are never read";
  WriteFile(dir.path() + "/Source.dat", bytes);
  SourceFileContents contents;
  std::string error;
  ASSERT_TRUE(Read(dir.path() + "/Source.dat", &contents, &error)) << error;
  EXPECT_EQ(contents.vocabulary, (std::vector<std::string>{std::string(30, 'x'), "ab"}));
  EXPECT_EQ(contents.classNames, (std::vector<std::string>{"0123456789"}));
}

// Every prefix and count of a damaged file is in source_truncation_test.cc;
// here the message for one of them, word for word.
TEST(SourceFileTest, NamesTheSectionAndOffsetOfABadCount) {
  TempDir dir;
  const std::string path = dir.path() + "/Source.dat";
  std::string error;
  ASSERT_TRUE(testing::IsOk(WriteSourceFile(path, Sample())));
  const std::string whole = ReadFile(path);
  std::string negative = whole;
  std::int32_t minusOne = -1;
  std::memcpy(&negative[4 + 90], &minusOne, 4);
  WriteFile(path, negative);
  SourceFileContents contents;
  EXPECT_FALSE(Read(path, &contents, &error));
  EXPECT_NE(error.find("term map section count at offset 94: negative count -1"), std::string::npos)
      << error;
}

}  // namespace
}  // namespace wenlei

namespace wenlei {
namespace {

// Fields are scanned several bytes at a time; every position of the NUL,
// with bytes around it that could fool such a scan (0x01 and 0x80 right
// after the NUL, high bytes before it), must give the exact text.
TEST(SourceFileSectionsTest, EveryNulPositionOfEveryFieldGivesTheExactText) {
  TempDir dir;
  const std::string path = dir.path() + "/Source.dat";
  auto field = [](std::size_t width, std::size_t nulAt) {
    std::string bytes;
    for (std::size_t i = 0; i < width; ++i) {
      bytes += i < nulAt ? static_cast<char>(0x80 + i) : i == nulAt ? '\0' : (i % 2 ? '\x01' : '\x80');
    }
    return bytes;
  };
  auto count = [](std::size_t n) {
    const auto value = static_cast<std::int32_t>(n);
    return std::string(reinterpret_cast<const char*>(&value), 4);
  };
  std::string bytes = count(31);
  for (std::size_t at = 0; at <= 30; ++at) bytes += field(30, at);  // 30: no NUL
  bytes += count(11);
  for (std::size_t at = 0; at <= 10; ++at) bytes += field(30, at + 19) + field(10, at);
  bytes += count(31);
  for (std::size_t at = 0; at <= 30; ++at) bytes += field(30, at) + std::string(10, '\x01');
  bytes += count(11);
  for (std::size_t at = 0; at <= 10; ++at) bytes += field(10, at);
  bytes += std::string(8, '\0');
  WriteFile(path, bytes);

  std::FILE* file = std::fopen(path.c_str(), "rb");
  SourceFileSections sections;
  ASSERT_TRUE(testing::IsOk(ReadSourceFileSections(file, &sections)));
  std::fclose(file);
  auto text = [&field](std::size_t width, std::size_t nulAt) {
    return field(width, nulAt).substr(0, std::min(width, nulAt));
  };
  for (std::size_t at = 0; at <= 30; ++at) {
    EXPECT_EQ(sections.VocabularyWord(at), text(30, at)) << at;
    EXPECT_EQ(sections.IdfWord(at), text(30, at)) << at;
  }
  for (std::size_t at = 0; at <= 10; ++at) {
    EXPECT_EQ(sections.TermMapWord(at), text(30, at + 19)) << at;
    EXPECT_EQ(sections.TermMapCanonical(at), text(10, at)) << at;
    EXPECT_EQ(sections.ClassName(at), text(10, at)) << at;
  }

  SourceFileContents contents;
  file = std::fopen(path.c_str(), "rb");
  ASSERT_TRUE(testing::IsOk(ReadSourceFile(file, &contents)));
  std::fclose(file);
  ASSERT_EQ(contents.vocabulary.size(), 31u);
  for (std::size_t at = 0; at <= 30; ++at) EXPECT_EQ(contents.vocabulary[at], text(30, at));
}

}  // namespace
}  // namespace wenlei
