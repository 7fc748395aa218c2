// The replacement of a set's files as the Windows builds do it (LockFileEx,
// hard links, MoveFileExW), run under Wine by scripts/windows; the same
// checks run on Linux.  In a directory with a Chinese name:
//
//   set_replacement_check DIRECTORY
//
// a second writer is refused while the first holds the lock; a commit puts
// every new file in place; a move that fails puts every old file back; a
// folder named like a staging directory that is not a writer's own stays.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "util/file_bytes.h"
#include "util/set_replacement.h"

namespace {

using wenlei::SetReplacement;

int failures = 0;

void Expect(bool condition, const std::string& what) {
  if (!condition) {
    std::fprintf(stderr, "set_replacement_check: %s\n", what.c_str());
    ++failures;
  }
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* file = wenlei::OpenFile(path, "wb");
  Expect(file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size(), "cannot write " + path);
  if (file != nullptr) std::fclose(file);
}

std::string ReadFile(const std::string& path) {
  std::string bytes;
  wenlei::ReadFileBytes(path, &bytes);
  return bytes;
}

// Replaces a and b with the given contents, failing the move of b when
// asked (moving the files one by one, where Linux would exchange the
// directory whole).
wenlei::Status Replace(const std::string& directory, const std::string& a, const std::string& b) {
  SetReplacement replacement;
  if (wenlei::Status begun = replacement.Begin(directory, {"a", "b"}); !begun.ok()) return begun;
  WriteFile(replacement.staging() + "a", a);
  WriteFile(replacement.staging() + "b", b);
  return replacement.Commit();
}

int FailRenameOfB(const std::string& step, const std::string& name) {
  if (step == "exchange") return EINVAL;
  return step == "rename" && name == "b" ? EIO : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: set_replacement_check DIRECTORY\n");
    return 2;
  }
  const std::string directory = std::string(argv[1]) + "/\xE9\x9B\x86\xE5\x90\x88";  // 集合
  std::error_code ignored;
  std::filesystem::remove_all(wenlei::Utf8Path(directory), ignored);
  std::filesystem::create_directories(wenlei::Utf8Path(directory), ignored);

  Expect(Replace(directory, "a1", "b1").ok(), "the first set is not written");
  Expect(ReadFile(directory + "/a") == "a1" && ReadFile(directory + "/b") == "b1", "the first set is wrong");

  {
    SetReplacement first, second;
    Expect(first.Begin(directory, {"a", "b"}).ok(), "the first writer cannot begin");
    const wenlei::Status refused = second.Begin(directory, {"a", "b"});
    Expect(!refused.ok() && refused.message().find("another training") != std::string::npos,
           "a second writer is not refused: " + refused.message());
  }

  Expect(Replace(directory, "a2", "b2").ok(), "the second set does not replace the first");
  Expect(ReadFile(directory + "/a") == "a2" && ReadFile(directory + "/b") == "b2", "the second set is wrong");

  wenlei::SetReplacementFaultForTesting(&FailRenameOfB);
  const wenlei::Status failed = Replace(directory, "a3", "b3");
  wenlei::SetReplacementFaultForTesting(nullptr);
  Expect(!failed.ok() && failed.message().find("the old files are kept") != std::string::npos,
         "a failed move is not reported: " + failed.message());
  Expect(ReadFile(directory + "/a") == "a2" && ReadFile(directory + "/b") == "b2",
         "a failed move leaves a mixture: " + ReadFile(directory + "/a") + " " + ReadFile(directory + "/b"));

  // Only a folder that holds the set's lock file is a writer's leftover.
  std::filesystem::create_directory(wenlei::Utf8Path(directory + "/" + wenlei::kStagingStart + "user00"), ignored);
  Expect(Replace(directory, "a4", "b4").ok(), "the set beside a user's folder is not written");
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(wenlei::Utf8Path(directory))) {
    (void)entry;
    ++entries;
  }
  Expect(entries == 3, "the user's folder is removed, or leftovers stay beside the set: " + std::to_string(entries) + " entries");
  if (failures == 0) std::printf("set replacement: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
