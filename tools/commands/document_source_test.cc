#include "tools/commands/document_source.h"

#include <unistd.h>

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
    const bool failed = next == DocumentSource::Next::kError || next == DocumentSource::Next::kTooLong;
    reads.push_back({next, failed ? error : text, origin});
  }
  return reads;
}

// A document over the bound is skipped as it is read, with an error of its
// own, and the documents around it come through; the bound counts the
// document's bytes, not its line end.
TEST(DocumentSourceTest, DocumentsOverTheSizeLimitAreSkippedEachWithAnError) {
  const std::string tooLong = "more than 10 bytes, the size limit of a document (--max-bytes); skipped";
  const std::string tenBytes(10, 'x'), elevenBytes(11, 'y');
  testing::TempDir dir;
  const std::string lines = dir.path() + "/lines.txt";
  // Long enough that skipping spans several reads.
  testing::WriteFile(lines, tenBytes + "\r\n" + elevenBytes + "\n" + std::string(300000, 'z') +
                                "\nok\n" + elevenBytes);
  const std::string whole = dir.path() + "/whole.txt";
  testing::WriteFile(whole, std::string(200000, 'w'));
  const std::string fits = dir.path() + "/fits.txt";
  testing::WriteFile(fits, tenBytes);
  using Next = DocumentSource::Next;
  struct Case {
    std::vector<std::string> texts, files;
    bool lines;
    std::vector<std::pair<Next, std::string>> expected;
  };
  const Case cases[] = {
      {{}, {lines}, true,
       {{Next::kDocument, tenBytes}, {Next::kTooLong, tooLong}, {Next::kTooLong, tooLong},
        {Next::kDocument, "ok"}, {Next::kTooLong, tooLong}}},
      {{}, {whole, fits}, false, {{Next::kTooLong, tooLong}, {Next::kDocument, tenBytes}}},
      {{elevenBytes, tenBytes}, {}, false, {{Next::kTooLong, tooLong}, {Next::kDocument, tenBytes}}},
      {{tenBytes + "\n" + elevenBytes}, {}, true,
       {{Next::kDocument, tenBytes}, {Next::kTooLong, tooLong}}},
  };
  for (const Case& c : cases) {
    DocumentSource source(c.texts, c.files, c.lines, 10);
    std::vector<Read> reads = ReadAll(source);
    ASSERT_EQ(reads.size(), c.expected.size());
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].next, c.expected[i].first) << i;
      EXPECT_EQ(reads[i].text, c.expected[i].second) << i;
    }
  }
  std::size_t bytes = 0;
  EXPECT_TRUE(ParseByteCount("16777216", &bytes));
  EXPECT_EQ(bytes, 16777216u);
  for (const char* bad : {"0", "-1", "1k", "", "99999999999999999999999"}) {
    EXPECT_FALSE(ParseByteCount(bad, &bytes)) << bad;
  }
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

namespace wenlei {
namespace {

TEST(DocumentSourceTest, IsReadyOnlyWhenTheNextLineCanBeReadWithoutWaiting) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int savedStdin = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  {
    DocumentSource source({}, {}, true);
    std::string text, origin, error;
    ASSERT_EQ(write(fds[1], "一\n二\n三", 11), 11);
    ASSERT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kDocument);
    EXPECT_EQ(text, "一");
    EXPECT_TRUE(source.NextIsReady());  // "二" is buffered
    ASSERT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kDocument);
    EXPECT_EQ(text, "二");
    // "三" lacks its line end and the writer may still add to it.
    EXPECT_FALSE(source.NextIsReady());
    close(fds[1]);
    EXPECT_TRUE(source.NextIsReady());  // the end of the input is at hand
    ASSERT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kDocument);
    EXPECT_EQ(text, "三");
    EXPECT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kEnd);
  }
  // A line over the bound is reported as it crosses it: its end may never
  // come (/dev/zero), and the writer here has not finished it.
  ASSERT_EQ(pipe(fds), 0);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  {
    DocumentSource source({}, {}, true, 10);
    std::string text, origin, error;
    ASSERT_EQ(write(fds[1], "ok\n0123456789ab", 15), 15);
    ASSERT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kDocument);
    EXPECT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kTooLong);
    EXPECT_EQ(origin, "line 2 of standard input");
    EXPECT_FALSE(source.NextIsReady());
    ASSERT_EQ(write(fds[1], "cdef\nnext\n", 10), 10);
    close(fds[1]);
    ASSERT_EQ(source.Read(&text, &origin, &error), DocumentSource::Next::kDocument);
    EXPECT_EQ(text, "next");
    EXPECT_EQ(origin, "line 3 of standard input");
  }
  dup2(savedStdin, STDIN_FILENO);
  close(savedStdin);
}

}  // namespace
}  // namespace wenlei
