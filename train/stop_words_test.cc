#include "train/stop_words.h"

#include <gtest/gtest.h>

#include "testutil/status_assertion.h"
#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::TempDir;
using testing::WriteFile;

TEST(StopWordsTest, ReadsWordsAndTheNonContentDirective) {
  TempDir dir;
  const std::string path = dir.path() + "/stop.txt";
  WriteFile(path, "# comment\n\n的\n  了 \n@non-content\r\n");
  StopWords stop;
  ASSERT_TRUE(testing::IsOk(stop.Read(path, CorpusEncoding::kUtf8)));
  EXPECT_TRUE(stop.stopsNonContent());
  EXPECT_EQ(stop.size(), 2u);
  EXPECT_TRUE(stop.Stops("\xB5\xC4"));       // 的
  EXPECT_TRUE(stop.Stops("\xC1\xCB"));       // 了
  EXPECT_TRUE(stop.Stops("\xA3\xAC"));       // ，
  EXPECT_TRUE(stop.Stops("42"));
  EXPECT_FALSE(stop.Stops("\xCE\xC4\xD7\xD6"));  // 文字
  EXPECT_FALSE(stop.Stops("Del"));

  StopWords wordsOnly;
  WriteFile(path, "的\n");
  ASSERT_TRUE(testing::IsOk(wordsOnly.Read(path, CorpusEncoding::kUtf8)));
  EXPECT_FALSE(wordsOnly.Stops("\xA3\xAC"));
  EXPECT_TRUE(StopWords().empty());
}

TEST(StopWordsTest, BadEntriesNameTheirLine) {
  TempDir dir;
  const std::string path = dir.path() + "/stop.txt";
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"的\n两 个\n", ":2: expected one word a line"},
      {"\xFF\n", ":1: invalid UTF-8"},
      {"ok\n😀\n", ":2: \"😀\" holds a character that GBK cannot encode"},
  };
  for (const Case& c : cases) {
    WriteFile(path, c.text);
    StopWords stop;
    const Status read = stop.Read(path, CorpusEncoding::kUtf8);
    EXPECT_EQ(read.code(), Status::Code::kInvalidArgument);
    EXPECT_EQ(read.message(), path + c.message);
  }
  StopWords stop;
  const Status missing = stop.Read(dir.path() + "/missing.txt", CorpusEncoding::kUtf8);
  EXPECT_EQ(missing.code(), Status::Code::kNotFound);
  EXPECT_EQ(missing.message(), dir.path() + "/missing.txt: cannot open for reading");
}

}  // namespace
}  // namespace wenlei
