#ifndef WENLEI_UTIL_PROCESS_LOCK_H_
#define WENLEI_UTIL_PROCESS_LOCK_H_

namespace wenlei {

// The library's process-wide locks, which fork cannot leave held in the
// child.  A fork copies a lock that another thread holds, but not that
// thread, so the child would wait for it for ever; instead, fork first
// takes every one of these locks (waiting for the calls inside them to
// finish), and both processes release them after it.  Taken in the order
// of this enumeration whenever one is held while another is taken.
enum class ProcessLockId {
  kExports = 0,      // every exported function's whole call
  kDictionary = 1,   // loading a handle's segmentation dictionary
  kModelLoader = 2,  // libsvm's loader, which switches the process locale
  kContentTable = 3,  // building the table of content characters once
  kGbkTable = 4,      // building the UTF-8 to GBK table once
  // The C library's calls that take locks of its own, which fork does not
  // release in the child either: error texts (its locale lock).  Always
  // taken last.
  kCLibrary = 5,
};

void LockProcessWide(ProcessLockId id);
void UnlockProcessWide(ProcessLockId id);

// Holds one lock for a scope.
class ProcessWideLock {
 public:
  explicit ProcessWideLock(ProcessLockId id) : id_(id) { LockProcessWide(id_); }
  ~ProcessWideLock() { UnlockProcessWide(id_); }
  ProcessWideLock(const ProcessWideLock&) = delete;
  ProcessWideLock& operator=(const ProcessWideLock&) = delete;

 private:
  ProcessLockId id_;
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_PROCESS_LOCK_H_
