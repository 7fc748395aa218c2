// The classify command on the bundled resource set and sample texts, as a
// new user runs it: no -r, no --dict.

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "testutil/test_support.h"
#include "text/content_word.h"
#include "testutil/tool_test_support.h"

namespace wenlei {
namespace {

using testing::ChildOutcome;
using testing::RunWenlei;

const std::string kModels = WENLEI_MODELS_DIR;

struct Sample {
  std::string file;
  std::string trueClass;
};

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(' ');
  std::size_t last = text.find_last_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

// The samples' table in models/samples/README.md: | file | module | true class | ...
std::vector<Sample> ReadSamples() {
  std::vector<Sample> samples;
  std::istringstream lines(testing::ReadFile(kModels + "/samples/README.md"));
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> cells;
    std::istringstream row(line);
    std::string cell;
    while (std::getline(row, cell, '|')) cells.push_back(Trim(cell));
    if (cells.size() < 4 || cells[1].size() < 5 || cells[1].substr(cells[1].size() - 4) != ".txt") {
      continue;
    }
    samples.push_back({kModels + "/samples/" + cells[1], cells[3]});
  }
  return samples;
}

class BundledResourceSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FileExists(kModels + "/help-zh/Source.dat")) {
      GTEST_SKIP() << "no bundled resource set in " << kModels << "/help-zh yet";
    }
    samples_ = ReadSamples();
    ASSERT_GE(samples_.size(), 8u);
  }

  ChildOutcome Classify(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), "classify");
    return RunWenlei(args, input, {{"XDG_CACHE_HOME", cache_.path()}});
  }

  std::vector<Sample> samples_;
  testing::TempDir cache_;
};

TEST_F(BundledResourceSetTest, ClassifiesTheSampleTextsWithTheDefaults) {
  std::vector<std::string> args;
  for (const Sample& sample : samples_) args.insert(args.end(), {"-f", sample.file});
  ChildOutcome run = Classify(args);
  ASSERT_EQ(run.status, 0) << run.err;
  std::istringstream answers(run.out);
  std::string answer;
  std::size_t correct = 0;
  std::string misses;
  for (const Sample& sample : samples_) {
    ASSERT_TRUE(std::getline(answers, answer)) << run.out;
    // A close call may name the true class first or second.
    std::size_t join = answer.find(" or ");
    bool named = answer == sample.trueClass ||
                 (join != std::string::npos && (answer.substr(0, join) == sample.trueClass ||
                                                answer.substr(join + 4) == sample.trueClass));
    if (named) {
      ++correct;
    } else {
      misses += " " + sample.file + ": " + sample.trueClass + " answered as " + answer + ";";
    }
  }
  // Models trained on this corpus answer about nine in ten held-out pages
  // right but miss the samples of its two smallest classes; a broken
  // pipeline (segmentation, encoding, class order) gets almost none right.
  EXPECT_GT(correct * 2, samples_.size()) << misses;
}

TEST_F(BundledResourceSetTest, RawTextAndItsSegmentationGetTheSameAnswers) {
  std::string raw, segmented;
  for (const Sample& sample : samples_) {
    std::string text = testing::ReadFile(sample.file);
    for (char& c : text) {
      if (c == '\n' || c == '\r') c = ' ';
    }
    raw += text + "\n";
  }
  ChildOutcome words = RunWenlei({"segment", "--lines"}, raw);
  ASSERT_EQ(words.status, 0) << words.err;
  ChildOutcome fromRaw = Classify({"--lines", "--json"}, raw);
  ChildOutcome fromWords = Classify({"--lines", "--json", "--words"}, words.out);
  EXPECT_EQ(fromRaw.status, 0) << fromRaw.err;
  EXPECT_EQ(fromRaw.out, fromWords.out);
  EXPECT_NE(fromRaw.out.find("\"known_words\": "), std::string::npos);
}

// The words of an explanation line: answer<TAB>runner-up: word +N, word -N
std::vector<std::string> ExplainedWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t at = line.find(": ");
  while (at != std::string::npos) {
    const std::size_t start = at + 2;
    const std::size_t next = line.find(", ", start);
    const std::string item = line.substr(start, next == std::string::npos ? next : next - start);
    words.push_back(item.substr(0, item.rfind(' ')));
    at = next;
  }
  return words;
}

// The bundled vocabulary keeps punctuation (it measured best); the
// explanation leaves it to the rest unless asked for every word.
TEST_F(BundledResourceSetTest, ExplanationsLeaveOutPunctuationUnlessAskedForAll) {
  std::size_t othersShown = 0;
  for (const Sample& sample : samples_) {
    ChildOutcome all = Classify({"--explain-all", "100", "-f", sample.file});
    ASSERT_EQ(all.status, 0) << all.err;
    for (const std::string& word : ExplainedWords(all.out)) othersShown += !IsContentWord(word);
    for (const char* option : {"--explain", "--explain-content"}) {
      ChildOutcome content = Classify({option, "100", "-f", sample.file});
      ASSERT_EQ(content.status, 0) << content.err;
      EXPECT_EQ(all.out.substr(0, all.out.find(':')), content.out.substr(0, content.out.find(':')));
      for (const std::string& word : ExplainedWords(content.out)) {
        EXPECT_TRUE(IsContentWord(word)) << word << " in " << option << " " << content.out;
      }
    }
  }
  EXPECT_GT(othersShown, 0u);
  EXPECT_EQ(Classify({"--explain", "3", "--explain-all", "3", "x"}).status, 2);
}

}  // namespace
}  // namespace wenlei
