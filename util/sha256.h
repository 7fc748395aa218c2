#ifndef WENLEI_UTIL_SHA256_H_
#define WENLEI_UTIL_SHA256_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace wenlei {

// SHA-256 (FIPS 180-4), fed in pieces.  Small and dependency-free, so the
// metadata file's digests need no crypto library on any platform.
class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits; the object is spent.
  std::string FinishHex();

 private:
  void Compress(const unsigned char* block);

  std::array<std::uint32_t, 8> state_;
  unsigned char block_[64];
  std::size_t blockUsed_ = 0;
  std::uint64_t totalBytes_ = 0;
};

// The digest of bytes as lower-case hexadecimal.
std::string Sha256Hex(std::string_view bytes);

}  // namespace wenlei

#endif  // WENLEI_UTIL_SHA256_H_
