/*
 * wenlei: assigns a category to a segmented Chinese document.
 *
 * The host segments a text into GBK words, hands the list to Classification
 * and receives the name of the most probable category (or two names joined
 * by " or ") in a buffer of its own.  The resource tables and the two
 * working files are shared by every handle of the process: each function
 * holds one process-wide lock for its whole call, so calls from several
 * threads take turns, and processes classifying with one prefix take turns
 * on an advisory lock beside the working files.
 *
 * This header is plain C.  The modern interface, <wenlei/wenlei.h>, is the
 * other half of the library's public surface.
 */
#ifndef WENLEI_EXPORTS_H_
#define WENLEI_EXPORTS_H_

#include <stddef.h>

#include "wenlei/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * One word of the host's segmented text.  28 bytes on 32-bit targets, 40 on
 * 64-bit ones.  When capacity < 16 the text lies inline in text.inline_bytes;
 * otherwise text.address points to it.  The library reads exactly length
 * bytes and never needs a terminating zero byte.
 */
typedef struct WordEntry {
  void *reserved;
  union {
    char inline_bytes[16];
    const char *address;
  } text;
  size_t length;
  size_t capacity;
} WordEntry;

/*
 * The host's list of words: first points at the first WordEntry (or is null
 * for an empty list), end points just past the last one.  The entries lie
 * contiguously; their number is (end - first) / sizeof(WordEntry).
 */
typedef struct WordList {
  void *reserved_begin;
  const WordEntry *first;
  const WordEntry *end;
  void *reserved_end;
} WordList;

/* Opaque handle from CreateClassifier. */
typedef struct WenleiClassifier *ClassifierHandle;

/* Capacity at and above which a WordEntry's text lies at text.address. */
#define WENLEI_INLINE_CAPACITY_LIMIT 16

/*
 * Classifies one word list and writes the answer and one zero byte to answer.
 * The buffer must hold the answer: 33 bytes for the fixed message given to
 * documents without known words, a label's length plus one otherwise.
 */
WENLEI_EXPORT void WENLEI_CALL Classification(ClassifierHandle handle,
                                           const WordList *words,
                                           char *answer);

/* Returns a new handle; every handle shares the process-wide resource set. */
WENLEI_EXPORT ClassifierHandle WENLEI_CALL CreateClassifier(void);

/*
 * Reads prefix + "Source.dat" and merges it into the resource tables; the
 * working files become prefix + "SVMModel", "SVMTestFile.dat" and
 * "resultFile.dat".  The prefix is used as it stands: a directory prefix
 * ends with its separator.  Returns 1 on success and 0 when the file is
 * malformed (the tables are then unchanged).  A missing file ends the
 * process.
 */
WENLEI_EXPORT unsigned char WENLEI_CALL LoadSource(const char *prefix);

/* Frees a handle; a null handle does nothing. */
WENLEI_EXPORT void WENLEI_CALL releaseClassifier(ClassifierHandle handle);

/* Empties the resource tables; paths and the average length stay. */
WENLEI_EXPORT void WENLEI_CALL releasesource(void);

#if !defined(_WIN32)
/*
 * Classifies count word lists with one prediction step, so the model is read
 * once, and writes answers[i] as Classification would for lists[i] alone
 * (each buffer sized by the same rule).  The test file then holds one record
 * per document that has known words, in list order, and the result file one
 * line per record.  Not part of the Windows DLL, which keeps the five
 * functions above.
 */
WENLEI_EXPORT void WENLEI_CALL BatchClassification(ClassifierHandle handle,
                                                const WordList *lists,
                                                size_t count, char *const *answers);
#endif

#ifdef __cplusplus
} /* extern "C" */
#endif

#ifdef __cplusplus
static_assert(sizeof(void *) != 4 || sizeof(WordEntry) == 28,
              "a 32-bit WordEntry is 28 bytes");
static_assert(sizeof(void *) != 8 || sizeof(WordEntry) == 40,
              "a 64-bit WordEntry is 40 bytes");
static_assert(sizeof(WordList) == 4 * sizeof(void *),
              "a WordList is four pointer-sized words");
#elif defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
_Static_assert(sizeof(void *) != 4 || sizeof(WordEntry) == 28,
               "a 32-bit WordEntry is 28 bytes");
_Static_assert(sizeof(void *) != 8 || sizeof(WordEntry) == 40,
               "a 64-bit WordEntry is 40 bytes");
_Static_assert(sizeof(WordList) == 4 * sizeof(void *),
               "a WordList is four pointer-sized words");
#endif

#endif /* WENLEI_EXPORTS_H_ */
