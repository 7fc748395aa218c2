/*
 * The Linux counterpart of the Windows host's "answers" mode: classifies
 * every document of a file with the Linux library and writes one line per
 * document, the answer's bytes in hexadecimal, so that the two libraries'
 * answers can be compared byte for byte.
 *
 *   linux_answers PREFIX DOCUMENTS OUTPUT [FILES]
 *
 * FILES, when given, receives for every document a line "document N" and
 * the working files that document's classification wrote, as the Windows
 * host writes them (none for a document without known words).
 * DOCUMENTS holds one document per line, GBK words separated by single
 * spaces.  The records are the 64-bit layout of wenlei/exports.h, with
 * the same choice of inline and addressed words as the Windows host.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "wenlei/exports.h"

enum { kInlineCapacity = 15, kGarbage = 0xA5, kUntouched = 0x5A, kAnswerBufferSize = 1024 };

static void Die(const char *message, const char *detail) {
  fprintf(stderr, "linux_answers: %s%s\n", message, detail);
  exit(2);
}

static void *Allocate(size_t size) {
  void *memory = malloc(size ? size : 1);
  if (memory == NULL) Die("out of memory", "");
  return memory;
}

/* The whole file, or NULL when it cannot be opened. */
static char *ReadFileIfPresent(const char *path, size_t *size) {
  FILE *file = fopen(path, "rb");
  char *data;
  long length;
  if (file == NULL) return NULL;
  if (fseek(file, 0, SEEK_END) != 0 || (length = ftell(file)) < 0 || fseek(file, 0, SEEK_SET) != 0) {
    Die("cannot read ", path);
  }
  data = Allocate((size_t)length + 1);
  *size = fread(data, 1, (size_t)length, file);
  fclose(file);
  return data;
}

static char *ReadWholeFile(const char *path, size_t *size) {
  char *data = ReadFileIfPresent(path, size);
  if (data == NULL) Die("cannot open ", path);
  return data;
}

static char *WorkingFilePath(const char *prefix, const char *name) {
  size_t size = strlen(prefix) + strlen(name) + 1;
  char *path = Allocate(size);
  snprintf(path, size, "%s%s", prefix, name);
  return path;
}

static const char *const kWorkingFiles[2] = {"SVMTestFile.dat", "resultFile.dat"};

static void RemoveWorkingFiles(const char *prefix) {
  int i;
  for (i = 0; i < 2; ++i) {
    char *path = WorkingFilePath(prefix, kWorkingFiles[i]);
    remove(path);
    free(path);
  }
}

/* Appends both working files, those that exist, to output. */
static void AppendWorkingFiles(FILE *output, const char *prefix) {
  int i;
  for (i = 0; i < 2; ++i) {
    char *path = WorkingFilePath(prefix, kWorkingFiles[i]);
    size_t size;
    char *data = ReadFileIfPresent(path, &size);
    if (data != NULL && fwrite(data, 1, size, output) != size) Die("cannot write a copy of ", path);
    free(data);
    free(path);
  }
}

/* The Windows host's kMixed placement: long words and every third short
 * word (positions 1, 4, 7, ...) at an address. */
static int GoesToAddress(size_t length, size_t position) {
  return length > kInlineCapacity || position % 3 == 1;
}

/* Classifies the words of one line and writes the answer in hexadecimal. */
static void AnswerLine(ClassifierHandle handle, const char *line, size_t length, FILE *output) {
  size_t count = 0, i, start = 0, answerLength = 0;
  WordEntry *entries = Allocate(sizeof(WordEntry) * (length + 1));
  char **texts = Allocate(sizeof(char *) * (length + 1));
  unsigned char answer[kAnswerBufferSize];
  WordList list;
  for (i = 0; i <= length; ++i) {
    if (i == length || line[i] == ' ') {
      if (i > start) {
        WordEntry *entry = &entries[count];
        size_t wordLength = i - start;
        memset(entry, kGarbage, sizeof *entry);
        texts[count] = NULL;
        if (GoesToAddress(wordLength, count)) {
          size_t capacity = wordLength < WENLEI_INLINE_CAPACITY_LIMIT
                                ? WENLEI_INLINE_CAPACITY_LIMIT
                                : wordLength + wordLength % 5;
          texts[count] = Allocate(capacity + 1);
          memset(texts[count], kGarbage, capacity);
          texts[count][capacity] = '\0';
          memcpy(texts[count], line + start, wordLength);
          entry->text.address = texts[count];
          entry->capacity = capacity;
        } else {
          memcpy(entry->text.inline_bytes, line + start, wordLength);
          entry->capacity = kInlineCapacity;
        }
        entry->length = wordLength;
        ++count;
      }
      start = i + 1;
    }
  }
  memset(&list, kGarbage, sizeof list);
  list.first = count == 0 ? NULL : entries;
  list.end = count == 0 ? NULL : entries + count;
  memset(answer, kUntouched, sizeof answer);
  Classification(handle, &list, (char *)answer);
  while (answerLength < sizeof answer && answer[answerLength] != 0) ++answerLength;
  if (answerLength == sizeof answer) Die("an answer without its zero byte", "");
  for (i = answerLength + 1; i < sizeof answer; ++i) {
    if (answer[i] != kUntouched) Die("bytes after an answer's zero byte were written", "");
  }
  for (i = 0; i < answerLength; ++i) fprintf(output, "%02x", answer[i]);
  fputc('\n', output);
  for (i = 0; i < count; ++i) free(texts[i]);
  free(texts);
  free(entries);
}

int main(int argc, char **argv) {
  size_t size, start = 0, done = 0;
  char *documents;
  FILE *output, *files = NULL;
  ClassifierHandle handle;
  if (argc != 4 && argc != 5) {
    fputs("usage: linux_answers PREFIX DOCUMENTS OUTPUT [FILES]\n", stderr);
    return 2;
  }
  documents = ReadWholeFile(argv[2], &size);
  output = fopen(argv[3], "wb");
  if (output == NULL) Die("cannot create ", argv[3]);
  if (argc == 5 && (files = fopen(argv[4], "wb")) == NULL) Die("cannot create ", argv[4]);
  if (LoadSource(argv[1]) != 1) Die("cannot load the resource set ", argv[1]);
  handle = CreateClassifier();
  while (start < size) {
    size_t end = start, lineEnd;
    while (end < size && documents[end] != '\n') ++end;
    lineEnd = end;
    if (lineEnd > start && documents[lineEnd - 1] == '\r') --lineEnd;
    if (files != NULL) RemoveWorkingFiles(argv[1]);
    AnswerLine(handle, documents + start, lineEnd - start, output);
    ++done;
    if (files != NULL) {
      fprintf(files, "document %zu\n", done);
      AppendWorkingFiles(files, argv[1]);
    }
    start = end + 1;
  }
  releaseClassifier(handle);
  free(documents);
  if (fclose(output) != 0) Die("cannot write ", argv[3]);
  if (files != NULL && fclose(files) != 0) Die("cannot write ", argv[4]);
  fprintf(stderr, "linux_answers: %zu documents\n", done);
  return 0;
}
