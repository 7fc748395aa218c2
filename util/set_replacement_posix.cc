#include "util/set_replacement.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "util/working_file.h"

namespace wenlei {
namespace {

using Code = Status::Code;

ReplacementFault gFault = nullptr;

// The errno a test injects at a step, or 0.
int Injected(const char* step, const std::string& name) {
  return gFault != nullptr ? gFault(step, name) : 0;
}

Status Failure(const std::string& what, int error) {
  return Status(Code::kIoError, what + ": " + SystemReason(error));
}

// Syncs the file or directory at path, opened without following a link.
int Sync(const std::string& path, int extraFlags) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | extraFlags);
  if (descriptor < 0) return errno;
  const int synced = fsync(descriptor) == 0 ? 0 : errno;
  close(descriptor);
  return synced;
}

// Whether a name is one that Begin gives staging directories (mkdtemp's
// six characters after the start).
bool IsStagingName(const std::string& name) {
  return name.size() == sizeof kStagingStart - 1 + 6 &&
         name.compare(0, sizeof kStagingStart - 1, kStagingStart) == 0;
}

// Only the lock holder has a staging directory, so every one found under
// the lock belongs to a writer that was killed outright.  Only this user's
// own directories are removed (a link is not a staging directory, and
// remove_all follows none inside one).
void RemoveLeftovers(const std::string& directory) {
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return;
  std::vector<std::string> found;
  while (const dirent* entry = readdir(listing)) {
    if (IsStagingName(entry->d_name)) found.emplace_back(entry->d_name);
  }
  closedir(listing);
  for (const auto& name : found) {
    const std::string path = directory + "/" + name;
    struct stat information;
    if (lstat(path.c_str(), &information) != 0 || !S_ISDIR(information.st_mode) ||
        information.st_uid != geteuid()) {
      continue;
    }
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
}

}  // namespace

void SetReplacementFaultForTesting(ReplacementFault fault) { gFault = fault; }

SetReplacement::~SetReplacement() { Finish(); }

Status SetReplacement::Begin(const std::string& directory) {
  Finish();
  directory_ = directory;
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
  lockPath_ = directory_ + "/" + kSetLockName;
  bool busy = false;
  if (Status status = lock_.TryLock(lockPath_, &busy); !status.ok()) return status;
  if (busy) {
    return Status(Code::kIoError, "another training is writing " + directory +
                                      " (it holds " + lockPath_ + "); try again when it is done");
  }
  locked_ = true;
  RemoveLeftovers(directory_);
  std::string pattern = directory_ + "/" + kStagingStart + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    const int error = errno;
    Finish();
    return Failure("cannot write in " + directory, error);
  }
  staging_ = pattern + "/";
  return Status::Ok();
}

Status SetReplacement::Written(const std::string& name) const {
  if (const int error = Injected("write", name)) return Failure("cannot write " + staging_ + name, error);
  return Status::Ok();
}

Status SetReplacement::Commit(const std::vector<std::string>& names) {
  if (staging_.empty()) return Status(Code::kInternal, "no staging directory to move files from");
  for (const auto& name : names) {
    int error = Injected("sync", name);
    if (error == 0) error = Sync(staging_ + name, 0);
    if (error != 0) return Failure("cannot sync " + staging_ + name, error);
  }
  if (const int error = Sync(staging_, O_DIRECTORY)) return Failure("cannot sync " + staging_, error);

  // The old files keep a second name in the staging directory until every
  // new one is in place; a link there is kept as a link, never followed.
  std::vector<bool> hadOld(names.size(), false);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + "/" + names[i];
    struct stat information;
    if (lstat(target.c_str(), &information) != 0) {
      if (errno == ENOENT) continue;
      return Failure("cannot look at " + target, errno);
    }
    if (S_ISDIR(information.st_mode)) return Failure("cannot replace " + target, EISDIR);
    int error = Injected("keep", names[i]);
    if (error == 0 && linkat(AT_FDCWD, target.c_str(), AT_FDCWD,
                             (staging_ + names[i] + ".old").c_str(), 0) != 0) {
      error = errno;
    }
    if (error != 0) return Failure("cannot keep the old " + target + " while it is replaced", error);
    hadOld[i] = true;
  }

  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + "/" + names[i];
    int error = Injected("rename", names[i]);
    if (error == 0 && rename((staging_ + names[i]).c_str(), target.c_str()) != 0) error = errno;
    if (error == 0) continue;
    std::string unrestored;
    for (std::size_t j = i; j-- > 0;) {
      const std::string moved = directory_ + "/" + names[j];
      int undone = Injected("restore", names[j]);
      if (undone == 0) {
        const bool back = hadOld[j] ? rename((staging_ + names[j] + ".old").c_str(), moved.c_str()) == 0
                                    : unlink(moved.c_str()) == 0;
        if (!back) undone = errno;
      }
      if (undone != 0) unrestored += (unrestored.empty() ? "" : ", ") + moved + " (" + SystemReason(undone) + ")";
    }
    Status failed = Failure("cannot move the new " + names[i] + " into " + directory_, error);
    const std::string outcome =
        unrestored.empty() ? "; the old files are kept as they were"
                           : "; these could not be put back as they were: " + unrestored;
    return Status(failed.code(), failed.message() + outcome);
  }
  // Where the system can, the directory's new entries reach the disk too;
  // the files have, so a crash leaves one whole set or the other.
  Sync(directory_, O_DIRECTORY);
  return Status::Ok();
}

void SetReplacement::Finish() {
  if (!staging_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(staging_.substr(0, staging_.size() - 1), ignored);
    staging_.clear();
  }
  if (locked_) {
    // Removed while still held: a writer that opened it meanwhile finds
    // that its file lost its name and opens the path again (FileLock).
    unlink(lockPath_.c_str());
    lock_.Unlock();
    locked_ = false;
  }
}

}  // namespace wenlei
