#ifndef WENLEI_UTIL_BUNDLED_FILES_H_
#define WENLEI_UTIL_BUNDLED_FILES_H_

#include <string>
#include <vector>

namespace wenlei {

// Where a file or folder that comes with wenlei under models/ (the resource
// set "help-zh", "dictionary/dict.txt", "stop-words.txt", ...) is looked for,
// from the folder of the running library or program, in this order:
//   1. folder/../share/wenlei/models     an installed tree (PREFIX/lib, PREFIX/bin)
//   2. folder/../../share/wenlei/models  a library installed in PREFIX/lib/<multiarch>
//   3. folder/../models                  a build folder inside the source tree
//   4. sourceModels                      the source tree the code was built from
// The first that holds it wins; an installed tree moved as a whole keeps
// finding its own files.  An empty folder or sourceModels (unknown) adds
// no candidate.  The library (wenlei_default_resources) and the command
// both look in this order.
std::vector<std::string> BundledCandidates(const std::string& folder,
                                           const std::string& sourceModels,
                                           const std::string& relative);

}  // namespace wenlei

#endif  // WENLEI_UTIL_BUNDLED_FILES_H_
