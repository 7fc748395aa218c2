#ifndef WENLEI_TOOLS_COMMANDS_COMMANDS_H_
#define WENLEI_TOOLS_COMMANDS_COMMANDS_H_

namespace wenlei {

// Exit statuses of every wenlei command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // the work could not be done
inline constexpr int kExitUsage = 2;    // the command line was wrong

// Every command of the wenlei program, in the order `wenlei --help` lists
// them: COMMAND(name, entry point, one-line summary).  An entry point is
//   int wenlei::Function(int argc, char** argv)
// with argv[0] the command's name and argv[1..] its arguments, returning an
// exit status.  Adding a command is one line here and its sources in
// tools/CMakeLists.txt.
#define WENLEI_COMMAND_LIST(COMMAND)                                                    \
  COMMAND("classify", RunClassifyCommand, "assign a category to Chinese text")         \
  COMMAND("segment", RunSegmentCommand, "split Chinese text into words")               \
  COMMAND("train", RunTrainCommand, "build a resource set from a labelled corpus")      \
  COMMAND("eval", RunEvalCommand, "measure a resource set on a labelled test corpus")   \
  COMMAND("inspect", RunSetReportCommand, "summarise a resource set, look up a word")

#define WENLEI_DECLARE_COMMAND(name, function, summary) int function(int argc, char** argv);
WENLEI_COMMAND_LIST(WENLEI_DECLARE_COMMAND)
#undef WENLEI_DECLARE_COMMAND

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_COMMANDS_H_
