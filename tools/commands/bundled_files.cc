#include "tools/commands/bundled_files.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace wenlei {
namespace {

std::filesystem::path ExecutableFolder() {
  std::error_code error;
#if defined(__linux__)
  std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return executable.parent_path();
#endif
  return {};
}

}  // namespace

std::string BundledPath(const std::string& relative) {
  std::vector<std::filesystem::path> candidates;
  std::filesystem::path folder = ExecutableFolder();
  if (!folder.empty()) {
    candidates.push_back(folder.parent_path() / "models" / relative);
    candidates.push_back(folder.parent_path() / "share" / "wenlei" / "models" / relative);
  }
#ifdef WENLEI_SOURCE_MODELS_DIR
  candidates.push_back(std::filesystem::path(WENLEI_SOURCE_MODELS_DIR) / relative);
#endif
  if (candidates.empty()) candidates.push_back(std::filesystem::path("models") / relative);
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::exists(candidate, error)) return candidate.lexically_normal().string();
  }
  return candidates.back().lexically_normal().string();
}

}  // namespace wenlei
