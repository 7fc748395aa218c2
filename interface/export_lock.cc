#include "interface/export_lock.h"

#include "util/process_lock.h"

namespace wenlei {

ExportLock::ExportLock() { LockProcessWide(ProcessLockId::kExports); }

ExportLock::~ExportLock() { UnlockProcessWide(ProcessLockId::kExports); }

}  // namespace wenlei
