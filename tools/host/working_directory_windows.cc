// The working directory on Windows: a folder of its own under the temporary
// folder, made with the wide functions (the temporary folder's name may lie
// beyond the ANSI code page), with copies of the set's two files; removed
// with everything in it when the command ends.  Its path is the prefix
// handed to LoadSource, which takes the ANSI code page: the folder's ANSI
// form, or its short form where the name has none.
#include "tools/host/working_directory.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "util/file_bytes.h"

namespace wenlei {
namespace {

std::wstring gLive;  // the live directory, for the exit-time clean-up

void RemoveLiveDirectory() {
  if (gLive.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(gLive), ignored);
  gLive.clear();
}

std::filesystem::path TemporaryFolder() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return {};
  return std::filesystem::path(std::wstring(folder, length)) / L"wenlei";
}

}  // namespace

std::string WorkingDirectoryRoot() { return TemporaryFolder().u8string(); }

Status WorkingDirectory::Create(const std::string& resourceDir,
                                std::unique_ptr<WorkingDirectory>* made) {
  if (!gLive.empty()) return Status(Status::Code::kInternal, "a working directory is already in use");
  const std::filesystem::path root = TemporaryFolder();
  if (root.empty()) return Status(Status::Code::kIoError, "no temporary folder for a working directory");
  CreateDirectoryW(root.c_str(), nullptr);
  std::random_device random;
  std::filesystem::path path;
  for (int attempt = 0; attempt < 100 && path.empty(); ++attempt) {
    const std::filesystem::path candidate =
        root / ("run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(random() % 1000000));
    if (CreateDirectoryW(candidate.c_str(), nullptr)) path = candidate;
  }
  if (path.empty()) {
    return Status(Status::Code::kIoError, "cannot make a working directory under " + root.u8string());
  }
  static const bool installed = (std::atexit(RemoveLiveDirectory), true);
  (void)installed;
  gLive = path.wstring();
  const std::string ansi = AnsiPath(path.u8string());
  if (ansi.empty()) {
    RemoveLiveDirectory();
    return Status(Status::Code::kIoError, "the working directory " + path.u8string() +
                                              " has no name in the ANSI code page, which LoadSource "
                                              "takes");
  }
  std::unique_ptr<WorkingDirectory> directory(new WorkingDirectory(ansi));
  for (const char* name : {"Source.dat", "SVMModel"}) {
    if (!CopyFileW((Utf8Path(resourceDir) / name).c_str(), (path / name).c_str(), FALSE)) {
      return Status(Status::Code::kIoError, "cannot place " + JoinPath(resourceDir, name) + " in " +
                                                path.u8string());  // the destructor cleans up
    }
  }
  *made = std::move(directory);
  return Status::Ok();
}

WorkingDirectory::~WorkingDirectory() { RemoveLiveDirectory(); }

}  // namespace wenlei
