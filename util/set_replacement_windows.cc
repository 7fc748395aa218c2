#include <windows.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "util/file_bytes.h"
#include "util/set_replacement.h"
#include "util/set_replacement_files.h"
#include "util/working_file.h"

namespace wenlei::replacement_files {
namespace {

namespace fs = std::filesystem;

// The errno closest to the last Windows error, for the messages the POSIX
// version gives.
int LastErrorNumber() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    default: return EIO;
  }
}

std::wstring Wide(const std::string& utf8) { return Utf8Path(utf8).wstring(); }

}  // namespace

std::string WithoutFinalSeparators(std::string directory) {
  while (directory.size() > 3 && (directory.back() == '/' || directory.back() == '\\')) {
    directory.pop_back();
  }
  return directory;
}

// CreateDirectoryW fails on any name that exists, link or not.
int MakeStaging(const std::string& directory, std::string* staging) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = kStagingStart;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const std::string path = JoinPath(directory, name);
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) {
      *staging = JoinPath(path, "");
      return 0;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return LastErrorNumber();
  }
  return EEXIST;
}

// A reparse point (a link or junction) is not a directory of one's own.
bool IsOwnDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

// Windows exchanges no two directories in one step: the files move one by
// one.
std::string ExchangeParent(const std::string&, std::string*) { return std::string(); }

int ExchangeDirectories(const std::string&, const std::string&) { return ENOSYS; }

bool CannotExchange(int) { return true; }

// New files inherit the folder's access list, as the old ones did.
int GiveAccessOf(const std::string&, const std::string&, bool exact) { return exact ? ENOSYS : 0; }

int SyncFile(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorNumber();
  const int synced = FlushFileBuffers(file) ? 0 : LastErrorNumber();
  CloseHandle(file);
  return synced;
}

// Windows syncs no directory: NTFS journals its entries itself.
int SyncDirectory(const std::string&) { return 0; }

int Examine(const std::string& path, Entry* entry) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const int error = LastErrorNumber();
    if (error != ENOENT) return error;
    *entry = Entry::kMissing;
    return 0;
  }
  *entry = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Entry::kDirectory : Entry::kFile;
  return 0;
}

// A hard link; a link (reparse point) is refused, never followed.
int LinkEntry(const std::string& from, const std::string& to) {
  const DWORD attributes = GetFileAttributesW(Wide(from).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return kLinkRefused;
  }
  return CreateHardLinkW(Wide(to).c_str(), Wide(from).c_str(), nullptr) ? 0 : LastErrorNumber();
}

int KeepOld(const std::string& target, const std::string& kept) { return LinkEntry(target, kept); }

// MoveFileExW over an existing file; a reader that has the file open (the
// library's readers open without FILE_SHARE_DELETE) makes it fail for as
// long as it reads, so it is tried again for a while.
int MoveOver(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return 0;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
      return LastErrorNumber();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int MoveIfAbsent(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) ? 0 : LastErrorNumber();
}

int Remove(const std::string& path) { return DeleteFileW(Wide(path).c_str()) ? 0 : LastErrorNumber(); }

void BeforeRemovingStaging(FileLock* lock) { lock->Unlock(); }

// Windows removes no file held open: released first.  A writer that locks
// it meanwhile keeps it (the removal then fails), which is sound.
void RemoveLock(FileLock* lock, const std::string& path) {
  lock->Unlock();
  DeleteFileW(Wide(path).c_str());
}

}  // namespace wenlei::replacement_files
