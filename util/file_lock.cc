#include "util/file_lock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace wenlei {

#if defined(_WIN32)

namespace {

std::string SystemReason(DWORD error) {
  char text[256] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
  std::string reason(text, length);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason.empty() ? "error " + std::to_string(error) : reason;
}

}  // namespace

bool FileLock::Acquire(const std::string& path, std::string* reason) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *reason = SystemReason(GetLastError());
    return false;
  }
  OVERLAPPED whole = {};
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    *reason = SystemReason(GetLastError());
    CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  return true;
}

FileLock::~FileLock() {
  if (handle_ == nullptr) return;
  OVERLAPPED whole = {};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, MAXDWORD, MAXDWORD, &whole);
  CloseHandle(static_cast<HANDLE>(handle_));
}

#else

bool FileLock::Acquire(const std::string& path, std::string* reason) {
  int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  // A lock file that exists but may not be written still locks.
  if (descriptor < 0 && (errno == EACCES || errno == EROFS)) {
    const int openError = errno;
    descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) errno = openError;
  }
  if (descriptor < 0) {
    *reason = std::strerror(errno);
    return false;
  }
  int locked;
  do {
    locked = flock(descriptor, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    *reason = std::strerror(errno);
    close(descriptor);
    return false;
  }
  descriptor_ = descriptor;
  return true;
}

FileLock::~FileLock() {
  // Closing the only descriptor of the open file releases its lock.
  if (descriptor_ >= 0) close(descriptor_);
}

#endif

}  // namespace wenlei
