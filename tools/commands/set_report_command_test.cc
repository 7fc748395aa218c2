#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "testutil/test_support.h"
#include "testutil/tool_test_support.h"

namespace wenlei {
namespace {

using testing::ChildOutcome;
using testing::RunWenlei;

using InspectCommandTest = testing::ChineseResourceSetTest;

TEST_F(InspectCommandTest, SummarisesTheTablesAndNamesTheClassesInUtf8) {
  ChildOutcome run = RunWenlei({"inspect", resources_->path()});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* line : {"  WordIndexTable:  18 words\n", "  TermMapTable:    18 entries\n",
                           "  IdfTable:        18 entries\n", "  ClassTable:      4 entries\n",
                           "  averageDocLength: 8\n", "c_svc, linear kernel, 3 classes",
                           "probability estimates\n", "    0  NULL\n", "    1  体育\n",
                           "    2  财经\n", "    3  科技\n"}) {
    EXPECT_NE(run.out.find(line), std::string::npos) << line << "\n" << run.out;
  }
}

TEST_F(InspectCommandTest, LooksAWordUpInEveryTable) {
  ChildOutcome run = RunWenlei({"inspect", "--word", "比赛", "-w", "天气", resources_->path()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "word 比赛:\n"
            "  WordIndexTable:  feature 2\n"
            "  TermMapTable:    stands for itself\n"
            "  IdfTable:        1.5\n"
            "word 天气:\n"
            "  WordIndexTable:  absent (not counted in a document)\n"
            "  TermMapTable:    absent (no feature)\n"
            "  IdfTable:        absent (weight 0)\n");
}

TEST_F(InspectCommandTest, FailuresAndUsageErrors) {
  testing::TempDir empty;
  ChildOutcome run = RunWenlei({"inspect", empty.path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "wenlei inspect: cannot read " + empty.path() +
                         "/Source.dat: No such file or directory\n");

  // Special files are not read: a FIFO would block, /dev/zero never end.
  ASSERT_EQ(mkfifo((empty.path() + "/Source.dat").c_str(), 0600), 0);
  run = RunWenlei({"inspect", empty.path()});
  EXPECT_EQ(run.err, "wenlei inspect: cannot read " + empty.path() + "/Source.dat: not a regular file\n");
  testing::TempDir special;
  for (const char* name : {"Source.dat", "Confidence.txt"}) {
    testing::WriteFile(special.path() + "/" + name, testing::ReadFile(resources_->path() + "/" + name));
  }
  ASSERT_EQ(symlink("/dev/zero", (special.path() + "/SVMModel").c_str()), 0);
  run = RunWenlei({"inspect", special.path()});
  EXPECT_EQ(run.err, "wenlei inspect: cannot read " + special.path() + "/SVMModel: not a regular file\n");

  run = RunWenlei({"inspect", "--word", "\xFF", resources_->path()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "wenlei inspect: the word is not UTF-8 (invalid byte at offset 0)\n");

  run = RunWenlei({"inspect"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "wenlei inspect: name the resource set's folder (see wenlei inspect --help)\n");
}

}  // namespace
}  // namespace wenlei
