#include "util/error_text.h"

#include <cstring>

#include "util/process_lock.h"

namespace wenlei {

std::string ErrorText(int errorNumber) {
  ProcessWideLock lock(ProcessLockId::kCLibrary);
  return std::strerror(errorNumber);
}

}  // namespace wenlei
