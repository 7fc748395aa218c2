// `wenlei train` and `wenlei eval` as a user runs them: exit statuses,
// messages, and what the resource directory holds afterwards.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <filesystem>

#include "source/metadata_file.h"
#include "svm.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "tools/commands/commands.h"
#include "tools/training/train_options.h"
#include "train/trainer_test_corpus.h"
#include "wenlei/wenlei.h"
#include "util/set_replacement.h"

namespace wenlei {
namespace {

using testing::ChildOutcome;
using testing::FileExists;
using testing::GeneratedCorpus;
using testing::ListDirectory;
using testing::ReadFile;
using testing::RunInChild;
using testing::TempDir;
using testing::WriteFile;

ChildOutcome RunCommand(int (*command)(int, char**), std::vector<std::string> arguments) {
  return RunInChild([&] {
    std::vector<char*> argv;
    for (auto& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    int status = command(static_cast<int>(arguments.size()), argv.data());
    std::fflush(nullptr);
    _exit(status);
  });
}

// What a trained resource directory holds.
const std::vector<std::string> kTrainedSet = {"Confidence.txt", "Metadata.txt", "SVMModel", "Source.dat"};

// The number printed after label in a report; NaN when the label is missing.
double NumberAfter(const std::string& report, const std::string& label) {
  const std::size_t at = report.find(label);
  return at == std::string::npos ? std::nan("") : std::stod(report.substr(at + label.size()));
}

class TrainCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corpusPath_ = dir_.path() + "/train.tsv";
    WriteFile(corpusPath_, GeneratedCorpus().Text());
    output_ = dir_.path() + "/model";
  }

  ChildOutcome Train(std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments = {"train", corpusPath_, "-o", output_,
                                          "--features=8,all", "--cost", "1,4", "--folds", "3"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return RunCommand(&RunTrainCommand, arguments);
  }

  TempDir dir_;
  std::string corpusPath_;
  std::string output_;
};

TEST_F(TrainCommandTest, WritesBothFilesAndReports) {
  ChildOutcome outcome = Train();
  ASSERT_TRUE(outcome.exited);
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ListDirectory(output_), kTrainedSet);
  // The metadata names the files it was written after.
  SetMetadata metadata;
  ASSERT_TRUE(ReadMetadataFile(output_ + "/", &metadata).ok());
  std::string digest;
  ASSERT_TRUE(DigestFile(output_ + "/SVMModel", &digest).ok());
  EXPECT_EQ(metadata.modelSha256, digest);
  EXPECT_EQ(metadata.classNames.size(), 3u);
  EXPECT_EQ(metadata.trainer.find("liblinear l2-svm one-vs-one, linear kernel, C="), 0u)
      << metadata.trainer;
  EXPECT_NE(outcome.out.find("documents         60"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.out.find("cv accuracy"), std::string::npos);
  EXPECT_NE(outcome.out.find("3-fold, 8 grid points, features selected within each fold"),
            std::string::npos);
  EXPECT_NE(outcome.out.find("min confidence    0."), std::string::npos) << outcome.out;
  // Standard error is no terminal here: plain lines every 5 s, none in a
  // run this short.
  EXPECT_EQ(outcome.err, "");

  // Every step as it comes: whole lines with the time, in order, and no
  // terminal controls.
  ChildOutcome lines = Train({"--force", "--progress-every", "0"});
  ASSERT_EQ(lines.status, 0) << lines.err;
  const std::size_t reading = lines.err.find("wenlei train: [");
  const std::size_t grid = lines.err.find("s] cross-validation 1/12: k=8 C=1 words fold ");
  const std::size_t model = lines.err.find("s] training the model: k=");
  EXPECT_EQ(reading, 0u) << lines.err;
  EXPECT_LT(reading, grid) << lines.err;
  EXPECT_LT(grid, model) << lines.err;
  EXPECT_EQ(lines.err.find('\r'), std::string::npos);
  EXPECT_EQ(lines.err.back(), '\n');
  EXPECT_NE(lines.out.find("peak memory"), std::string::npos);
  EXPECT_EQ(Train({"--force", "--progress-every", "0", "-q"}).err, "");
}

TEST_F(TrainCommandTest, KeepsAnExistingSetWithoutForce) {
  ASSERT_EQ(Train().status, 0);
  const std::string model = ReadFile(output_ + "/SVMModel");
  WriteFile(corpusPath_, GeneratedCorpus{{"甲", "乙"}, 10}.Text());

  ChildOutcome refused = Train();
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "wenlei train: " + output_ +
                             " already holds a resource set; use --force to replace it\n");
  EXPECT_EQ(ReadFile(output_ + "/SVMModel"), model);

  ChildOutcome forced = Train({"--force"});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_NE(ReadFile(output_ + "/SVMModel"), model);
  EXPECT_EQ(ListDirectory(output_), kTrainedSet);
}

// A folder named like a staging directory is the user's unless it holds
// the set's lock file: the next run leaves it, and anything else there.
TEST_F(TrainCommandTest, TheNextRunLeavesFoldersThatAreNotItsOwn) {
  std::filesystem::create_directories(output_ + "/.wenlei-train-Xy12Zq");
  WriteFile(output_ + "/.wenlei-train-Xy12Zq/SVMModel", "the user's set");
  const std::string unrelated = output_ + "/.wenlei-train-notes.txt";
  WriteFile(unrelated, "not a run's file");
  ChildOutcome next = Train({"--force"});
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(ReadFile(output_ + "/.wenlei-train-Xy12Zq/SVMModel"), "the user's set");
  EXPECT_TRUE(FileExists(unrelated));
}

// The step and file name where the replacement fails.
std::string gFaultStep, gFaultName;
int FaultAt(const std::string& step, const std::string& name) {
  return step == gFaultStep && name == gFaultName ? EIO : 0;
}

std::vector<std::string> ReadSet(const std::string& directory) {
  std::vector<std::string> bytes;
  for (const auto& name : kTrainedSet) bytes.push_back(ReadFile(directory + "/" + name));
  return bytes;
}

// A search that chooses words among other candidates gives the set of
// words alone: runs of characters in the corpus change nothing else.
TEST_F(TrainCommandTest, ChoosingWordsAmongCandidatesGivesTheSetOfWords) {
  ASSERT_EQ(Train({"--reads", "words"}).status, 0);
  const std::vector<std::string> words = ReadSet(output_);
  ASSERT_EQ(Train({"--reads", "words,words+chars1-2", "--force"}).status, 0);
  ASSERT_NE(ReadFile(output_ + "/Metadata.txt").find("\nreads words\n"), std::string::npos);
  EXPECT_EQ(ReadSet(output_), words);
}

// A corpus copied three times over is the corpus: the same set, and the
// copies counted.
TEST_F(TrainCommandTest, RepeatedDocumentsAreReadOnce) {
  const std::string text = GeneratedCorpus{}.Text();
  WriteFile(corpusPath_, text);
  ASSERT_EQ(Train().status, 0);
  const std::vector<std::string> alone = ReadSet(output_);
  WriteFile(corpusPath_, text + text + text);
  ChildOutcome copied = Train({"--force"});
  ASSERT_EQ(copied.status, 0) << copied.err;
  EXPECT_EQ(ReadSet(output_), alone);
  const std::size_t documents = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
  EXPECT_NE(copied.out.find("repeats           " + std::to_string(2 * documents) + " documents"), std::string::npos)
      << copied.out;
}

TEST_F(TrainCommandTest, AFaultAtAnyStepOfTheReplacementLeavesTheOldSet) {
  ASSERT_EQ(Train().status, 0);
  const std::vector<std::string> old = ReadSet(output_);
  WriteFile(corpusPath_, GeneratedCorpus{{"甲", "乙"}, 10}.Text());
  SetReplacementFaultForTesting(&FaultAt);
  for (const char* step : {"write", "sync", "exchange"}) {
    for (const auto& name : std::string(step) == "exchange" ? std::vector<std::string>{output_} : kTrainedSet) {
      SCOPED_TRACE(std::string(step) + " " + name);
      gFaultStep = step;
      gFaultName = name;
      ChildOutcome failed = Train({"--force"});
      EXPECT_EQ(failed.status, 1);
      EXPECT_NE(failed.err.find("Input/output error"), std::string::npos) << failed.err;
      EXPECT_EQ(ReadSet(output_), old);
      EXPECT_EQ(ListDirectory(output_), kTrainedSet);
    }
  }
  SetReplacementFaultForTesting(nullptr);
  ASSERT_EQ(Train({"--force"}).status, 0);
  // The new set whole: the metadata's digests are those of the files beside it.
  SetMetadata metadata;
  ASSERT_TRUE(ReadMetadataFile(output_ + "/", &metadata).ok());
  std::string digest;
  ASSERT_TRUE(DigestFile(output_ + "/SVMModel", &digest).ok());
  EXPECT_EQ(digest, metadata.modelSha256);
  ASSERT_TRUE(DigestFile(output_ + "/Source.dat", &digest).ok());
  EXPECT_EQ(digest, metadata.sourceSha256);
  EXPECT_EQ(metadata.classNames.size(), 2u);
}

// In a directory others may write, links put in place of every name a run
// uses lead it nowhere else: the set's names are replaced as links, the
// lock file is refused, and the names of earlier versions' temporary files
// are no longer used.
TEST_F(TrainCommandTest, LinksPlantedForEveryNameAreNeverFollowed) {
  TempDir elsewhere;
  const std::string victim = elsewhere.path() + "/victim";
  WriteFile(victim, "not the trainer's");
  std::filesystem::create_directories(output_);
  std::vector<std::string> planted = kTrainedSet;
  for (int pid = getpid(); pid < getpid() + 64; ++pid) {
    for (const char* name : {"Source.dat", "SVMModel", "Confidence.txt"}) {
      planted.push_back(".wenlei-train-" + std::to_string(pid) + "." + name);
    }
    planted.push_back(".Metadata.txt." + std::to_string(pid) + ".tmp");
  }
  for (const auto& name : planted) ASSERT_EQ(symlink(victim.c_str(), (output_ + "/" + name).c_str()), 0);
  ChildOutcome trained = Train({"--force"});
  ASSERT_EQ(trained.status, 0) << trained.err;
  EXPECT_EQ(ReadFile(victim), "not the trainer's");
  for (const auto& name : kTrainedSet) {
    struct stat information;
    ASSERT_EQ(lstat((output_ + "/" + name).c_str(), &information), 0);
    EXPECT_TRUE(S_ISREG(information.st_mode)) << name;
  }
  std::remove(victim.c_str());
  const std::string lock = output_ + "/" + kSetLockName;
  ASSERT_EQ(symlink(victim.c_str(), lock.c_str()), 0);
  ChildOutcome refused = Train({"--force"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "wenlei train: cannot write " + lock +
                             ": a symbolic link, which the library does not write through\n");
  EXPECT_FALSE(FileExists(victim));
}

TEST_F(TrainCommandTest, ARunWhileAnotherWritesTheDirectoryFailsAtOnce) {
  std::filesystem::create_directories(output_);
  SetReplacement other;
  ASSERT_TRUE(other.Begin(output_, {"SVMModel"}).ok());
  const std::vector<std::string> before = ListDirectory(output_);
  ChildOutcome refused = Train({"--force"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "wenlei train: another training is writing " + output_ + " (it holds " +
                             output_ + "/" + kSetLockName + "); try again when it is done\n");
  EXPECT_EQ(ListDirectory(output_), before);
}

TEST_F(TrainCommandTest, AnAccuracyAtOrBelowChanceIsWarnedAbout) {
  // Every document's words its own: no fold can learn the others.
  WriteFile(corpusPath_, "体育\t球 赛\n财经\t股 市\n科技\t芯片 码\n体育\t甲 乙\n财经\t丙 丁\n科技\t戊 己\n");
  ChildOutcome trained = RunCommand(&RunTrainCommand, {"train", corpusPath_, "-o", output_, "--folds", "2", "-q"});
  ASSERT_EQ(trained.status, 0) << trained.err;
  const std::string warning = "the cross-validation accuracy, 0.00%, is at or below chance (33.33%";
  EXPECT_NE(trained.out.find("  warning           " + warning), std::string::npos) << trained.out;
  EXPECT_NE(trained.err.find("wenlei train: warning: " + warning), std::string::npos) << trained.err;
}

TEST_F(TrainCommandTest, BadCorpusGivesOneLineAndLeavesNothingBehind) {
  struct Case {
    std::string corpus;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"a\tx\nno tab\n", ":2: no tab between the class name and the words"},
      {"a\tx\n\tx\n", ":2: empty class name"},
      {"", ": no documents (expected lines \"class<TAB>word word ...\")"},
      {"a\tx y\na\ty z\n", ": one class only (\"a\"); a model needs two or more"},
      {"a\tx\nb\t\xFF\n", ":2: invalid UTF-8 at byte 3"},
  };
  for (const Case& c : cases) {
    WriteFile(corpusPath_, c.corpus);
    ChildOutcome outcome = Train();
    ASSERT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 1) << c.message;
    EXPECT_EQ(outcome.err, "wenlei train: " + corpusPath_ + c.message + "\n");
    EXPECT_TRUE(ListDirectory(output_).empty()) << c.message;
  }
}

TEST_F(TrainCommandTest, RawTextIsReadAsRawTextWithOrWithoutRaw) {
  // The generated corpus with its words run together: what raw text looks
  // like to a reader that splits at spaces.
  std::string text = GeneratedCorpus().Text();
  std::string raw;
  for (char c : text) {
    if (c != ' ') raw.push_back(c);
  }
  WriteFile(corpusPath_, raw);
  const std::string testPath = dir_.path() + "/test.tsv";
  WriteFile(testPath, raw);
  const std::string dictionary = dir_.path() + "/dict.txt";
  std::string entries;
  for (const char* word : {"我们", "今天", "一个"}) entries += std::string(word) + " 100\n";
  const GeneratedCorpus generated;
  for (std::size_t c = 0; c < generated.classNames.size(); ++c) {
    for (int j = 0; j < 8; ++j) entries += generated.TopicWord(c, j) + " 50\n";
  }
  WriteFile(dictionary, entries);

  // Told --raw, or not told and saying that it detected raw text.
  const std::string detected = " holds raw text: ";
  for (const bool told : {true, false}) {
    const std::vector<std::string> reading = told ? std::vector<std::string>{"--raw"}
                                                  : std::vector<std::string>{};
    std::vector<std::string> options = {"--force", "--dict", dictionary};
    options.insert(options.end(), reading.begin(), reading.end());
    ChildOutcome trained = Train(options);
    ASSERT_EQ(trained.status, 0) << trained.err;
    EXPECT_EQ(trained.err.find(told ? std::string("wenlei") : "wenlei train: warning: " + corpusPath_ + detected),
              told ? std::string::npos : 0)
        << trained.err;
    EXPECT_GE(NumberAfter(trained.out, "cv accuracy       "), 80.0) << trained.out;

    std::vector<std::string> eval = {"eval", output_, testPath, "--dict", dictionary};
    eval.insert(eval.end(), reading.begin(), reading.end());
    ChildOutcome evaluated = RunCommand(&RunEvalCommand, eval);
    ASSERT_EQ(evaluated.status, 0) << evaluated.err;
    EXPECT_EQ(evaluated.err.find(told ? std::string("wenlei") : "wenlei eval: " + testPath + detected),
              told ? std::string::npos : 0)
        << evaluated.err;
    EXPECT_GE(NumberAfter(evaluated.out, "accuracy           "), 0.9) << evaluated.out;
  }

  // Read as words on request, it leaves no word to train on (its runs of
  // characters remain).
  EXPECT_EQ(Train({"--force", "--segmented", "--reads", "words"}).status, 1);
  EXPECT_EQ(Train({"--force", "--segmented", "--raw"}).status, 2);
}

TEST_F(TrainCommandTest, StopListCanBeReplacedOrExtended) {
  WriteFile(corpusPath_, GeneratedCorpus().Text());
  const std::string extra = dir_.path() + "/extra.txt";
  WriteFile(extra, "# the common words\n我们\n今天\n的\n了\n是\n在\n一个\n");
  ChildOutcome extended = Train({"--add-stop-words", extra});
  ASSERT_EQ(extended.status, 0) << extended.err;
  EXPECT_NE(extended.out.find("stop words        7 of the words"), std::string::npos)
      << extended.out;
  ChildOutcome replaced = Train({"--force", "--stop-words", "none"});
  ASSERT_EQ(replaced.status, 0) << replaced.err;
  EXPECT_EQ(replaced.out.find("stop words"), std::string::npos) << replaced.out;
  ChildOutcome missing = Train({"--force", "--stop-words", dir_.path() + "/none.txt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "wenlei train: " + dir_.path() + "/none.txt: cannot open for reading\n");
}

TEST_F(TrainCommandTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(RunCommand(&RunTrainCommand, {"train", corpusPath_}).status, 2);
  EXPECT_EQ(RunCommand(&RunTrainCommand, {"train", corpusPath_, "-o", output_, "--cost", "0"}).status, 2);
  EXPECT_EQ(RunCommand(&RunTrainCommand, {"train", corpusPath_, "-o", output_, "--kernel", "cubic"}).err,
            "wenlei train: --kernel: \"cubic\" is not linear, polynomial, rbf or sigmoid "
            "(see wenlei train --help)\n");
  ChildOutcome help = RunCommand(&RunTrainCommand, {"train", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--vocabulary"), std::string::npos);
}

TEST(TrainOptionsTest, ParsesGridAndKernel) {
  std::vector<std::string> arguments = {"train",      "c.tsv",    "-o",      "d",
                                        "--features", "10,all",   "-c",      "0.5,2",
                                        "--kernel",   "rbf",      "--gamma", "0.25",
                                        "--vocabulary=full", "--encoding", "GBK", "--seed", "7",
                                        "--balance-classes", "--ranking", "class-turns",
                                        "--unknown-share", "0.05"};
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  TrainCommandLine line;
  ASSERT_EQ(ParseTrainCommandLine(static_cast<int>(argv.size()), argv.data(), &line),
            OptionParser::Outcome::kRun);
  EXPECT_EQ(line.corpusPath, "c.tsv");
  EXPECT_EQ(line.outputDirectory, "d");
  EXPECT_EQ(line.settings.options.featureCounts, (std::vector<std::size_t>{10, 0}));
  EXPECT_EQ(line.settings.options.costs, (std::vector<double>{0.5, 2}));
  EXPECT_EQ(line.settings.options.kernelType, RBF);
  EXPECT_EQ(line.settings.options.gamma, 0.25);
  EXPECT_EQ(line.settings.options.vocabulary, VocabularyScope::kFull);
  EXPECT_EQ(line.settings.encoding, CorpusEncoding::kGbk);
  EXPECT_EQ(line.settings.options.seed, 7u);
  EXPECT_EQ(line.settings.options.classWeightPowers, std::vector<double>{1.0});
  EXPECT_EQ(line.settings.options.ranking, RankingOrder::kClassTurns);
  EXPECT_EQ(line.settings.options.unknownShare, 0.05);
}

TEST(TrainOptionsTest, EveryDefaultShownIsOneTheOptionTakes) {
  // The help shows each default from the table: setting it must change
  // nothing, so the help cannot drift from what training does.
  for (const TrainingOption& option : TrainingOptionTable()) {
    const std::string shown = TrainingOptionDefault(option);
    if (shown.empty()) continue;
    TrainingSettings settings;
    ASSERT_TRUE(option.set(shown, &settings).ok()) << option.name << " " << shown;
    EXPECT_EQ(option.show(settings), shown) << option.name;
    EXPECT_EQ(FindTrainingOption(option.name), &option);
  }
  EXPECT_EQ(FindTrainingOption("costs"), FindTrainingOption("cost"));
  EXPECT_EQ(FindTrainingOption("no-such"), nullptr);
  TrainingSettings settings;
  EXPECT_EQ(settings.Set("jobs", "10000").message(), "\"10000\" is not a whole number from 0 to 1024");
  EXPECT_EQ(settings.Set("folds", "100000").message(), "\"100000\" is not a whole number from 2 to 1000");
}

// A test file names the classes as training did, tag and all; both doors
// tell which classes an answer names, long names included.
// The features that explain the answer for words, each between spaces.
std::string ExplainedFeatures(const std::string& directory, const std::vector<const char*>& words) {
  wenlei_classifier* classifier = nullptr;
  if (wenlei_open(directory.c_str(), nullptr, &classifier, nullptr) != WENLEI_OK) return "cannot open";
  std::vector<std::size_t> lengths;
  for (const char* word : words) lengths.push_back(std::strlen(word));
  wenlei_result* result = nullptr;
  std::string named = " ";
  if (wenlei_classify_words(classifier, words.data(), lengths.data(), words.size(), WENLEI_UTF8, &result,
                            nullptr) == WENLEI_OK &&
      wenlei_result_explain_flags(result, 100, 0, nullptr) == WENLEI_OK) {
    for (std::size_t i = 0; i < wenlei_result_explanation_count(result); ++i) {
      named += std::string(wenlei_result_explanation_word(result, i)) + " ";
    }
  }
  wenlei_result_free(result);
  wenlei_close(classifier);
  return named;
}

// Whatever the set reads, words or runs of characters, both doors answer
// alike.
TEST_F(TrainCommandTest, EvalTakesTheClassesAsTrainedThroughBothDoors) {
  GeneratedCorpus corpus;
  corpus.classNames = {"01 体育", "财经 与 金融 新闻", "科技"};
  WriteFile(corpusPath_, corpus.Text());
  const std::string testPath = dir_.path() + "/test.tsv";
  corpus.seed = 99;
  corpus.documentsPerClass = 8;
  WriteFile(testPath, corpus.Text());
  for (const char* reads : {"words", "chars1-2", "words+chars1-3"}) {
    SCOPED_TRACE(reads);
    ASSERT_EQ(Train({"--features", "all", "--reads", reads, "--force"}).status, 0);
    EXPECT_NE(ReadFile(output_ + "/Metadata.txt").find(std::string("\nreads ") + reads + "\n"), std::string::npos);
    std::string reports[2];
    for (bool exports : {false, true}) {
      std::vector<std::string> arguments = {"eval", output_, testPath, "--json"};
      if (exports) arguments.push_back("--exports");
      ChildOutcome run = RunCommand(&RunEvalCommand, arguments);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_NE(run.out.find("\"unrecognised\": 0,"), std::string::npos) << run.out;
      EXPECT_GE(NumberAfter(run.out, "\"accuracy\": "), 0.9) << run.out;
      reports[exports] = run.out.substr(0, run.out.find("\"seconds_per_document\""));
    }
    EXPECT_EQ(reports[0], reports[1]);
    // Runs of characters are explained in corner brackets, apart from words.
    const std::string named = ExplainedFeatures(output_, {"体育球0", "体育股1", "财经股2"});
    EXPECT_EQ(named.find("「") != std::string::npos, std::string(reads) != "words") << named;
    EXPECT_EQ(named.find(" 体育球0 ") != std::string::npos, std::string(reads) != "chars1-2") << named;
  }
}

TEST_F(TrainCommandTest, EvalMeasuresThroughTheLibrary) {
  ASSERT_EQ(Train({"--features", "all"}).status, 0);
  const std::string testPath = dir_.path() + "/test.tsv";
  GeneratedCorpus test;
  test.seed = 99;
  test.documentsPerClass = 8;
  // Out-of-domain documents, labelled "unknown", count apart; the one
  // without a known word is flagged unknown whatever the threshold.
  WriteFile(testPath, test.Text() + "财经\t从未 见过\n" + "unknown\t体育球0 财经股1 我们\n" +
                         "unknown\t陌生 的 话\n");

  ChildOutcome json = RunCommand(&RunEvalCommand, {"eval", output_, testPath, "--json",
                                                   "--min-confidence", "1"});
  ASSERT_EQ(json.status, 0) << json.err;
  for (const char* key : {"\"accuracy\": ", "\"macro_f1\": ", "\"two_name_rate\": ",
                          "\"confusion\": ", "\"no_known_words\": 1,", "\"documents\": 25,",
                          "\"unknown_rate\": 1,", "\"min_confidence\": 1,",
                          "\"out_of_domain_documents\": 2,",
                          "\"out_of_domain_unknown_rate\": 1,", "\"top2_accuracy\": "}) {
    EXPECT_NE(json.out.find(key), std::string::npos) << key << " in " << json.out;
  }
  // Evaluation leaves the resource directory as it was.
  EXPECT_EQ(ListDirectory(output_), kTrainedSet);

  ChildOutcome alone = RunCommand(&RunEvalCommand, {"eval", output_, testPath, "--one-by-one"});
  EXPECT_EQ(alone.status, 2);
  EXPECT_NE(alone.err.find("--one-by-one calls the exported functions one document at a time; "
                           "it needs --exports"),
            std::string::npos)
      << alone.err;
  ChildOutcome text =
      RunCommand(&RunEvalCommand, {"eval", output_, testPath, "--exports", "--one-by-one"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("documents          25 (1 without a known word, counted as wrong)"),
            std::string::npos)
      << text.out;
  EXPECT_GE(NumberAfter(text.out, "accuracy           "), 0.9) << text.out;

  WriteFile(testPath, "体育\tx\n其他\ty\n");
  ChildOutcome unknown = RunCommand(&RunEvalCommand, {"eval", output_, testPath});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.err, "wenlei eval: " + testPath +
                             ":2: class \"其他\" is not one of the resource set's classes\n");

  // A set whose model gives no probabilities cannot be measured.
  const std::string plain = dir_.path() + "/plain/";
  std::filesystem::create_directory(plain);
  testing::ResourceSetSpec spec;
  spec.classNames = {"体育", "其他"};
  spec.parameter.probability = 0;
  testing::BuildResourceSet(plain, spec);
  ChildOutcome noProbabilities = RunCommand(&RunEvalCommand, {"eval", plain, testPath});
  EXPECT_EQ(noProbabilities.status, 1);
  EXPECT_EQ(noProbabilities.err,
            "wenlei eval: the resource set in " + plain +
                " does not fit together: the model has no probability estimates (probA, probB)\n");

  ChildOutcome missing = RunCommand(&RunEvalCommand, {"eval", dir_.path() + "/nothing", testPath});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "wenlei eval: cannot read " + dir_.path() + "/nothing/Source.dat: No such file or directory\n");
}

}  // namespace
}  // namespace wenlei
