#include "tools/commands/option_parser.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

class OptionParserTest : public ::testing::Test {
 protected:
  OptionParserTest() : parser_("wenlei test", "wenlei test [OPTIONS] [TEXT...]", "Tests.") {
    parser_.AddFlag('l', "lines", &lines_, "lines");
    parser_.AddFlag(0, "gbk", &gbk_, "gbk");
    parser_.AddValue('r', "resources", "DIR", &resources_, "resources");
    parser_.AddRepeatedValue('f', "file", "FILE", &files_, "files");
  }

  OptionParser::Outcome Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "test");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    return parser_.Parse(static_cast<int>(argv.size()), argv.data(), &operands_);
  }

  OptionParser parser_;
  bool lines_ = false;
  bool gbk_ = false;
  std::string resources_;
  std::vector<std::string> files_;
  std::vector<std::string> operands_;
};

TEST_F(OptionParserTest, ReadsFlagsValuesAndOperandsInEveryForm) {
  ASSERT_EQ(Parse({"文本", "--gbk", "-r", "dir1", "-f", "a", "--file=b", "--file", "c", "-l",
                   "-", "二"}),
            OptionParser::Outcome::kRun);
  EXPECT_TRUE(lines_);
  EXPECT_TRUE(gbk_);
  EXPECT_EQ(resources_, "dir1");
  EXPECT_EQ(files_, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(operands_, (std::vector<std::string>{"文本", "-", "二"}));
}

TEST_F(OptionParserTest, ShortOptionsClusterAndTakeAttachedValues) {
  ASSERT_EQ(Parse({"-lrdir2"}), OptionParser::Outcome::kRun);
  EXPECT_TRUE(lines_);
  EXPECT_EQ(resources_, "dir2");
  ASSERT_EQ(Parse({"--resources=dir3"}), OptionParser::Outcome::kRun);
  EXPECT_EQ(resources_, "dir3");
}

TEST_F(OptionParserTest, DoubleDashEndsTheOptions) {
  ASSERT_EQ(Parse({"--", "--lines", "-r"}), OptionParser::Outcome::kRun);
  EXPECT_FALSE(lines_);
  EXPECT_EQ(operands_, (std::vector<std::string>{"--lines", "-r"}));
}

TEST_F(OptionParserTest, MistakesAreUsageErrors) {
  EXPECT_EQ(Parse({"--bogus"}), OptionParser::Outcome::kUsageError);
  EXPECT_EQ(Parse({"-x"}), OptionParser::Outcome::kUsageError);
  EXPECT_EQ(Parse({"--resources"}), OptionParser::Outcome::kUsageError);
  EXPECT_EQ(Parse({"-r"}), OptionParser::Outcome::kUsageError);
  EXPECT_EQ(Parse({"--gbk=yes"}), OptionParser::Outcome::kUsageError);
}

TEST_F(OptionParserTest, HelpWinsAndListsEveryOption) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(Parse({"-h", "--bogus"}), OptionParser::Outcome::kHelpShown);
  std::string help = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(help, parser_.HelpText());
  EXPECT_EQ(help.rfind("usage: wenlei test [OPTIONS] [TEXT...]\n", 0), 0u);
  for (const char* option : {"-l, --lines", "    --gbk", "-r, --resources DIR", "-f, --file FILE",
                             "-h, --help"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace wenlei
