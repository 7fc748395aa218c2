#include "util/set_replacement.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

using testing::FileExists;
using testing::ListDirectory;
using testing::ReadFile;
using testing::WriteFile;

const std::vector<std::string> kNames = {"SVMModel", "Confidence.txt", "Source.dat", "Metadata.txt"};

// The one step and name a test makes fail, and a second one.
struct Fault {
  std::string step, name;
};
std::vector<Fault> gFaults;

int InjectFault(const std::string& step, const std::string& name) {
  for (const auto& fault : gFaults) {
    if (fault.step == step && fault.name == name) return ENOSPC;
  }
  return 0;
}

class SetReplacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReplacementFaultForTesting(&InjectFault);
    // The old set lacks Metadata.txt: a file that was not there must be
    // absent again after a failure.
    for (std::size_t i = 0; i + 1 < kNames.size(); ++i) WriteFile(Path(kNames[i]), "old " + kNames[i]);
  }
  void TearDown() override {
    SetReplacementFaultForTesting(nullptr);
    gFaults.clear();
  }

  std::string Path(const std::string& name) const { return dir_.path() + "/" + name; }

  // Writes the new set and commits it, the faults in place.
  Status Replace() {
    SetReplacement replacement;
    Status status = replacement.Begin(dir_.path());
    for (const auto& name : kNames) {
      if (!status.ok()) break;
      WriteFile(replacement.staging() + name, "new " + name);
      status = replacement.Written(name);
    }
    if (status.ok()) status = replacement.Commit(kNames);
    return status;
  }

  void ExpectOldSet() {
    for (std::size_t i = 0; i + 1 < kNames.size(); ++i) EXPECT_EQ(ReadFile(Path(kNames[i])), "old " + kNames[i]);
    EXPECT_FALSE(FileExists(Path("Metadata.txt")));
    EXPECT_EQ(ListDirectory(dir_.path()).size(), kNames.size() - 1) << "something left behind";
  }

  testing::TempDir dir_;
};

TEST_F(SetReplacementTest, AFaultAtAnyStepLeavesTheOldSetWhole) {
  for (const char* step : {"write", "sync", "keep", "rename"}) {
    for (const auto& name : kNames) {
      if (std::string(step) == "keep" && name == "Metadata.txt") continue;  // nothing old to keep
      SCOPED_TRACE(std::string(step) + " " + name);
      gFaults = {{step, name}};
      const Status status = Replace();
      EXPECT_EQ(status.code(), Status::Code::kIoError);
      EXPECT_NE(status.message().find("No space left on device"), std::string::npos) << status.message();
      ExpectOldSet();
    }
  }
  gFaults.clear();
  ASSERT_TRUE(Replace().ok());
  for (const auto& name : kNames) EXPECT_EQ(ReadFile(Path(name)), "new " + name);
  EXPECT_EQ(ListDirectory(dir_.path()).size(), kNames.size());
}

TEST_F(SetReplacementTest, AFailedRestoreIsReportedByName) {
  gFaults = {{"rename", "Source.dat"}, {"restore", "SVMModel"}};
  const Status status = Replace();
  EXPECT_NE(status.message().find("could not be put back as they were: " + Path("SVMModel")),
            std::string::npos)
      << status.message();
  EXPECT_EQ(ReadFile(Path("Confidence.txt")), "old Confidence.txt");
}

TEST_F(SetReplacementTest, OneWriterAtATime) {
  SetReplacement first;
  ASSERT_TRUE(first.Begin(dir_.path()).ok());
  SetReplacement second;
  const Status refused = second.Begin(dir_.path());
  EXPECT_EQ(refused.message(), "another training is writing " + dir_.path() + " (it holds " +
                                   Path(kSetLockName) + "); try again when it is done");
  first.Finish();
  EXPECT_TRUE(second.Begin(dir_.path()).ok());
}

TEST_F(SetReplacementTest, LinksAreReplacedOrRefusedNeverFollowed) {
  testing::TempDir elsewhere;
  const std::string victim = elsewhere.path() + "/victim";
  WriteFile(victim, "not yours");
  for (const auto& name : kNames) {
    std::remove(Path(name).c_str());
    ASSERT_EQ(symlink(victim.c_str(), Path(name).c_str()), 0);
  }
  ASSERT_TRUE(Replace().ok());
  for (const auto& name : kNames) {
    struct stat information;
    ASSERT_EQ(lstat(Path(name).c_str(), &information), 0);
    EXPECT_TRUE(S_ISREG(information.st_mode)) << name;
  }
  // A link as the lock file: refused, nothing created through it.
  std::remove(victim.c_str());
  ASSERT_EQ(symlink(victim.c_str(), Path(kSetLockName).c_str()), 0);
  const Status refused = Replace();
  EXPECT_EQ(refused.code(), Status::Code::kIoError);
  EXPECT_FALSE(FileExists(victim));
  // A directory where a file goes: refused before anything moves.
  std::remove(Path(kSetLockName).c_str());
  std::remove(Path("Source.dat").c_str());
  ASSERT_EQ(mkdir(Path("Source.dat").c_str(), 0700), 0);
  EXPECT_NE(Replace().message().find("Is a directory"), std::string::npos);
  EXPECT_EQ(ReadFile(Path("SVMModel")), "new SVMModel");
}

TEST_F(SetReplacementTest, LeftoversOfKilledWritersGoUnderTheLock) {
  const std::string leftover = Path(std::string(kStagingStart) + "a1b2c3");
  ASSERT_EQ(mkdir(leftover.c_str(), 0700), 0);
  WriteFile(leftover + "/SVMModel", "half");
  ASSERT_TRUE(Replace().ok());
  EXPECT_FALSE(FileExists(leftover));
}

}  // namespace
}  // namespace wenlei
