/* A host written in C against the public headers: they must compile as
   C99. */
#include <stdio.h>
#include <string.h>

#include "wenlei/exports.h"
#include "wenlei/wenlei.h"

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
  {
    char version[32];
    sprintf(version, "%d.%d.%d", WENLEI_VERSION_MAJOR, WENLEI_VERSION_MINOR, WENLEI_VERSION_PATCH);
    if (wenlei_version_number() != WENLEI_VERSION_NUMBER || strcmp(version, wenlei_version()) != 0) {
      fprintf(stderr, "the header says version %s, the library %s\n", version, wenlei_version());
      return 1;
    }
  }
  {
    /* C lets any int through an enumeration parameter. */
    wenlei_classifier *classifier = NULL;
    wenlei_result *result = NULL;
    const char *word = "hello";
    const size_t length = 5;
    if (wenlei_default_resources() == NULL ||
        wenlei_open(wenlei_default_resources(), NULL, &classifier, NULL) != WENLEI_OK ||
        wenlei_classify_words(classifier, &word, &length, 1, (wenlei_encoding)7, &result, NULL) !=
            WENLEI_INVALID_ARGUMENT ||
        wenlei_classify_words(classifier, &word, &length, 1, WENLEI_UTF8, &result, NULL) != WENLEI_OK ||
        strcmp(wenlei_status_name((wenlei_status)99), "unknown status") != 0) {
      fprintf(stderr, "the modern interface misjudged an encoding or a status\n");
      return 1;
    }
    if (wenlei_class_number(classifier, wenlei_class_at(classifier, 1)) != 2 ||
        wenlei_class_at(classifier, wenlei_class_count(classifier)) != NULL) {
      fprintf(stderr, "class indexes and numbers disagree\n");
      return 1;
    }
    wenlei_result_free(result);
    wenlei_close(classifier);
  }
  puts("C host: ok");
  return 0;
}
