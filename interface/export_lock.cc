#include "interface/export_lock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <mutex>
#endif

namespace wenlei {
namespace {

#if defined(_WIN32)
// A critical section rather than std::mutex: MinGW's default thread model
// has no std::mutex.
struct ProcessLock {
  ProcessLock() { InitializeCriticalSection(&section); }
  void Lock() { EnterCriticalSection(&section); }
  void Unlock() { LeaveCriticalSection(&section); }
  CRITICAL_SECTION section;
};
#else
struct ProcessLock {
  void Lock() { mutex.lock(); }
  void Unlock() { mutex.unlock(); }
  std::mutex mutex;
};
#endif

ProcessLock& TheLock() {
  static ProcessLock* lock = new ProcessLock;  // never destroyed, see the header
  return *lock;
}

// Made when the library is loaded, before any thread can call an export.
[[maybe_unused]] ProcessLock& kMadeAtLoad = TheLock();

}  // namespace

ExportLock::ExportLock() { TheLock().Lock(); }

ExportLock::~ExportLock() { TheLock().Unlock(); }

}  // namespace wenlei
