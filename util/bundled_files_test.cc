#include "util/bundled_files.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

TEST(BundledFilesTest, InstalledTreesComeBeforeTheBuildFolderAndTheSourceTree) {
  EXPECT_EQ(BundledCandidates("/p/lib", "/src/models", "help-zh"),
            (std::vector<std::string>{"/p/lib/../share/wenlei/models/help-zh",
                                      "/p/lib/../../share/wenlei/models/help-zh",
                                      "/p/lib/../models/help-zh", "/src/models/help-zh"}));
  EXPECT_EQ(BundledCandidates("", "/src/models", "a.txt"),
            (std::vector<std::string>{"/src/models/a.txt"}));
  EXPECT_TRUE(BundledCandidates("", "", "a.txt").empty());
}

}  // namespace
}  // namespace wenlei
