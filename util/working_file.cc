#include "util/working_file.h"
#include "util/error_text.h"

#include <cerrno>
#include <cstring>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace wenlei {

#if defined(_WIN32)

std::FILE* OpenForRewrite(const char* path) {
  // The link itself is opened, not its target, so a link found is never
  // written through, whatever replaces it meanwhile.
  HANDLE handle = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
            : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                                                                              : EIO;
    return nullptr;
  }
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    CloseHandle(handle);
    errno = kLinkRefused;
    return nullptr;
  }
  if (!SetEndOfFile(handle)) {
    CloseHandle(handle);
    errno = EACCES;
    return nullptr;
  }
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_TEXT);
  if (descriptor < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, "w");
  if (file == nullptr) _close(descriptor);
  return file;
}

int CloseRewrite(std::FILE* file) {
  errno = 0;
  int error = std::fflush(file) != 0 || std::ferror(file) ? (errno != 0 ? errno : EIO) : 0;
  errno = 0;
  if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

#else

std::FILE* OpenForRewrite(const char* path) {
  // The flags of fopen's "w" without O_TRUNC, and no link followed.
  const int descriptor = open(path, O_WRONLY | O_CREAT | O_NOFOLLOW, 0666);
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

std::string SystemReason(int error) {
  if (error == kLinkRefused) return "a symbolic link, which the library does not write through";
  return ErrorText(error);
}

}  // namespace wenlei
