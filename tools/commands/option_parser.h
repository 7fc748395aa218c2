#ifndef WENLEI_TOOLS_COMMANDS_OPTION_PARSER_H_
#define WENLEI_TOOLS_COMMANDS_OPTION_PARSER_H_

#include <string>
#include <vector>

namespace wenlei {

// Command-line options of one wenlei command: "-x", "-x VALUE", "-xVALUE",
// "--name", "--name VALUE", "--name=VALUE"; "--" ends the options and a lone
// "-" is an operand.  -h and --help are always understood.
class OptionParser {
 public:
  enum class Outcome {
    kRun,         // the options were understood; run the command
    kHelpShown,   // --help printed the help text to standard output
    kUsageError,  // one line naming the mistake went to standard error
  };

  // synopsis: the usage line after "usage: "; description: what the command
  // does, printed between the usage line and the options.
  OptionParser(std::string program, std::string synopsis, std::string description);

  // shortName 0 means no short form.
  void AddFlag(char shortName, std::string longName, bool* value, std::string help);
  void AddValue(char shortName, std::string longName, std::string valueName, std::string* value,
                std::string help);
  // An option that may be given several times; each value is appended.
  void AddRepeatedValue(char shortName, std::string longName, std::string valueName,
                        std::vector<std::string>* values, std::string help);
  // Text printed after the options, such as notes and examples.
  void SetEpilogue(std::string epilogue) { epilogue_ = std::move(epilogue); }

  // argv[0] is the command's own name and is skipped.  Operands, in order,
  // go to *operands.
  Outcome Parse(int argc, char* const* argv, std::vector<std::string>* operands);

  std::string HelpText() const;

  // Writes "PROGRAM: message (see PROGRAM --help)" to standard error.
  void ReportUsageError(const std::string& message) const;

 private:
  struct Option {
    char shortName;
    std::string longName;
    std::string valueName;  // empty for a flag
    std::string help;
    bool* flag = nullptr;
    std::string* value = nullptr;
    std::vector<std::string>* values = nullptr;
  };

  const Option* FindLong(const std::string& name) const;
  const Option* FindShort(char name) const;
  static void Store(const Option& option, const std::string& value);

  std::string program_;
  std::string synopsis_;
  std::string description_;
  std::string epilogue_;
  std::vector<Option> options_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_OPTION_PARSER_H_
