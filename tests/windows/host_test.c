/*
 * A Windows host for wenlei.dll, written the way a host program uses the
 * library: it loads the DLL at run time, finds the five functions by name,
 * lays out its word lists byte by byte and hands them over.  Built for
 * 32-bit Windows, a list is four 32-bit words and a word 28 bytes; built for
 * 64-bit Windows, four 64-bit words and 40 bytes.  It does not include the
 * library's header, so the layout is checked from the host's side.
 *
 *   host_test check    DLL PREFIX DOCUMENTS SCRATCH [N]  the whole test
 *   host_test answers  DLL PREFIX DOCUMENTS OUTPUT [FILES]
 *                                                     one answer per document
 *   host_test threads  DLL PREFIX DOCUMENTS [ROUNDS]  two threads at once
 *   host_test load-only    DLL PREFIX                 (child) LoadSource only
 *   host_test classify-all DLL PREFIX DOCUMENTS       (child) classify all
 *
 * PREFIX is a resource prefix ending with its separator; the library writes
 * its working files there.  DOCUMENTS holds one document per line, GBK words
 * separated by single spaces (check looks at the first N documents only, when
 * N is given).  OUTPUT receives one line per document: the
 * answer's bytes in hexadecimal.  FILES, when given, receives for every
 * document a line "document N" and the working files that document's
 * classification wrote (none for a document without known words), their
 * CR LF line ends turned into LF.  SCRATCH is a directory for the failure
 * cases, which run this program as a child process.
 */
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

_Static_assert(sizeof(void *) == 4 || sizeof(void *) == 8, "a 32-bit or 64-bit host");
_Static_assert(sizeof(size_t) == sizeof(void *), "sizes are pointer-sized words");

typedef void(__cdecl *ClassificationFunction)(void *handle, const void *words, char *answer);
typedef void *(__cdecl *CreateClassifierFunction)(void);
typedef unsigned char(__cdecl *LoadSourceFunction)(const char *prefix);
typedef void(__cdecl *ReleaseClassifierFunction)(void *handle);
typedef void(__cdecl *ReleaseSourceFunction)(void);

/* A word of the records: 4 bytes on 32-bit Windows, 8 on 64-bit Windows. */
#define kWord sizeof(void *)

enum {
  kListSize = 4 * kWord,          /* unused, first entry, end, unused */
  kEntrySize = 3 * kWord + 16,    /* unused, text or its address, length, capacity */
  kTextOffset = kWord,
  kLengthOffset = kWord + 16,
  kCapacityOffset = 2 * kWord + 16,
  kInlineCapacity = 15,
  kAddressCapacityLimit = 16,
  kGarbage = 0xA5,     /* bytes the library must never read */
  kUntouched = 0x5A,   /* answer-buffer bytes it must never write */
  kAnswerBufferSize = 1024,
};

/* "文本内容太短或无效，不能确定类别" in GBK. */
static const unsigned char kShortTextMessage[32] = {
    0xCE, 0xC4, 0xB1, 0xBE, 0xC4, 0xDA, 0xC8, 0xDD, 0xCC, 0xAB, 0xB6,
    0xCC, 0xBB, 0xF2, 0xCE, 0xDE, 0xD0, 0xA7, 0xA3, 0xAC, 0xB2, 0xBB,
    0xC4, 0xDC, 0xC8, 0xB7, 0xB6, 0xA8, 0xC0, 0xE0, 0xB1, 0xF0};

/* ------------------------------------------------------------ reporting */

static int g_checks;
static int g_failures;

static void Fail(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fputs("host_test: FAIL: ", stderr);
  vfprintf(stderr, format, arguments);
  fputc('\n', stderr);
  va_end(arguments);
  ++g_failures;
}

#define CHECK(condition, ...)       \
  do {                              \
    ++g_checks;                     \
    if (!(condition)) Fail(__VA_ARGS__); \
  } while (0)

static void Die(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fputs("host_test: ", stderr);
  vfprintf(stderr, format, arguments);
  fputc('\n', stderr);
  va_end(arguments);
  exit(2);
}

static void *Allocate(size_t size) {
  void *memory = malloc(size ? size : 1);
  if (memory == NULL) Die("out of memory");
  return memory;
}

/* Bytes as hexadecimal, for messages and the answers file. */
static void FormatHex(const unsigned char *bytes, size_t length, char *out, size_t outSize) {
  static const char digits[] = "0123456789abcdef";
  size_t i, n = 0;
  for (i = 0; i < length && n + 3 < outSize; ++i) {
    out[n++] = digits[bytes[i] >> 4];
    out[n++] = digits[bytes[i] & 15];
  }
  out[n] = '\0';
}

/* ------------------------------------------------------------ files */

typedef struct Bytes {
  unsigned char *data;
  size_t size;
  int present;
} Bytes;

static Bytes ReadWholeFile(const char *path) {
  Bytes bytes = {NULL, 0, 0};
  FILE *file = fopen(path, "rb");
  long size;
  if (file == NULL) return bytes;
  if (fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0) {
    Die("cannot read %s", path);
  }
  bytes.data = Allocate((size_t)size + 1);
  bytes.size = fread(bytes.data, 1, (size_t)size, file);
  bytes.data[bytes.size] = '\0';
  bytes.present = 1;
  fclose(file);
  return bytes;
}

static int SameBytes(const Bytes *a, const Bytes *b) {
  return a->present == b->present && a->size == b->size &&
         (a->size == 0 || memcmp(a->data, b->data, a->size) == 0);
}

static void JoinPath(char *out, size_t outSize, const char *a, const char *b) {
  if ((size_t)snprintf(out, outSize, "%s%s", a, b) >= outSize) Die("path too long: %s%s", a, b);
}

static void MakeDirectory(const char *path) {
  if (!CreateDirectoryA(path, NULL) && GetLastError() != ERROR_ALREADY_EXISTS) {
    Die("cannot create directory %s (error %lu)", path, (unsigned long)GetLastError());
  }
}

static void CopyResource(const char *fromPrefix, const char *toPrefix, const char *name) {
  char from[MAX_PATH], to[MAX_PATH];
  JoinPath(from, sizeof from, fromPrefix, name);
  JoinPath(to, sizeof to, toPrefix, name);
  if (!CopyFileA(from, to, FALSE)) Die("cannot copy %s to %s", from, to);
}

/* ------------------------------------------------------------ library */

typedef struct Library {
  HMODULE module;
  ClassificationFunction Classification;
  CreateClassifierFunction CreateClassifier;
  LoadSourceFunction LoadSource;
  ReleaseClassifierFunction releaseClassifier;
  ReleaseSourceFunction releasesource;
} Library;

static const char *const kExportNames[5] = {"Classification", "CreateClassifier", "LoadSource",
                                            "releaseClassifier", "releasesource"};

static Library OpenLibrary(const char *path) {
  Library library;
  FARPROC found[5];
  int i;
  library.module = LoadLibraryA(path);
  if (library.module == NULL) Die("cannot load %s (error %lu)", path, (unsigned long)GetLastError());
  for (i = 0; i < 5; ++i) {
    found[i] = GetProcAddress(library.module, kExportNames[i]);
    if (found[i] == NULL) Die("%s does not export %s", path, kExportNames[i]);
  }
  library.Classification = (ClassificationFunction)(void (*)(void))found[0];
  library.CreateClassifier = (CreateClassifierFunction)(void (*)(void))found[1];
  library.LoadSource = (LoadSourceFunction)(void (*)(void))found[2];
  library.releaseClassifier = (ReleaseClassifierFunction)(void (*)(void))found[3];
  library.releasesource = (ReleaseSourceFunction)(void (*)(void))found[4];
  return library;
}

/* Names and ordinals 1 to 5 name the same functions; nothing else is there. */
static void CheckExportTable(const Library *library) {
  static const char *const kDecorated[] = {"_Classification", "Classification@12",
                                           "_LoadSource@4", "_CreateClassifier@0",
                                           "ReleaseClassifier", "ReleaseSource",
                                           "releaseSource", "loadSource"};
  int ordinal;
  size_t i;
  for (ordinal = 1; ordinal <= 5; ++ordinal) {
    FARPROC byName = GetProcAddress(library->module, kExportNames[ordinal - 1]);
    FARPROC byOrdinal = GetProcAddress(library->module, MAKEINTRESOURCEA(ordinal));
    CHECK(byOrdinal != NULL && byOrdinal == byName, "ordinal %d is not %s", ordinal,
          kExportNames[ordinal - 1]);
  }
  CHECK(GetProcAddress(library->module, MAKEINTRESOURCEA(6)) == NULL, "an ordinal 6 exists");
  for (i = 0; i < sizeof kDecorated / sizeof kDecorated[0]; ++i) {
    CHECK(GetProcAddress(library->module, kDecorated[i]) == NULL, "%s is exported",
          kDecorated[i]);
  }
}

/* ------------------------------------------------------------ word lists */

typedef struct Word {
  const unsigned char *bytes;
  uint32_t length;
} Word;

typedef struct Document {
  Word *words;
  size_t count;
} Document;

typedef struct Documents {
  Bytes text;
  Document *items;
  size_t count;
} Documents;

/* One line per document; words separated by single spaces; a CR before the
 * line feed is dropped.  The words point into the file's bytes. */
static Documents ReadDocuments(const char *path) {
  Documents documents;
  size_t lines = 0, i, start = 0;
  documents.text = ReadWholeFile(path);
  if (!documents.text.present) Die("cannot open %s", path);
  for (i = 0; i < documents.text.size; ++i) lines += documents.text.data[i] == '\n';
  if (documents.text.size > 0 && documents.text.data[documents.text.size - 1] != '\n') ++lines;
  documents.items = Allocate(sizeof(Document) * (lines + 1));
  documents.count = 0;
  while (start < documents.text.size) {
    size_t end = start, lineEnd, p, wordStart;
    Document *document = &documents.items[documents.count++];
    while (end < documents.text.size && documents.text.data[end] != '\n') ++end;
    lineEnd = end;
    if (lineEnd > start && documents.text.data[lineEnd - 1] == '\r') --lineEnd;
    document->words = Allocate(sizeof(Word) * (lineEnd - start + 1));
    document->count = 0;
    wordStart = start;
    for (p = start; p <= lineEnd; ++p) {
      if (p == lineEnd || documents.text.data[p] == ' ') {
        if (p > wordStart) {
          document->words[document->count].bytes = documents.text.data + wordStart;
          document->words[document->count].length = (uint32_t)(p - wordStart);
          ++document->count;
        }
        wordStart = p + 1;
      }
    }
    start = end + 1;
  }
  return documents;
}

typedef enum Placement {
  kInlineWhenShort,  /* as a host stores short strings: inline, capacity 15 */
  kAllAtAddress,     /* every text at an address, capacity 16 or more */
  kMixed,            /* some short texts at an address too */
} Placement;

/* The host's records: the list, its entries and one garbage record after
 * the end, which the library must not read. */
typedef struct HostWords {
  unsigned char list[kListSize];
  unsigned char *entries;
  unsigned char *snapshot;
  unsigned char **texts;
  size_t count;
} HostWords;

/* Stores one word of the records (an address, a length or a capacity). */
static void PutWord(unsigned char *at, size_t value) { memcpy(at, &value, kWord); }

static size_t AddressOf(const void *pointer) { return (size_t)(uintptr_t)pointer; }

static int GoesToAddress(Placement placement, const Word *word, size_t position) {
  if (word->length > kInlineCapacity) return 1;
  if (placement == kAllAtAddress) return 1;
  if (placement == kMixed) return position % 3 == 1;
  return 0;
}

static HostWords BuildWords(const Document *document, Placement placement) {
  HostWords host;
  size_t i;
  host.count = document->count;
  host.entries = Allocate(kEntrySize * (host.count + 1));
  host.snapshot = Allocate(kEntrySize * (host.count + 1));
  host.texts = Allocate(sizeof(unsigned char *) * (host.count + 1));
  memset(host.entries, kGarbage, kEntrySize * (host.count + 1));
  for (i = 0; i < host.count; ++i) {
    const Word *word = &document->words[i];
    unsigned char *entry = host.entries + kEntrySize * i;
    host.texts[i] = NULL;
    if (GoesToAddress(placement, word, i)) {
      /* The text is followed by garbage, not by a zero byte, within the
       * capacity; a reader that looks for a terminator reads garbage. */
      /* Short texts get the boundary capacity 16 itself. */
      size_t capacity = word->length < kAddressCapacityLimit
                              ? kAddressCapacityLimit
                              : word->length + word->length % 5;
      host.texts[i] = Allocate(capacity + 1);
      memset(host.texts[i], kGarbage, capacity);
      host.texts[i][capacity] = '\0';
      memcpy(host.texts[i], word->bytes, word->length);
      PutWord(entry + kTextOffset, AddressOf(host.texts[i]));
      PutWord(entry + kCapacityOffset, capacity);
    } else {
      memcpy(entry + kTextOffset, word->bytes, word->length);
      PutWord(entry + kCapacityOffset, kInlineCapacity);
    }
    PutWord(entry + kLengthOffset, word->length);
  }
  memset(host.list, kGarbage, sizeof host.list);
  PutWord(host.list + kWord, host.count == 0 ? 0 : AddressOf(host.entries));
  PutWord(host.list + 2 * kWord, host.count == 0 ? 0 : AddressOf(host.entries + kEntrySize * host.count));
  memcpy(host.snapshot, host.entries, kEntrySize * (host.count + 1));
  return host;
}

static int WordsUnchanged(const HostWords *host) {
  return memcmp(host->snapshot, host->entries, kEntrySize * (host->count + 1)) == 0;
}

static void FreeWords(HostWords *host) {
  size_t i;
  for (i = 0; i < host->count; ++i) free(host->texts[i]);
  free(host->texts);
  free(host->entries);
  free(host->snapshot);
}

/* ------------------------------------------------------------ answers */

typedef struct Answer {
  unsigned char bytes[kAnswerBufferSize];
  size_t length;
} Answer;

/* Classifies one list into a buffer pre-filled with a marker, and checks
 * that the answer ends within the buffer and nothing after its zero byte
 * was written. */
static Answer Classify(const Library *library, void *handle, const void *list,
                       const char *what) {
  Answer answer;
  size_t i;
  int untouched = 1;
  memset(answer.bytes, kUntouched, sizeof answer.bytes);
  library->Classification(handle, list, (char *)answer.bytes);
  answer.length = 0;
  while (answer.length < sizeof answer.bytes && answer.bytes[answer.length] != 0) ++answer.length;
  if (answer.length == sizeof answer.bytes) Die("%s: answer without a zero byte", what);
  for (i = answer.length + 1; i < sizeof answer.bytes; ++i) untouched &= answer.bytes[i] == kUntouched;
  CHECK(untouched, "%s: bytes after the answer's zero byte were written", what);
  return answer;
}

static Answer ClassifyDocument(const Library *library, void *handle, const Document *document,
                               Placement placement, const char *what) {
  HostWords host = BuildWords(document, placement);
  Answer answer = Classify(library, handle, host.list, what);
  CHECK(WordsUnchanged(&host), "%s: the library changed the host's records", what);
  FreeWords(&host);
  return answer;
}

static int IsShortTextMessage(const Answer *answer) {
  return answer->length == sizeof kShortTextMessage &&
         memcmp(answer->bytes, kShortTextMessage, sizeof kShortTextMessage) == 0;
}

static int SameAnswer(const Answer *a, const Answer *b) {
  return a->length == b->length && memcmp(a->bytes, b->bytes, a->length) == 0;
}

/* ------------------------------------------------------------ resource file */

/* Class names from the resource file's fourth section, cut at their zero
 * byte; the first is the "NULL" that marks a single-class decision. */
typedef struct ClassNames {
  char names[64][11];
  int count;
} ClassNames;

static uint32_t Get32(const unsigned char *at) {
  uint32_t value;
  memcpy(&value, at, 4);
  return value;
}

static ClassNames ReadClassNames(const char *prefix) {
  static const size_t kWidths[3] = {30, 40, 40};
  char path[MAX_PATH];
  ClassNames classes;
  Bytes file;
  size_t offset = 0;
  int section, i;
  JoinPath(path, sizeof path, prefix, "Source.dat");
  file = ReadWholeFile(path);
  if (!file.present) Die("cannot open %s", path);
  for (section = 0; section < 3; ++section) {
    if (offset + 4 > file.size) Die("%s is truncated", path);
    offset += 4 + kWidths[section] * Get32(file.data + offset);
  }
  if (offset + 4 > file.size) Die("%s is truncated", path);
  classes.count = (int)Get32(file.data + offset);
  offset += 4;
  if (classes.count < 0 || classes.count > 64 || offset + 10u * classes.count > file.size) {
    Die("%s: unexpected class section", path);
  }
  for (i = 0; i < classes.count; ++i) {
    memcpy(classes.names[i], file.data + offset + 10 * i, 10);
    classes.names[i][10] = '\0';
  }
  free(file.data);
  return classes;
}

/* A name enters an answer without its leading tag (the text up to the first
 * space). */
static const char *WithoutTag(const char *name) {
  const char *space = strchr(name, ' ');
  return space ? space + 1 : name;
}

/* ------------------------------------------------------------ working files */

/* Splits a file into its lines, each of which must end with CR LF (the file
 * was written in text mode); returns the number of lines or -1 when a line
 * lacks the CR, a bare CR occurs, or the last line has no line end. */
static int SplitCrLfLines(const Bytes *file, char lines[][65536], int maxLines) {
  size_t start = 0, i;
  int count = 0;
  for (i = 0; i < file->size; ++i) {
    if (file->data[i] == '\r' && (i + 1 == file->size || file->data[i + 1] != '\n')) return -1;
    if (file->data[i] == '\n') {
      size_t length;
      if (i == start || file->data[i - 1] != '\r') return -1;
      if (count == maxLines) return -1;
      length = i - 1 - start;
      if (length >= sizeof lines[0]) return -1;
      memcpy(lines[count], file->data + start, length);
      lines[count][length] = '\0';
      ++count;
      start = i + 1;
    }
  }
  return start == file->size ? count : -1;
}

static char g_lines[4][65536];

/* SVMTestFile.dat: empty, or one line "0 f:w f:w ... " with ascending
 * feature numbers, ended by CR LF.  Returns the number of features or -1. */
static int CheckTestFile(const Bytes *file, const char *what) {
  int lines, features = 0;
  long previous = 0;
  const char *p;
  CHECK(file->present, "%s: no SVMTestFile.dat", what);
  if (!file->present) return -1;
  if (file->size == 0) return 0;
  lines = SplitCrLfLines(file, g_lines, 4);
  CHECK(lines == 1, "%s: SVMTestFile.dat is not one CR LF line", what);
  if (lines != 1) return -1;
  p = g_lines[0];
  CHECK(strncmp(p, "0 ", 2) == 0, "%s: the test line does not start with label 0", what);
  if (strncmp(p, "0 ", 2) != 0) return -1;
  p += 2;
  while (*p != '\0') {
    char *end;
    long feature = strtol(p, &end, 10);
    double weight;
    if (end == p || *end != ':' || feature <= previous) break;
    weight = strtod(end + 1, &end);
    if (*end != ' ' || !(weight == weight)) break;
    previous = feature;
    ++features;
    p = end + 1;
  }
  CHECK(*p == '\0' && features > 0, "%s: malformed test line \"%s\"", what, g_lines[0]);
  return *p == '\0' ? features : -1;
}

/* resultFile.dat: a "labels" header and at most one line of the predicted
 * label and one probability per class, all CR LF.  Returns the answer the
 * probabilities call for, computed here from the class names. */
static int ExpectedAnswerFromResult(const Bytes *file, const ClassNames *classes, int features,
                                    char *expected, size_t expectedSize, const char *what) {
  double probabilities[64], predicted;
  long labels[64];
  int lines, classCount = 0, count = 0, best = 0, second = -1, i;
  char *p, *end;
  CHECK(file->present, "%s: no resultFile.dat", what);
  if (!file->present) return 0;
  lines = SplitCrLfLines(file, g_lines, 4);
  CHECK(lines == (features > 0 ? 2 : 1), "%s: resultFile.dat has %d CR LF lines", what, lines);
  if (lines < 1 || lines > 2) return 0;
  CHECK(strncmp(g_lines[0], "labels ", 7) == 0, "%s: result header \"%s\"", what, g_lines[0]);
  for (p = g_lines[0] + 6; *p == ' ' && classCount < 64; p = end) {
    labels[classCount] = strtol(p + 1, &end, 10);
    if (end == p + 1) break;
    ++classCount;
  }
  CHECK(*p == '\0' && classCount >= 2, "%s: result header \"%s\"", what, g_lines[0]);
  if (lines == 1) {
    /* No feature survived the term map: no decision, and no category. */
    memcpy(expected, kShortTextMessage, sizeof kShortTextMessage);
    expected[sizeof kShortTextMessage] = '\0';
    return 1;
  }
  p = g_lines[1];
  predicted = strtod(p, &end);
  CHECK(end != p && *end == ' ', "%s: result line \"%s\"", what, g_lines[1]);
  for (p = end; *p == ' ' && p[1] != '\0' && count < 64; p = end) {
    probabilities[count] = strtod(p + 1, &end);
    if (end == p + 1) break;
    ++count;
  }
  CHECK(count == classCount && strcmp(p, " ") == 0,
        "%s: %d probabilities for %d labels in \"%s\"", what, count, classCount, g_lines[1]);
  if (count != classCount || count < 2) return 0;
  {
    double sum = 0.0;
    for (i = 0; i < count; ++i) sum += probabilities[i];
    CHECK(sum > 0.999 && sum < 1.001, "%s: probabilities sum to %g", what, sum);
  }
  for (i = 1; i < count; ++i) {
    if (probabilities[i] > probabilities[best]) best = i;
  }
  for (i = 0; i < count; ++i) {
    if (i != best && (second < 0 || probabilities[i] > probabilities[second])) second = i;
  }
  /* libsvm predicts the label of the highest probability. */
  CHECK(probabilities[best] == probabilities[second] || predicted == (double)labels[best],
        "%s: predicted label %g, highest probability for label %ld", what, predicted,
        labels[best]);
  if (best + 1 >= classes->count || second + 1 >= classes->count) {
    Fail("%s: class %d or %d has no name", what, best + 1, second + 1);
    return 0;
  }
  CHECK(strcmp(classes->names[0], "NULL") == 0, "%s: class 0 is not NULL", what);
  if (probabilities[best] > 0.0 && probabilities[second] / probabilities[best] > 0.95) {
    snprintf(expected, expectedSize, "%s or %s", WithoutTag(classes->names[best + 1]),
             WithoutTag(classes->names[second + 1]));
  } else {
    snprintf(expected, expectedSize, "%s", WithoutTag(classes->names[best + 1]));
  }
  return 1;
}

typedef struct WorkingFiles {
  Bytes test;
  Bytes result;
} WorkingFiles;

static WorkingFiles ReadWorkingFiles(const char *prefix) {
  char path[MAX_PATH];
  WorkingFiles files;
  JoinPath(path, sizeof path, prefix, "SVMTestFile.dat");
  files.test = ReadWholeFile(path);
  JoinPath(path, sizeof path, prefix, "resultFile.dat");
  files.result = ReadWholeFile(path);
  return files;
}

static void FreeWorkingFiles(WorkingFiles *files) {
  free(files->test.data);
  free(files->result.data);
}

static void RemoveWorkingFiles(const char *prefix) {
  char path[MAX_PATH];
  JoinPath(path, sizeof path, prefix, "SVMTestFile.dat");
  DeleteFileA(path);
  JoinPath(path, sizeof path, prefix, "resultFile.dat");
  DeleteFileA(path);
}

/* ------------------------------------------------------------ child runs */

typedef struct ChildRun {
  DWORD status;
  Bytes out;
  Bytes err;
} ChildRun;

static HANDLE CreateCaptureFile(const char *path) {
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, NULL, TRUE};
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) Die("cannot create %s", path);
  return file;
}

/* Appends one argument, quoted for the C runtime's command-line parser:
 * backslashes are literal except before a quote, the closing one included,
 * where they must be doubled. */
static void AppendArgument(char *line, size_t size, const char *argument) {
  size_t n = strlen(line), backslashes = 0, k;
  const char *p;
  if (n + 2 * strlen(argument) + 4 >= size) Die("command line too long");
  line[n++] = ' ';
  line[n++] = '"';
  for (p = argument; *p != '\0'; ++p) {
    if (*p == '\\') {
      ++backslashes;
      continue;
    }
    for (k = 0; k < (*p == '"' ? 2 * backslashes + 1 : backslashes); ++k) line[n++] = '\\';
    line[n++] = *p;
    backslashes = 0;
  }
  for (k = 0; k < 2 * backslashes; ++k) line[n++] = '\\';
  line[n++] = '"';
  line[n] = '\0';
}

/* Runs this program again with the given arguments, its standard output
 * and error captured in files under scratch. */
static ChildRun RunChild(const char *const *arguments, const char *scratch) {
  char self[MAX_PATH], commandLine[8 * MAX_PATH] = "", outPath[MAX_PATH], errPath[MAX_PATH];
  STARTUPINFOA startup;
  PROCESS_INFORMATION process;
  ChildRun run;
  HANDLE out, err;
  if (GetModuleFileNameA(NULL, self, sizeof self) == 0) Die("GetModuleFileName failed");
  AppendArgument(commandLine, sizeof commandLine, self);
  for (; *arguments != NULL; ++arguments) AppendArgument(commandLine, sizeof commandLine, *arguments);
  JoinPath(outPath, sizeof outPath, scratch, "child.out");
  JoinPath(errPath, sizeof errPath, scratch, "child.err");
  out = CreateCaptureFile(outPath);
  err = CreateCaptureFile(errPath);
  memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = out;
  startup.hStdError = err;
  /* commandLine + 1: the first argument's separating blank is not wanted. */
  if (!CreateProcessA(NULL, commandLine + 1, NULL, NULL, TRUE, 0, NULL, NULL, &startup,
                      &process)) {
    Die("cannot start %s (error %lu)", commandLine, (unsigned long)GetLastError());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  if (!GetExitCodeProcess(process.hProcess, &run.status)) Die("GetExitCodeProcess failed");
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(out);
  CloseHandle(err);
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
}

static int Holds(const Bytes *bytes, const char *text) {
  return bytes->present && bytes->size == strlen(text) && memcmp(bytes->data, text, bytes->size) == 0;
}

static void CheckChild(const ChildRun *run, const char *what, DWORD status, const char *out,
                       const char *err) {
  CHECK(run->status == status, "%s: exit status %lu, expected %lu", what,
        (unsigned long)run->status, (unsigned long)status);
  CHECK(Holds(&run->out, out), "%s: standard output \"%.*s\", expected \"%s\"", what,
        (int)run->out.size, run->out.data ? (char *)run->out.data : "", out);
  CHECK(Holds(&run->err, err), "%s: standard error \"%.*s\", expected \"%s\"", what,
        (int)run->err.size, run->err.data ? (char *)run->err.data : "", err);
}

/* ------------------------------------------------------------ the test */

typedef struct Tally {
  size_t labels, ambiguous, shortText, bare;
} Tally;

/* One document, classified as a host would: checks the answer against the
 * working files the classification left.  Every other document starts
 * without working files, the rest overwrite those of the one before. */
static Answer CheckDocument(const Library *library, void *first, void *second, const char *prefix,
                            const ClassNames *classes, const Document *document, size_t index,
                            Tally *tally) {
  char what[64], expected[64];
  WorkingFiles before, after;
  Answer answer, again;
  snprintf(what, sizeof what, "document %u", (unsigned)index + 1);
  if (index % 2 == 0) RemoveWorkingFiles(prefix);
  before = ReadWorkingFiles(prefix);
  answer = ClassifyDocument(library, first, document, kInlineWhenShort, what);
  after = ReadWorkingFiles(prefix);
  if (IsShortTextMessage(&answer) && SameBytes(&before.test, &after.test) &&
      SameBytes(&before.result, &after.result)) {
    /* No known word: nothing was written. */
    ++tally->shortText;
  } else {
    int features = CheckTestFile(&after.test, what);
    if (features >= 0 &&
        ExpectedAnswerFromResult(&after.result, classes, features, expected, sizeof expected, what)) {
      char hex[2 * sizeof answer.bytes + 1];
      FormatHex(answer.bytes, answer.length, hex, sizeof hex);
      CHECK(answer.length == strlen(expected) && memcmp(answer.bytes, expected, answer.length) == 0,
            "%s: answer %s, the result file calls for \"%s\"", what, hex, expected);
    }
    if (features == 0) {
      ++tally->bare;
    } else if (strstr((const char *)answer.bytes, " or ") != NULL) {
      ++tally->ambiguous;
    } else {
      ++tally->labels;
    }
  }
  /* Every fourth document again, all words at addresses (the answers mode
   * mixes the two layouts for every document). */
  if (index % 4 == 0) {
    again = ClassifyDocument(library, second, document, kAllAtAddress, what);
    CHECK(SameAnswer(&answer, &again), "%s: words at addresses give another answer", what);
  }
  FreeWorkingFiles(&before);
  FreeWorkingFiles(&after);
  return answer;
}

static void CheckEmptyLists(const Library *library, void *handle) {
  unsigned char list[kListSize];
  unsigned char entry[kEntrySize];
  Answer answer;
  memset(entry, kGarbage, sizeof entry);
  memset(list, kGarbage, sizeof list);
  PutWord(list + kWord, 0);
  answer = Classify(library, handle, list, "list without entries");
  CHECK(IsShortTextMessage(&answer), "a list whose first entry is 0 is not too short");
  PutWord(list + kWord, AddressOf(entry));
  PutWord(list + 2 * kWord, AddressOf(entry));
  answer = Classify(library, handle, list, "list with first == end");
  CHECK(IsShortTextMessage(&answer), "a list whose first entry is its end is not too short");
}

/* Words no vocabulary holds (bytes that are no GBK text) give the fixed
 * message and leave the working files as they were. */
static void CheckUnknownWords(const Library *library, void *handle, const char *prefix) {
  static const unsigned char kUnknown[3][20] = {{0xFF, 0xFE, 0xFF}, {0xFF, 0xFF},
                                                {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8,
                                                 0xF7, 0xF6, 0xF5, 0xF4, 0xF3, 0xF2, 0xF1, 0xF0,
                                                 0xEF, 0xEE}};
  Word words[3] = {{kUnknown[0], 3}, {kUnknown[1], 2}, {kUnknown[2], 18}};
  Document document = {words, 3};
  WorkingFiles before = ReadWorkingFiles(prefix), after;
  Answer answer = ClassifyDocument(library, handle, &document, kMixed, "unknown words");
  after = ReadWorkingFiles(prefix);
  CHECK(IsShortTextMessage(&answer), "unknown words did not give the fixed message");
  CHECK(SameBytes(&before.test, &after.test) && SameBytes(&before.result, &after.result),
        "unknown words changed the working files");
  FreeWorkingFiles(&before);
  FreeWorkingFiles(&after);
}

static int RunCheck(const char *dllPath, const char *prefix, const char *documentsPath,
                    const char *scratch, size_t limit) {
  Library library = OpenLibrary(dllPath);
  Documents documents = ReadDocuments(documentsPath);
  ClassNames classes = ReadClassNames(prefix);
  Tally tally = {0, 0, 0, 0};
  Answer *answers;
  size_t i, firstLabelled = (size_t)-1;
  void *first, *second;
  char path[MAX_PATH], childPrefix[MAX_PATH], expected[2 * MAX_PATH];
  ChildRun run;

  if (documents.count > limit) documents.count = limit;
  if (documents.count == 0) Die("%s holds no documents", documentsPath);
  answers = Allocate(sizeof(Answer) * documents.count);
  CheckExportTable(&library);

  /* Before LoadSource no word is known and no file is written. */
  RemoveWorkingFiles(prefix);
  first = library.CreateClassifier();
  CHECK(first != NULL, "CreateClassifier returned null");
  for (i = 0; i < documents.count && i < 8; ++i) {
    Answer answer = ClassifyDocument(&library, first, &documents.items[i], kMixed, "before loading");
    CHECK(IsShortTextMessage(&answer), "document %u before LoadSource is not too short",
          (unsigned)i + 1);
  }
  {
    WorkingFiles files = ReadWorkingFiles(prefix);
    CHECK(!files.test.present && !files.result.present, "working files written before LoadSource");
    FreeWorkingFiles(&files);
  }

  CHECK(library.LoadSource(prefix) == 1, "LoadSource(%s) did not return 1", prefix);
  second = library.CreateClassifier();
  CHECK(second != NULL && second != first, "CreateClassifier did not give a second handle");
  CheckEmptyLists(&library, first);
  for (i = 0; i < documents.count; ++i) {
    answers[i] = CheckDocument(&library, first, second, prefix, &classes, &documents.items[i], i,
                               &tally);
    if (firstLabelled == (size_t)-1 && !IsShortTextMessage(&answers[i])) {
      firstLabelled = i;
    }
  }
  CHECK(tally.labels > 0, "no document got a label");
  CheckUnknownWords(&library, first, prefix);

  if (firstLabelled != (size_t)-1) {
    const Document *document = &documents.items[firstLabelled];
    Answer answer;
    library.releaseClassifier(NULL);
    library.releaseClassifier(second);
    answer = ClassifyDocument(&library, first, document, kMixed, "after releasing a handle");
    CHECK(SameAnswer(&answer, &answers[firstLabelled]), "releasing one handle changed the other");
    library.releasesource();
    answer = ClassifyDocument(&library, first, document, kMixed, "after releasesource");
    CHECK(IsShortTextMessage(&answer), "a document after releasesource is not too short");
    CHECK(library.LoadSource(prefix) == 1, "a second LoadSource did not return 1");
    answer = ClassifyDocument(&library, first, document, kMixed, "after loading again");
    CHECK(SameAnswer(&answer, &answers[firstLabelled]), "loading again changed the answer");
  }
  library.releaseClassifier(first);

  /* Unloading the library drops the resource set: loaded again, it knows no
   * word until LoadSource. */
  if (firstLabelled != (size_t)-1) {
    Answer answer;
    CHECK(FreeLibrary(library.module), "FreeLibrary failed");
    library = OpenLibrary(dllPath);
    first = library.CreateClassifier();
    answer = ClassifyDocument(&library, first, &documents.items[firstLabelled], kMixed,
                              "after reloading the library");
    CHECK(IsShortTextMessage(&answer), "the library kept its resource set across an unload");
    library.releaseClassifier(first);
  }

  /* A missing resource file ends the host with a line on standard output. */
  JoinPath(childPrefix, sizeof childPrefix, scratch, "missing\\");
  MakeDirectory(childPrefix);
  {
    const char *const arguments[] = {"load-only", dllPath, childPrefix, NULL};
    run = RunChild(arguments, scratch);
  }
  CheckChild(&run, "missing Source.dat", 1, "open file fail.\r\n", "");

  /* A missing model ends it with a line on standard error, at the first
   * document that reaches the prediction step. */
  JoinPath(childPrefix, sizeof childPrefix, scratch, "nomodel\\");
  MakeDirectory(childPrefix);
  CopyResource(prefix, childPrefix, "Source.dat");
  JoinPath(path, sizeof path, childPrefix, "SVMModel");
  DeleteFileA(path);
  {
    const char *const arguments[] = {"classify-all", dllPath, childPrefix, documentsPath, NULL};
    run = RunChild(arguments, scratch);
  }
  snprintf(expected, sizeof expected, "can't open model file %s\r\n", path);
  CheckChild(&run, "missing SVMModel", 1, "", expected);

  printf("host_test: %u documents: %u with one class, %u with two, %u without known words, "
         "%u without features\n",
         (unsigned)documents.count, (unsigned)tally.labels, (unsigned)tally.ambiguous,
         (unsigned)tally.shortText, (unsigned)tally.bare);
  printf("host_test: %d checks, %d failed\n", g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}

/* Appends a working file written in text mode with its CR LF line ends
 * turned into LF; any other line end is a fault. */
static void AppendTextFile(FILE *output, const Bytes *file, const char *what) {
  size_t i;
  for (i = 0; i < file->size; ++i) {
    if (file->data[i] == '\r') {
      if (i + 1 == file->size || file->data[i + 1] != '\n') Die("%s: a CR without LF", what);
      continue;
    }
    if (file->data[i] == '\n' && (i == 0 || file->data[i - 1] != '\r')) {
      Die("%s: a line ends with LF alone", what);
    }
    fputc(file->data[i], output);
  }
}

/* ------------------------------------------------------------ threads */

/* One thread's share of the threads mode: every document with its own
 * handle, in order or in reverse, compared with the answers one thread
 * got alone.  Counts its own mismatches (the global tally is not shared). */
typedef struct ThreadRun {
  const Library *library;
  const Documents *documents;
  const Answer *expected;
  int reverse;
  unsigned rounds;
  unsigned mismatches;
} ThreadRun;

static DWORD WINAPI ClassifyInThread(LPVOID argument) {
  ThreadRun *run = argument;
  void *handle = run->library->CreateClassifier();
  unsigned round;
  size_t k;
  for (round = 0; round < run->rounds; ++round) {
    for (k = 0; k < run->documents->count; ++k) {
      size_t i = run->reverse ? run->documents->count - 1 - k : k;
      HostWords host = BuildWords(&run->documents->items[i], kMixed);
      Answer answer;
      memset(answer.bytes, kUntouched, sizeof answer.bytes);
      run->library->Classification(handle, host.list, (char *)answer.bytes);
      answer.length = strnlen((const char *)answer.bytes, sizeof answer.bytes);
      if (!SameAnswer(&answer, &run->expected[i])) ++run->mismatches;
      FreeWords(&host);
    }
  }
  run->library->releaseClassifier(handle);
  return 0;
}

/* Two threads classify the same documents at once through two handles;
 * each must get exactly the answers one thread gets alone. */
static int RunThreads(const char *dllPath, const char *prefix, const char *documentsPath,
                      unsigned rounds) {
  Library library = OpenLibrary(dllPath);
  Documents documents = ReadDocuments(documentsPath);
  Answer *expected = Allocate(sizeof(Answer) * (documents.count + 1));
  ThreadRun runs[2];
  HANDLE threads[2];
  void *handle;
  size_t i;
  int t;
  if (library.LoadSource(prefix) != 1) Die("LoadSource(%s) did not return 1", prefix);
  handle = library.CreateClassifier();
  for (i = 0; i < documents.count; ++i) {
    expected[i] = ClassifyDocument(&library, handle, &documents.items[i], kMixed, "alone");
  }
  library.releaseClassifier(handle);
  for (t = 0; t < 2; ++t) {
    runs[t].library = &library;
    runs[t].documents = &documents;
    runs[t].expected = expected;
    runs[t].reverse = t;
    runs[t].rounds = rounds;
    runs[t].mismatches = 0;
    threads[t] = CreateThread(NULL, 0, ClassifyInThread, &runs[t], 0, NULL);
    if (threads[t] == NULL) Die("CreateThread failed (error %lu)", (unsigned long)GetLastError());
  }
  WaitForMultipleObjects(2, threads, TRUE, INFINITE);
  for (t = 0; t < 2; ++t) {
    CloseHandle(threads[t]);
    CHECK(runs[t].mismatches == 0, "thread %d: %u of %u answers differ from one thread's alone",
          t + 1, runs[t].mismatches, (unsigned)(rounds * documents.count));
  }
  printf("host_test: two threads, %u classifications each: %d checks, %d failed\n",
         (unsigned)(rounds * documents.count), g_checks, g_failures);
  return g_failures == 0 ? 0 : 1;
}

static int RunAnswers(const char *dllPath, const char *prefix, const char *documentsPath,
                      const char *outputPath, const char *filesPath) {
  Library library = OpenLibrary(dllPath);
  Documents documents = ReadDocuments(documentsPath);
  FILE *output = fopen(outputPath, "wb");
  FILE *files = filesPath != NULL ? fopen(filesPath, "wb") : NULL;
  void *handle;
  size_t i;
  if (output == NULL) Die("cannot create %s", outputPath);
  if (filesPath != NULL && files == NULL) Die("cannot create %s", filesPath);
  if (library.LoadSource(prefix) != 1) Die("LoadSource(%s) did not return 1", prefix);
  handle = library.CreateClassifier();
  for (i = 0; i < documents.count; ++i) {
    char what[64], hex[2 * kAnswerBufferSize + 1];
    Answer answer;
    snprintf(what, sizeof what, "document %u", (unsigned)i + 1);
    if (files != NULL) RemoveWorkingFiles(prefix);
    answer = ClassifyDocument(&library, handle, &documents.items[i], kMixed, what);
    FormatHex(answer.bytes, answer.length, hex, sizeof hex);
    fprintf(output, "%s\n", hex);
    if (files != NULL) {
      WorkingFiles written = ReadWorkingFiles(prefix);
      fprintf(files, "%s\n", what);
      AppendTextFile(files, &written.test, what);
      AppendTextFile(files, &written.result, what);
      FreeWorkingFiles(&written);
    }
  }
  library.releaseClassifier(handle);
  if (fclose(output) != 0) Die("cannot write %s", outputPath);
  if (files != NULL && fclose(files) != 0) Die("cannot write %s", filesPath);
  return g_failures == 0 ? 0 : 1;
}

int main(int argc, char **argv) {
  const char *mode = argc > 1 ? argv[1] : "";
  if (strcmp(mode, "check") == 0 && (argc == 6 || argc == 7)) {
    long limit = argc == 7 ? strtol(argv[6], NULL, 10) : 0;
    return RunCheck(argv[2], argv[3], argv[4], argv[5], limit > 0 ? (size_t)limit : (size_t)-1);
  }
  if (strcmp(mode, "answers") == 0 && (argc == 6 || argc == 7)) {
    return RunAnswers(argv[2], argv[3], argv[4], argv[5], argc == 7 ? argv[6] : NULL);
  }
  if (strcmp(mode, "threads") == 0 && (argc == 5 || argc == 6)) {
    long rounds = argc == 6 ? strtol(argv[5], NULL, 10) : 1;
    return RunThreads(argv[2], argv[3], argv[4], rounds > 0 ? (unsigned)rounds : 1u);
  }
  if (strcmp(mode, "load-only") == 0 && argc == 4) {
    Library library = OpenLibrary(argv[2]);
    library.LoadSource(argv[3]);
    return 0;  /* reached only when the resource file was there */
  }
  if (strcmp(mode, "classify-all") == 0 && argc == 5) {
    Library library = OpenLibrary(argv[2]);
    Documents documents = ReadDocuments(argv[4]);
    void *handle;
    size_t i;
    library.LoadSource(argv[3]);
    handle = library.CreateClassifier();
    for (i = 0; i < documents.count; ++i) {
      ClassifyDocument(&library, handle, &documents.items[i], kMixed, "child");
    }
    return 0;  /* reached only when no document needed the model */
  }
  fputs("usage: host_test check DLL PREFIX DOCUMENTS SCRATCH [N]\n"
        "       host_test answers DLL PREFIX DOCUMENTS OUTPUT [FILES]\n"
        "       host_test threads DLL PREFIX DOCUMENTS [ROUNDS]\n"
        "       host_test load-only DLL PREFIX\n"
        "       host_test classify-all DLL PREFIX DOCUMENTS\n",
        stderr);
  return 2;
}
