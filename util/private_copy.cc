#include "util/private_copy.h"
#include "util/error_text.h"
#include "util/file_bytes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace wenlei {
namespace {

Status CannotCopy(const std::string& reason) {
  return Status(Status::Code::kIoError, "cannot hold a private copy of a file: " + reason);
}

}  // namespace

Status PrivateCopy::Make(std::string_view bytes, std::unique_ptr<PrivateCopy>* copy) {
  std::unique_ptr<PrivateCopy> made(new PrivateCopy());
#if defined(_WIN32)
  // A UTF-8 path, which the Windows builds' libsvm opens as such.
  if (Status temporary = MakeTemporaryFile(&made->path_); !temporary.ok()) {
    return CannotCopy(temporary.message());
  }
  made->removeOnDestroy_ = true;
  std::FILE* file = OpenFile(made->path_, "wb");
  const bool written = file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file != nullptr && std::fclose(file) != 0) return CannotCopy(ErrorText(errno));
  if (!written) return CannotCopy("cannot write " + made->path_);
#else
  // A memory file is reached by its descriptor's name in /proc; where
  // either is missing, a temporary file takes its place.
#if defined(MFD_CLOEXEC)
  made->descriptor_ = memfd_create("wenlei-private-copy", MFD_CLOEXEC);
  if (made->descriptor_ >= 0) {
    made->path_ = "/proc/self/fd/" + std::to_string(made->descriptor_);
    if (access(made->path_.c_str(), R_OK) != 0) {
      close(made->descriptor_);
      made->descriptor_ = -1;
    }
  }
#endif
  if (made->descriptor_ < 0) {
    const char* directory = std::getenv("TMPDIR");
    std::string name = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                       "/wenlei-private-XXXXXX";
    made->descriptor_ = mkstemp(&name[0]);
    if (made->descriptor_ < 0) return CannotCopy("cannot create " + name + ": " + ErrorText(errno));
    fcntl(made->descriptor_, F_SETFD, FD_CLOEXEC);
    made->path_ = name;
    made->removeOnDestroy_ = true;
  }
  if (!WriteAll(made->descriptor_, bytes)) return CannotCopy(ErrorText(errno));
#endif
  *copy = std::move(made);
  return Status::Ok();
}

PrivateCopy::~PrivateCopy() {
#if defined(_WIN32)
  if (removeOnDestroy_) DeleteFileW(Utf8Path(path_).c_str());
#else
  if (removeOnDestroy_) unlink(path_.c_str());
  if (descriptor_ >= 0) close(descriptor_);
#endif
}

}  // namespace wenlei
