/* A host of the modern interface as a Windows developer writes one against
 * the package's wenlei.h and DLL alone, built the same way on Linux, so
 * that the two outputs can be compared byte for byte:
 *
 *   modern_host SET DICTIONARY WORK DOCUMENT...
 *
 * Opens the resource set SET with the dictionary, classifies each UTF-8
 * DOCUMENT file and explains its answer, then trains a small set from the
 * documents' sentences held in memory (class: the document's number) into
 * WORK/训练 (a non-ASCII name: the interface takes UTF-8 paths) and
 * classifies the documents with it.  Everything goes to standard output,
 * numbers with 17 significant digits. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "wenlei/wenlei.h"

static int Fail(const char *what, char *message) {
  fprintf(stderr, "modern_host: %s: %s\n", what, message != NULL ? message : "(no message)");
  wenlei_free(message);
  return 1;
}

static char *ReadFile(const char *path, size_t *length) {
  FILE *file = fopen(path, "rb");
  char *bytes = NULL;
  long size;
  if (file == NULL || fseek(file, 0, SEEK_END) != 0 || (size = ftell(file)) < 0 ||
      fseek(file, 0, SEEK_SET) != 0 || (bytes = (char *)malloc((size_t)size + 1)) == NULL ||
      fread(bytes, 1, (size_t)size, file) != (size_t)size) {
    fprintf(stderr, "modern_host: cannot read %s\n", path);
    exit(1);
  }
  fclose(file);
  *length = (size_t)size;
  return bytes;
}

/* Classifies every document with the set in directory and prints the
 * answers, probabilities, confidence and explanations. */
static int ClassifyAll(const char *directory, const char *dictionary, char **texts,
                       const size_t *lengths, int count) {
  wenlei_options *options = wenlei_options_create();
  wenlei_classifier *classifier = NULL;
  char *message = NULL;
  int i;
  size_t rank;
  wenlei_options_set_dictionary(options, dictionary);
  if (wenlei_open(directory, options, &classifier, &message) != WENLEI_OK) {
    wenlei_options_destroy(options);
    return Fail("wenlei_open", message);
  }
  wenlei_options_destroy(options);
  printf("set: %u classes, %u words, kernel %s\n", (unsigned)wenlei_class_count(classifier),
         (unsigned)wenlei_vocabulary_size(classifier), wenlei_kernel(classifier));
  for (i = 0; i < count; ++i) {
    wenlei_result *result = NULL;
    if (wenlei_classify_text(classifier, texts[i], lengths[i], &result, &message) != WENLEI_OK) {
      wenlei_close(classifier);
      return Fail("wenlei_classify_text", message);
    }
    printf("document %d: %s (%u words, %u known), confidence %.17g\n", i + 1,
           wenlei_result_answer(result), (unsigned)wenlei_result_words(result),
           (unsigned)wenlei_result_known_words(result), wenlei_result_confidence(result));
    for (rank = 0; rank < wenlei_result_class_count(result); ++rank) {
      printf("  %s %.17g\n", wenlei_result_class_name(result, rank),
             wenlei_result_probability(result, rank));
    }
    if (wenlei_result_explain(result, 5, &message) != WENLEI_OK) {
      wenlei_result_free(result);
      wenlei_close(classifier);
      return Fail("wenlei_result_explain", message);
    }
    printf("  decision %.17g, rest %.17g\n", wenlei_result_decision_value(result),
           wenlei_result_explanation_rest(result));
    for (rank = 0; rank < wenlei_result_explanation_count(result); ++rank) {
      printf("  because of %s %.17g\n", wenlei_result_explanation_word(result, rank),
             wenlei_result_explanation_contribution(result, rank));
    }
    wenlei_result_free(result);
  }
  wenlei_close(classifier);
  return 0;
}

int main(int argc, char **argv) {
  enum { kMaxTexts = 4096 };
  static const char kFullStop[] = "\xE3\x80\x82"; /* 。 */
  static const char *labels[kMaxTexts];
  static const char *sentences[kMaxTexts];
  static size_t sentenceLengths[kMaxTexts];
  static char names[64][8];
  char *texts[64];
  size_t lengths[64];
  size_t count = 0;
  char trained[4096];
  char *message = NULL;
  wenlei_train_options *options;
  int documents = argc - 4, i;

  if (argc < 5 || documents > 64) {
    fprintf(stderr, "usage: modern_host SET DICTIONARY WORK DOCUMENT... (up to 64)\n");
    return 2;
  }
  for (i = 0; i < documents; ++i) texts[i] = ReadFile(argv[4 + i], &lengths[i]);
  if (ClassifyAll(argv[1], argv[2], texts, lengths, documents) != 0) return 1;

  /* The sentences of each document, one text each, labelled by the
   * document's number. */
  for (i = 0; i < documents; ++i) {
    const char *at = texts[i], *end = texts[i] + lengths[i];
    sprintf(names[i], "c%d", i + 1);
    while (at < end && count < kMaxTexts) {
      const char *stop = strstr(at, kFullStop);
      const char *next = stop == NULL || stop >= end ? end : stop + strlen(kFullStop);
      labels[count] = names[i];
      sentences[count] = at;
      sentenceLengths[count] = (size_t)(next - at);
      ++count;
      at = next;
    }
  }
  snprintf(trained, sizeof trained, "%s/\xE8\xAE\xAD\xE7\xBB\x83", argv[3]); /* 训练 */
  options = wenlei_train_options_create();
  if (wenlei_train_options_set(options, "dictionary", argv[2], &message) != WENLEI_OK ||
      wenlei_train_options_set(options, "folds", "3", &message) != WENLEI_OK ||
      wenlei_train_options_set(options, "min-df", "1", &message) != WENLEI_OK ||
      wenlei_train_options_set(options, "force", "1", &message) != WENLEI_OK ||
      wenlei_train_options_set(options, "jobs", "2", &message) != WENLEI_OK) {
    wenlei_train_options_destroy(options);
    return Fail("wenlei_train_options_set", message);
  }
  if (wenlei_train_texts(labels, sentences, sentenceLengths, count, trained, options, &message) !=
      WENLEI_OK) {
    wenlei_train_options_destroy(options);
    return Fail("wenlei_train_texts", message);
  }
  wenlei_train_options_destroy(options);
  printf("trained from %u sentences\n", (unsigned)count);
  if (ClassifyAll(trained, argv[2], texts, lengths, documents) != 0) return 1;
  for (i = 0; i < documents; ++i) free(texts[i]);
  return 0;
}
