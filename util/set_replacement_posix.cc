#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

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

// Whether path has an access list, which a new directory would not share.
bool HasAccessList(const std::string& path) {
  for (const char* name : {"system.posix_acl_access", "system.posix_acl_default"}) {
    if (lgetxattr(path.c_str(), name, nullptr, 0) >= 0) return true;
  }
  return false;
}

}  // namespace

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

bool IsOwnDirectory(const std::string& path) {
  struct stat information;
  return lstat(path.c_str(), &information) == 0 && S_ISDIR(information.st_mode) &&
         information.st_uid == geteuid();
}

#if defined(RENAME_EXCHANGE)

namespace {

bool IsAtOrBelow(const std::string& path, const std::string& directory) {
  return path == directory || (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
                               path[directory.size()] == '/');
}

// Whether a process this one can see works in directory or below it: it
// would be left in the old directory by an exchange, and a host that names
// the set by a relative prefix there would lose it.
bool SomeoneWorksIn(const std::string& directory) {
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return false;
  bool found = false;
  char target[PATH_MAX];
  while (const dirent* entry = readdir(processes)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string link = std::string("/proc/") + entry->d_name + "/cwd";
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length <= 0) continue;
    if (IsAtOrBelow(std::string(target, static_cast<std::size_t>(length)), directory)) {
      found = true;
      break;
    }
  }
  closedir(processes);
  return found;
}

}  // namespace

// A mount point (its parent on another device) cannot be exchanged; a
// parent that cannot be written shows when the staging directory is made.
std::string ExchangeParent(const std::string& directory, std::string* real) {
  char* resolved = realpath(directory.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  *real = resolved;
  std::free(resolved);
  if (SomeoneWorksIn(*real)) return std::string();
  const std::size_t slash = real->rfind('/');
  if (*real == "/" || slash == std::string::npos) return std::string();
  std::string parent = slash == 0 ? "/" : real->substr(0, slash);
  struct stat own, above;
  if (stat(real->c_str(), &own) != 0 || stat(parent.c_str(), &above) != 0 || own.st_dev != above.st_dev) {
    return std::string();
  }
  return parent;
}

int ExchangeDirectories(const std::string& first, const std::string& second) {
  return renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE) == 0 ? 0 : errno;
}

int MoveIfAbsent(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  struct stat information;
  if (lstat(to.c_str(), &information) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

#else

std::string ExchangeParent(const std::string&, std::string*) { return std::string(); }

int ExchangeDirectories(const std::string&, const std::string&) { return ENOSYS; }

int MoveIfAbsent(const std::string& from, const std::string& to) {
  struct stat information;
  if (lstat(to.c_str(), &information) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

#endif

bool CannotExchange(int error) {
  switch (error) {
    case EINVAL: case ENOSYS: case EOPNOTSUPP: case EXDEV: case EBUSY: case EPERM: case EACCES:
      return true;
    default:
      return false;
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

// The owner only where the process may give any (chown clears the set-ID
// bits, so the mode follows it).
int GiveAccessOf(const std::string& old, const std::string& fresh, bool exact) {
  struct stat before, now;
  if (lstat(old.c_str(), &before) != 0) return exact ? errno : 0;
  if (!S_ISREG(before.st_mode) && !S_ISDIR(before.st_mode)) return exact ? EPERM : 0;
  if (exact && HasAccessList(old)) return EOPNOTSUPP;
  if (lstat(fresh.c_str(), &now) != 0) return errno;
  if (now.st_uid != before.st_uid || now.st_gid != before.st_gid) {
    const uid_t owner = geteuid() == 0 ? before.st_uid : static_cast<uid_t>(-1);
    if (lchown(fresh.c_str(), owner, before.st_gid) != 0 && exact) return errno;
    if (exact && owner != before.st_uid && now.st_uid != before.st_uid) return EPERM;
  }
  if (chmod(fresh.c_str(), before.st_mode & 07777) != 0) return errno;
  return 0;
}

int LinkEntry(const std::string& from, const std::string& to) {
  return linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0 ? 0 : errno;
}

// A hard link, or where the file system has none (FAT, some network
// shares) or refuses one to another user's file, a copy (of a link, the
// link itself).
int KeepOld(const std::string& target, const std::string& kept) {
  const int linkError = LinkEntry(target, kept);
  if (linkError == 0) return 0;
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

void BeforeRemovingStaging(FileLock*) {}

// Removed while still held: a writer that opened it meanwhile finds that
// its file lost its name and opens the path again (FileLock).
void RemoveLock(FileLock* lock, const std::string& path) {
  unlink(path.c_str());
  lock->Unlock();
}

}  // namespace wenlei::replacement_files
