#include "tools/commands/bundled_files.h"

#include <filesystem>
#if defined(_WIN32)
#include <windows.h>
#endif
#include <system_error>
#include <vector>

#include "util/bundled_files.h"
#include "util/file_bytes.h"

namespace wenlei {
namespace {

std::filesystem::path ExecutableFolder() {
  std::error_code error;
#if defined(__linux__)
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return executable.parent_path();
#elif defined(_WIN32)
  wchar_t name[32768];
  const DWORD length = GetModuleFileNameW(nullptr, name, sizeof name / sizeof name[0]);
  if (length > 0 && length < sizeof name / sizeof name[0]) {
    return std::filesystem::path(std::wstring(name, length)).parent_path();
  }
#endif
  return {};
}

}  // namespace

std::string BundledPath(const std::string& relative) {
#ifdef WENLEI_SOURCE_MODELS_DIR
  const std::string sourceModels = WENLEI_SOURCE_MODELS_DIR;
#else
  const std::string sourceModels;
#endif
  std::vector<std::string> candidates =
      BundledCandidates(ExecutableFolder().u8string(), sourceModels, relative);
  if (candidates.empty()) candidates.push_back("models/" + relative);
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::exists(Utf8Path(candidate), error)) {
      return Utf8Path(candidate).lexically_normal().u8string();
    }
  }
  return Utf8Path(candidates.back()).lexically_normal().u8string();
}

}  // namespace wenlei
