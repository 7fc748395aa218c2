/* Included before every line of libsvm's source in the Windows builds: its
 * fopen becomes one that takes UTF-8 paths (util/utf8_fopen.h), as the
 * library's own file functions do there. */
#include "util/utf8_fopen.h"
#define fopen wenlei_utf8_fopen
