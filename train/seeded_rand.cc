#include "train/seeded_rand.h"

#include <stdlib.h>

namespace wenlei {
namespace {

std::mutex& GeneratorMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

#if defined(_WIN32)
SeededRand::SeededRand(unsigned seed)
    : lock_(GeneratorMutex()), previousGlibc_(*wenlei_glibc_rand_current()) {
  wenlei_glibc_srand(seed);
}

SeededRand::~SeededRand() { *wenlei_glibc_rand_current() = previousGlibc_; }
#else
SeededRand::SeededRand(unsigned seed)
    : lock_(GeneratorMutex()),
      previousGlibc_(*wenlei_glibc_rand_current()),
      previous_(initstate(seed, state_, sizeof state_)) {
  wenlei_glibc_srand(seed);
}

SeededRand::~SeededRand() {
  setstate(previous_);
  *wenlei_glibc_rand_current() = previousGlibc_;
}
#endif

}  // namespace wenlei
