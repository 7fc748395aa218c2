#ifndef WENLEI_UTIL_PRIVATE_COPY_H_
#define WENLEI_UTIL_PRIVATE_COPY_H_

#include <memory>
#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

// Bytes held in a file of this process's own, for a library that reads
// only by path (libsvm's model loader): it then parses exactly the bytes
// that were checked, whatever happens meanwhile to the file they came from.
// An anonymous memory file where the system has one, otherwise a temporary
// file that only this user may read, removed when the copy is destroyed.
class PrivateCopy {
 public:
  static Status Make(std::string_view bytes, std::unique_ptr<PrivateCopy>* copy);
  ~PrivateCopy();
  PrivateCopy(const PrivateCopy&) = delete;
  PrivateCopy& operator=(const PrivateCopy&) = delete;

  // A path that opens the copy, valid while it exists.
  const std::string& path() const { return path_; }

 private:
  PrivateCopy() = default;

  std::string path_;
  int descriptor_ = -1;
  bool removeOnDestroy_ = false;
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_PRIVATE_COPY_H_
