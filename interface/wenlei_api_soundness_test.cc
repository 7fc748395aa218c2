// The modern interface where a host can hurt it: a set replaced while it is
// opened, fork while other threads are inside the library, results read
// after their handle is closed, thresholds that are no confidence.
#include "wenlei/wenlei.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "source/metadata_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "wenlei/exports.h"

namespace {

using wenlei::testing::ClassWord;
using wenlei::testing::ReadFile;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;
using wenlei::testing::WriteFile;

wenlei_status Open(const std::string& dir, const wenlei_options* options, wenlei_classifier** handle,
                   std::string* error) {
  char* message = nullptr;
  const wenlei_status status = wenlei_open(dir.c_str(), options, handle, &message);
  if (message != nullptr) *error = message;
  wenlei_free(message);
  return status;
}

void BuildSet(const std::string& prefix, std::vector<std::string> classNames) {
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = std::move(classNames);
  wenlei::testing::BuildResourceSet(prefix, spec);
}

// Words of class 1 of a generated set, as GBK words for wenlei_classify_words.
wenlei_status ClassifyClassOne(const wenlei_classifier* handle, wenlei_result** result) {
  const std::string words[] = {ClassWord(1, 0), ClassWord(1, 1), ClassWord(1, 2)};
  const char* texts[] = {words[0].c_str(), words[1].c_str(), words[2].c_str()};
  const std::size_t lengths[] = {words[0].size(), words[1].size(), words[2].size()};
  return wenlei_classify_words(handle, texts, lengths, 3, WENLEI_GBK, result, nullptr);
}

// Installs one generation as the trainer does: each file renamed into
// place, the metadata file with their digests written last.
void Install(const std::string& from, const std::string& set) {
  for (const char* name : {"Source.dat", "SVMModel"}) {
    WriteFile(set + ".incoming", ReadFile(from + name));
    std::filesystem::rename(set + ".incoming", set + name);
  }
  wenlei::SetMetadata metadata;
  wenlei::DigestFile(set + "Source.dat", &metadata.sourceSha256);
  wenlei::DigestFile(set + "SVMModel", &metadata.modelSha256);
  wenlei::WriteMetadataFile(set, metadata);
}

TEST(WenleiApiSoundnessTest, AHandleNeverHoldsTwoGenerationsOfASetBeingRetrained) {
  // Two classes, then three: parts of both never fit together.
  TempDir first, second, set;
  BuildSet(first.prefix(), {"Sports", "Arts"});
  BuildSet(second.prefix(), {"Sports", "Arts", "Music"});
  Install(first.prefix(), set.prefix());

  std::atomic<bool> retrained{false};
  std::thread retrainer([&] {
    for (int round = 1; round <= 40; ++round) {
      Install(round % 2 == 1 ? second.prefix() : first.prefix(), set.prefix());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    retrained = true;
  });
  int opens = 0, failures = 0;
  std::string error;
  while (!retrained) {
    wenlei_classifier* handle = nullptr;
    if (Open(set.path(), nullptr, &handle, &error) != WENLEI_OK) {
      ++failures;
      continue;
    }
    ++opens;
    wenlei_result* result = nullptr;
    EXPECT_EQ(ClassifyClassOne(handle, &result), WENLEI_OK);
    EXPECT_STREQ(wenlei_result_answer(result), "Sports");
    wenlei_result_free(result);
    wenlei_close(handle);
  }
  retrainer.join();
  EXPECT_EQ(failures, 0) << error;
  EXPECT_GT(opens, 0);

  // A file changed by hand after training no longer matches: refused.
  WriteFile(set.prefix() + "SVMModel", ReadFile(second.prefix() + "SVMModel"));
  wenlei_classifier* handle = nullptr;
  EXPECT_EQ(Open(set.path(), nullptr, &handle, &error), WENLEI_MISMATCH);
  EXPECT_NE(error.find("does not match its Metadata.txt (SVMModel differs"), std::string::npos) << error;
  // Without the metadata file a set opens as any hand-made set does.
  std::filesystem::remove(set.prefix() + "Metadata.txt");
  WriteFile(set.prefix() + "SVMModel", ReadFile(first.prefix() + "SVMModel"));
  EXPECT_EQ(Open(set.path(), nullptr, &handle, &error), WENLEI_OK) << error;
  wenlei_close(handle);
}

// Threads open handles (with a dictionary, loaded on first text) and
// classify through the exports while the process forks; each child must
// then do the same without waiting for a lock its parent's threads held.
TEST(WenleiApiSoundnessTest, AChildForkedWhileThreadsAreInsideTheLibraryUsesIt) {
#if defined(__SANITIZE_ADDRESS__)
  // This compiler's address sanitizer has its own allocator and does not
  // take its locks across fork: a child forked while another thread
  // allocates may wait forever in malloc, whatever the library does.
  GTEST_SKIP() << "the address sanitizer's allocator is not fork-safe with threads";
#endif
  TempDir set;
  BuildSet(set.prefix(), {"Sports", "Arts"});
  const std::string dictionary = set.prefix() + "dict.txt";
  WriteFile(dictionary, ClassWord(1, 0) + " 5 n\n" + ClassWord(1, 1) + " 5 n\n");
  wenlei_options* options = wenlei_options_create();
  wenlei_options_set_dictionary(options, dictionary.c_str());
  ASSERT_EQ(LoadSource(set.prefix().c_str()), 1);
  ClassifierHandle exports = CreateClassifier();
  WordListBuilder words = WordListBuilder::FromWords({ClassWord(1, 0), ClassWord(1, 1)});
  const std::string text = ClassWord(1, 0) + " " + ClassWord(1, 1);

  // 0 when a handle opens and classifies text and the exports answer.
  auto useTheLibrary = [&] {
    wenlei_classifier* handle = nullptr;
    if (wenlei_open(set.path().c_str(), options, &handle, nullptr) != WENLEI_OK) return 1;
    wenlei_result* result = nullptr;
    const bool classified =
        wenlei_classify_text(handle, text.data(), text.size(), &result, nullptr) == WENLEI_OK &&
        std::string(wenlei_result_answer(result)) == "Sports";
    wenlei_result_free(result);
    wenlei_close(handle);
    char answer[64] = {};
    Classification(exports, words.list(), answer);
    return classified && std::string(answer) == "Sports" ? 0 : 2;
  };
  std::atomic<bool> stop{false};
  std::thread opener([&] {
    while (!stop) useTheLibrary();
  });
  std::thread classifier([&] {
    char answer[64];
    while (!stop) Classification(exports, words.list(), answer);
  });
  for (int child = 0; child < 20; ++child) {
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(30);  // a hung child ends instead of the test
      _exit(useTheLibrary());
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "child " << child << (WIFSIGNALED(status) ? " hung" : " failed");
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
  }
  stop = true;
  opener.join();
  classifier.join();
  releaseClassifier(exports);
  releasesource();
  wenlei_options_destroy(options);
}

TEST(WenleiApiSoundnessTest, AResultKeepsItsNamesAfterItsHandleIsClosed) {
  TempDir set;
  BuildSet(set.prefix(), {"Sports", "Arts", "Music"});
  wenlei_classifier* handle = nullptr;
  std::string error;
  ASSERT_EQ(Open(set.path(), nullptr, &handle, &error), WENLEI_OK) << error;
  wenlei_result* result = nullptr;
  ASSERT_EQ(ClassifyClassOne(handle, &result), WENLEI_OK);
  wenlei_close(handle);
  ASSERT_EQ(wenlei_result_class_count(result), 3u);
  std::vector<std::string> ranked;
  for (std::size_t rank = 0; rank < 3; ++rank) ranked.push_back(wenlei_result_class_name(result, rank));
  EXPECT_EQ(ranked[0], "Sports");
  EXPECT_EQ(ranked.size(), 3u);
  EXPECT_STREQ(wenlei_result_name(result, 0), "Sports");
  EXPECT_STREQ(wenlei_result_answer(result), "Sports");
  wenlei_result_free(result);
}

TEST(WenleiApiSoundnessTest, AThresholdThatIsNoConfidenceIsAnInvalidArgument) {
  TempDir set;
  BuildSet(set.prefix(), {"Sports", "Arts"});
  WriteFile(set.prefix() + "Confidence.txt", "min_confidence 0.25\n");
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  const double kInfinity = std::numeric_limits<double>::infinity();
  const struct {
    double given;
    wenlei_status status;
    double inForce;
  } cases[] = {
      {kNaN, WENLEI_INVALID_ARGUMENT, 0}, {1.5, WENLEI_INVALID_ARGUMENT, 0},
      {kInfinity, WENLEI_INVALID_ARGUMENT, 0}, {0.0, WENLEI_OK, 0.0}, {1.0, WENLEI_OK, 1.0},
      {-1.0, WENLEI_OK, 0.25},  // negative: the set's own threshold
      {-kInfinity, WENLEI_OK, 0.25},
  };
  for (const auto& c : cases) {
    wenlei_options* options = wenlei_options_create();
    wenlei_options_set_min_confidence(options, c.given);
    wenlei_classifier* handle = nullptr;
    std::string error;
    EXPECT_EQ(Open(set.path(), options, &handle, &error), c.status) << c.given;
    if (c.status == WENLEI_OK) {
      EXPECT_EQ(wenlei_min_confidence(handle), c.inForce) << c.given;
    } else {
      EXPECT_NE(error.find("minimum confidence must be from 0 to 1"), std::string::npos) << error;
    }
    wenlei_close(handle);
    wenlei_options_destroy(options);
  }
}

}  // namespace
