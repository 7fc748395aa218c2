/* A host built outside the source tree against an installed wenlei: once
 * through find_package(wenlei), once through pkg-config.  It classifies the
 * words 插入 图表 with the resource set whose directory is its argument and
 * expects the answer 图表. */
#include <stdio.h>
#include <string.h>

#include <wenlei/exports.h>

static void SetInline(WordEntry *entry, const char *bytes) {
  memset(entry, 0, sizeof *entry);
  entry->length = strlen(bytes);
  memcpy(entry->text.inline_bytes, bytes, entry->length);
  entry->capacity = 15;
}

int main(int argc, char **argv) {
  static const char kChart[] = "\xCD\xBC\xB1\xED"; /* 图表 in GBK */
  char prefix[4096];
  char answer[256] = {0};
  WordEntry entries[2];
  WordList list = {NULL, &entries[0], &entries[2], NULL};
  ClassifierHandle handle;

  if (argc != 2 || snprintf(prefix, sizeof prefix, "%s/", argv[1]) >= (int)sizeof prefix) {
    fprintf(stderr, "usage: consumer RESOURCE-DIRECTORY\n");
    return 2;
  }
  SetInline(&entries[0], "\xB2\xE5\xC8\xEB"); /* 插入 */
  SetInline(&entries[1], kChart);
  if (!LoadSource(prefix)) {
    fprintf(stderr, "consumer: %sSource.dat was refused\n", prefix);
    return 1;
  }
  handle = CreateClassifier();
  Classification(handle, &list, answer);
  releaseClassifier(handle);
  releasesource();
  if (strcmp(answer, kChart) != 0) {
    fprintf(stderr, "consumer: unexpected answer (%zu bytes)\n", strlen(answer));
    return 1;
  }
  puts("consumer: ok");
  return 0;
}
