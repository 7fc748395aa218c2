// The segment command and the dispatcher through the real binary.

#include <gtest/gtest.h>

#include "testutil/test_support.h"
#include "testutil/tool_test_support.h"

namespace wenlei {
namespace {

using testing::ChildOutcome;
using testing::RunWenlei;

TEST(SegmentCommandTest, PrintsTheWordsOfEachTextSeparatedBySpaces) {
  ChildOutcome run = RunWenlei({"segment", "我来到北京清华大学", "按Del键删除数据透视图"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "我 来到 北京 清华大学\n按 Del 键 删除 数据 透视图\n");
  EXPECT_EQ(run.err, "");
}

TEST(SegmentCommandTest, WithoutLinesStandardInputIsOneDocument) {
  ChildOutcome run = RunWenlei({"segment"}, "数据透视图\n删除图表\n");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "数据 透视图 删除 图表\n");
}

TEST(SegmentCommandTest, WithLinesEveryLineStaysALineAndTabsSeparateWords) {
  ChildOutcome run =
      RunWenlei({"segment", "--lines"}, "电子表格\t删除数据透视图\r\n\n他说的确实在理");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "电子表格 删除 数据 透视图\n\n他 说 的 确实 在 理\n");
}

TEST(SegmentCommandTest, AnInvalidLineBecomesAnEmptyLineAndStatus1) {
  ChildOutcome run = RunWenlei({"segment", "--lines"}, "数据\n透视\xE5\x9B\n图表\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "数据\n\n图表\n");
  EXPECT_EQ(run.err,
            "wenlei segment: line 2 of standard input: not UTF-8 (invalid byte at offset 6)\n");
}

TEST(SegmentCommandTest, UsesTheDictionaryItIsGiven) {
  testing::TempDir dir;
  testing::WriteFile(dir.path() + "/dict.txt", "北京大 10\n学 10\n");
  ChildOutcome run = RunWenlei({"segment", "--dict", dir.path() + "/dict.txt", "北京大学"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "北京大 学\n");

  testing::WriteFile(dir.path() + "/bad.txt", "北京大\n");
  run = RunWenlei({"segment", "-d", dir.path() + "/bad.txt", "北京大学"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "wenlei segment: " + dir.path() +
                         "/bad.txt:1: expected \"word frequency [tag]\"\n");
}

TEST(SegmentCommandTest, HelpAndUsageErrors) {
  ChildOutcome run = RunWenlei({"segment", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: wenlei segment [OPTIONS] [TEXT...]\n", 0), 0u);
  run = RunWenlei({"segment", "--gbk"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "wenlei segment: unknown option --gbk (see wenlei segment --help)\n");
}

TEST(DispatcherTest, HelpListsTheCommands) {
  ChildOutcome run = RunWenlei({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: wenlei COMMAND [OPTIONS] [ARGUMENTS]\n", 0), 0u);
  std::size_t previous = 0;
  for (const char* command : {"\n  classify ", "\n  segment ", "\n  train ", "\n  eval ",
                              "\n  inspect "}) {
    std::size_t at = run.out.find(command);
    EXPECT_NE(at, std::string::npos) << command;
    EXPECT_GT(at, previous) << command << " out of order";
    previous = at;
  }
  ChildOutcome help = RunWenlei({"help", "segment"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, RunWenlei({"segment", "--help"}).out);
}

TEST(DispatcherTest, AMissingOrUnknownCommandIsAUsageError) {
  ChildOutcome run = RunWenlei({});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err.rfind("usage: wenlei COMMAND", 0), 0u);
  run = RunWenlei({"clasify"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "wenlei: unknown command 'clasify' (see wenlei --help)\n");
}

}  // namespace
}  // namespace wenlei
