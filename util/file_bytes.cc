#include "util/file_bytes.h"

#include <cerrno>
#include <cstdio>

namespace wenlei {

bool ReadFileBytes(const std::string& path, std::string* bytes, int* errorNumber) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    if (errorNumber != nullptr) *errorNumber = errno;
    return false;
  }
  bytes->clear();
  // Sized once: a model of some megabytes is read whole.
  if (std::fseek(file, 0, SEEK_END) == 0) {
    const long size = std::ftell(file);
    if (size > 0) bytes->reserve(static_cast<std::size_t>(size));
    std::rewind(file);
  }
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes->append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  if (failed && errorNumber != nullptr) *errorNumber = errno;
  std::fclose(file);
  return !failed;
}

}  // namespace wenlei
