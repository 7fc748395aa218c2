#include "util/file_bytes.h"
#include "util/error_text.h"
#include "util/utf8_fopen.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace wenlei {
namespace {

Status Unreadable(const std::string& path, const std::string& reason, Status::Code code) {
  return Status(code, "cannot read " + path + ": " + reason);
}

#if defined(_WIN32)
std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
  return wide;
}

// wide in the given code page; false when a character has no form there.
bool Narrow(const std::wstring& wide, UINT codePage, std::string* narrow) {
  narrow->clear();
  if (wide.empty()) return true;
  BOOL defaulted = FALSE;
  BOOL* lossy = codePage == CP_UTF8 ? nullptr : &defaulted;
  const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  const int length = WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, lossy);
  if (length == 0 || defaulted) return false;
  narrow->resize(static_cast<std::size_t>(length));
  WideCharToMultiByte(codePage, flags, wide.data(), size, &(*narrow)[0], length, nullptr, nullptr);
  return true;
}

// A replacement holds the file for well under a millisecond; a reader
// meeting it tries again after a short sleep, a bounded number of times.
constexpr int kSharingRetries = 100;
constexpr DWORD kSharingPauseMilliseconds = 10;

template <typename Open>
std::FILE* OpenUnlessHeldLong(Open open) {
  for (int attempt = 0;; ++attempt) {
    _doserrno = 0;
    std::FILE* file = open();
    if (file != nullptr || _doserrno != ERROR_SHARING_VIOLATION || attempt == kSharingRetries) {
      return file;
    }
    Sleep(kSharingPauseMilliseconds);
  }
}
#endif

}  // namespace

std::FILE* OpenFile(const std::string& path, const char* mode, PathBytes form) {
#if defined(_WIN32)
  if (form == PathBytes::kUtf8) {
    // Bytes that are not UTF-8 name no file rather than some other one.
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                            nullptr, 0) == 0 && !path.empty()) {
      errno = ENOENT;
      return nullptr;
    }
    const std::wstring widePath = Wide(path), wideMode = Wide(mode);
    return OpenUnlessHeldLong([&] { return _wfopen(widePath.c_str(), wideMode.c_str()); });
  }
  return OpenUnlessHeldLong([&] { return std::fopen(path.c_str(), mode); });
#else
  (void)form;
  return std::fopen(path.c_str(), mode);
#endif
}

#if defined(_WIN32)
Status MakeTemporaryFile(std::string* path) {
  wchar_t folder[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"wlm", 0, name) == 0 ||
      !Narrow(name, CP_UTF8, path)) {
    return Status(Status::Code::kIoError, "no temporary file can be made in the temporary folder");
  }
  return Status::Ok();
}

std::string AnsiPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  std::string ansi;
  if (Narrow(wide, CP_ACP, &ansi)) return ansi;
  const DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
  std::wstring shortened(length, L'\0');
  if (length == 0 || GetShortPathNameW(wide.c_str(), &shortened[0], length) != length - 1) return "";
  shortened.resize(length - 1);
  return Narrow(shortened, CP_ACP, &ansi) ? ansi : "";
}
#endif

std::string JoinPath(const std::string& directory, std::string_view name) {
  if (directory.empty()) return std::string(name);
#if defined(_WIN32)
  const std::size_t last = directory.find_last_of("\\/");
  const char separator = last == std::string::npos ? '\\' : directory[last];
  const bool ends = directory.back() == '\\' || directory.back() == '/' || directory.back() == ':';
#else
  const char separator = '/';
  const bool ends = directory.back() == '/';
#endif
  std::string path = directory;
  if (!ends) path.push_back(separator);
  path += name;
  return path;
}

std::filesystem::path Utf8Path(const std::string& path) {
#if defined(_WIN32)
  return std::filesystem::path(Wide(path));
#else
  return std::filesystem::path(path);
#endif
}

Status UnreadableFile(const std::string& path, int errorNumber) {
  if (errorNumber == 0) errorNumber = EIO;
  return Unreadable(path, ErrorText(errorNumber),
                    errorNumber == ENOENT || errorNumber == ENOTDIR ? Status::Code::kNotFound
                                                                    : Status::Code::kIoError);
}

Status OpenRegularFile(const std::string& path, FilePointer* file, std::uint64_t* size,
                       bool* special, PathBytes form) {
  if (special != nullptr) *special = false;
#if defined(_WIN32)
  errno = 0;
  FilePointer opened(OpenFile(path, "rb", form));
  if (opened == nullptr) return UnreadableFile(path, errno != 0 ? errno : EIO);
  struct _stat64 status;
  if (_fstat64(_fileno(opened.get()), &status) != 0) return UnreadableFile(path, errno);
  if ((status.st_mode & _S_IFMT) != _S_IFREG) {
    if (special != nullptr) *special = true;
    return Unreadable(path, "not a regular file", Status::Code::kIoError);
  }
#else
  (void)form;
  // Non-blocking, so that opening a FIFO without a writer returns at once;
  // the flag is cleared once the file is known to be regular.
  const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return UnreadableFile(path, errno);
  struct stat status;
  if (fstat(descriptor, &status) != 0) {
    const int error = errno;
    close(descriptor);
    return UnreadableFile(path, error);
  }
  if (!S_ISREG(status.st_mode)) {
    close(descriptor);
    if (special != nullptr) *special = true;
    return Unreadable(path, "not a regular file", Status::Code::kIoError);
  }
  const int flags = fcntl(descriptor, F_GETFL);
  if (flags >= 0) fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
  FilePointer opened(fdopen(descriptor, "rb"));
  if (opened == nullptr) {
    const int error = errno;
    close(descriptor);
    return UnreadableFile(path, error);
  }
#endif
  *size = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
  *file = std::move(opened);
  return Status::Ok();
}

Status ReadFileBytes(const std::string& path, std::string* bytes, PathBytes form, std::uint64_t limit) {
  FilePointer file;
  std::uint64_t size = 0;
  Status opened = OpenRegularFile(path, &file, &size, nullptr, form);
  if (!opened.ok()) return opened;
  if (size > limit) {
    return Unreadable(path, std::to_string(size) + " bytes, more than the " + std::to_string(limit) + " such a file may hold",
                      Status::Code::kTooLarge);
  }
  if (size > bytes->max_size()) return Unreadable(path, "too large", Status::Code::kTooLarge);
  try {
    bytes->resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return Unreadable(path, "out of memory", Status::Code::kNoMemory);
  }
  errno = 0;
  const std::size_t got = size == 0 ? 0 : std::fread(&(*bytes)[0], 1, bytes->size(), file.get());
  if (std::ferror(file.get())) return UnreadableFile(path, errno != 0 ? errno : EIO);
  // A file that shrank since it was opened is taken as it is now.
  bytes->resize(got);
  return Status::Ok();
}

FileComparison CompareFileBytes(const std::string& path, std::string_view expected,
                                PathBytes form) {
  FilePointer file;
  std::uint64_t size = 0;
  if (!OpenRegularFile(path, &file, &size, nullptr, form).ok()) return FileComparison::kUnreadable;
  if (size != expected.size()) return FileComparison::kDifferent;
  // Requests of this size bypass the stream's own buffer.
  char buffer[1 << 16];
  std::size_t at = 0;
  FileComparison verdict = FileComparison::kSame;
  while (at < expected.size()) {
    const std::size_t want = std::min(sizeof buffer, expected.size() - at);
    const std::size_t got = std::fread(buffer, 1, want, file.get());
    if (got == 0) break;
    if (std::memcmp(buffer, expected.data() + at, got) != 0) {
      verdict = FileComparison::kDifferent;
      break;
    }
    at += got;
  }
  if (std::ferror(file.get())) verdict = FileComparison::kUnreadable;
  if (verdict == FileComparison::kSame && at != expected.size()) verdict = FileComparison::kDifferent;
  return verdict;
}

#if !defined(_WIN32)
bool WriteAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(descriptor, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}
#endif

}  // namespace wenlei

#if defined(_WIN32)
extern "C" FILE* wenlei_utf8_fopen(const char* path, const char* mode) {
  return wenlei::OpenFile(path, mode);
}
#endif
