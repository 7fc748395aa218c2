#include "util/working_file.h"

#include <cerrno>
#include <cstring>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace wenlei {

#if defined(_WIN32)

std::FILE* OpenForRewrite(const char* path) { return std::fopen(path, "w"); }

int CloseRewrite(std::FILE* file) {
  errno = 0;
  int error = std::fflush(file) != 0 || std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

#else

std::FILE* OpenForRewrite(const char* path) {
  // The flags of fopen's "w" without O_TRUNC.
  const int descriptor = open(path, O_WRONLY | O_CREAT, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* file = fdopen(descriptor, "w");
  if (file == nullptr) close(descriptor);
  return file;
}

int CloseRewrite(std::FILE* file) {
  // A failed write sets the stream's error flag; the flush then fails too,
  // or reports nothing when the failed bytes were dropped from the buffer.
  errno = 0;
  int error = 0;
  if (std::fflush(file) != 0 || std::ferror(file)) error = errno != 0 ? errno : EIO;
  if (error == 0) {
    const off_t end = ftello(file);
    if (end < 0 || ftruncate(fileno(file), end) != 0) error = errno;
  }
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

#endif

std::string SystemReason(int error) { return std::strerror(error); }

}  // namespace wenlei
