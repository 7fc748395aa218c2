/*
 * A host as a Microsoft toolchain builds it: compiled in MSVC mode against
 * the library's public header, linked against the import library wenlei.lib
 * (and a kernel32.lib) with no C runtime, so the DLL is reached only through
 * the import library's entries.  It classifies every line of a documents
 * file with the header's own WordList and WordEntry records and writes each
 * answer's bytes in hexadecimal, one line per document, like host_test's
 * answers mode.  Each document's words go to the modern interface of
 * wenlei.h too (the same resource set, opened with wenlei_open), whose GBK
 * answer must be the exports' very bytes: the import library covers both.
 *
 *   msvc_host PREFIX DOCUMENTS OUTPUT
 *
 * No C runtime means no headers beyond the freestanding ones: the few
 * kernel32 functions used are declared here, and memset, memcpy and memcmp
 * are defined here for the code the compiler generates.
 */
#include <stddef.h>
#include <stdint.h>

#include <wenlei/exports.h>
#include <wenlei/wenlei.h>

/* ------------------------------------------------------------ kernel32 */

typedef void *HANDLE;
typedef unsigned long DWORD;
typedef int BOOL;

#define INVALID_HANDLE (HANDLE)(intptr_t)-1
#define STD_OUTPUT (DWORD)-11
#define STD_ERROR (DWORD)-12
#define GENERIC_READ_ACCESS 0x80000000UL
#define GENERIC_WRITE_ACCESS 0x40000000UL
#define OPEN_EXISTING_FILE 3
#define CREATE_ALWAYS_FILE 2
#define HEAP_ZERO 0x00000008UL

__declspec(dllimport) HANDLE __stdcall GetStdHandle(DWORD which);
__declspec(dllimport) BOOL __stdcall WriteFile(HANDLE file, const void *data, DWORD size,
                                               DWORD *written, void *overlapped);
__declspec(dllimport) BOOL __stdcall ReadFile(HANDLE file, void *data, DWORD size, DWORD *read,
                                              void *overlapped);
__declspec(dllimport) HANDLE __stdcall CreateFileA(const char *path, DWORD access, DWORD share,
                                                   void *security, DWORD disposition,
                                                   DWORD flags, HANDLE model);
__declspec(dllimport) DWORD __stdcall GetFileSize(HANDLE file, DWORD *high);
__declspec(dllimport) BOOL __stdcall CloseHandle(HANDLE handle);
__declspec(dllimport) HANDLE __stdcall GetProcessHeap(void);
__declspec(dllimport) void *__stdcall HeapAlloc(HANDLE heap, DWORD flags, size_t size);
__declspec(dllimport) char *__stdcall GetCommandLineA(void);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int status);

/* ------------------------------------------------------------ support */

void *memset(void *to, int value, size_t size) {
  unsigned char *p = to;
  while (size-- > 0) *p++ = (unsigned char)value;
  return to;
}

void *memcpy(void *to, const void *from, size_t size) {
  unsigned char *p = to;
  const unsigned char *q = from;
  while (size-- > 0) *p++ = *q++;
  return to;
}

int memcmp(const void *a, const void *b, size_t size) {
  const unsigned char *p = a, *q = b;
  for (; size > 0; --size, ++p, ++q) {
    if (*p != *q) return *p < *q ? -1 : 1;
  }
  return 0;
}

static size_t Length(const char *text) {
  size_t n = 0;
  while (text[n] != '\0') ++n;
  return n;
}

static void Write(HANDLE file, const char *data, size_t size) {
  DWORD written = 0;
  if (!WriteFile(file, data, (DWORD)size, &written, NULL) || written != size) ExitProcess(3);
}

static void Die(const char *message, const char *detail) {
  HANDLE error = GetStdHandle(STD_ERROR);
  Write(error, "msvc_host: ", 11);
  Write(error, message, Length(message));
  Write(error, detail, Length(detail));
  Write(error, "\r\n", 2);
  ExitProcess(2);
}

static void *Allocate(size_t size) {
  void *memory = HeapAlloc(GetProcessHeap(), HEAP_ZERO, size ? size : 1);
  if (memory == NULL) Die("out of memory", "");
  return memory;
}

static char *ReadWholeFile(const char *path, size_t *size) {
  HANDLE file = CreateFileA(path, GENERIC_READ_ACCESS, 1, NULL, OPEN_EXISTING_FILE, 0, NULL);
  DWORD length, read = 0;
  char *data;
  if (file == INVALID_HANDLE) Die("cannot open ", path);
  length = GetFileSize(file, NULL);
  data = Allocate((size_t)length + 1);
  if (!ReadFile(file, data, length, &read, NULL) || read != length) Die("cannot read ", path);
  CloseHandle(file);
  *size = length;
  return data;
}

/* Splits the command line into at most max arguments; a double-quoted part
 * may hold blanks (no argument here contains a quote). */
static int SplitCommandLine(char *line, char **arguments, int max) {
  int count = 0;
  while (*line != '\0' && count < max) {
    char *out;
    int quoted = 0;
    while (*line == ' ' || *line == '\t') ++line;
    if (*line == '\0') break;
    arguments[count++] = out = line;
    for (; *line != '\0' && (quoted || (*line != ' ' && *line != '\t')); ++line) {
      if (*line == '"') {
        quoted = !quoted;
      } else {
        *out++ = *line;
      }
    }
    if (*line != '\0') ++line;
    *out = '\0';
  }
  return count;
}

/* ------------------------------------------------------------ the host */

enum { kInlineCapacity = 15, kAnswerBufferSize = 1024 };

static wenlei_classifier *modern;

/* One document: words inline while they fit, at an address otherwise, the
 * way a host's short-string optimisation stores them. */
static void AnswerLine(ClassifierHandle handle, const char *line, size_t length, char *hex,
                       size_t *hexLength) {
  static const char kDigits[] = "0123456789abcdef";
  WordEntry *entries = Allocate(sizeof(WordEntry) * (length + 1));
  const char **words = Allocate(sizeof(char *) * (length + 1));
  size_t *lengths = Allocate(sizeof(size_t) * (length + 1));
  wenlei_result *result = NULL;
  const char *modernAnswer;
  unsigned char answer[kAnswerBufferSize];
  size_t count = 0, start = 0, i, n = 0;
  WordList list;
  for (i = 0; i <= length; ++i) {
    if (i == length || line[i] == ' ') {
      if (i > start) {
        WordEntry *entry = &entries[count];
        size_t wordLength = i - start;
        words[count] = line + start;
        lengths[count++] = wordLength;
        if (wordLength <= kInlineCapacity) {
          memcpy(entry->text.inline_bytes, line + start, wordLength);
          entry->capacity = kInlineCapacity;
        } else {
          entry->text.address = line + start;
          entry->capacity = wordLength;
        }
        entry->length = wordLength;
      }
      start = i + 1;
    }
  }
  memset(&list, 0, sizeof list);
  list.first = count == 0 ? NULL : entries;
  list.end = count == 0 ? NULL : entries + count;
  memset(answer, 0x5A, sizeof answer);
  Classification(handle, &list, (char *)answer);
  for (i = 0; i < sizeof answer && answer[i] != 0; ++i) {
    hex[n++] = kDigits[answer[i] >> 4];
    hex[n++] = kDigits[answer[i] & 15];
  }
  if (i == sizeof answer) Die("an answer without its zero byte", "");
  if (wenlei_classify_words(modern, words, lengths, count, WENLEI_GBK, &result, NULL) != WENLEI_OK) {
    Die("wenlei_classify_words failed", "");
  }
  modernAnswer = wenlei_result_answer_gbk(result);
  if (memcmp(modernAnswer, answer, i + 1) != 0) Die("the modern interface answers otherwise", "");
  wenlei_result_free(result);
  hex[n++] = '\n';
  *hexLength = n;
}

int __cdecl HostMain(void) {
  char *arguments[5];
  char *documents, *hex = Allocate(2 * kAnswerBufferSize + 2);
  size_t size, start = 0, hexLength;
  unsigned done = 0;
  HANDLE output;
  ClassifierHandle handle;
  if (SplitCommandLine(GetCommandLineA(), arguments, 5) != 4) {
    Die("usage: msvc_host PREFIX DOCUMENTS OUTPUT", "");
  }
  documents = ReadWholeFile(arguments[2], &size);
  output = CreateFileA(arguments[3], GENERIC_WRITE_ACCESS, 0, NULL, CREATE_ALWAYS_FILE, 0, NULL);
  if (output == INVALID_HANDLE) Die("cannot create ", arguments[3]);
  if (LoadSource(arguments[1]) != 1) Die("cannot load the resource set ", arguments[1]);
  handle = CreateClassifier();
  if (handle == NULL) Die("CreateClassifier returned null", "");
  if (wenlei_open(arguments[1], NULL, &modern, NULL) != WENLEI_OK) {
    Die("wenlei_open cannot open ", arguments[1]);
  }
  while (start < size) {
    size_t end = start, lineEnd;
    while (end < size && documents[end] != '\n') ++end;
    lineEnd = end;
    if (lineEnd > start && documents[lineEnd - 1] == '\r') --lineEnd;
    AnswerLine(handle, documents + start, lineEnd - start, hex, &hexLength);
    Write(output, hex, hexLength);
    start = end + 1;
    ++done;
  }
  releaseClassifier(handle);
  wenlei_close(modern);
  CloseHandle(output);
  if (done == 0) Die("no documents in ", arguments[2]);
  ExitProcess(0);
  return 0;
}
