#include "util/set_replacement.h"

#include <windows.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "util/file_bytes.h"
#include "util/working_file.h"

namespace wenlei {
namespace {

using Code = Status::Code;
namespace fs = std::filesystem;

ReplacementFault gFault = nullptr;

// The errno a test injects at a step, or 0.
int Injected(const char* step, const std::string& name) {
  return gFault != nullptr ? gFault(step, name) : 0;
}

Status Failure(const std::string& what, int error) {
  return Status(Code::kIoError, what + ": " + SystemReason(error));
}

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

// Flushes a file's data to the disk.  Windows syncs no directory: NTFS
// journals its entries itself.
int Sync(const std::string& path) {
  HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastErrorNumber();
  const int synced = FlushFileBuffers(file) ? 0 : LastErrorNumber();
  CloseHandle(file);
  return synced;
}

// MoveFileExW over an existing file; a reader that has the file open (the
// library's readers open without FILE_SHARE_DELETE) makes it fail for as
// long as it reads, so it is tried again for a while.
bool MoveOver(const std::string& from, const std::string& to) {
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 100) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool IsStagingName(const std::string& name) {
  return name.size() == sizeof kStagingStart - 1 + 6 &&
         name.compare(0, sizeof kStagingStart - 1, kStagingStart) == 0;
}

// Only the lock holder has a staging directory, so every one found under
// the lock belongs to a writer that was killed outright.  A reparse point
// (a link or junction) is not a staging directory.
void RemoveLeftovers(const std::string& directory) {
  std::error_code status;
  std::vector<fs::path> found;
  for (fs::directory_iterator entry(Utf8Path(directory), status), end; !status && entry != end;
       entry.increment(status)) {
    if (!IsStagingName(entry->path().filename().u8string())) continue;
    const DWORD attributes = GetFileAttributesW(entry->path().c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      continue;
    }
    found.push_back(entry->path());
  }
  for (const auto& path : found) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
}

// Makes a staging directory with an unpredictable name; CreateDirectoryW
// fails on any name that exists, link or not.
bool MakeStaging(const std::string& directory, std::string* staging) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = kStagingStart;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const std::string path = directory + "\\" + name;
    if (CreateDirectoryW(Wide(path).c_str(), nullptr)) {
      *staging = path + "\\";
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

}  // namespace

void SetReplacementFaultForTesting(ReplacementFault fault) { gFault = fault; }

SetReplacement::~SetReplacement() { Finish(); }

Status SetReplacement::Begin(const std::string& directory) {
  Finish();
  directory_ = directory;
  while (directory_.size() > 3 && (directory_.back() == '/' || directory_.back() == '\\')) {
    directory_.pop_back();
  }
  lockPath_ = directory_ + "\\" + kSetLockName;
  bool busy = false;
  if (Status status = lock_.TryLock(lockPath_, &busy); !status.ok()) return status;
  if (busy) {
    return Status(Code::kIoError, "another training is writing " + directory +
                                      " (it holds " + lockPath_ + "); try again when it is done");
  }
  locked_ = true;
  RemoveLeftovers(directory_);
  if (!MakeStaging(directory_, &staging_)) {
    const int error = LastErrorNumber();
    Finish();
    return Failure("cannot write in " + directory, error);
  }
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
    if (error == 0) error = Sync(staging_ + name);
    if (error != 0) return Failure("cannot sync " + staging_ + name, error);
  }

  // The old files keep a second name (a hard link) in the staging
  // directory until every new one is in place.
  std::vector<bool> hadOld(names.size(), false);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + "\\" + names[i];
    const DWORD attributes = GetFileAttributesW(Wide(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const int error = LastErrorNumber();
      if (error == ENOENT) continue;
      return Failure("cannot look at " + target, error);
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Failure("cannot replace " + target, EISDIR);
    int error = Injected("keep", names[i]);
    if (error == 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) error = kLinkRefused;
    if (error == 0 && !CreateHardLinkW(Wide(staging_ + names[i] + ".old").c_str(), Wide(target).c_str(),
                                       nullptr)) {
      error = LastErrorNumber();
    }
    if (error != 0) return Failure("cannot keep the old " + target + " while it is replaced", error);
    hadOld[i] = true;
  }

  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = directory_ + "\\" + names[i];
    int error = Injected("rename", names[i]);
    if (error == 0 && !MoveOver(staging_ + names[i], target)) error = LastErrorNumber();
    if (error == 0) continue;
    std::string unrestored;
    for (std::size_t j = i; j-- > 0;) {
      const std::string moved = directory_ + "\\" + names[j];
      int undone = Injected("restore", names[j]);
      if (undone == 0) {
        const bool back = hadOld[j] ? MoveOver(staging_ + names[j] + ".old", moved)
                                    : DeleteFileW(Wide(moved).c_str()) != 0;
        if (!back) undone = LastErrorNumber();
      }
      if (undone != 0) unrestored += (unrestored.empty() ? "" : ", ") + moved + " (" + SystemReason(undone) + ")";
    }
    Status failed = Failure("cannot move the new " + names[i] + " into " + directory_, error);
    const std::string outcome =
        unrestored.empty() ? "; the old files are kept as they were"
                           : "; these could not be put back as they were: " + unrestored;
    return Status(failed.code(), failed.message() + outcome);
  }
  return Status::Ok();
}

void SetReplacement::Finish() {
  if (!staging_.empty()) {
    std::error_code ignored;
    fs::remove_all(Utf8Path(staging_.substr(0, staging_.size() - 1)), ignored);
    staging_.clear();
  }
  if (locked_) {
    // Windows removes no file held open: released first.  A writer that
    // locks it meanwhile keeps it (the removal then fails), which is sound.
    lock_.Unlock();
    DeleteFileW(Wide(lockPath_).c_str());
    locked_ = false;
  }
}

}  // namespace wenlei
