#ifndef WENLEI_TRAIN_SEEDED_RAND_H_
#define WENLEI_TRAIN_SEEDED_RAND_H_

#include <mutex>

#include "util/glibc_rand.h"

namespace wenlei {

// liblinear's coordinate-descent solvers and libsvm's probability folds
// shuffle with the C library's rand(), so a training is repeatable only
// when rand() starts from a known seed.  While an object of this class
// lives, rand() draws the sequence srand(seed) would give, from a state
// of its own; afterwards the calling program's generator is where it left
// it, as if the library had never drawn.  One seeded training at a time in
// the process: the generator is the process's.  The solvers built from
// their sources draw glibc's sequence from util/glibc_rand.h instead, on
// every platform: that generator is seeded alike.
class SeededRand {
 public:
  explicit SeededRand(unsigned seed);
  ~SeededRand();
  SeededRand(const SeededRand&) = delete;
  SeededRand& operator=(const SeededRand&) = delete;

 private:
  std::lock_guard<std::mutex> lock_;
  wenlei_glibc_rand_state previousGlibc_;
#if !defined(_WIN32)
  // The size of glibc's default state, so that the sequence is the one
  // srand(seed) gives.
  alignas(8) char state_[128];
  char* previous_;
#endif
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_SEEDED_RAND_H_
