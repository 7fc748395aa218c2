#ifndef WENLEI_UTIL_FILE_LOCK_H_
#define WENLEI_UTIL_FILE_LOCK_H_

#include <string>

namespace wenlei {

// An exclusive advisory lock on a file, held from Acquire until the object
// is destroyed: flock on POSIX systems, LockFileEx on Windows.  Processes
// that take the lock on the same file wait for each other; the file itself
// is created when missing, left empty and never removed (removing it would
// let a waiting process lock a file that a newcomer no longer sees).
class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens or creates path and waits until the lock is ours.  False, with
  // the system's reason in *reason, when the file cannot be opened or
  // locked.
  bool Acquire(const std::string& path, std::string* reason);

 private:
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int descriptor_ = -1;
#endif
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_LOCK_H_
