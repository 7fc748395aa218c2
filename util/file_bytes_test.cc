#include "util/file_bytes.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

// Joined with '/', never twice; the Windows forms are checked under Wine
// (tests/windows/file_paths_check.cc).
TEST(JoinPathTest, OneSeparatorBetweenDirectoryAndName) {
  struct Case {
    const char* directory;
    const char* name;
    const char* joined;
  };
  const Case cases[] = {
      {"sets/help", "Source.dat", "sets/help/Source.dat"},
      {"sets/help/", "Source.dat", "sets/help/Source.dat"},
      {"/", "SVMModel", "/SVMModel"},
      {"", "SVMModel", "SVMModel"},
      {"sets", "", "sets/"},
  };
  for (const Case& c : cases) EXPECT_EQ(JoinPath(c.directory, c.name), c.joined) << c.directory;
}

}  // namespace
}  // namespace wenlei
