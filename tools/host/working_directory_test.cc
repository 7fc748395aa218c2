#include "tools/host/working_directory.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "testutil/test_support.h"
#include "testutil/tool_test_support.h"

namespace wenlei {
namespace {

class WorkingDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("XDG_CACHE_HOME");
    if (old != nullptr) oldCache_ = old, hadCache_ = true;
    setenv("XDG_CACHE_HOME", cache_.path().c_str(), 1);
    testing::WriteFile(resources_.path() + "/Source.dat", "source bytes");
    testing::WriteFile(resources_.path() + "/SVMModel", "model bytes");
  }
  void TearDown() override {
    if (hadCache_) {
      setenv("XDG_CACHE_HOME", oldCache_.c_str(), 1);
    } else {
      unsetenv("XDG_CACHE_HOME");
    }
  }

  std::string Root() const { return cache_.path() + "/wenlei"; }

  testing::TempDir cache_;
  testing::TempDir resources_;
  std::string oldCache_;
  bool hadCache_ = false;
};

TEST_F(WorkingDirectoryTest, HoldsTheResourceFilesUnderTheCacheAndGoesAwayWhenDone) {
  std::string error, path;
  {
    auto directory = WorkingDirectory::Create(resources_.path(), &error);
    ASSERT_NE(directory, nullptr) << error;
    path = directory->path();
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(Root()));
    EXPECT_EQ(directory->prefix(), path + "/");
    EXPECT_EQ(testing::ReadFile(path + "/Source.dat"), "source bytes");
    EXPECT_EQ(testing::ReadFile(path + "/SVMModel"), "model bytes");
    struct stat status;
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    // The library's working files are removed with the rest.
    testing::WriteFile(path + "/SVMTestFile.dat", "0 1:1\n");
    testing::WriteFile(path + "/resultFile.dat", "labels 1\n");
  }
  EXPECT_FALSE(testing::FileExists(path));
  EXPECT_TRUE(testing::ListDirectory(Root()).empty());
  // The resource set itself is untouched.
  EXPECT_EQ(testing::ListDirectory(resources_.path()),
            (std::vector<std::string>{"SVMModel", "Source.dat"}));
}

TEST_F(WorkingDirectoryTest, OnlyOneAtATimeInAProcess) {
  std::string error;
  auto first = WorkingDirectory::Create(resources_.path(), &error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(WorkingDirectory::Create(resources_.path(), &error), nullptr);
  EXPECT_EQ(error, "a working directory is already in use");
}

TEST_F(WorkingDirectoryTest, FailsForAMissingResourceFileAndLeavesNothing) {
  std::filesystem::remove(resources_.path() + "/SVMModel");
  std::string error;
  EXPECT_EQ(WorkingDirectory::Create(resources_.path(), &error), nullptr);
  EXPECT_NE(error.find("cannot place " + resources_.path() + "/SVMModel"), std::string::npos)
      << error;
  EXPECT_TRUE(testing::ListDirectory(Root()).empty());
}

TEST_F(WorkingDirectoryTest, FallsBackToTmpdirWhenTheCacheCannotBeUsed) {
  testing::TempDir tmp;
  testing::WriteFile(cache_.path() + "/blocker", "");
  setenv("XDG_CACHE_HOME", (cache_.path() + "/blocker").c_str(), 1);
  const char* oldTmp = std::getenv("TMPDIR");
  std::string savedTmp = oldTmp != nullptr ? oldTmp : "";
  setenv("TMPDIR", tmp.path().c_str(), 1);
  std::string error;
  auto directory = WorkingDirectory::Create(resources_.path(), &error);
  if (oldTmp != nullptr) {
    setenv("TMPDIR", savedTmp.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  ASSERT_NE(directory, nullptr) << error;
  EXPECT_EQ(std::filesystem::path(directory->path()).parent_path(),
            std::filesystem::path(tmp.path() + "/wenlei-" + std::to_string(getuid())));
}

TEST_F(WorkingDirectoryTest, RemovesDirectoriesOfRunsThatDiedAndKeepsLiveOnes) {
  std::string error, stem;
  {
    auto probe = WorkingDirectory::Create(resources_.path(), &error);
    ASSERT_NE(probe, nullptr) << error;
    // classify-HOST-PID-XXXXXX: the stem is everything before the PID.
    std::string name = std::filesystem::path(probe->path()).filename().string();
    std::string ownPid = "-" + std::to_string(getpid()) + "-";
    stem = name.substr(0, name.rfind(ownPid) + 1);
  }
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);
  const std::string abandoned = Root() + "/" + stem + std::to_string(dead) + "-abcdef";
  const std::string recent = Root() + "/" + stem + std::to_string(dead) + "-ghijkl";
  const std::string live = Root() + "/" + stem + std::to_string(getppid()) + "-abcdef";
  const std::string foreign = Root() + "/someone-else";
  const auto twoHoursAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  for (const auto& path : {abandoned, recent, live, foreign}) {
    std::filesystem::create_directories(path);
    testing::WriteFile(path + "/SVMModel", "x");
    if (path == recent) continue;
    std::filesystem::last_write_time(path + "/SVMModel", twoHoursAgo);
    std::filesystem::last_write_time(path, twoHoursAgo);
  }

  auto directory = WorkingDirectory::Create(resources_.path(), &error);
  ASSERT_NE(directory, nullptr) << error;
  EXPECT_FALSE(testing::FileExists(abandoned));
  EXPECT_TRUE(testing::FileExists(recent));  // its process may live in another namespace
  EXPECT_TRUE(testing::FileExists(live));
  EXPECT_TRUE(testing::FileExists(foreign));
}

}  // namespace
}  // namespace wenlei
