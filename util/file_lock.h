#ifndef WENLEI_UTIL_FILE_LOCK_H_
#define WENLEI_UTIL_FILE_LOCK_H_

#include <string>

#include "util/file_bytes.h"
#include "util/status.h"

namespace wenlei {

// An exclusive advisory lock on a file that processes take turns on: flock
// on POSIX systems, LockFileEx on Windows.  The file is created when
// missing, left empty and never removed by the lock (removing it would let
// a waiting process lock a file that a newcomer no longer sees).
//
// On POSIX systems the file stays open between locks, so a lock costs the
// locking calls alone; it is opened again when the path changes or no
// longer names the file held open (removed or replaced meanwhile).  On
// Windows it is closed with each unlock, since a file held open cannot be
// removed there.
class FileLock {
 public:
  // form: how the paths given name files on Windows (the exports' working
  // files are in the ANSI code page, a trained set's folder UTF-8).
  explicit FileLock(PathBytes form = PathBytes::kAnsi) : form_(form) {}
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Waits until the lock on path is ours.  A file that cannot be opened or
  // locked is an kIoError "cannot write PATH: REASON".
  Status Lock(const std::string& path);

  // Takes the lock on path when no one holds it, without waiting: *busy
  // tells whether another open file holds it (then the status is ok and the
  // lock is not ours).
  Status TryLock(const std::string& path, bool* busy);

  // Releases the lock.
  void Unlock();

  // Holds a lock until the end of a scope.
  class Held {
   public:
    explicit Held(FileLock& lock) : lock_(&lock) {}
    ~Held() { lock_->Unlock(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;

   private:
    FileLock* lock_;
  };

 private:
  bool LockOrExplain(const std::string& path, bool wait, bool* busy, std::string* reason);
  bool Open(const std::string& path, std::string* reason);
  void Close();
  bool StillNamesTheOpenFile() const;

  std::string path_;
  PathBytes form_;
  bool locked_ = false;
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int descriptor_ = -1;
  int opener_ = 0;  // the process that opened it
#endif
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_LOCK_H_
