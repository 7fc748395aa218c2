#include "util/working_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "predict/prediction_step.h"
#include "testutil/prediction_step.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "vectorise/document_vector.h"

namespace wenlei {
namespace {

using testing::ReadFile;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteFile;

// The working files are written over their old contents; what is left must
// always be exactly the new contents, whatever was there before.
TEST(WorkingFileTest, RewritesLeaveExactlyTheNewContents) {
  TempDir dir;
  const std::string path = dir.path() + "/file";
  for (const std::string& text : {std::string("a fairly long first version\n"), std::string("short\n"),
                                  std::string(), std::string("longer than nothing\n")}) {
    std::FILE* file = OpenForRewrite(path.c_str());
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    EXPECT_EQ(CloseRewrite(file), 0);
    EXPECT_EQ(ReadFile(path), text);
  }
  EXPECT_EQ(OpenForRewrite((dir.path() + "/missing/file").c_str()), nullptr);
  EXPECT_EQ(OpenForRewrite(dir.path().c_str()), nullptr);  // a directory
}

// A device that is always full: every write fails as on a full disk.
TEST(WorkingFileTest, AWriteThatFailsIsReportedWhenTheFileIsClosed) {
  std::FILE* file = OpenForRewrite("/dev/full");
  if (file == nullptr) GTEST_SKIP() << "no /dev/full";
  std::fputs("0 1:0.5 \n", file);
  EXPECT_EQ(CloseRewrite(file), ENOSPC);
  EXPECT_EQ(SystemReason(ENOSPC), "No space left on device");

  const Status status = WriteTestLines("/dev/full", {"0 1:0.5 "});
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), "cannot write /dev/full: No space left on device");
}

TEST(WorkingFileTest, NewFilesGetTheModeFopenGives) {
  TempDir dir;
  const std::string mine = dir.path() + "/mine", theirs = dir.path() + "/theirs";
  CloseRewrite(OpenForRewrite(mine.c_str()));
  std::fclose(std::fopen(theirs.c_str(), "w"));
  struct stat a, b;
  ASSERT_EQ(stat(mine.c_str(), &a), 0);
  ASSERT_EQ(stat(theirs.c_str(), &b), 0);
  EXPECT_EQ(a.st_mode, b.st_mode);
}

TEST(WorkingFileTest, TestFileShrinksToTheNewRecords) {
  TempDir dir;
  const std::string path = dir.path() + "/SVMTestFile.dat";
  WriteTestLines(path, {"0 1:0.5 2:0.25 3:0.125 ", "0 4:1 "});
  WriteTestLines(path, {"0 7:1 "});
  EXPECT_EQ(ReadFile(path), "0 7:1 \n");
  WriteTestLines(path, {""});
  EXPECT_EQ(ReadFile(path), "");
}

// A step that ends the process part-way leaves the result file holding what
// it wrote and nothing of the previous contents.
TEST(WorkingFileTest, ResultFileOfAnEndedStepHoldsOnlyWhatTheStepWrote) {
  TempDir dir;
  const std::string model = dir.path() + "/SVMModel", input = dir.path() + "/SVMTestFile.dat",
                    output = dir.path() + "/resultFile.dat";
  testing::TrainAndSaveModel(testing::ClusteredExamples(3, 4, 10), testing::DefaultParameter(LINEAR),
                             model);
  WriteFile(input, "0 1:0.5 \n0 2:0.5 \n");
  auto predict = [&] {
    return RunInChild([&] { runBatchPrediction(1, input.c_str(), model.c_str(), output.c_str()); });
  };
  ASSERT_EQ(predict().status, 0);
  const std::string complete = ReadFile(output);
  const std::string header = complete.substr(0, complete.find('\n') + 1);
  const std::string firstLine = complete.substr(header.size(), complete.find('\n', header.size()) + 1 - header.size());

  WriteFile(output, std::string(5000, 'z'));
  WriteFile(input, "0 1:0.5 \nbroken\n");
  EXPECT_EQ(predict().status, 1);
  EXPECT_EQ(ReadFile(output), header + firstLine);
}

}  // namespace
}  // namespace wenlei
