#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "source/source_data.h"
#include "testutil/test_support.h"

namespace wenlei::fuzz {

std::int32_t FuzzInput::TakeInt32() {
  std::uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits |= std::uint32_t(TakeByte()) << (8 * i);
  std::int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string FuzzInput::TakeBytes(std::size_t length) {
  if (length > remaining()) length = remaining();
  std::string bytes(reinterpret_cast<const char*>(data_ + at_), length);
  at_ += length;
  return bytes;
}

const std::string& ScratchPrefix() {
  // Destroyed, with its files, by the normal process exit.
  static const wenlei::testing::TempDir directory;
  static const std::string prefix = directory.prefix();
  return prefix;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                         &std::fclose);
  if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) {
    throw std::runtime_error("cannot write " + path);
  }
}

void Fail(const char* target, const std::string& what) {
  std::fprintf(stderr, "fuzz target %s: %s\n", target, what.c_str());
  std::fflush(stderr);
  std::abort();
}

SourceFileContents ReadBuiltSourceFile(const char* target, const std::string& prefix) {
  SourceFileContents contents;
  const std::string path = prefix + kSourceFileName;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) Fail(target, "cannot open the generated resource file " + path);
  const Status read = ReadSourceFile(file, &contents);
  std::fclose(file);
  if (!read.ok()) Fail(target, "cannot read the generated resource file " + read.message());
  return contents;
}

}  // namespace wenlei::fuzz
