#ifndef WENLEI_TRAIN_TRAINING_SETTINGS_H_
#define WENLEI_TRAIN_TRAINING_SETTINGS_H_

#include <string>
#include <vector>

#include "train/corpus.h"
#include "train/trainer.h"
#include "util/status.h"

namespace wenlei {

// Everything a training run takes besides its corpus and directory, set one
// option at a time by the long name of the train command's option.
struct TrainingSettings {
  TrainerOptions options;
  std::string synonymsPath;
  // The stop list replacing the bundled one ("none": no list; empty: the
  // bundled list), and lists added to it.
  std::string stopWordsPath;
  std::vector<std::string> addedStopWordsPaths;
  // Raw text, segmented with the dictionary (empty: the bundled one).
  bool raw = false;
  std::string dictionaryPath;
  CorpusEncoding encoding = CorpusEncoding::kUtf8;
  bool force = false;  // replace a set the directory already holds

  // Sets the option named (without dashes) to value, flags as "1" or "0".
  // kInvalidArgument for an unknown name or a bad value, with a message
  // that names neither the option nor its dashes ("\"x\" is not a positive
  // whole number"), for the caller to prefix.
  Status Set(const std::string& name, const std::string& value);
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_TRAINING_SETTINGS_H_
