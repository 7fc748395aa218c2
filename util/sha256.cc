#include "util/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define WENLEI_SHA_INSTRUCTIONS 1
#include <cpuid.h>
#include <immintrin.h>
#else
#define WENLEI_SHA_INSTRUCTIONS 0
#endif

namespace wenlei {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::uint32_t RotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void CompressPortable(std::array<std::uint32_t, 8>& state, const unsigned char* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) {
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | std::uint32_t{block[4 * i + 3]};
  }
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int i = 0; i < 64; ++i) {
    const std::uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
    const std::uint32_t choice = (e & f) ^ (~e & g);
    const std::uint32_t t1 = h + s1 + choice + kRound[i] + w[i];
    const std::uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
    const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
    const std::uint32_t t2 = s0 + majority;
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

#if WENLEI_SHA_INSTRUCTIONS
bool HasShaInstructions() {
  unsigned eax, ebx, ecx, edx;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool ssse3 = (ecx & (1u << 9)) != 0, sse41 = (ecx & (1u << 19)) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  return ssse3 && sse41 && (ebx & (1u << 29)) != 0;
}

// The rounds with the SHA extensions: the state as the instructions hold
// it (ABEF and CDGH), four rounds per message vector, the schedule's next
// vector from the four before it.
__attribute__((target("sha,sse4.1,ssse3"))) void CompressWithShaInstructions(
    std::array<std::uint32_t, 8>& state, const unsigned char* blocks, std::size_t count) {
  const __m128i byteOrder = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[0])), 0xB1);
  __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&state[4])), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; count > 0; --count, blocks += 64) {
    const __m128i abefBefore = abef, cdghBefore = cdgh;
    __m128i message[4];
    for (int group = 0; group < 16; ++group) {
      __m128i& words = message[group % 4];
      if (group < 4) {
        words = _mm_shuffle_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)), byteOrder);
      } else {
        const __m128i& last = message[(group + 3) % 4];
        __m128i next = _mm_sha256msg1_epu32(words, message[(group + 1) % 4]);
        next = _mm_add_epi32(next, _mm_alignr_epi8(last, message[(group + 2) % 4], 4));
        words = _mm_sha256msg2_epu32(next, last);
      }
      __m128i scheduled = _mm_add_epi32(
          words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * group])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, scheduled);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(scheduled, 0x0E));
    }
    abef = _mm_add_epi32(abef, abefBefore);
    cdgh = _mm_add_epi32(cdgh, cdghBefore);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&state[4]), _mm_alignr_epi8(dchg, feba, 8));
}
#endif

}  // namespace

Sha256::Sha256(Instructions instructions)
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab,
             0x5be0cd19} {
#if WENLEI_SHA_INSTRUCTIONS
  static const bool available = HasShaInstructions();
  hardware_ = instructions == Instructions::kBest && available;
#else
  (void)instructions;
  hardware_ = false;
#endif
}

void Sha256::Compress(const unsigned char* blocks, std::size_t count) {
#if WENLEI_SHA_INSTRUCTIONS
  if (hardware_) {
    CompressWithShaInstructions(state_, blocks, count);
    return;
  }
#endif
  for (; count > 0; --count, blocks += 64) CompressPortable(state_, blocks);
}

void Sha256::Update(std::string_view bytes) {
  totalBytes_ += bytes.size();
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  if (blockUsed_ > 0) {
    const std::size_t take = std::min(left, sizeof block_ - blockUsed_);
    std::memcpy(block_ + blockUsed_, in, take);
    blockUsed_ += take;
    in += take;
    left -= take;
    if (blockUsed_ < sizeof block_) return;
    Compress(block_, 1);
    blockUsed_ = 0;
  }
  const std::size_t whole = left / sizeof block_;
  Compress(in, whole);
  in += whole * sizeof block_;
  left -= whole * sizeof block_;
  std::memcpy(block_, in, left);
  blockUsed_ = left;
}

std::string Sha256::FinishHex() {
  const std::uint64_t bits = totalBytes_ * 8;
  unsigned char padding[72] = {0x80};
  const std::size_t padLength = (blockUsed_ < 56 ? 56 : 120) - blockUsed_;
  for (int i = 0; i < 8; ++i) padding[padLength + i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
  Update(std::string_view(reinterpret_cast<const char*>(padding), padLength + 8));
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (std::uint32_t word : state_) {
    for (int shift = 28; shift >= 0; shift -= 4) hex.push_back(kDigits[(word >> shift) & 0xf]);
  }
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 digest;
  digest.Update(bytes);
  return digest.FinishHex();
}

}  // namespace wenlei
