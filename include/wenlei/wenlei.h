/*
 * wenlei: assigns a category to a Chinese document.
 *
 * The modern interface.  A resource set directory (Source.dat, SVMModel and,
 * when present, its confidence file) is opened once into an immutable
 * handle; documents are classified from UTF-8 text (segmented inside), or
 * from words already segmented (UTF-8 or GBK).  A result holds every class
 * with its probability, highest first, the answer text that the exported
 * functions of exports.h give for the same words, and the counts of words
 * and known words.
 *
 * Nothing here writes a file, prints, or ends the process: every failure
 * comes back as a status code and, when the caller asks for it, a message.
 * Any number of threads may classify on one handle at once.
 *
 * Errors: every fallible function returns a wenlei_status.  When `message`
 * is not null and the call fails, *message receives a one-line description
 * allocated by the library (free it with wenlei_free); on success *message
 * is left as it was.
 *
 * Texts handed back (names, answers, words, messages) are zero-terminated
 * UTF-8 unless the function says GBK, and live as long as the object that
 * holds them.  A result owns all it returns: it stays valid after its
 * classifier is closed.
 *
 * Counting: every index or rank counts from 0 (a result's ranks and answer
 * names, a word list's words, wenlei_class_at).  A class number is not an
 * index but the class's label in the model, 1 to wenlei_class_count(); 0
 * stands for no class.  A getter given an index or number out of range
 * returns NULL (a text), 0 (a number) or 0.0.
 */
#ifndef WENLEI_WENLEI_H_
#define WENLEI_WENLEI_H_

#include <stddef.h>

#include "wenlei/export.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this header.  wenlei_version_number() gives the loaded
 * library's, to compare with WENLEI_VERSION_NUMBER at run time. */
#define WENLEI_VERSION_MAJOR 1
#define WENLEI_VERSION_MINOR 0
#define WENLEI_VERSION_PATCH 0
#define WENLEI_VERSION_NUMBER \
  (WENLEI_VERSION_MAJOR * 10000 + WENLEI_VERSION_MINOR * 100 + WENLEI_VERSION_PATCH)

typedef enum wenlei_status {
  WENLEI_OK = 0,
  WENLEI_INVALID_ARGUMENT = 1, /* a null pointer, an unknown encoding, ... */
  WENLEI_NOT_FOUND = 2,        /* a file of the resource set does not exist */
  WENLEI_IO_ERROR = 3,         /* a file exists but cannot be read */
  WENLEI_CORRUPT = 4,          /* a malformed Source.dat, a damaged model, dictionary */
  WENLEI_MISMATCH = 5,         /* the parts of a resource set do not fit together */
  WENLEI_BAD_ENCODING = 6,     /* text that is not UTF-8 (or GBK where GBK was named) */
  WENLEI_TOO_LARGE = 7,        /* a document over the size limit */
  WENLEI_NO_MEMORY = 8,
  WENLEI_INTERNAL = 9,
  WENLEI_CANCELLED = 10        /* the progress callback asked to stop */
} wenlei_status;

typedef enum wenlei_encoding {
  WENLEI_UTF8 = 0,
  WENLEI_GBK = 1
} wenlei_encoding;

/* The library's version, "MAJOR.MINOR.PATCH", and as one number,
 * MAJOR * 10000 + MINOR * 100 + PATCH (as WENLEI_VERSION_NUMBER). */
WENLEI_EXPORT const char *wenlei_version(void);
WENLEI_EXPORT int wenlei_version_number(void);

/* A constant name for a status ("ok", "not found", ...); "unknown status"
 * for a value that is none of them.  Bindings take their names from here. */
WENLEI_EXPORT const char *wenlei_status_name(wenlei_status status);

/* Frees a message or any other block the library allocated for the caller. */
WENLEI_EXPORT void wenlei_free(void *block);

/* Where the bundled resource set and the segmentation dictionary are: beside
 * the installed library (PREFIX/share/wenlei/models/help-zh and
 * .../models/dictionary/dict.txt, found from the library's own location, so
 * an installed tree can be moved; ../share/wenlei/models, then
 * ../../share/wenlei/models, then ../models from the library's folder), else
 * in the source tree the library was built from.  Null when none exists. */
WENLEI_EXPORT const char *wenlei_default_resources(void);
WENLEI_EXPORT const char *wenlei_default_dictionary(void);

/* ---- Options for opening a resource set ---- */

typedef struct wenlei_options wenlei_options;

WENLEI_EXPORT wenlei_options *wenlei_options_create(void);
WENLEI_EXPORT void wenlei_options_destroy(wenlei_options *options);

/* The setters report a bad value at once, as wenlei_train_options_set does
 * (WENLEI_INVALID_ARGUMENT for null options too); the value is kept all the
 * same, so that wenlei_open refuses it as well for a caller that does not
 * look at the status. */

/* The segmentation dictionary for text input (jieba's dict.txt format).
 * Null (the default): the dictionary installed with the library.  A path
 * that names no file: WENLEI_NOT_FOUND. */
WENLEI_EXPORT wenlei_status wenlei_options_set_dictionary(wenlei_options *options, const char *path);

/* Answers whose confidence is below this are flagged unknown.  Negative (the
 * default): the threshold stored with the resource set, or 0 (never unknown)
 * when it stores none.  NaN or a number above 1: WENLEI_INVALID_ARGUMENT. */
WENLEI_EXPORT wenlei_status wenlei_options_set_min_confidence(wenlei_options *options,
                                                              double threshold);

/* The largest document, in bytes of its text (or of its words together),
 * that a classification accepts; 0 means no limit.  Default 16 MiB. */
WENLEI_EXPORT wenlei_status wenlei_options_set_max_document_bytes(wenlei_options *options,
                                                                  size_t bytes);

/* ---- Resource sets ---- */

typedef struct wenlei_classifier wenlei_classifier;

/* Opens the resource set in `directory` (holding Source.dat and SVMModel).
 * `options` may be null.  Checks that the parts fit together: model labels
 * 1..n in order, as many classes as Source.dat names, probability
 * estimates present, no feature number beyond the vocabulary.  When the set
 * has a metadata file (Metadata.txt, written by the trainer), the files must
 * have the digests it records: a set being retrained is read again a few
 * times until it does, else WENLEI_MISMATCH, so a handle never holds parts
 * of two training runs; and its class names must be those Source.dat holds
 * (each full name giving back Source.dat's short form, none twice, every
 * class named), else WENLEI_MISMATCH, so that this interface and the
 * exports never answer differently.  A metadata file over 1 MiB is
 * WENLEI_CORRUPT. */
WENLEI_EXPORT wenlei_status wenlei_open(const char *directory, const wenlei_options *options,
                                        wenlei_classifier **classifier, char **message);

/* Closes a handle; null does nothing.  No classification may be running on it. */
WENLEI_EXPORT void wenlei_close(wenlei_classifier *classifier);

/* The resource set's classes (UTF-8 names): wenlei_class_name by class
 * number (1..count), wenlei_class_at by index (0..count-1, the same order);
 * NULL out of range. */
WENLEI_EXPORT size_t wenlei_class_count(const wenlei_classifier *classifier);
WENLEI_EXPORT const char *wenlei_class_name(const wenlei_classifier *classifier, size_t number);
WENLEI_EXPORT const char *wenlei_class_at(const wenlei_classifier *classifier, size_t index);
/* The class's name as the set was trained with it (UTF-8, by class number):
 * the label a training corpus gave, tag included, where wenlei_class_name
 * gives the name answers show ("1 Sports" answers "Sports"); NULL out of
 * range. */
WENLEI_EXPORT const char *wenlei_class_label(const wenlei_classifier *classifier, size_t number);

/* The number of the class named `name` (UTF-8, as wenlei_class_name gives
 * it); 0 when no class has that name. */
WENLEI_EXPORT size_t wenlei_class_number(const wenlei_classifier *classifier, const char *name);

/* The threshold in force for this handle (see wenlei_options_set_min_confidence). */
WENLEI_EXPORT double wenlei_min_confidence(const wenlei_classifier *classifier);

/* What the resource set is: the number of words its vocabulary knows, the
 * number of features the model reads (several words may share one), the
 * model's kernel ("linear", "polynomial", "rbf", "sigmoid" or
 * "precomputed") and how the set was trained (the `trainer` line of its
 * Metadata.txt: solver, kernel, cost, vocabulary size), NULL when the set
 * does not say. */
WENLEI_EXPORT size_t wenlei_vocabulary_size(const wenlei_classifier *classifier);
WENLEI_EXPORT size_t wenlei_feature_count(const wenlei_classifier *classifier);
WENLEI_EXPORT const char *wenlei_kernel(const wenlei_classifier *classifier);
WENLEI_EXPORT const char *wenlei_trained_with(const wenlei_classifier *classifier);

/* A set trained from raw text records the SHA-256 of the segmentation
 * dictionary that cut it (dictionary_sha256 in Metadata.txt).  Opening it
 * compares the dictionary this handle segments text with:
 * wenlei_trained_with then ends with "; dictionary sha256 HEX" and, when
 * the two differ, ", segmenting with sha256 HEX", and wenlei_warning gives
 * a one-line warning naming both (the handle works all the same, but text
 * may be cut into other words than in training).  NULL when there is
 * nothing to warn of (also for a set that records no dictionary). */
WENLEI_EXPORT const char *wenlei_warning(const wenlei_classifier *classifier);

/* ---- Classification ---- */

typedef struct wenlei_result wenlei_result;

/* Segments UTF-8 text and classifies its words. */
WENLEI_EXPORT wenlei_status wenlei_classify_text(const wenlei_classifier *classifier,
                                                 const char *text, size_t length,
                                                 wenlei_result **result, char **message);

/* Classifies a document given as `count` words in `encoding`; word i is
 * words[i], lengths[i] bytes (no terminating zero needed). */
WENLEI_EXPORT wenlei_status wenlei_classify_words(const wenlei_classifier *classifier,
                                                  const char *const *words,
                                                  const size_t *lengths, size_t count,
                                                  wenlei_encoding encoding,
                                                  wenlei_result **result, char **message);

/* Classifies `count` UTF-8 texts.  results[i] receives the result of texts[i]
 * (lengths[i] bytes).  A document that cannot be classified (bad encoding,
 * over the size limit) gets a result whose wenlei_result_status says why;
 * the call itself fails only for bad arguments or lack of memory, and then
 * sets every results[i] to null. */
WENLEI_EXPORT wenlei_status wenlei_classify_batch(const wenlei_classifier *classifier,
                                                  const char *const *texts,
                                                  const size_t *lengths, size_t count,
                                                  wenlei_result **results, char **message);

WENLEI_EXPORT void wenlei_result_free(wenlei_result *result);

/* WENLEI_OK, or why this document of a batch could not be classified (then
 * wenlei_result_error holds the message and everything else is empty). */
WENLEI_EXPORT wenlei_status wenlei_result_status(const wenlei_result *result);
WENLEI_EXPORT const char *wenlei_result_error(const wenlei_result *result);

/* The answer the exported functions give for the same words: one name, two
 * joined by " or ", or the fixed message for a document without known
 * words.  wenlei_result_answer_gbk gives the exports' very bytes,
 * wenlei_result_answer the same answer in UTF-8 with the full class names.
 *
 * Class names: Source.dat holds at most 9 GBK bytes of a name, so a set
 * trained with longer names keeps a short form there (what the exports and
 * wenlei_result_answer_gbk answer with) and the full names in its
 * Metadata.txt.  Every UTF-8 name of this interface (wenlei_result_answer,
 * wenlei_result_name, wenlei_result_class_name, wenlei_class_name, ...) is
 * the full name. */
WENLEI_EXPORT const char *wenlei_result_answer(const wenlei_result *result);
WENLEI_EXPORT const char *wenlei_result_answer_gbk(const wenlei_result *result);

/* The one or two names in the answer; 0 names for a document without known
 * words. */
WENLEI_EXPORT size_t wenlei_result_name_count(const wenlei_result *result);
WENLEI_EXPORT const char *wenlei_result_name(const wenlei_result *result, size_t index);

/* Every class with its probability by rank, highest first (equal
 * probabilities in class order); 0 entries when the document reached no
 * prediction.  wenlei_result_class_number gives the class number of a rank
 * (0 out of range). */
WENLEI_EXPORT size_t wenlei_result_class_count(const wenlei_result *result);
WENLEI_EXPORT const char *wenlei_result_class_name(const wenlei_result *result, size_t rank);
WENLEI_EXPORT size_t wenlei_result_class_number(const wenlei_result *result, size_t rank);
WENLEI_EXPORT double wenlei_result_probability(const wenlei_result *result, size_t rank);

/* The margin of class `number` (1..wenlei_class_count()): the model's
 * decision values for the document, one per class, where the
 * probabilities are those values after a sigmoid per pair of classes and
 * their coupling.  The model decides between each pair of classes (libsvm's
 * decision value, positive for the first); a class's margin is the sum of
 * its values against every other class divided by the number of classes.
 * For a set trained one-vs-rest (one weight vector per class, scoring
 * w . x + b) that is the class's score less the mean of all classes'
 * scores; for a set of one model per pair of classes (one-vs-one, the
 * trainer's default, and libsvm's kernels), the class's mean lead in its
 * pairs.  The class ranked first most often has the largest margin, but
 * not always: each pair's sigmoid is fitted on its own.  0.0 without a
 * prediction or out of range. */
WENLEI_EXPORT double wenlei_result_margin(const wenlei_result *result, size_t number);

/* The number of words, of words the vocabulary knows, and of characters
 * dropped because GBK cannot hold them. */
WENLEI_EXPORT size_t wenlei_result_words(const wenlei_result *result);
WENLEI_EXPORT size_t wenlei_result_known_words(const wenlei_result *result);
WENLEI_EXPORT size_t wenlei_result_dropped_characters(const wenlei_result *result);

/* The confidence of the answer, from 0 to 1 (0 without a prediction): the
 * geometric mean of the top probability and the share of the document's
 * content words (words with a letter or a Chinese character) that the
 * vocabulary knows.  And whether it is below the handle's
 * threshold (1) or not (0).  A document without known words is always
 * unknown. */
WENLEI_EXPORT double wenlei_result_confidence(const wenlei_result *result);
WENLEI_EXPORT int wenlei_result_unknown(const wenlei_result *result);

/* ---- Explanations ---- */

/* Explains the decision between the classes ranked first (the answer) and
 * second (the runner-up): keeps in the result the `limit` words (0: every
 * known word) that contributed most to it, largest magnitude first.  A
 * positive contribution speaks for the answer, a negative one for the
 * runner-up.
 *
 * For a model with the linear kernel the contributions are exact: libsvm's
 * decision value for the pair is w . x - rho, and a word's contribution is
 * its weight in the document vector x times w at its feature.  Words that
 * share one feature (variants of a canonical word) share that feature's
 * product in proportion to their own weights.  Every word's contribution
 * plus wenlei_result_explanation_rest (the -rho) is
 * wenlei_result_decision_value.  Any other kernel: WENLEI_INVALID_ARGUMENT.
 * A result with fewer than two ranked classes gets an empty explanation.
 *
 * The words and numbers live in the result (until it is freed or explained
 * again); call this from one thread at a time for one result. */
WENLEI_EXPORT wenlei_status wenlei_result_explain(wenlei_result *result, size_t limit,
                                                  char **message);

/* wenlei_result_explain with flags (0: the same).  WENLEI_EXPLAIN_CONTENT_WORDS
 * keeps content words only, the words the confidence counts (with a letter
 * or a Chinese character): punctuation, symbols and numbers are left out
 * of the words, and their contributions are added to
 * wenlei_result_explanation_rest, so that the words' contributions plus
 * the rest still make the decision value.  Unknown flags:
 * WENLEI_INVALID_ARGUMENT. */
#define WENLEI_EXPLAIN_CONTENT_WORDS 1u
WENLEI_EXPORT wenlei_status wenlei_result_explain_flags(wenlei_result *result, size_t limit,
                                                        unsigned flags, char **message);
WENLEI_EXPORT size_t wenlei_result_explanation_count(const wenlei_result *result);
WENLEI_EXPORT const char *wenlei_result_explanation_word(const wenlei_result *result, size_t index);
WENLEI_EXPORT double wenlei_result_explanation_contribution(const wenlei_result *result,
                                                           size_t index);
WENLEI_EXPORT double wenlei_result_explanation_rest(const wenlei_result *result);
WENLEI_EXPORT double wenlei_result_decision_value(const wenlei_result *result);

/* ---- Segmentation ---- */

typedef struct wenlei_segmenter wenlei_segmenter;
typedef struct wenlei_words wenlei_words;

/* Loads a dictionary; null: the dictionary installed with the library. */
WENLEI_EXPORT wenlei_status wenlei_segmenter_open(const char *dictionary,
                                                  wenlei_segmenter **segmenter, char **message);
WENLEI_EXPORT void wenlei_segmenter_close(wenlei_segmenter *segmenter);

/* Splits UTF-8 text into words, as text classification does. */
WENLEI_EXPORT wenlei_status wenlei_segment(const wenlei_segmenter *segmenter, const char *text,
                                           size_t length, wenlei_words **words, char **message);
WENLEI_EXPORT size_t wenlei_words_count(const wenlei_words *words);
WENLEI_EXPORT const char *wenlei_words_at(const wenlei_words *words, size_t index,
                                          size_t *length);
WENLEI_EXPORT void wenlei_words_free(wenlei_words *words);

/* ---- Training ---- */

typedef struct wenlei_train_options wenlei_train_options;

WENLEI_EXPORT wenlei_train_options *wenlei_train_options_create(void);
WENLEI_EXPORT void wenlei_train_options_destroy(wenlei_train_options *options);

/* Sets one option by the long name of the `wenlei train` command's option
 * without its dashes ("kernel", "solver", "cost", "min-df", "folds", "seed",
 * "jobs", "dict", "raw", "force", ...; wenlei_train_option_name lists them),
 * the value as text ("1"/"0" for flags).  WENLEI_INVALID_ARGUMENT with a
 * message for an unknown name or a bad value, which leaves the options as
 * they were. */
WENLEI_EXPORT wenlei_status wenlei_train_options_set(wenlei_train_options *options,
                                                     const char *name, const char *value,
                                                     char **message);

/* The training options in the order `wenlei train --help` lists them: the
 * name of option `index` (0, 1, ...), NULL past the last, and the value it
 * has when it is not set, as text ("" when the default is not a value, such
 * as the bundled stop list). */
WENLEI_EXPORT const char *wenlei_train_option_name(size_t index);
WENLEI_EXPORT const char *wenlei_train_option_default(size_t index);

/* Called on the calling thread with a stage name and how far it is (done of
 * total units); a nonzero return cancels: training then returns
 * WENLEI_CANCELLED and leaves the output directory as it was. */
typedef int (*wenlei_progress_callback)(void *context, const char *stage, double done,
                                        double total);
WENLEI_EXPORT void wenlei_train_options_set_progress(wenlei_train_options *options,
                                                     wenlei_progress_callback callback,
                                                     void *context);

/* Trains a resource set into `directory` (created when missing; an existing
 * set is replaced only with the "force" option) from a corpus file in the
 * format `wenlei train` reads: one document a line, a class name, a tab and
 * the document's words separated by spaces, or its raw text with the "raw"
 * option.  `options` may be null (the defaults).  The files appear together
 * only when training succeeds, replacing an old set whole or not at all;
 * a second training into the same directory meanwhile fails at once
 * (WENLEI_IO_ERROR, "another training is writing ...").  The same corpus
 * and options give the same bytes, whatever "jobs".  The folds train on up
 * to "jobs" threads of the calling process, which are joined before the
 * call returns; no process is started. */
WENLEI_EXPORT wenlei_status wenlei_train_file(const char *corpus, const char *directory,
                                              const wenlei_train_options *options,
                                              char **message);

/* ... or from `count` raw UTF-8 texts (segmented inside, as
 * wenlei_classify_text does; text i is lengths[i] bytes) and their UTF-8
 * class names. */
WENLEI_EXPORT wenlei_status wenlei_train_texts(const char *const *labels,
                                               const char *const *texts,
                                               const size_t *lengths, size_t count,
                                               const char *directory,
                                               const wenlei_train_options *options,
                                               char **message);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* WENLEI_WENLEI_H_ */
