/* A host written in C against the public header: it must compile as C99. */
#include <stdio.h>
#include <string.h>

#include "wenlei/exports.h"

int main(void) {
  static const char kShortText[] =
      "\xCE\xC4\xB1\xBE\xC4\xDA\xC8\xDD\xCC\xAB\xB6\xCC\xBB\xF2\xCE\xDE"
      "\xD0\xA7\xA3\xAC\xB2\xBB\xC4\xDC\xC8\xB7\xB6\xA8\xC0\xE0\xB1\xF0";
  WordEntry entries[2];
  WordList list;
  char answer[64];
  ClassifierHandle handle;

  memset(entries, 0xA5, sizeof entries);
  memcpy(entries[0].text.inline_bytes, "hello", 5);
  entries[0].length = 5;
  entries[0].capacity = 15;
  entries[1].text.address = "a word held at an address";
  entries[1].length = strlen(entries[1].text.address);
  entries[1].capacity = entries[1].length;
  list.reserved_begin = NULL;
  list.first = &entries[0];
  list.end = &entries[2];
  list.reserved_end = NULL;

  handle = CreateClassifier();
  memset(answer, 'z', sizeof answer);
  Classification(handle, &list, answer);
  releaseClassifier(handle);
  releasesource();
  if (memcmp(answer, kShortText, 33) != 0 || answer[33] != 'z') {
    fprintf(stderr, "unexpected answer before any resource set was loaded\n");
    return 1;
  }
  puts("C host: ok");
  return 0;
}
