/* Included before every line of liblinear's and libsvm's sources in the
 * Windows builds: their rand() and srand() become the GNU C library's
 * sequence (util/glibc_rand.h), so their shuffles match the Linux build's. */
#include <stdlib.h>
#include "util/glibc_rand.h"
#define rand wenlei_glibc_rand
#define srand wenlei_glibc_srand
