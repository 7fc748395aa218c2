#ifndef WENLEI_UTIL_GLIBC_RAND_H_
#define WENLEI_UTIL_GLIBC_RAND_H_

/* The GNU C library's rand() and srand() (its additive feedback generator
 * with the default 128-byte state), for the C libraries whose rand() draws
 * another sequence.  liblinear's and libsvm's solvers shuffle with rand();
 * the Windows builds compile them with rand and srand renamed to these
 * (cmake/glibc_rand_for_solvers.h), so that a training there gives the
 * bytes it gives on Linux.  One process-wide state, unsynchronised: the
 * trainer draws under its own lock (train/seeded_rand.h). */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct wenlei_glibc_rand_state {
  int table[31];
  int front, rear;
} wenlei_glibc_rand_state;

int wenlei_glibc_rand(void);
void wenlei_glibc_srand(unsigned seed);
/* The process-wide state, to save and restore around a seeded run. */
wenlei_glibc_rand_state *wenlei_glibc_rand_current(void);

#ifdef __cplusplus
}
#endif

#endif /* WENLEI_UTIL_GLIBC_RAND_H_ */
