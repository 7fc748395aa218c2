#ifndef WENLEI_TESTUTIL_TOOL_TEST_SUPPORT_H_
#define WENLEI_TESTUTIL_TOOL_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "testutil/test_support.h"
#include "text/dictionary.h"

namespace wenlei::testing {

using Environment = std::vector<std::pair<std::string, std::string>>;

// A run of the real wenlei executable.  By default its standard input reads
// the given bytes and its outputs go to files; a streaming run has pipes on
// standard input and output instead, so the test can talk to it line by line.
class WenleiProcess {
 public:
  WenleiProcess(const std::vector<std::string>& args, const std::string& input,
                const Environment& environment = {}, bool streaming = false);
  ~WenleiProcess();
  WenleiProcess(const WenleiProcess&) = delete;
  WenleiProcess& operator=(const WenleiProcess&) = delete;

  // Streaming runs only.
  void Write(const std::string& bytes);
  std::string ReadLine();  // blocks; empty at the end of the output
  void CloseInput();

  void Signal(int signalNumber);
  // Waits for the end; out holds what was not read with ReadLine.
  ChildOutcome Wait();

 private:
  TempDir capture_;
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string pending_;  // read from the output pipe, not yet returned
};

// Runs wenlei to its end.
ChildOutcome RunWenlei(const std::vector<std::string>& args, const std::string& input = "",
                       const Environment& environment = {});

std::string ToGbk(const std::string& utf8);


// A real resource set over Chinese words: classes 体育, 财经 and 科技 (in
// that order, numbers 1 to 3) with six words each, trained with libsvm on the
// library's own vectors of generated documents.
inline const char* const kClassWords[3][6] = {
    {"足球", "比赛", "进球", "球队", "冠军", "教练"},
    {"股票", "市场", "投资", "银行", "利率", "经济"},
    {"电脑", "软件", "程序", "芯片", "网络", "手机"},
};
inline const char* const kClassNames[3] = {"体育", "财经", "科技"};
void BuildChineseResourceSet(const std::string& dir);

// A test suite over one such set, built once for the whole suite.
class ChineseResourceSetTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    resources_ = new TempDir();
    BuildChineseResourceSet(resources_->path());
  }
  static void TearDownTestSuite() {
    delete resources_;
    resources_ = nullptr;
  }

  inline static TempDir* resources_ = nullptr;
};

}  // namespace wenlei::testing

#endif  // WENLEI_TESTUTIL_TOOL_TEST_SUPPORT_H_
