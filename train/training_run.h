#ifndef WENLEI_TRAIN_TRAINING_RUN_H_
#define WENLEI_TRAIN_TRAINING_RUN_H_

#include <cstddef>
#include <string>

#include "train/corpus.h"
#include "train/trainer.h"
#include "train/training_settings.h"
#include "util/status.h"

namespace wenlei {

// The files that come with wenlei, as the caller finds them.
struct BundledFiles {
  std::string stopWords;   // used unless the settings name another list
  std::string dictionary;  // used for raw text unless the settings name one
};

// The corpus of a run: a corpus file, or raw UTF-8 texts in memory with
// their class names (count of each; text i is lengths[i] bytes).
struct CorpusInput {
  std::string path;
  const char* const* labels = nullptr;
  const char* const* texts = nullptr;
  const std::size_t* lengths = nullptr;
  std::size_t count = 0;
  bool inMemory = false;
};

struct TrainingOutcome {
  Corpus corpus;
  TrainingReport report;
  // The SHA-256 of the dictionary that segmented the texts; empty when the
  // corpus came segmented.
  std::string dictionarySha256;
};

// Trains a resource set into directory, which is made when missing.  One
// run at a time writes a directory: another run there is refused at once.
// The four files are written into a private staging directory and replace
// the old ones only when all are complete and synced, all or none, so a
// failed or cancelled run leaves the directory as it was (a directory the
// run made is removed again).  A set already there is replaced only with
// settings.force.
Status TrainResourceSet(const CorpusInput& input, const std::string& directory,
                        const TrainingSettings& settings, const BundledFiles& bundled,
                        TrainingProgress* progress, TrainingOutcome* outcome);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_TRAINING_RUN_H_
