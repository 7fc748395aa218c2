#include "train/seeded_rand.h"

#include <stdlib.h>

namespace wenlei {
namespace {

std::mutex& GeneratorMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

SeededRand::SeededRand(unsigned seed)
    : lock_(GeneratorMutex()), previous_(initstate(seed, state_, sizeof state_)) {}

SeededRand::~SeededRand() { setstate(previous_); }

}  // namespace wenlei
