#include "tools/host/resource_directory.h"

#include <filesystem>
#include <system_error>

#include "util/file_bytes.h"

namespace wenlei {

std::string ResourceFilePath(const std::string& dir, const std::string& name) {
  return JoinPath(dir, name);
}

Status CheckResourceDirectory(const std::string& dir) {
  std::error_code code;
  if (!std::filesystem::is_directory(Utf8Path(dir), code)) {
    return Status(Status::Code::kNotFound, "no resource set at " + dir + " (not a directory)");
  }
  for (const char* name : {"Source.dat", "SVMModel"}) {
    const std::string path = ResourceFilePath(dir, name);
    if (!std::filesystem::is_regular_file(Utf8Path(path), code)) {
      return Status(Status::Code::kNotFound, "the resource set " + dir + " has no " + name);
    }
    FilePointer file;
    std::uint64_t size = 0;
    if (Status readable = OpenRegularFile(path, &file, &size); !readable.ok()) {
      return Status(Status::Code::kIoError, readable.message());
    }
  }
  return Status::Ok();
}

}  // namespace wenlei
