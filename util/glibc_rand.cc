#include "util/glibc_rand.h"

#include <cstdint>

namespace {

// glibc's TYPE_3: 31 words, the second tap 3 words ahead of the first.
constexpr int kDegree = 31;
constexpr int kSeparation = 3;

wenlei_glibc_rand_state state = [] {
  wenlei_glibc_rand_state seeded{};
  return seeded;
}();
bool seeded = false;

void Seed(wenlei_glibc_rand_state* s, unsigned seed) {
  // As glibc's srandom_r: Park and Miller's minimal standard generator by
  // Schrage's method fills the table, then 310 draws are discarded.
  std::int32_t word = static_cast<std::int32_t>(seed == 0 ? 1 : seed);
  s->table[0] = word;
  for (int i = 1; i < kDegree; ++i) {
    const std::int64_t hi = word / 127773;
    const std::int64_t lo = word % 127773;
    std::int64_t next = 16807 * lo - 2836 * hi;
    if (next < 0) next += 2147483647;
    word = static_cast<std::int32_t>(next);
    s->table[i] = word;
  }
  s->front = kSeparation;
  s->rear = 0;
  for (int i = 0; i < kDegree * 10; ++i) wenlei_glibc_rand();
}

}  // namespace

extern "C" int wenlei_glibc_rand(void) {
  if (!seeded) {  // glibc's generator starts as srand(1) left it
    seeded = true;
    Seed(&state, 1);
  }
  const std::uint32_t sum = static_cast<std::uint32_t>(state.table[state.front]) +
                            static_cast<std::uint32_t>(state.table[state.rear]);
  state.table[state.front] = static_cast<std::int32_t>(sum);
  if (++state.front >= kDegree) state.front = 0;
  if (++state.rear >= kDegree) state.rear = 0;
  return static_cast<int>(sum >> 1);
}

extern "C" void wenlei_glibc_srand(unsigned seed) {
  seeded = true;
  Seed(&state, seed);
}

extern "C" wenlei_glibc_rand_state* wenlei_glibc_rand_current(void) {
  if (!seeded) wenlei_glibc_srand(1);
  return &state;
}
