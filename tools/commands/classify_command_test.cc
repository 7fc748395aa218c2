// The classify command through its real binary, on a real resource set.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "source/source_file.h"
#include "testutil/test_support.h"
#include "testutil/tool_test_support.h"
#include "testutil/status_assertion.h"
#include "train/trainer_test_corpus.h"

namespace wenlei {
namespace {

using testing::ChildOutcome;
using testing::RunWenlei;

const std::string kSports = "球队在比赛中进球获得冠军";       // 体育
const std::string kFinance = "银行调整利率，投资者关注经济";  // 财经
const std::string kTechnology = "新的芯片让手机和电脑运行软件更快";  // 科技
const std::string kNoKnownWord = "今天天气很好";
const std::string kShortText = "文本内容太短或无效，不能确定类别";

std::size_t LineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class ClassifyCommandTest : public testing::ChineseResourceSetTest {
 protected:

  // Runs classify on the generated resource set with a private cache.
  ChildOutcome Classify(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"classify", "-r", resources_->path()});
    return RunWenlei(args, input, Environment());
  }

  testing::Environment Environment() const { return {{"XDG_CACHE_HOME", cache_.path()}}; }
  std::vector<std::string> WorkingDirectories() const {
    return testing::ListDirectory(cache_.path() + "/wenlei");
  }

  testing::TempDir cache_;
};

// Each way of giving documents: text arguments, the whole standard input,
// one document a line, files.
TEST_F(ClassifyCommandTest, AnswersEveryDocumentOnItsOwnLineWhereverItComesFrom) {
  testing::WriteFile(cache_.path() + "/a.txt", kTechnology);
  testing::WriteFile(cache_.path() + "/b.txt", kSports);
  struct Case {
    std::vector<std::string> args;
    std::string input;
    std::string out;
  };
  const Case cases[] = {
      {{kSports, kFinance, kTechnology, kNoKnownWord}, "", "体育\n财经\n科技\n" + kShortText + "\n"},
      {{}, "电脑软件\n程序和网络\n芯片\n", "科技\n"},
      {{"--lines"}, kFinance + "\r\n" + kSports + "\n\n" + kTechnology,
       "财经\n体育\n" + kShortText + "\n科技\n"},
      {{"-f", cache_.path() + "/a.txt", "--file", cache_.path() + "/b.txt"}, "", "科技\n体育\n"},
  };
  for (const Case& c : cases) {
    ChildOutcome run = Classify(c.args, c.input);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

// Through either door: the exports answer an empty word list with their
// sentence, but the command says that no text came.
TEST_F(ClassifyCommandTest, EmptyStandardInputIsSaidToHoldNoText) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--exports"}, {"--json"}, {"-f", "-"}}) {
    ChildOutcome run = Classify(args, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("wenlei classify: no text came on standard input; ", 0), 0u) << run.err;
  }
  ChildOutcome lines = Classify({"--lines"}, "");  // no line, no document
  EXPECT_EQ(lines.status, 0);
  EXPECT_EQ(lines.out + lines.err, "");
}

// Text it stays, but the user hears why the answer is about a path.
TEST_F(ClassifyCommandTest, ATextNamingAFileIsClassifiedAsTextWithANote) {
  const std::string path = cache_.path() + "/page.txt";
  testing::WriteFile(path, kTechnology);
  ChildOutcome run = Classify({path, kSports});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, kShortText + "\n体育\n");
  EXPECT_EQ(run.err, "wenlei classify: note: \"" + path +
                         "\" names a file but is classified as text; --file " + path +
                         " reads the file\n");
  EXPECT_EQ(Classify({"--file", path}).err, "");
}

// An over-long document is an error of its own; the answers stay in step.
TEST_F(ClassifyCommandTest, ADocumentOverTheSizeLimitIsAnErrorOfItsOwn) {
  const std::string longLine = kSports + kSports;  // 72 bytes
  ChildOutcome run = Classify({"--lines", "--max-bytes", "60"}, kFinance + "\n" + longLine + "\n" + kSports + "\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "财经\n\n体育\n");
  EXPECT_EQ(run.err, "wenlei classify: line 2 of standard input: more than 60 bytes, the size "
                     "limit of a document (--max-bytes); skipped\n");
  EXPECT_EQ(Classify({"--max-bytes", "0", kSports}).status, 2);
}

// The exports name classes by position: a Source.dat that names fewer
// classes than the model has would answer wrong or empty names.  Every
// command that uses a resource set refuses it with the library's one line.
TEST_F(ClassifyCommandTest, AResourceSetWhosePartsDoNotFitIsRefusedByEveryCommand) {
  testing::TempDir mismatched;
  SourceFileContents contents;
  std::FILE* file = std::fopen((resources_->path() + "/Source.dat").c_str(), "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(testing::IsOk(ReadSourceFile(file, &contents)));
  std::fclose(file);
  contents.classNames.pop_back();
  ASSERT_TRUE(testing::IsOk(WriteSourceFile(mismatched.path() + "/Source.dat", contents)));
  std::filesystem::copy_file(resources_->path() + "/SVMModel", mismatched.path() + "/SVMModel");
  testing::WriteFile(mismatched.path() + "/test.tsv", "体育\t球队 比赛\n");

  const std::string line = "the resource set in " + mismatched.path() +
                           " does not fit together: the model has 3 classes, Source.dat names 2";
  const std::vector<std::pair<std::vector<std::string>, std::string>> runs = {
      {{"classify", "-r", mismatched.path(), kSports}, "wenlei classify: "},
      {{"classify", "--exports", "-r", mismatched.path(), kSports}, "wenlei classify: "},
      {{"eval", mismatched.path(), mismatched.path() + "/test.tsv"}, "wenlei eval: "},
      {{"eval", "--exports", mismatched.path(), mismatched.path() + "/test.tsv"}, "wenlei eval: "},
      {{"inspect", mismatched.path()}, "wenlei inspect: "},
  };
  for (const auto& [args, program] : runs) {
    ChildOutcome run = testing::RunWenlei(args, "", Environment());
    EXPECT_EQ(run.status, 1) << args[0] << " " << args[1];
    EXPECT_EQ(run.out, "") << args[0] << " " << args[1];
    EXPECT_EQ(run.err, program + line + "\n") << args[0] << " " << args[1];
  }
}

TEST_F(ClassifyCommandTest, UnreadableInputIsOneLineEachAndTheRestIsClassified) {
  testing::WriteFile(cache_.path() + "/good.txt", kFinance);
  ChildOutcome run = Classify({"-f", cache_.path() + "/missing.txt", "-f", cache_.path(), "-f",
                               cache_.path() + "/good.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "财经\n");
  EXPECT_EQ(run.err, "wenlei classify: cannot open " + cache_.path() +
                         "/missing.txt: No such file or directory\n"
                         "wenlei classify: cannot read " + cache_.path() +
                         ": Is a directory\n");
}

TEST_F(ClassifyCommandTest, WordsModeTakesTheWordsAsTheyAre) {
  ChildOutcome run = Classify({"--words", "股票 \t市场\u3000银行", "股票市场银行"});
  EXPECT_EQ(run.status, 0) << run.err;
  // Unsegmented text is one unknown word in this mode.
  EXPECT_EQ(run.out, "财经\n" + kShortText + "\n");
}

// The probabilities object of a JSON answer line: its class names in order
// and whether the values descend.
std::vector<std::string> ProbabilityNames(const std::string& line, bool* descending) {
  std::vector<std::string> names;
  *descending = true;
  std::size_t at = line.find("\"probabilities\": {");
  if (at == std::string::npos) return names;
  at += 18;
  double last = 2.0;
  while (line[at] == '"') {
    const std::size_t close = line.find('"', at + 1);
    names.push_back(line.substr(at + 1, close - at - 1));
    std::size_t end = line.find_first_of(",}", close);
    const double value = std::stod(line.substr(close + 2, end - close - 2));
    *descending = *descending && value <= last && value >= 0.0;
    last = value;
    at = line[end] == ',' ? end + 2 : end;
  }
  return names;
}

// A file name in another encoding stays valid JSON in an error line.
TEST_F(ClassifyCommandTest, JsonErrorLinesCarryFileNamesThatAreNotUtf8AsValidJson) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/notes\xFE.txt";
  testing::WriteFile(path, "\xFF\n");
  ChildOutcome run = Classify({"--json", "--lines", "--file", path});
  EXPECT_EQ(run.out, "{\"error\": \"line 1 of " + dir.path() +
                         "/notes\\ufffd.txt: not UTF-8 (invalid byte at offset 0)\"}\n");
}

TEST_F(ClassifyCommandTest, JsonGivesAnswerNamesWordCountsAndProbabilities) {
  ChildOutcome run = Classify({"--json", kSports, kNoKnownWord});
  EXPECT_EQ(run.status, 0) << run.err;
  // 球队 在 比赛 中 进球 获得 冠军: seven words, four of them known.
  const std::string first = run.out.substr(0, run.out.find('\n') + 1);
  EXPECT_EQ(first.rfind("{\"answer\": \"体育\", \"names\": [\"体育\"], \"words\": 7, \"known_words\": 4, "
                        "\"dropped_characters\": 0, \"probabilities\": {\"体育\": 0.", 0),
            0u)
      << first;
  bool descending = false;
  EXPECT_EQ(ProbabilityNames(first, &descending).size(), 3u);
  EXPECT_TRUE(descending) << first;
  EXPECT_EQ(run.out.substr(first.size()),
            "{\"answer\": \"" + kShortText + "\", \"names\": [], \"words\": 3, "
            "\"known_words\": 0, \"dropped_characters\": 0, \"probabilities\": {}, "
            "\"confidence\": 0, \"unknown\": true}\n");
  // A set without a stored threshold flags nothing that has a prediction.
  EXPECT_NE(first.find(", \"confidence\": 0."), std::string::npos) << first;
  EXPECT_NE(first.find(", \"unknown\": false}"), std::string::npos) << first;
}

TEST_F(ClassifyCommandTest, ExplainNamesTheRunnerUpAndTheWordsThatWeighedMost) {
  ChildOutcome text = Classify({"--explain", "2", kSports, kNoKnownWord});
  EXPECT_EQ(text.status, 0) << text.err;
  const std::string first = text.out.substr(0, text.out.find('\n'));
  // 体育<TAB>RUNNER-UP: word +N, word ±N
  EXPECT_EQ(first.rfind("体育\t", 0), 0u) << first;
  EXPECT_EQ(std::count(first.begin(), first.end(), ','), 1) << first;
  EXPECT_NE(first.find(": "), std::string::npos) << first;
  EXPECT_EQ(text.out.substr(first.size() + 1), kShortText + "\n");

  ChildOutcome json = Classify({"--json", "--explain", "1", kSports, kNoKnownWord});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"explanation\": {\"versus\": \""), std::string::npos) << json.out;
  EXPECT_EQ(json.out.find("}, {\"word\""), std::string::npos) << json.out;  // one word only
  EXPECT_NE(json.out.find("\"rest\": "), std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"unknown\": true, \"explanation\": null}\n"), std::string::npos) << json.out;

  EXPECT_EQ(Classify({"--explain", "0", kSports}).status, 2);
  EXPECT_EQ(Classify({"--exports", "--explain", "3", kSports}).status, 2);
}

TEST(LongClassNamesTest, RoundTripThroughTrainClassifyTheExportsAndEval) {
  testing::TempDir dir;
  testing::GeneratedCorpus corpus;
  // A long name is answered whole, spaces and all: no part of it is a tag.
  corpus.classNames = {"体育运动与健身", "financial-markets", "financial news"};
  const std::string corpusPath = dir.path() + "/train.tsv";
  const std::string set = dir.path() + "/set";
  testing::WriteFile(corpusPath, corpus.Text());
  const testing::Environment cache = {{"XDG_CACHE_HOME", dir.path()}};
  ChildOutcome train = RunWenlei({"train", corpusPath, "-o", set, "--features", "all", "--folds", "3"});
  ASSERT_EQ(train.status, 0) << train.err;
  const std::string words = corpus.TopicWord(2, 1) + " " + corpus.TopicWord(2, 2) + " " +
                            corpus.TopicWord(2, 3);
  ChildOutcome modern = RunWenlei({"classify", "-r", set, "--words", words});
  EXPECT_EQ(modern.out, "financial news\n") << modern.err;
  // The resource file, and so the exports, hold unique short forms.
  ChildOutcome exports = RunWenlei({"classify", "-r", set, "--words", "--exports", words}, "", cache);
  EXPECT_EQ(exports.out, "financial\n") << exports.err;
  ChildOutcome inspect = RunWenlei({"inspect", set});
  for (const char* mapping : {"  1  financial -> financial news\n", "  2  financi~1 -> financial-markets\n",
                              "  3  体育运动 -> 体育运动与健身\n"}) {
    EXPECT_NE(inspect.out.find(mapping), std::string::npos) << inspect.out;
  }
  ChildOutcome eval = RunWenlei({"eval", set, corpusPath});
  EXPECT_EQ(eval.status, 0) << eval.err;
  EXPECT_NE(eval.out.find("financial news"), std::string::npos) << eval.out;
}

// A set trained from raw text names its dictionary: classify with another
// one warns and answers all the same; inspect shows both digests.
TEST(PinnedDictionaryTest, ClassifyWarnsOfAnotherDictionaryAndInspectShowsBoth) {
  testing::TempDir dir;
  testing::GeneratedCorpus corpus;
  const std::string corpusPath = dir.path() + "/train.tsv";
  const std::string set = dir.path() + "/set";
  testing::WriteFile(corpusPath, corpus.Text());
  ChildOutcome train = RunWenlei({"train", "--raw", corpusPath, "-o", set, "-q", "--features", "all",
                                  "--cost", "1", "--folds", "2"});
  ASSERT_EQ(train.status, 0) << train.err;
  const std::string bundled = testing::ReadFile(WENLEI_MODELS_DIR "/dictionary/dict.txt");
  const std::string other = dir.path() + "/other.txt";
  testing::WriteFile(other, bundled.substr(bundled.find('\n') + 1));
  const std::string text = corpus.TopicWord(0, 1) + corpus.TopicWord(0, 2);
  ChildOutcome same = RunWenlei({"classify", "-r", set, text});
  EXPECT_EQ(same.status, 0);
  EXPECT_EQ(same.err, "");
  ChildOutcome changed = RunWenlei({"classify", "-r", set, "-d", other, text});
  EXPECT_EQ(changed.status, 0);
  EXPECT_EQ(changed.out, same.out);
  EXPECT_EQ(changed.err.rfind("wenlei classify: warning: the set was trained with another "
                              "segmentation dictionary (sha256 ", 0), 0u) << changed.err;
  EXPECT_NE(changed.err.find(other), std::string::npos) << changed.err;
  ChildOutcome inspect = RunWenlei({"inspect", set});
  EXPECT_NE(inspect.out.find("dictionary:        sha256 "), std::string::npos) << inspect.out;
  EXPECT_NE(inspect.out.find(": the same\n"), std::string::npos) << inspect.out;
}

TEST_F(ClassifyCommandTest, AnswersUnderTheStoredThresholdAreUnknown) {
  testing::TempDir copy;
  for (const char* name : {"Source.dat", "SVMModel"}) {
    testing::WriteFile(copy.prefix() + name, testing::ReadFile(resources_->prefix() + name));
  }
  testing::WriteFile(copy.prefix() + "Confidence.txt", "min_confidence 0.999\n");
  auto classify = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"classify", "-r", copy.path()});
    return RunWenlei(args, "", Environment());
  };
  ChildOutcome stored = classify({kSports, kNoKnownWord});
  EXPECT_EQ(stored.status, 0) << stored.err;
  EXPECT_EQ(stored.out, "unknown\n" + kShortText + "\n");
  ChildOutcome json = classify({"--json", kSports});
  EXPECT_EQ(json.out.find("{\"answer\": \"体育\", \"names\": [\"体育\"]"), 0u) << json.out;
  EXPECT_NE(json.out.find(", \"unknown\": true}"), std::string::npos) << json.out;
  EXPECT_EQ(classify({"--min-confidence", "0", kSports}).out, "体育\n");
  EXPECT_EQ(classify({"--min-confidence", "1", kFinance}).out, "unknown\n");

  ChildOutcome bad = classify({"--min-confidence", "1.5", kSports});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("--min-confidence: \"1.5\" is not a number from 0 to 1"),
            std::string::npos)
      << bad.err;
  EXPECT_EQ(classify({"--exports", "--min-confidence", "0.5", kSports}).status, 2);
  testing::WriteFile(copy.prefix() + "Confidence.txt", "min_confidence high\n");
  ChildOutcome corrupt = classify({kSports});
  EXPECT_EQ(corrupt.status, 1);
  EXPECT_NE(corrupt.err.find("Confidence.txt:1: the threshold \"high\""), std::string::npos)
      << corrupt.err;
}

// One path drives the exported functions exactly as a host does; it gives
// the same answers and counts, without probabilities.
TEST_F(ClassifyCommandTest, ThroughTheExportsTheAnswersAreTheSame) {
  const std::string input = kSports + "\n" + kFinance + "\n" + kTechnology + "\n" + kNoKnownWord + "\n";
  ChildOutcome modern = Classify({"--lines"}, input);
  ChildOutcome exports = Classify({"--lines", "--exports"}, input);
  EXPECT_EQ(modern.status, 0) << modern.err;
  EXPECT_EQ(exports.status, 0) << exports.err;
  EXPECT_EQ(modern.out, exports.out);
  EXPECT_EQ(modern.out, "体育\n财经\n科技\n" + kShortText + "\n");
  exports = Classify({"--json", "--exports", kSports});
  EXPECT_EQ(exports.out,
            "{\"answer\": \"体育\", \"names\": [\"体育\"], \"words\": 7, \"known_words\": 4, "
            "\"dropped_characters\": 0}\n");
}

TEST_F(ClassifyCommandTest, GbkModeReadsAndPrintsGbkBytes) {
  ChildOutcome run = Classify({"--gbk", testing::ToGbk(kSports)});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, testing::ToGbk("体育") + "\n");

  run = Classify({"--gbk", "--words", "--lines"},
                 testing::ToGbk("银行 利率\n电脑 软件 芯片\n"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, testing::ToGbk("财经\n科技\n"));

  run = Classify({"--gbk"}, testing::ToGbk(kSports) + "\xFF");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "wenlei classify: standard input: not GBK (invalid byte at offset 24)\n");
}

TEST_F(ClassifyCommandTest, CharactersGbkCannotEncodeAreDroppedAndCounted) {
  const std::string withEmoji = "球队\xF0\x9F\x99\x82比赛进球\xF0\x9F\x98\x80";
  ChildOutcome run = Classify({withEmoji});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "体育\n");
  EXPECT_EQ(run.err,
            "wenlei classify: argument 1: left out 2 character(s) that GBK cannot encode\n");

  run = Classify({"--json", withEmoji});
  EXPECT_EQ(run.out.rfind("{\"answer\": \"体育\", \"names\": [\"体育\"], \"words\": 3, \"known_words\": 3, "
                          "\"dropped_characters\": 2, \"probabilities\": {", 0),
            0u)
      << run.out;
  EXPECT_EQ(run.err, "");

  // A run of lines sums them up in one line at its end; -q says nothing.
  const std::string lines = withEmoji + "\n银行 利率\n\xF0\x9F\x99\x82电脑 软件\n";
  const std::string summary =
      "wenlei classify: left out 3 character(s) that GBK cannot encode, in 2 document(s) "
      "(--json counts them per document; -q says nothing)\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string input, err;
  };
  for (const Case& c : std::vector<Case>{
           {{"--lines"}, lines, summary},
           {{"--tsv"}, "a\t" + withEmoji + "\nb\t\xF0\x9F\x99\x82电脑 软件\n", summary},
           {{"--lines", "-q"}, lines, ""},
           {{"--quiet", withEmoji}, "", ""},
           {{"--lines", "--json"}, lines, ""},
       }) {
    run = Classify(c.arguments, c.input);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, c.err) << c.arguments[0];
  }
}

TEST_F(ClassifyCommandTest, InvalidUtf8IsReportedWithItsOffsetAndTheRestGoesOn) {
  ChildOutcome run = Classify({"--lines"}, kSports + "\n球队\xFF比赛\n" + kFinance + "\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "体育\n\n财经\n");
  EXPECT_EQ(run.err,
            "wenlei classify: line 2 of standard input: not UTF-8 (invalid byte at offset 6)\n");

  run = Classify({"--lines", "--json"}, "\xE6\x95\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out,
            "{\"error\": \"line 1 of standard input: not UTF-8 (invalid byte at offset 0)\"}\n");
}

TEST_F(ClassifyCommandTest, TsvLinesCarryTheirIdsAndABadLineDoesNotEndTheRun) {
  ChildOutcome run = Classify(
      {"--tsv"}, "s1\t" + kSports + "\nbad\t球队\xFF比赛\nno tab\nf2\t" + kFinance + "\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "s1\t体育\n"
            "{\"id\": \"bad\", \"error\": \"line 2 of standard input: not UTF-8 (invalid byte at "
            "offset 6)\"}\n"
            "{\"id\": null, \"error\": \"line 3 of standard input: no tab between the id and the "
            "text\"}\n"
            "f2\t财经\n");
  EXPECT_EQ(LineCount(run.err), 2u);

  // A line over the size limit keeps its id, and the run goes on.
  const std::string limit = std::to_string(kFinance.size() + 3);
  run = Classify({"--tsv", "--max-bytes", limit.c_str()},
                 "long\t" + std::string(kFinance.size() + 10, 'x') + "\nf2\t" + kFinance + "\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("{\"id\": \"long\", \"error\": ", 0), 0u) << run.out;
  EXPECT_NE(run.out.find("\nf2\t财经\n"), std::string::npos) << run.out;

  run = Classify({"--lines", "--tsv", "--json"}, "id \"1\"\t" + kSports + "\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("{\"id\": \"id \\\"1\\\"\", \"answer\": \"体育\"", 0), 0u) << run.out;

  run = Classify({"--tsv", "--gbk"}, testing::ToGbk("表\t" + kSports + "\n"));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, testing::ToGbk("表\t体育\n"));
  run = Classify({"--tsv", "--gbk", "--json"}, testing::ToGbk("表\t" + kSports + "\n"));
  EXPECT_EQ(run.out.rfind("{\"id\": \"表\", \"answer\": \"体育\"", 0), 0u) << run.out;
}

TEST_F(ClassifyCommandTest, GbkGivenAsUtf8GetsAHint) {
  ChildOutcome run = Classify({}, "\xCC\xE5\xD3\xFD");  // 体育 in GBK
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "wenlei classify: standard input: not UTF-8 (invalid byte at offset 0); "
            "it reads as GBK: try --gbk\n");
}

TEST_F(ClassifyCommandTest, StreamsOneAnswerPerLineAsItGoes) {
  testing::WenleiProcess process({"classify", "-r", resources_->path(), "--lines", "--json"}, "",
                                 Environment(), /*streaming=*/true);
  process.Write(kTechnology + "\n");
  // The answer arrives while standard input is still open.
  EXPECT_EQ(process.ReadLine().rfind("{\"answer\": \"科技\"", 0), 0u);
  process.Write(kSports + "\n");
  EXPECT_EQ(process.ReadLine().rfind("{\"answer\": \"体育\"", 0), 0u);
  ChildOutcome end = process.Wait();
  EXPECT_EQ(end.status, 0) << end.err;
  EXPECT_EQ(end.out, "");
}

TEST_F(ClassifyCommandTest, WritesNothingAndThroughTheExportsRemovesItsPrivateDirectory) {
  ChildOutcome run = Classify({kSports});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(std::filesystem::exists(cache_.path() + "/wenlei"));
  EXPECT_EQ(testing::ListDirectory(resources_->path()),
            (std::vector<std::string>{"SVMModel", "Source.dat"}));
  run = Classify({"--exports", kSports});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(WorkingDirectories().empty());
  // The library's working files never land in the resource set.
  EXPECT_EQ(testing::ListDirectory(resources_->path()),
            (std::vector<std::string>{"SVMModel", "Source.dat"}));
}

TEST_F(ClassifyCommandTest, ASignalStillRemovesTheWorkingDirectory) {
  testing::WenleiProcess process({"classify", "-r", resources_->path(), "--lines", "--exports"}, "",
                                 Environment(), /*streaming=*/true);
  process.Write(kSports + "\n");
  EXPECT_EQ(process.ReadLine(), "体育\n");
  EXPECT_EQ(WorkingDirectories().size(), 1u);
  process.Signal(SIGTERM);
  ChildOutcome end = process.Wait();
  EXPECT_FALSE(end.exited);
  EXPECT_EQ(end.status, -SIGTERM);
  EXPECT_TRUE(WorkingDirectories().empty());
}

TEST_F(ClassifyCommandTest, TwoConcurrentRunsGiveEachTheirOwnAnswers) {
  // Every classification rewrites the working files; runs sharing them would
  // read each other's results.
  std::string sportsLines, financeLines, sportsAnswers, financeAnswers;
  for (int i = 0; i < 60; ++i) {
    sportsLines += kSports + "\n";
    sportsAnswers += "体育\n";
    financeLines += kFinance + "\n";
    financeAnswers += "财经\n";
  }
  const std::vector<std::string> args = {"classify", "-r", resources_->path(), "--lines", "--exports"};
  testing::WenleiProcess sports(args, sportsLines, Environment());
  testing::WenleiProcess finance(args, financeLines, Environment());
  ChildOutcome sportsRun = sports.Wait();
  ChildOutcome financeRun = finance.Wait();
  EXPECT_EQ(sportsRun.status, 0) << sportsRun.err;
  EXPECT_EQ(financeRun.status, 0) << financeRun.err;
  EXPECT_EQ(sportsRun.out, sportsAnswers);
  EXPECT_EQ(financeRun.out, financeAnswers);
  EXPECT_TRUE(WorkingDirectories().empty());
}

// A resource set or dictionary the command cannot use is one line naming
// it, status 1, no answer and no working directory left behind.
TEST_F(ClassifyCommandTest, AnUnusableResourceSetOrDictionaryIsOneLineAndStatus1) {
  const std::string sourceFile = resources_->path() + "/Source.dat";
  const std::string modelFile = resources_->path() + "/SVMModel";
  testing::TempDir partial, broken, noProbabilities, notAModel;
  std::filesystem::copy_file(sourceFile, partial.path() + "/Source.dat");
  testing::WriteFile(broken.path() + "/Source.dat", "\x05\x00");
  std::filesystem::copy_file(modelFile, broken.path() + "/SVMModel");
  // The same model without its probability lines: the library would answer
  // from decision values that it cannot rank.
  std::istringstream model(testing::ReadFile(modelFile));
  std::string line, stripped;
  while (std::getline(model, line)) {
    if (line.rfind("probA", 0) != 0 && line.rfind("probB", 0) != 0) stripped += line + "\n";
  }
  for (const testing::TempDir* dir : {&noProbabilities, &notAModel}) {
    std::filesystem::copy_file(sourceFile, dir->path() + "/Source.dat");
  }
  testing::WriteFile(noProbabilities.path() + "/SVMModel", stripped);
  testing::WriteFile(notAModel.path() + "/SVMModel", "not a model\n");
  const std::string dictionary = cache_.path() + "/empty.txt";
  testing::WriteFile(dictionary, "");

  struct Case {
    std::vector<std::string> args;  // after "classify"
    std::string message;            // after "wenlei classify: "
    bool wholeLine;                 // else the line's start
  };
  const Case cases[] = {
      {{"-r", partial.path() + "/"}, "the resource set " + partial.path() + "/ has no SVMModel", true},
      {{"-r", partial.path() + "/none"},
       "no resource set at " + partial.path() + "/none (not a directory)", true},
      {{"-r", broken.path()}, "rejected resource file " + broken.path() + "/Source.dat: ", false},
      {{"-r", noProbabilities.path()},
       "the resource set in " + noProbabilities.path() +
           " does not fit together: the model has no probability estimates (probA, probB)",
       true},
      {{"-r", notAModel.path()}, "damaged model file " + notAModel.path() + "/SVMModel: ", false},
      {{"-r", resources_->path(), "--dict", cache_.path() + "/none.txt"},
       "cannot open dictionary " + cache_.path() + "/none.txt", true},
      {{"-r", resources_->path(), "--dict", dictionary},
       dictionary + ": no word with a frequency above 0 (expected lines \"word frequency [tag]\")",
       true},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"classify"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back(kSports);
    ChildOutcome run = RunWenlei(args, "", Environment());
    const std::string expected = "wenlei classify: " + c.message;
    EXPECT_EQ(run.status, 1) << expected;
    EXPECT_EQ(run.out, "") << expected;
    EXPECT_EQ(LineCount(run.err), 1u) << run.err;
    if (c.wholeLine) {
      EXPECT_EQ(run.err, expected + "\n");
    } else {
      EXPECT_EQ(run.err.rfind(expected, 0), 0u) << run.err;
    }
    EXPECT_TRUE(WorkingDirectories().empty()) << expected;
  }
}

TEST_F(ClassifyCommandTest, UsageErrorsAndHelp) {
  ChildOutcome run = Classify({"--bogus"});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "wenlei classify: unknown option --bogus (see wenlei classify --help)\n");

  run = Classify({"--file", "x.txt", kSports});
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(LineCount(run.err), 1u);

  run = RunWenlei({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* mention : {"wenlei help COMMAND", "wenlei COMMAND --help", "wenlei --version"}) {
    EXPECT_NE(run.out.find(mention), std::string::npos) << mention;
  }

  run = RunWenlei({"classify", "--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: wenlei classify [OPTIONS] [TEXT...]\n", 0), 0u);
  for (const char* option : {"--resources DIR", "--dict FILE", "--lines", "--words", "--gbk",
                             "--json", "XDG_CACHE_HOME"}) {
    EXPECT_NE(run.out.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace wenlei
