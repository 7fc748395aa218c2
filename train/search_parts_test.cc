#include "train/search_parts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "source/confidence_file.h"
#include "source/source_data.h"
#include "testutil/status_assertion.h"
#include "testutil/test_support.h"
#include "train/trainer.h"
#include "train/trainer_test_corpus.h"

namespace wenlei {
namespace {

using testing::ReadFile;
using testing::TempDir;

using testing::IsOk;

struct NoProgress : TrainingProgress {
  void Status(const std::string&) override {}
};

::testing::AssertionResult FailsWith(const Status& status, Status::Code code,
                                     const std::string& words) {
  if (status.code() == code && status.message().find(words) != std::string::npos) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "code " << static_cast<int>(status.code()) << ": "
                                       << status.message();
}

TEST(SearchPartTest, ParsesOneBasedSharesOnly) {
  const struct {
    const char* text;
    bool valid;
  } cases[] = {{"1/1", true}, {"3/4", true}, {"0/4", false}, {"5/4", false},
               {"1/0", false}, {"1", false}, {"a/2", false}, {"1/2/3", false}};
  for (const auto& c : cases) {
    SearchPart part;
    EXPECT_EQ(ParseSearchPart(c.text, &part), c.valid) << c.text;
    if (c.valid) EXPECT_EQ(SearchPartName(part), c.text);
  }
}

class SearchPartsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir_.path() + "/corpus.tsv";
    testing::WriteFile(path, testing::GeneratedCorpus().Text());
    // Runs of characters too, so that both candidates of what a set reads
    // are searched.
    FeatureSet runs = ParseFeatureSet("chars1-2").value();
    ASSERT_TRUE(IsOk(ReadCorpus(path, CorpusEncoding::kUtf8, &corpus_, nullptr,
                                CorpusWords::kCountsOnly, runs)));
    options_.featureCounts = {8, 0};
    options_.costs = {1, 8};
    options_.folds = 3;
  }

  Status Train(const TrainerOptions& options, const std::string& name) {
    NoProgress progress;
    Trainer trainer(corpus_, options, &progress);
    return trainer.Train(dir_.path() + "/" + name + ".", &report_);
  }

  // The results files of shares 1..count, each written by its own run.
  std::vector<std::string> Shares(std::size_t count) {
    std::vector<std::string> files;
    for (std::size_t i = 1; i <= count; ++i) {
      TrainerOptions options = options_;
      options.searchPart = SearchPart{i, count};
      const std::string name = "share" + std::to_string(i);
      EXPECT_TRUE(IsOk(Train(options, name)));
      files.push_back(dir_.path() + "/" + name + "." + SearchPartFileName(options.searchPart));
    }
    return files;
  }

  Status TrainFrom(const std::vector<std::string>& files, const std::string& name) {
    TrainerOptions options = options_;
    options.searchResults = files;
    return Train(options, name);
  }

  TempDir dir_;
  Corpus corpus_;
  TrainerOptions options_;
  TrainingReport report_;
};

TEST_F(SearchPartsTest, SharesGiveTheBytesOfOneWholeRun) {
  ASSERT_TRUE(IsOk(Train(options_, "whole")));
  const TrainingReport whole = report_;
  ASSERT_GT(whole.grid.size(), 4u);  // both candidates, both k
  // One share; as many as the units (2 candidates x 2 k x 3 folds); more;
  // counts that cut across the folds.
  for (std::size_t count : {1, 2, 5, 12, 13}) {
    const std::string name = "from" + std::to_string(count);
    ASSERT_TRUE(IsOk(TrainFrom(Shares(count), name))) << count << " shares";
    for (const char* file : {kSourceFileName, kModelFileName, kConfidenceFileName}) {
      EXPECT_EQ(ReadFile(dir_.path() + "/" + name + "." + file),
                ReadFile(dir_.path() + "/whole." + file))
          << file << " from " << count << " shares";
    }
    ASSERT_EQ(report_.grid.size(), whole.grid.size());
    for (std::size_t p = 0; p < whole.grid.size(); ++p) {
      EXPECT_EQ(report_.grid[p].accuracy, whole.grid[p].accuracy) << p;
    }
  }
}

TEST_F(SearchPartsTest, AShareMissingOrGivenTwiceIsRefused) {
  const std::vector<std::string> files = Shares(3);
  const std::vector<std::string> missing = {files[0], files[2]};
  EXPECT_TRUE(FailsWith(TrainFrom(missing, "missing"), Status::Code::kInvalidArgument,
                "hold no answers for"));
  const std::vector<std::string> twice = {files[0], files[1], files[2], files[1]};
  EXPECT_TRUE(FailsWith(TrainFrom(twice, "twice"), Status::Code::kInvalidArgument, "given twice"));
}

TEST_F(SearchPartsTest, ResultsOfAnotherCorpusOrGridAreRefused) {
  const std::vector<std::string> files = Shares(1);
  options_.costs = {1, 4};
  EXPECT_TRUE(FailsWith(TrainFrom(files, "grid"), Status::Code::kMismatch, "another grid"));
  options_.costs = {1, 8};
  corpus_.documents.pop_back();
  EXPECT_TRUE(FailsWith(TrainFrom(files, "corpus"), Status::Code::kMismatch, "another corpus"));
}

}  // namespace
}  // namespace wenlei
