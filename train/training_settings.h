#ifndef WENLEI_TRAIN_TRAINING_SETTINGS_H_
#define WENLEI_TRAIN_TRAINING_SETTINGS_H_

#include <string>
#include <vector>

#include "train/corpus.h"
#include "train/corpus_reading.h"
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
  // What the corpus file holds; raw text is segmented with the dictionary
  // (empty: the bundled one).  Texts in memory are always raw.
  CorpusText text = CorpusText::kDetect;
  std::string dictionaryPath;
  CorpusEncoding encoding = CorpusEncoding::kUtf8;
  bool force = false;  // replace a set the directory already holds

  // Sets the option named (without dashes) to value, flags as "1" or "0".
  // kInvalidArgument for an unknown name or a bad value, with a message
  // that names neither the option nor its dashes ("\"x\" is not a positive
  // whole number"), for the caller to prefix.
  Status Set(const std::string& name, const std::string& value);
};

// One option of a training run: the name that the train command (with two
// dashes), wenlei_train_options_set and the Python package (with
// underscores) give it, how the command shows and explains it, and how it
// sets and shows its value.
struct TrainingOption {
  const char* name;
  char shortName;         // the command's one-letter form; 0: none
  const char* valueName;  // the command's placeholder; nullptr: a flag
  const char* help;       // lines broken by '\n', without the default
  bool repeated;          // each occurrence adds to the earlier ones
  Status (*set)(const std::string& value, TrainingSettings* settings);
  // The value in force as the option would take it; nullptr: not shown.
  std::string (*show)(const TrainingSettings& settings);
};

// Every option of a training run, in the order the help lists them.
const std::vector<TrainingOption>& TrainingOptionTable();

// The option of that name, or of an older name kept for it ("costs",
// "dictionary"); nullptr when there is none.
const TrainingOption* FindTrainingOption(const std::string& name);

// What an option's value is when it is not given; empty when not shown.
std::string TrainingOptionDefault(const TrainingOption& option);

}  // namespace wenlei

#endif  // WENLEI_TRAIN_TRAINING_SETTINGS_H_
