#include "util/process_lock.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace wenlei {
namespace {

constexpr int kLockCount = 6;

#if defined(_WIN32)

// Windows has no fork.  Critical sections rather than std::mutex: MinGW's
// default thread model has no std::mutex.
struct Sections {
  Sections() {
    for (CRITICAL_SECTION& section : sections) InitializeCriticalSection(&section);
  }
  CRITICAL_SECTION sections[kLockCount];
};

// Never destroyed: a call that ends the process may still hold a lock.
Sections& TheSections() {
  static Sections* sections = new Sections;
  return *sections;
}
[[maybe_unused]] Sections& kMadeAtLoad = TheSections();

}  // namespace

void LockProcessWide(ProcessLockId id) {
  EnterCriticalSection(&TheSections().sections[static_cast<int>(id)]);
}
void UnlockProcessWide(ProcessLockId id) {
  LeaveCriticalSection(&TheSections().sections[static_cast<int>(id)]);
}

#else

// Statically initialised, never destroyed: usable before any constructor
// runs and after the process's exit began.
pthread_mutex_t locks[kLockCount] = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER,
                                     PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER,
                                     PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER};

void TakeAllBeforeFork() {
  for (pthread_mutex_t& lock : locks) pthread_mutex_lock(&lock);
}

// The child has only the thread that forked, which holds them all.
void ReleaseAllAfterFork() {
  for (int i = kLockCount - 1; i >= 0; --i) pthread_mutex_unlock(&locks[i]);
}

// Registered when the library is loaded, before any thread can call it.
[[maybe_unused]] const int kForkHandlers =
    pthread_atfork(&TakeAllBeforeFork, &ReleaseAllAfterFork, &ReleaseAllAfterFork);

}  // namespace

void LockProcessWide(ProcessLockId id) { pthread_mutex_lock(&locks[static_cast<int>(id)]); }
void UnlockProcessWide(ProcessLockId id) { pthread_mutex_unlock(&locks[static_cast<int>(id)]); }

#endif

}  // namespace wenlei
