#ifndef WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_
#define WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_

#include <string>
#include <vector>

#include "train/corpus.h"
#include "tools/commands/option_parser.h"
#include "train/trainer.h"
#include "train/training_settings.h"

namespace wenlei {

// The command line of `wenlei train`.
struct TrainCommandLine {
  std::string corpusPath;
  std::string outputDirectory;
  TrainingSettings settings;
  bool quiet = false;
  // Seconds between the plain progress lines when standard error is not a
  // terminal; 0: every status as it comes.
  double progressInterval = 5.0;
};

// Parses argv[1..argc) (argv[0] names the command).  Prints the help text,
// or one line naming a mistake to standard error, itself.
OptionParser::Outcome ParseTrainCommandLine(int argc, char** argv, TrainCommandLine* line);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_TRAINING_TRAIN_OPTIONS_H_
