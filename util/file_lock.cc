#include "util/file_lock.h"

#include "util/working_file.h"
#include "util/error_text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace wenlei {

FileLock::~FileLock() {
  Unlock();
  Close();
}

Status FileLock::Lock(const std::string& path) {
  std::string reason;
  bool busy = false;
  if (LockOrExplain(path, true, &busy, &reason)) return Status::Ok();
  return Status(Status::Code::kIoError, "cannot write " + path + ": " + reason);
}

Status FileLock::TryLock(const std::string& path, bool* busy) {
  std::string reason;
  *busy = false;
  if (LockOrExplain(path, false, busy, &reason) || *busy) return Status::Ok();
  return Status(Status::Code::kIoError, "cannot write " + path + ": " + reason);
}

bool FileLock::LockOrExplain(const std::string& path, bool wait, bool* busy,
                             std::string* reason) {
  if (path != path_) {
    Close();
    path_ = path;
  }
  // A file removed or replaced after it was opened is another file than the
  // one other processes open now: lock the one the path names.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (!Open(path, reason)) return false;
#if defined(_WIN32)
    OVERLAPPED whole = {};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!LockFileEx(static_cast<HANDLE>(handle_), flags, 0, MAXDWORD, MAXDWORD, &whole)) {
      const DWORD error = GetLastError();
      if (!wait && error == ERROR_LOCK_VIOLATION) {
        *busy = true;
        Close();
        return false;
      }
      char text[256] = {};
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text, sizeof text, nullptr);
      *reason = text[0] != '\0' ? text : "error " + std::to_string(error);
      while (!reason->empty() && (reason->back() == '\n' || reason->back() == '\r' ||
                                  reason->back() == '.')) {
        reason->pop_back();
      }
      Close();
      return false;
    }
    // Windows removes or replaces no file held open without
    // FILE_SHARE_DELETE: the handle is the file the path names.
    locked_ = true;
    return true;
#else
    int locked;
    do {
      locked = flock(descriptor_, wait ? LOCK_EX : LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && !wait && errno == EWOULDBLOCK) {
      *busy = true;
      return false;
    }
    if (locked != 0) {
      *reason = ErrorText(errno);
      Close();
      return false;
    }
    locked_ = true;
    if (StillNamesTheOpenFile()) return true;
    Unlock();
    Close();
#endif
  }
  *reason = "the lock file keeps being replaced";
  return false;
}

void FileLock::Unlock() {
  if (!locked_) return;
  locked_ = false;
#if defined(_WIN32)
  OVERLAPPED whole = {};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  // Windows cannot remove a file held open: closed at once, so a host may
  // remove its resource directory between calls.
  Close();
#else
  flock(descriptor_, LOCK_UN);
#endif
}

#if defined(_WIN32)

bool FileLock::Open(const std::string& path, std::string* reason) {
  if (handle_ != nullptr) return true;
  // The link itself is opened, not its target, and refused below.
  const DWORD access = GENERIC_READ | GENERIC_WRITE, sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
  const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle =
      form_ == PathBytes::kUtf8
          ? CreateFileW(Utf8Path(path).c_str(), access, sharing, nullptr, OPEN_ALWAYS, flags, nullptr)
          : CreateFileA(path.c_str(), access, sharing, nullptr, OPEN_ALWAYS, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    char text[256] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    *reason = text[0] != '\0' ? text : "error " + std::to_string(error);
    while (!reason->empty() &&
           (reason->back() == '\n' || reason->back() == '\r' || reason->back() == '.')) {
      reason->pop_back();
    }
    return false;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    *reason = SystemReason(kLinkRefused);
    return false;
  }
  handle_ = handle;
  return true;
}

void FileLock::Close() {
  if (handle_ == nullptr) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

bool FileLock::StillNamesTheOpenFile() const { return true; }

#else

bool FileLock::Open(const std::string& path, std::string* reason) {
  // A child process shares the open file with its parent, and flock locks
  // the open file: the two would not exclude each other.
  if (descriptor_ >= 0 && opener_ != getpid()) Close();
  if (descriptor_ >= 0) return true;
  // No link is followed: a link put in place of the lock file must not
  // make the library create or lock a file elsewhere.
  int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  // A lock file that exists but may not be written still locks.
  if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
    const int openError = errno;
    descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) errno = openError;
  }
  if (descriptor < 0) {
    *reason = SystemReason(errno);
    return false;
  }
  descriptor_ = descriptor;
  opener_ = getpid();
  return true;
}

void FileLock::Close() {
  if (descriptor_ < 0) return;
  close(descriptor_);
  descriptor_ = -1;
}

bool FileLock::StillNamesTheOpenFile() const {
  // Removing the file, or renaming another over it, leaves the open one
  // without a name; one fstat sees that without looking the path up.
  struct stat open;
  return fstat(descriptor_, &open) == 0 && open.st_nlink > 0;
}

#endif

}  // namespace wenlei
