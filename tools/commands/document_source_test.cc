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

// Texts are documents whole, files too or a line each (without its line
// end, NUL bytes kept); an unreadable file is an error and the rest is read.
TEST(DocumentSourceTest, EveryInputGivesItsDocumentsWithWhereTheyCameFrom) {
  testing::TempDir dir;
  const std::string lines = dir.path() + "/lines.txt", nul = dir.path() + "/nul.txt";
  const std::string good = dir.path() + "/good.txt", missing = dir.path() + "/missing.txt";
  testing::WriteFile(lines, "一\r\n\n二\t行\n三");
  testing::WriteFile(nul, std::string("a\0b\nc", 5));
  testing::WriteFile(good, "好");
  using Next = DocumentSource::Next;
  struct Case {
    std::vector<std::string> texts, files;
    bool lines;
    std::vector<Read> expected;
  };
  const Case cases[] = {
      {{"第一\n篇", "第二篇"}, {}, false,
       {{Next::kDocument, "第一\n篇", "argument 1"}, {Next::kDocument, "第二篇", "argument 2"}}},
      {{}, {lines}, true,
       {{Next::kDocument, "一", "line 1 of " + lines},
        {Next::kDocument, "", "line 2 of " + lines},
        {Next::kDocument, "二\t行", "line 3 of " + lines},
        {Next::kDocument, "三", "line 4 of " + lines}}},
      {{}, {nul}, true,
       {{Next::kDocument, std::string("a\0b", 3), "line 1 of " + nul},
        {Next::kDocument, "c", "line 2 of " + nul}}},
      {{}, {missing, good}, false,
       {{Next::kError, "cannot open " + missing + ": No such file or directory", missing},
        {Next::kDocument, "好", good}}},
  };
  for (const Case& c : cases) {
    DocumentSource source(c.texts, c.files, c.lines);
    const std::vector<Read> reads = ReadAll(source);
    ASSERT_EQ(reads.size(), c.expected.size());
    for (std::size_t i = 0; i < reads.size(); ++i) {
      EXPECT_EQ(reads[i].next, c.expected[i].next) << i;
      EXPECT_EQ(reads[i].text, c.expected[i].text) << i;
      EXPECT_EQ(reads[i].origin, c.expected[i].origin) << i;
    }
  }
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
