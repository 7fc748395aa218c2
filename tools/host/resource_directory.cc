#include "tools/host/resource_directory.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace wenlei {

std::string ResourceFilePath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

Status CheckResourceDirectory(const std::string& dir) {
  std::error_code code;
  if (!std::filesystem::is_directory(dir, code)) {
    return Status(Status::Code::kNotFound, "no resource set at " + dir + " (not a directory)");
  }
  for (const char* name : {"Source.dat", "SVMModel"}) {
    const std::string path = ResourceFilePath(dir, name);
    if (!std::filesystem::is_regular_file(path, code)) {
      return Status(Status::Code::kNotFound, "the resource set " + dir + " has no " + name);
    }
    if (access(path.c_str(), R_OK) != 0) {
      return Status(Status::Code::kIoError, "cannot read " + path + ": " + std::strerror(errno));
    }
  }
  return Status::Ok();
}

}  // namespace wenlei
