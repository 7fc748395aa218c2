/* Classifies the given UTF-8 documents REPEATS times with the modern
 * interface, for timing from outside (scripts/windows times it under Wine
 * and on Linux; a run with 0 repeats gives the cost of starting and
 * opening the set, which is subtracted):
 *
 *   throughput SET DICTIONARY REPEATS DOCUMENT... */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "wenlei/wenlei.h"

int main(int argc, char **argv) {
  wenlei_options *options;
  wenlei_classifier *classifier = NULL;
  char *texts[64];
  size_t lengths[64];
  int documents = argc - 4, repeats, i, r;
  unsigned long done = 0;
  if (argc < 5 || documents > 64 || (repeats = atoi(argv[3])) < 0) {
    fprintf(stderr, "usage: throughput SET DICTIONARY REPEATS DOCUMENT...\n");
    return 2;
  }
  for (i = 0; i < documents; ++i) {
    FILE *file = fopen(argv[4 + i], "rb");
    long size;
    if (file == NULL || fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0) return 1;
    rewind(file);
    texts[i] = malloc((size_t)size + 1);
    lengths[i] = fread(texts[i], 1, (size_t)size, file);
    fclose(file);
  }
  options = wenlei_options_create();
  wenlei_options_set_dictionary(options, argv[2]);
  if (wenlei_open(argv[1], options, &classifier, NULL) != WENLEI_OK) return 1;
  wenlei_options_destroy(options);
  for (r = 0; r < repeats; ++r) {
    for (i = 0; i < documents; ++i) {
      wenlei_result *result = NULL;
      if (wenlei_classify_text(classifier, texts[i], lengths[i], &result, NULL) != WENLEI_OK) return 1;
      wenlei_result_free(result);
      ++done;
    }
  }
  wenlei_close(classifier);
  printf("%lu classifications\n", done);
  return 0;
}
