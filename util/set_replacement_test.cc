#include "util/set_replacement.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "testutil/test_support.h"

// The test binary's own fsync: it records which files reach the disk, so
// that a replacement that skips a sync fails a test.
namespace {
std::vector<std::string> gSynced;
}  // namespace
extern "C" int fsync(int descriptor) {
  char path[4096];
  const ssize_t length =
      readlink(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), path, sizeof path - 1);
  if (length > 0) gSynced.emplace_back(path, static_cast<std::size_t>(length));
  return static_cast<int>(syscall(SYS_fsync, descriptor));
}

namespace wenlei {
namespace {

namespace fs = std::filesystem;
using testing::FileExists;
using testing::ListDirectory;
using testing::ReadFile;
using testing::WriteFile;

const std::vector<std::string> kNames = {"SVMModel", "Confidence.txt", "Source.dat", "Metadata.txt"};

// The faults a test injects (step, name, errno), and a step at which the
// process dies as if killed.
struct Fault {
  std::string step, name;
  int error;
};
std::vector<Fault> gFaults;
int gDieAtStep = 0;  // the n-th step asked about, counting from 1; 0: never
int gStepsAsked = 0;

int InjectFault(const std::string& step, const std::string& name) {
  if (++gStepsAsked == gDieAtStep) _exit(0);
  for (const auto& fault : gFaults) {
    if (fault.step == step && (fault.name.empty() || fault.name == name)) return fault.error;
  }
  return 0;
}

// Where the system cannot exchange directories, the files move one by one.
const Fault kNoExchange = {"exchange", "", EINVAL};
// The faults of a replacement by exchange, and of one file by file.
const std::vector<std::vector<Fault>> kBothWays = {{}, {kNoExchange}};

enum class SetState { kOld, kNew, kMixed };

class SetReplacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetReplacementFaultForTesting(&InjectFault);
    directory_ = parent_.path() + "/set";
    ASSERT_TRUE(fs::create_directory(directory_));
    WriteOldSet();
    // Beside the set, files of the user's own.
    WriteFile(Path("notes.txt"), "the user's");
    ASSERT_TRUE(fs::create_directory(Path("history")));
    WriteFile(Path("history/1"), "kept");
  }
  void TearDown() override {
    SetReplacementFaultForTesting(nullptr);
    gFaults.clear();
    gDieAtStep = 0;
  }

  std::string Path(const std::string& name) const { return directory_ + "/" + name; }

  // The old set lacks Metadata.txt: a file that was not there must be
  // absent again after a failure.
  void WriteOldSet() {
    for (std::size_t i = 0; i + 1 < kNames.size(); ++i) WriteFile(Path(kNames[i]), "old " + kNames[i]);
    std::remove(Path("Metadata.txt").c_str());
  }

  // Writes the new set and commits it, the faults in place.
  Status Replace() {
    SetReplacement replacement;
    Status status = replacement.Begin(directory_, kNames);
    for (const auto& name : kNames) {
      if (!status.ok()) break;
      WriteFile(replacement.staging() + name, "new " + name);
      status = replacement.Written(name);
    }
    if (status.ok()) status = replacement.Commit();
    return status;
  }

  // The next writer, which finishes what an earlier one left.
  void BeginAndFinishAnother() {
    SetReplacement next;
    ASSERT_TRUE(next.Begin(directory_, kNames).ok());
    next.Finish();
  }

  SetState State() const {
    int old = 0, fresh = 0;
    for (const auto& name : kNames) {
      const bool present = FileExists(Path(name));
      const std::string bytes = present ? ReadFile(Path(name)) : "";
      if (name == "Metadata.txt" ? !present : bytes == "old " + name) ++old;
      if (bytes == "new " + name) ++fresh;
    }
    return old == 4 ? SetState::kOld : fresh == 4 ? SetState::kNew : SetState::kMixed;
  }

  // The user's files are there, and no staging directory anywhere.
  void ExpectNothingLostOrLeft() {
    EXPECT_EQ(ReadFile(Path("notes.txt")), "the user's");
    EXPECT_EQ(ReadFile(Path("history/1")), "kept");
    for (const std::string& folder : {directory_, parent_.path()}) {
      for (const auto& name : ListDirectory(folder)) {
        EXPECT_EQ(name.find(kStagingStart), std::string::npos) << folder << "/" << name;
      }
    }
    EXPECT_FALSE(FileExists(Path(kSetLockName)));
  }

  testing::TempDir parent_;
  std::string directory_;
};

TEST_F(SetReplacementTest, AFaultAtAnyStepLeavesTheOldSetWhole) {
  const std::vector<std::pair<std::vector<std::string>, std::vector<Fault>>> cases = {
      {{"write", "sync", "access"}, {}},
      {{"exchange"}, {}},
      {{"keep", "rename"}, {kNoExchange}},
  };
  for (const auto& [steps, setting] : cases) {
    for (const auto& step : steps) {
      for (const auto& name : step == "exchange" ? std::vector<std::string>{""} : kNames) {
        if (step == "keep" && name == "Metadata.txt") continue;  // nothing old to keep
        SCOPED_TRACE(step + " " + name);
        gFaults = setting;
        gFaults.push_back({step, name, ENOSPC});
        const Status status = Replace();
        EXPECT_EQ(status.code(), Status::Code::kIoError);
        EXPECT_NE(status.message().find("No space left on device"), std::string::npos) << status.message();
        EXPECT_EQ(State(), SetState::kOld);
        ExpectNothingLostOrLeft();
      }
    }
  }
  for (const auto& setting : kBothWays) {
    gFaults = setting;
    ASSERT_TRUE(Replace().ok());
    EXPECT_EQ(State(), SetState::kNew);
    ExpectNothingLostOrLeft();
    WriteOldSet();
  }
}

// Killed before any step, a replacement by exchange leaves one whole set
// at every instant; one that moves file by file is made whole by the next
// writer.  Either way the old files are never lost before the new ones are
// in place, and nothing of the user's goes.
TEST_F(SetReplacementTest, AKillAtAnyStepIsFinishedByTheNextWriter) {
  for (const auto& setting : kBothWays) {
    gFaults = setting;
    WriteOldSet();
    gStepsAsked = 0;
    ASSERT_TRUE(Replace().ok());
    const int steps = gStepsAsked;
    for (int step = 1; step <= steps; ++step) {
      SCOPED_TRACE((setting.empty() ? "exchange, killed at step " : "file by file, killed at step ") +
                   std::to_string(step));
      WriteOldSet();
      const testing::ChildOutcome killed = testing::RunInChild([this, step] {
        gStepsAsked = 0;
        gDieAtStep = step;
        SetReplacement replacement;
        Status status = replacement.Begin(directory_, kNames);
        for (const auto& name : kNames) {
          WriteFile(replacement.staging() + name, "new " + name);
          if (status.ok()) status = replacement.Written(name);
        }
        if (status.ok()) status = replacement.Commit();
        replacement.Finish();
        _exit(2);  // the step was never reached
      });
      ASSERT_TRUE(killed.exited && killed.status == 0) << killed.err;
      if (setting.empty()) EXPECT_NE(State(), SetState::kMixed);
      BeginAndFinishAnother();
      EXPECT_NE(State(), SetState::kMixed);
      ExpectNothingLostOrLeft();
    }
  }
}

TEST_F(SetReplacementTest, OldFilesThatCannotBePutBackAreKeptAndNamed) {
  gFaults = {kNoExchange, {"rename", "Source.dat", ENOSPC}, {"restore", "SVMModel", EIO}};
  const Status status = Replace();
  EXPECT_NE(status.message().find("could not be put back as they were: " + Path("SVMModel")),
            std::string::npos)
      << status.message();
  EXPECT_NE(status.message().find(std::string("; the old files are in ")), std::string::npos);
  EXPECT_EQ(ReadFile(Path("Confidence.txt")), "old Confidence.txt");
  // The next writer puts the old model back before anything else.
  gFaults = {kNoExchange};
  BeginAndFinishAnother();
  EXPECT_EQ(State(), SetState::kOld);
  ExpectNothingLostOrLeft();
}

TEST_F(SetReplacementTest, OneWriterAtATime) {
  SetReplacement first;
  ASSERT_TRUE(first.Begin(directory_, kNames).ok());
  SetReplacement second;
  const Status refused = second.Begin(directory_, kNames);
  EXPECT_EQ(refused.message(), "another training is writing " + directory_ + " (it holds " +
                                   Path(kSetLockName) + "); try again when it is done");
  first.Finish();
  EXPECT_TRUE(second.Begin(directory_, kNames).ok());
}

TEST_F(SetReplacementTest, LinksAreReplacedOrRefusedNeverFollowed) {
  testing::TempDir elsewhere;
  const std::string victim = elsewhere.path() + "/victim";
  WriteFile(victim, "not yours");
  for (const auto& setting : kBothWays) {
    gFaults = setting;
    for (const auto& name : kNames) {
      std::remove(Path(name).c_str());
      ASSERT_EQ(symlink(victim.c_str(), Path(name).c_str()), 0);
    }
    ASSERT_TRUE(Replace().ok());
    EXPECT_EQ(ReadFile(victim), "not yours");
    for (const auto& name : kNames) {
      struct stat information;
      ASSERT_EQ(lstat(Path(name).c_str(), &information), 0);
      EXPECT_TRUE(S_ISREG(information.st_mode)) << name;
    }
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

// Only a directory that holds the set's own lock file is a writer's
// leftover: a folder of the user's with a name like a staging directory's
// stays, inside the set's directory or beside it.
TEST_F(SetReplacementTest, OnlyProvenLeftoversAreRemoved) {
  const std::string inside = Path(std::string(kStagingStart) + "abc123");
  const std::string beside = parent_.path() + "/" + kStagingStart + "def456";
  for (const auto& folder : {inside, beside}) {
    ASSERT_TRUE(fs::create_directory(folder));
    WriteFile(folder + "/Source.dat", "the user's own set");
  }
  ASSERT_TRUE(Replace().ok());
  EXPECT_EQ(ReadFile(inside + "/Source.dat"), "the user's own set");
  EXPECT_EQ(ReadFile(beside + "/Source.dat"), "the user's own set");
}

// New files take the mode and group of the files they replace, and a set
// exchanged whole the directory's: a service of another user reads the
// set as it did, whatever the writer's umask.
TEST_F(SetReplacementTest, NewFilesKeepWhoMayReadThem) {
  const gid_t group = getegid() == 0 ? 65534 : getegid();
  for (const auto& setting : kBothWays) {
    gFaults = setting;
    ASSERT_EQ(chmod(directory_.c_str(), 0750), 0);
    ASSERT_EQ(chown(directory_.c_str(), static_cast<uid_t>(-1), group), 0);
    for (std::size_t i = 0; i + 1 < kNames.size(); ++i) {
      ASSERT_EQ(chmod(Path(kNames[i]).c_str(), 0640), 0);
      ASSERT_EQ(chown(Path(kNames[i]).c_str(), static_cast<uid_t>(-1), group), 0);
    }
    const mode_t mask = umask(077);
    const Status status = Replace();
    umask(mask);
    ASSERT_TRUE(status.ok()) << status.message();
    for (const std::string& path : {directory_, Path("SVMModel"), Path("Source.dat")}) {
      struct stat information;
      ASSERT_EQ(stat(path.c_str(), &information), 0);
      EXPECT_EQ(information.st_mode & 07777, path == directory_ ? 0750u : 0640u) << path;
      EXPECT_EQ(information.st_gid, group) << path;
    }
  }
}

// A process that works in the set's directory stays in the directory that
// holds the set: a host naming the set by a relative prefix finds the new
// one there.
TEST_F(SetReplacementTest, AProcessWorkingInTheDirectoryKeepsSeeingTheSet) {
  char before[4096];
  ASSERT_NE(getcwd(before, sizeof before), nullptr);
  ASSERT_EQ(chdir(directory_.c_str()), 0);
  const Status status = Replace();
  const std::string seen = FileExists("SVMModel") ? ReadFile("SVMModel") : "";
  ASSERT_EQ(chdir(before), 0);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(seen, "new SVMModel");
}

TEST_F(SetReplacementTest, EveryNewFileReachesTheDiskBeforeItIsInPlace) {
  for (const auto& setting : kBothWays) {
    gFaults = setting;
    gSynced.clear();
    ASSERT_TRUE(Replace().ok());
    for (const auto& name : kNames) {
      const bool synced = std::any_of(gSynced.begin(), gSynced.end(), [&](const std::string& path) {
        return path.find(kStagingStart) != std::string::npos && path.size() > name.size() &&
               path.compare(path.size() - name.size(), name.size(), name) == 0;
      });
      EXPECT_TRUE(synced) << name;
    }
  }
}

}  // namespace
}  // namespace wenlei
