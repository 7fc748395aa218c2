/* A host built outside the source tree against an installed wenlei: once
 * through find_package(wenlei), once through pkg-config.  It classifies the
 * words 插入 图表 through the exported functions, with the resource set whose
 * directory is its argument, and the text 插入图表 through the modern
 * interface, with the resource set the installed library finds beside
 * itself; both must answer 图表.  The installed header and library must
 * state one version. */
#include <stdio.h>
#include <string.h>

#include <wenlei/exports.h>
#include <wenlei/wenlei.h>

static void SetInline(WordEntry *entry, const char *bytes) {
  memset(entry, 0, sizeof *entry);
  entry->length = strlen(bytes);
  memcpy(entry->text.inline_bytes, bytes, entry->length);
  entry->capacity = 15;
}

static int ClassifyWithTheBundledSet(void) {
  static const char kText[] = "\xE6\x8F\x92\xE5\x85\xA5\xE5\x9B\xBE\xE8\xA1\xA8"; /* 插入图表 */
  const char *bundled = wenlei_default_resources();
  wenlei_classifier *classifier = NULL;
  wenlei_result *result = NULL;
  char *message = NULL;
  int status = 1;

  if (bundled == NULL) {
    fprintf(stderr, "consumer: the library finds no bundled resource set\n");
    return 1;
  }
  if (wenlei_open(bundled, NULL, &classifier, &message) != WENLEI_OK ||
      wenlei_classify_text(classifier, kText, strlen(kText), &result, &message) != WENLEI_OK) {
    fprintf(stderr, "consumer: %s\n", message != NULL ? message : "failed");
    wenlei_free(message);
  } else if (strcmp(wenlei_result_answer(result), "\xE5\x9B\xBE\xE8\xA1\xA8") != 0) { /* 图表 */
    fprintf(stderr, "consumer: unexpected answer %s\n", wenlei_result_answer(result));
  } else {
    printf("consumer: ok (%s)\n", bundled);
    status = 0;
  }
  wenlei_result_free(result);
  wenlei_close(classifier);
  return status;
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
  if (wenlei_version_number() != WENLEI_VERSION_NUMBER) {
    fprintf(stderr, "consumer: the installed header says version %d, the library %d\n",
            WENLEI_VERSION_NUMBER, wenlei_version_number());
    return 1;
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
    fprintf(stderr, "consumer: unexpected answer from the exports (%zu bytes)\n", strlen(answer));
    return 1;
  }
  return ClassifyWithTheBundledSet();
}
