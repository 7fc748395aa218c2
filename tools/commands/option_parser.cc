#include "tools/commands/option_parser.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wenlei {

OptionParser::OptionParser(std::string program, std::string synopsis, std::string description)
    : program_(std::move(program)),
      synopsis_(std::move(synopsis)),
      description_(std::move(description)) {}

void OptionParser::AddFlag(char shortName, std::string longName, bool* value, std::string help) {
  Option option{shortName, std::move(longName), "", std::move(help)};
  option.flag = value;
  options_.push_back(std::move(option));
}

void OptionParser::AddValue(char shortName, std::string longName, std::string valueName,
                            std::string* value, std::string help) {
  Option option{shortName, std::move(longName), std::move(valueName), std::move(help)};
  option.value = value;
  options_.push_back(std::move(option));
}

void OptionParser::AddRepeatedValue(char shortName, std::string longName, std::string valueName,
                                    std::vector<std::string>* values, std::string help) {
  Option option{shortName, std::move(longName), std::move(valueName), std::move(help)};
  option.values = values;
  options_.push_back(std::move(option));
}

const OptionParser::Option* OptionParser::FindLong(const std::string& name) const {
  for (const Option& option : options_) {
    if (option.longName == name) return &option;
  }
  return nullptr;
}

const OptionParser::Option* OptionParser::FindShort(char name) const {
  for (const Option& option : options_) {
    if (option.shortName != 0 && option.shortName == name) return &option;
  }
  return nullptr;
}

void OptionParser::Store(const Option& option, const std::string& value) {
  if (option.value != nullptr) *option.value = value;
  if (option.values != nullptr) option.values->push_back(value);
}

OptionParser::Outcome OptionParser::Parse(int argc, char* const* argv,
                                          std::vector<std::string>* operands) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
      operands->push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    if (argument == "-h" || argument == "--help") {
      std::fputs(HelpText().c_str(), stdout);
      return Outcome::kHelpShown;
    }

    if (argument[1] == '-') {
      std::size_t equals = argument.find('=');
      const std::string name = argument.substr(2, equals == std::string::npos ? equals : equals - 2);
      const Option* option = FindLong(name);
      if (option == nullptr) {
        ReportUsageError("unknown option --" + name);
        return Outcome::kUsageError;
      }
      if (option->flag != nullptr) {
        if (equals != std::string::npos) {
          ReportUsageError("--" + name + " takes no value");
          return Outcome::kUsageError;
        }
        *option->flag = true;
        continue;
      }
      if (equals != std::string::npos) {
        Store(*option, argument.substr(equals + 1));
      } else if (i + 1 < argc) {
        Store(*option, argv[++i]);
      } else {
        ReportUsageError("--" + name + " needs a " + option->valueName);
        return Outcome::kUsageError;
      }
      continue;
    }

    // A cluster of short options: flags, and at most one value-taking option
    // whose value is the rest of the cluster or the next argument.
    for (std::size_t j = 1; j < argument.size(); ++j) {
      const Option* option = FindShort(argument[j]);
      if (option == nullptr) {
        ReportUsageError(std::string("unknown option -") + argument[j]);
        return Outcome::kUsageError;
      }
      if (option->flag != nullptr) {
        *option->flag = true;
        continue;
      }
      if (j + 1 < argument.size()) {
        Store(*option, argument.substr(j + 1));
      } else if (i + 1 < argc) {
        Store(*option, argv[++i]);
      } else {
        ReportUsageError(std::string("-") + argument[j] + " needs a " + option->valueName);
        return Outcome::kUsageError;
      }
      break;
    }
  }
  return Outcome::kRun;
}

std::string OptionParser::HelpText() const {
  std::string text = "usage: " + synopsis_ + "\n\n" + description_ + "\n";
  std::vector<std::pair<std::string, std::string>> rows;
  std::size_t width = 0;
  for (const Option& option : options_) {
    std::string names = option.shortName != 0 ? std::string("-") + option.shortName + ", " : "    ";
    names += "--" + option.longName;
    if (!option.valueName.empty()) names += " " + option.valueName;
    width = std::max(width, names.size());
    rows.emplace_back(std::move(names), option.help);
  }
  rows.emplace_back("-h, --help", "show this help and exit");
  width = std::max<std::size_t>(width, rows.back().first.size());
  text += "\noptions:\n";
  for (const auto& [names, help] : rows) {
    text += "  " + names + std::string(width - names.size() + 2, ' ');
    // Continuation lines of a long help text line up under its first line.
    for (char c : help) {
      text += c;
      if (c == '\n') text += std::string(width + 4, ' ');
    }
    text += '\n';
  }
  if (!epilogue_.empty()) text += "\n" + epilogue_ + "\n";
  return text;
}

void OptionParser::ReportUsageError(const std::string& message) const {
  std::fprintf(stderr, "%s: %s (see %s --help)\n", program_.c_str(), message.c_str(),
               program_.c_str());
}

}  // namespace wenlei
