#include "tools/host/working_directory.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "testutil/test_support.h"
#include "testutil/tool_test_support.h"

namespace wenlei {
namespace {

// The directory, or null with the failure's message in *error.
std::unique_ptr<WorkingDirectory> Create(const std::string& resourceDir, std::string* error) {
  std::unique_ptr<WorkingDirectory> directory;
  *error = WorkingDirectory::Create(resourceDir, &directory).message();
  return directory;
}

// Sets an environment variable for its lifetime, restoring the old value.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class WorkingDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteFile(resources_.path() + "/Source.dat", "source bytes");
    testing::WriteFile(resources_.path() + "/SVMModel", "model bytes");
  }

  std::string Root() const { return cache_.path() + "/wenlei"; }

  testing::TempDir cache_;
  testing::TempDir resources_;
  ScopedVariable cacheHome_{"XDG_CACHE_HOME", cache_.path()};
};

TEST_F(WorkingDirectoryTest, HoldsTheResourceFilesUnderTheCacheAndGoesAwayWhenDone) {
  std::string error, path;
  {
    auto directory = Create(resources_.path(), &error);
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
  auto first = Create(resources_.path(), &error);
  ASSERT_NE(first, nullptr) << error;
  EXPECT_EQ(Create(resources_.path(), &error), nullptr);
  EXPECT_EQ(error, "a working directory is already in use");
}

TEST_F(WorkingDirectoryTest, FailsForAMissingResourceFileAndLeavesNothing) {
  std::filesystem::remove(resources_.path() + "/SVMModel");
  std::string error;
  EXPECT_EQ(Create(resources_.path(), &error), nullptr);
  EXPECT_NE(error.find("cannot place " + resources_.path() + "/SVMModel"), std::string::npos)
      << error;
  EXPECT_TRUE(testing::ListDirectory(Root()).empty());
}

TEST_F(WorkingDirectoryTest, FallsBackToTmpdirWhenTheCacheCannotBeUsed) {
  testing::TempDir tmp;
  testing::WriteFile(cache_.path() + "/blocker", "");
  setenv("XDG_CACHE_HOME", (cache_.path() + "/blocker").c_str(), 1);
  std::string error;
  std::unique_ptr<WorkingDirectory> directory;
  {
    ScopedVariable tmpdir("TMPDIR", tmp.path());
    directory = Create(resources_.path(), &error);
  }
  ASSERT_NE(directory, nullptr) << error;
  EXPECT_EQ(std::filesystem::path(directory->path()).parent_path(),
            std::filesystem::path(tmp.path() + "/wenlei-" + std::to_string(getuid())));
}

TEST_F(WorkingDirectoryTest, RemovesDirectoriesOfRunsThatDiedAndKeepsLiveOnes) {
  std::string error, stem;
  {
    auto probe = Create(resources_.path(), &error);
    ASSERT_NE(probe, nullptr) << error;
    // classify-HOST-PID-XXXXXX: the stem is everything before the PID.
    std::string name = std::filesystem::path(probe->path()).filename().string();
    std::string ownPid = "-" + std::to_string(getpid()) + "-";
    stem = name.substr(0, name.rfind(ownPid) + 1);
  }
  // A run killed outright: no clean-up of its own runs.
  pid_t killed = fork();
  if (killed == 0) {
    auto directory = Create(resources_.path(), &error);
    raise(SIGKILL);
  }
  waitpid(killed, nullptr, 0);
  std::string abandoned;
  for (const auto& entry : std::filesystem::directory_iterator(Root())) {
    if (entry.path().filename().string().rfind(stem + std::to_string(killed) + "-", 0) == 0) {
      abandoned = entry.path().string();
    }
  }
  ASSERT_FALSE(abandoned.empty()) << "the killed run left no directory";
  // One whose process number means nothing here (another namespace) but
  // whose lock is held, one of a live process, and one not of this form.
  const std::string locked = Root() + "/" + stem + std::to_string(killed) + "-ghijkl";
  const std::string live = Root() + "/" + stem + std::to_string(getppid()) + "-abcdef";
  const std::string foreign = Root() + "/someone-else";
  for (const auto& path : {locked, live, foreign}) std::filesystem::create_directories(path);
  const int lock = open(locked.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);

  auto directory = Create(resources_.path(), &error);
  ASSERT_NE(directory, nullptr) << error;
  close(lock);
  EXPECT_FALSE(testing::FileExists(abandoned));
  EXPECT_TRUE(testing::FileExists(locked));
  EXPECT_TRUE(testing::FileExists(live));
  EXPECT_TRUE(testing::FileExists(foreign));
}

}  // namespace
}  // namespace wenlei
