#include "tools/commands/bundled_files.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "util/bundled_files.h"

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
#ifdef WENLEI_SOURCE_MODELS_DIR
  const std::string sourceModels = WENLEI_SOURCE_MODELS_DIR;
#else
  const std::string sourceModels;
#endif
  std::vector<std::string> candidates =
      BundledCandidates(ExecutableFolder().string(), sourceModels, relative);
  if (candidates.empty()) candidates.push_back("models/" + relative);
  for (const auto& candidate : candidates) {
    std::error_code error;
    if (std::filesystem::exists(candidate, error)) {
      return std::filesystem::path(candidate).lexically_normal().string();
    }
  }
  return std::filesystem::path(candidates.back()).lexically_normal().string();
}

}  // namespace wenlei
