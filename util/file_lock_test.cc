#include "util/file_lock.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "testutil/test_support.h"

namespace wenlei {
namespace {

// Whether another open file could take the lock on path now.
bool FreeForOthers(const std::string& path) {
  const int descriptor = open(path.c_str(), O_RDONLY);
  if (descriptor < 0) return true;
  const bool free = flock(descriptor, LOCK_EX | LOCK_NB) == 0;
  close(descriptor);
  return free;
}

TEST(FileLockTest, HoldsTheFileUntilUnlockedAndKeepsHoldingTheFileThePathNames) {
  testing::TempDir dir;
  const std::string path = dir.path() + "/SVMTestFile.dat.lock";
  FileLock lock;
  ASSERT_TRUE(lock.Lock(path).ok());
  EXPECT_FALSE(FreeForOthers(path));
  lock.Unlock();
  EXPECT_TRUE(FreeForOthers(path));

  // A lock file removed between classifications: the next lock takes the
  // file the path names again, not the one still open.
  std::remove(path.c_str());
  ASSERT_TRUE(lock.Lock(path).ok());
  EXPECT_TRUE(testing::FileExists(path));
  EXPECT_FALSE(FreeForOthers(path));
  {
    FileLock::Held held(lock);
  }
  EXPECT_TRUE(FreeForOthers(path));

  // Another path: the lock moves with it.
  const std::string other = dir.path() + "/other.lock";
  ASSERT_TRUE(lock.Lock(other).ok());
  EXPECT_FALSE(FreeForOthers(other));
  EXPECT_TRUE(FreeForOthers(path));
  lock.Unlock();
}

TEST(FileLockTest, AFileThatCannotBeMadeIsReportedWithTheSystemsReason) {
  testing::TempDir dir;
  FileLock lock;
  const std::string path = dir.path() + "/missing/SVMTestFile.dat.lock";
  const Status status = lock.Lock(path);
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), "cannot write " + path + ": No such file or directory");
}

}  // namespace
}  // namespace wenlei
