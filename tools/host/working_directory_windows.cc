// The working directory on Windows: a folder of its own under the temporary
// folder, named in the ANSI code page since its path is the prefix handed to
// LoadSource, with copies of the set's two files; removed with everything in
// it when the command ends.
#include "tools/host/working_directory.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "util/file_bytes.h"

namespace wenlei {
namespace {

std::string gLive;  // the live directory, for the exit-time clean-up

void RemoveLiveDirectory() {
  if (gLive.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(gLive), ignored);
  gLive.clear();
}

std::wstring AnsiWide(const std::string& ansi) {
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &wide[0], length);
  return wide;
}

}  // namespace

std::string WorkingDirectoryRoot() {
  char directory[MAX_PATH + 1];
  const DWORD length = GetTempPathA(sizeof directory, directory);
  if (length == 0 || length > MAX_PATH) return "";
  return std::string(directory, length) + "wenlei";
}

Status WorkingDirectory::Create(const std::string& resourceDir,
                                std::unique_ptr<WorkingDirectory>* made) {
  if (!gLive.empty()) return Status(Status::Code::kInternal, "a working directory is already in use");
  const std::string root = WorkingDirectoryRoot();
  if (root.empty()) return Status(Status::Code::kIoError, "no temporary folder for a working directory");
  CreateDirectoryA(root.c_str(), nullptr);
  std::random_device random;
  std::string path;
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    const std::string candidate = root + "\\run-" + std::to_string(GetCurrentProcessId()) + "-" +
                                  std::to_string(random() % 1000000);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) path = candidate;
  }
  if (path.empty()) return Status(Status::Code::kIoError, "cannot make a working directory under " + root);
  std::unique_ptr<WorkingDirectory> directory(new WorkingDirectory(path));
  static const bool installed = (std::atexit(RemoveLiveDirectory), true);
  (void)installed;
  gLive = path;
  for (const char* name : {"Source.dat", "SVMModel"}) {
    const std::wstring from = (Utf8Path(resourceDir) / name).wstring();
    const std::wstring to = AnsiWide(path + "\\" + name);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
      return Status(Status::Code::kIoError,
                    "cannot place " + resourceDir + "/" + name + " in " + path);  // the destructor cleans up
    }
  }
  *made = std::move(directory);
  return Status::Ok();
}

WorkingDirectory::~WorkingDirectory() { RemoveLiveDirectory(); }

}  // namespace wenlei
