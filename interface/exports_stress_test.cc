// Many threads calling the exports at once, with handles made and released
// and the tables reloaded beside them: every answer must be the one the same
// call gives when the calls are made one at a time.  A fixed amount of work,
// no timing; scripts/test-threads runs it under ThreadSanitizer as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "decide/class_decision.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "wenlei/exports.h"

namespace {

using wenlei::testing::ClassWord;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;

const std::string kShortText = wenlei::ShortTextMessage();

constexpr int kThreads = 4;
constexpr int kRounds = 80;

std::string Classify(ClassifierHandle handle, const WordList* words) {
  char buffer[64] = {};
  Classification(handle, words, buffer);
  return buffer;
}

// What the reloading thread does beside the classifying ones.
enum class Reload {
  kSameFileAgain,       // LoadSource of the loaded prefix: the tables stay whole
  kReleaseAndLoadAgain  // releasesource, then LoadSource: empty in between
};

class ExportsStressTest : public ::testing::TestWithParam<Reload> {
 protected:
  void SetUp() override {
    wenlei::testing::ResourceSetSpec spec;
    spec.classNames = {"Sports", "Arts", "Music"};
    wenlei::testing::BuildResourceSet(dir_.prefix(), spec);
    std::mt19937 random(3);
    for (int d = 0; d < 24; ++d) {
      WordListBuilder words;
      const int length = 1 + static_cast<int>(random() % 9);
      for (int i = 0; i < length; ++i) {
        words.Add(ClassWord(1 + static_cast<int>(random() % 3), static_cast<int>(random() % 6)));
      }
      if (d % 5 == 0) words.Add("unknown");
      documents_.push_back(std::move(words));
    }
    documents_.emplace_back().Add("unknown").Add("words");

    // The lists are made once: building one writes its record.
    for (auto& document : documents_) lists_.push_back(*document.list());

    ASSERT_EQ(LoadSource(dir_.prefix().c_str()), 1);
    ClassifierHandle handle = CreateClassifier();
    for (const WordList& list : lists_) expected_.push_back(Classify(handle, &list));
    releaseClassifier(handle);
  }
  void TearDown() override { releasesource(); }

  TempDir dir_;
  std::vector<WordListBuilder> documents_;
  std::vector<WordList> lists_;
  std::vector<std::string> expected_;
};

TEST_P(ExportsStressTest, ThreadsGetTheAnswersOfOneCallAtATime) {
  const bool gaps = GetParam() == Reload::kReleaseAndLoadAgain;
  std::atomic<int> running{kThreads};
  std::atomic<int> wrong{0}, shortAnswers{0}, reloads{0};
  std::vector<std::string> firstWrong(kThreads);

  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937 random(100 + t);
      std::vector<std::size_t> order(lists_.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      // Classify only once the reloader runs, so that the two overlap even
      // when the scheduler starts it last.
      while (reloads == 0) std::this_thread::yield();
      for (int round = 0; round < kRounds; ++round) {
        ClassifierHandle handle = CreateClassifier();  // a handle per round
        std::shuffle(order.begin(), order.end(), random);
        for (std::size_t d : order) {
          const std::string answer = Classify(handle, &lists_[d]);
          if (answer == expected_[d]) continue;
          // Between releasesource and LoadSource no word is known.
          if (gaps && answer == kShortText) {
            ++shortAnswers;
            continue;
          }
          if (wrong++ == 0) firstWrong[t] = "document " + std::to_string(d) + ": \"" + answer + "\"";
        }
        // Batches share the lock with single calls.
        if (t == 0 && !gaps) {
          std::vector<std::vector<char>> buffers(lists_.size(), std::vector<char>(64, 0));
          std::vector<char*> answers;
          for (auto& buffer : buffers) answers.push_back(buffer.data());
          BatchClassification(handle, lists_.data(), lists_.size(), answers.data());
          for (std::size_t d = 0; d < lists_.size(); ++d) {
            if (answers[d] != expected_[d] && wrong++ == 0) {
              firstWrong[t] = "batch document " + std::to_string(d) + ": \"" + answers[d] + "\"";
            }
          }
        }
        releaseClassifier(handle);
      }
      --running;
    });
  }
  std::thread reloader([&] {
    while (running > 0) {
      if (gaps) releasesource();
      if (LoadSource(dir_.prefix().c_str()) != 1) ++wrong;
      ++reloads;
      std::this_thread::yield();
    }
  });
  for (auto& thread : threads) thread.join();
  reloader.join();

  for (const auto& text : firstWrong) EXPECT_EQ(text, "");
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(reloads, 0);
  // The tables are whole again afterwards.
  ClassifierHandle handle = CreateClassifier();
  for (std::size_t d = 0; d < lists_.size(); ++d) EXPECT_EQ(Classify(handle, &lists_[d]), expected_[d]);
  releaseClassifier(handle);
  if (gaps) RecordProperty("short_answers_during_gaps", shortAnswers.load());
}

INSTANTIATE_TEST_SUITE_P(Reloads, ExportsStressTest,
                         ::testing::Values(Reload::kSameFileAgain, Reload::kReleaseAndLoadAgain),
                         [](const ::testing::TestParamInfo<Reload>& info) {
                           return info.param == Reload::kSameFileAgain
                                      ? std::string("SameFileAgain")
                                      : std::string("ReleaseAndLoadAgain");
                         });

}  // namespace
