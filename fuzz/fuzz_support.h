#ifndef WENLEI_FUZZ_FUZZ_SUPPORT_H_
#define WENLEI_FUZZ_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "source/source_file.h"

// Every fuzz target defines these two; libFuzzer calls them, and so does the
// replay program (fuzz/replay_main.cc) that the normal test run uses.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace wenlei::fuzz {

// Takes the fuzzer's bytes from the front, one field at a time.  Past the
// end every field reads as zero bytes, so a short input is a valid one.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  bool empty() const { return at_ == size_; }
  std::size_t remaining() const { return size_ - at_; }

  std::uint8_t TakeByte() { return at_ < size_ ? data_[at_++] : 0; }
  std::int32_t TakeInt32();
  // Up to length bytes; fewer when the input runs out.
  std::string TakeBytes(std::size_t length);
  std::string TakeRest() { return TakeBytes(remaining()); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// A directory of this process for the files a target reads and writes,
// removed when the process ends normally.  Ends with its separator.
const std::string& ScratchPrefix();

void WriteWholeFile(const std::string& path, const std::string& bytes);

// The contents of the resource file a target built under prefix; a file
// that cannot be read back is a broken property of the target itself.
SourceFileContents ReadBuiltSourceFile(const char* target, const std::string& prefix);

// Reports a broken property and aborts, which libFuzzer records as a crash
// (with the input) and the replay program as a failed run.
[[noreturn]] void Fail(const char* target, const std::string& what);

}  // namespace wenlei::fuzz

#define FUZZ_CHECK(target, condition, what)                        \
  do {                                                             \
    if (!(condition)) ::wenlei::fuzz::Fail((target), (what));      \
  } while (0)

#endif  // WENLEI_FUZZ_FUZZ_SUPPORT_H_
