#ifndef WENLEI_UTIL_SHA256_H_
#define WENLEI_UTIL_SHA256_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace wenlei {

// SHA-256 (FIPS 180-4), fed in pieces.  Small and dependency-free, so the
// metadata file's digests need no crypto library on any platform.
//
// Where the processor has the x86 SHA extensions the blocks are compressed
// with them, several times faster: every training and every opening of a
// set digests its files.
class Sha256 {
 public:
  // kPortable keeps to the plain C++ compression (for tests that compare
  // the two).
  enum class Instructions { kBest, kPortable };

  explicit Sha256(Instructions instructions = Instructions::kBest);
  void Update(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits; the object is spent.
  std::string FinishHex();

 private:
  // Compresses count blocks of 64 bytes.
  void Compress(const unsigned char* blocks, std::size_t count);

  bool hardware_;
  std::array<std::uint32_t, 8> state_;
  unsigned char block_[64];
  std::size_t blockUsed_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest of bytes as lower-case hexadecimal.
std::string Sha256Hex(std::string_view bytes);

}  // namespace wenlei

#endif  // WENLEI_UTIL_SHA256_H_
