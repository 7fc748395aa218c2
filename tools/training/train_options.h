#ifndef WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_
#define WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_

#include <string>
#include <vector>

#include "tools/training/corpus.h"
#include "tools/commands/option_parser.h"
#include "tools/training/trainer.h"

namespace wenlei {

// The command line of `wenlei train`.
struct TrainCommandLine {
  std::string corpusPath;
  std::string outputDirectory;
  std::string synonymsPath;
  // The stop list replacing the bundled models/stop-words.txt ("none": no
  // list), and lists added to it.
  std::string stopWordsPath;
  std::vector<std::string> addedStopWordsPaths;
  // Raw text: segmented with the dictionary as `wenlei classify` does.
  bool raw = false;
  std::string dictionaryPath;
  CorpusEncoding encoding = CorpusEncoding::kUtf8;
  TrainerOptions options;
  bool force = false;
  bool quiet = false;
};

// Parses argv[1..argc) (argv[0] names the command).  Prints the help text,
// or one line naming a mistake to standard error, itself.
OptionParser::Outcome ParseTrainCommandLine(int argc, char** argv, TrainCommandLine* line);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_
