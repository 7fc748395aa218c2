#ifndef WENLEI_UTIL_UTF8_FOPEN_H_
#define WENLEI_UTIL_UTF8_FOPEN_H_

/* fopen of a UTF-8 path (util/file_bytes.h's OpenFile).  libsvm opens its
 * model files with fopen, which takes the ANSI code page on Windows; the
 * Windows builds compile it with fopen renamed to this
 * (cmake/utf8_paths_for_libsvm.h), so that the library hands it UTF-8
 * paths there as everywhere. */

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

FILE *wenlei_utf8_fopen(const char *path, const char *mode);

#ifdef __cplusplus
}
#endif

#endif /* WENLEI_UTIL_UTF8_FOPEN_H_ */
