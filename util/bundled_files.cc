#include "util/bundled_files.h"

namespace wenlei {

std::vector<std::string> BundledCandidates(const std::string& folder,
                                           const std::string& sourceModels,
                                           const std::string& relative) {
  std::vector<std::string> candidates;
  if (!folder.empty()) {
    for (const char* up : {"/../share/wenlei/models/", "/../../share/wenlei/models/", "/../models/"}) {
      candidates.push_back(folder + up + relative);
    }
  }
  if (!sourceModels.empty()) candidates.push_back(sourceModels + "/" + relative);
  return candidates;
}

}  // namespace wenlei
