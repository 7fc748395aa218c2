#include "tools/document_source.h"

#include <gtest/gtest.h>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

struct Read {
  DocumentSource::Next next;
  std::string text;
  std::string origin;
};

std::vector<Read> ReadAll(DocumentSource& source) {
  std::vector<Read> reads;
  std::string text, origin, error;
  while (true) {
    DocumentSource::Next next = source.Read(&text, &origin, &error);
    if (next == DocumentSource::Next::kEnd) break;
    reads.push_back({next, next == DocumentSource::Next::kError ? error : text, origin});
  }
  return reads;
}

TEST(DocumentSourceTest, EachTextIsOneDocument) {
  DocumentSource source({"第一\n篇", "第二篇"}, {}, false);
  std::vector<Read> reads = ReadAll(source);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].text, "第一\n篇");
  EXPECT_EQ(reads[0].origin, "argument 1");
  EXPECT_EQ(reads[1].text, "第二篇");
  EXPECT_EQ(reads[1].origin, "argument 2");
}

TEST(DocumentSourceTest, WithLinesEveryLineIsADocumentWithoutItsLineEnd) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/lines.txt";
  testing::WriteFile(path, "一\r\n\n二\t行\n三");
  DocumentSource source({}, {path}, true);
  std::vector<Read> reads = ReadAll(source);
  ASSERT_EQ(reads.size(), 4u);
  EXPECT_EQ(reads[0].text, "一");
  EXPECT_EQ(reads[1].text, "");
  EXPECT_EQ(reads[2].text, "二\t行");
  EXPECT_EQ(reads[3].text, "三");
  EXPECT_EQ(reads[3].origin, "line 4 of " + path);
}

TEST(DocumentSourceTest, KeepsNulBytesOfALine) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/nul.txt";
  testing::WriteFile(path, std::string("a\0b\nc", 5));
  DocumentSource source({}, {path}, true);
  std::vector<Read> reads = ReadAll(source);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].text, std::string("a\0b", 3));
}

TEST(DocumentSourceTest, AnUnreadableFileIsReportedAndTheRestIsStillRead) {
  testing::TempDir dir;
  const std::string good = dir.path() + "/good.txt";
  testing::WriteFile(good, "好");
  DocumentSource source({}, {dir.path() + "/missing.txt", good}, false);
  std::vector<Read> reads = ReadAll(source);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].next, DocumentSource::Next::kError);
  EXPECT_EQ(reads[0].text,
            "cannot open " + dir.path() + "/missing.txt: No such file or directory");
  EXPECT_EQ(reads[1].next, DocumentSource::Next::kDocument);
  EXPECT_EQ(reads[1].text, "好");
}

}  // namespace
}  // namespace wenlei
