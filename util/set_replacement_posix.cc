#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "util/set_replacement.h"
#include "util/set_replacement_files.h"

namespace wenlei::replacement_files {
namespace {

// Syncs the file or directory at path, opened without following a link.
int Sync(const std::string& path, int extraFlags) {
  const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | extraFlags);
  if (descriptor < 0) return errno;
  const int synced = fsync(descriptor) == 0 ? 0 : errno;
  close(descriptor);
  return synced;
}

}  // namespace

const char kSeparator = '/';

std::string WithoutFinalSeparators(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

int MakeStaging(const std::string& directory, std::string* staging) {
  std::string pattern = directory + "/" + kStagingStart + "XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) return errno;
  *staging = pattern + "/";
  return 0;
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

int SyncFile(const std::string& path) { return Sync(path, 0); }

int SyncDirectory(const std::string& path) { return Sync(path, O_DIRECTORY); }

int Examine(const std::string& path, Entry* entry) {
  struct stat information;
  if (lstat(path.c_str(), &information) != 0) {
    if (errno != ENOENT) return errno;
    *entry = Entry::kMissing;
    return 0;
  }
  *entry = S_ISDIR(information.st_mode) ? Entry::kDirectory : Entry::kFile;
  return 0;
}

// A hard link, or where the file system has none (FAT, some network
// shares) or refuses one to another user's file, a copy (of a link, the
// link itself).
int KeepOld(const std::string& target, const std::string& kept) {
  if (linkat(AT_FDCWD, target.c_str(), AT_FDCWD, kept.c_str(), 0) == 0) return 0;
  const int linkError = errno;
  if (linkError != EPERM && linkError != EOPNOTSUPP && linkError != EMLINK) return linkError;
  struct stat information;
  if (lstat(target.c_str(), &information) != 0) return errno;
  std::error_code copied;
  if (S_ISLNK(information.st_mode)) {
    std::filesystem::copy_symlink(target, kept, copied);
  } else {
    std::filesystem::copy_file(target, kept, copied);
  }
  return copied ? copied.value() : 0;
}

int MoveOver(const std::string& from, const std::string& to) {
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int Remove(const std::string& path) { return unlink(path.c_str()) == 0 ? 0 : errno; }

// Removed while still held: a writer that opened it meanwhile finds that
// its file lost its name and opens the path again (FileLock).
void RemoveLock(FileLock* lock, const std::string& path) {
  unlink(path.c_str());
  lock->Unlock();
}

}  // namespace wenlei::replacement_files
