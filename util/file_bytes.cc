#include "util/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace wenlei {

Status UnreadableFile(const std::string& path, int errorNumber) {
  if (errorNumber == 0) errorNumber = EIO;
  const Status::Code code = errorNumber == ENOENT || errorNumber == ENOTDIR ? Status::Code::kNotFound
                                                                           : Status::Code::kIoError;
  return Status(code, "cannot read " + path + ": " + std::strerror(errorNumber));
}

Status ReadFileBytes(const std::string& path, std::string* bytes) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return UnreadableFile(path, errno);
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
  const int error = std::ferror(file) != 0 ? errno : 0;
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? UnreadableFile(path, error) : Status::Ok();
}

FileComparison CompareFileBytes(const std::string& path, std::string_view expected) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return FileComparison::kUnreadable;
  // Requests of this size bypass the stream's own buffer.
  char buffer[1 << 16];
  std::size_t at = 0;
  FileComparison verdict = FileComparison::kSame;
  for (;;) {
    const std::size_t got = std::fread(buffer, 1, sizeof buffer, file);
    if (got == 0) break;
    if (got > expected.size() - at || std::memcmp(buffer, expected.data() + at, got) != 0) {
      verdict = FileComparison::kDifferent;
      break;
    }
    at += got;
  }
  if (std::ferror(file)) verdict = FileComparison::kUnreadable;
  if (verdict == FileComparison::kSame && at != expected.size()) verdict = FileComparison::kDifferent;
  std::fclose(file);
  return verdict;
}

}  // namespace wenlei
