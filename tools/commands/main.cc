// The wenlei program: one executable, one subcommand per task.

#include <cstdio>
#include <vector>
#if defined(_WIN32)
#include <windows.h>
#endif
#include <new>
#include <cstring>
#include <string>

#include "tools/commands/commands.h"

namespace wenlei {
namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* summary;
};

#define WENLEI_COMMAND_ENTRY(name, function, summary) {name, &function, summary},
const Command kCommands[] = {WENLEI_COMMAND_LIST(WENLEI_COMMAND_ENTRY)};
#undef WENLEI_COMMAND_ENTRY

const Command* FindCommand(const char* name) {
  for (const Command& command : kCommands) {
    if (std::strcmp(command.name, name) == 0) return &command;
  }
  return nullptr;
}

void PrintOverview(std::FILE* stream) {
  std::fputs(
      "usage: wenlei COMMAND [OPTIONS] [ARGUMENTS]\n"
      "\n"
      "Classifies Chinese text with a resource set (Source.dat and SVMModel).\n"
      "\n"
      "commands:\n",
      stream);
  for (const Command& command : kCommands) {
    std::fprintf(stream, "  %-10s %s\n", command.name, command.summary);
  }
  std::fputs(
      "\n"
      "Run 'wenlei help COMMAND' or 'wenlei COMMAND --help' for the options of one\n"
      "command, 'wenlei --version' for the version.\n"
      "Exit status: 0 success, 1 failure, 2 usage error.\n",
      stream);
}

int Dispatch(int argc, char** argv) {
  if (argc < 2) {
    PrintOverview(stderr);
    return kExitUsage;
  }
  const char* first = argv[1];
  if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
    PrintOverview(stdout);
    return kExitSuccess;
  }
  if (std::strcmp(first, "--version") == 0) {
    std::printf("wenlei %s\n", WENLEI_VERSION);
    return kExitSuccess;
  }
  if (std::strcmp(first, "help") == 0) {
    if (argc < 3) {
      PrintOverview(stdout);
      return kExitSuccess;
    }
    const Command* command = FindCommand(argv[2]);
    if (command == nullptr) {
      std::fprintf(stderr, "wenlei: unknown command '%s' (see wenlei --help)\n", argv[2]);
      return kExitUsage;
    }
    std::string name = std::string("wenlei ") + command->name;
    char help[] = "--help";
    char* helpArgv[] = {name.data(), help, nullptr};
    return command->run(2, helpArgv);
  }
  const Command* command = FindCommand(first);
  if (command == nullptr) {
    std::fprintf(stderr, "wenlei: unknown command '%s' (see wenlei --help)\n", first);
    return kExitUsage;
  }
  return command->run(argc - 1, argv + 1);
}

}  // namespace
}  // namespace wenlei

static int Main(int argc, char** argv);

#if defined(_WIN32)
// Windows hands a program its arguments as UTF-16: they become UTF-8, the
// form every command and the library take, and the console shows UTF-8.
int wmain(int argc, wchar_t** wideArgv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(length > 0 ? static_cast<std::size_t>(length - 1) : 0, '\0');
    if (length > 1) {
      WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, &argument[0], length, nullptr, nullptr);
    }
    arguments.push_back(std::move(argument));
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return Main(argc, argv.data());
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif

static int Main(int argc, char** argv) {
  int status;
  try {
    status = wenlei::Dispatch(argc, argv);
  } catch (const std::bad_alloc&) {
    // Whatever the command held is released on the way here (its private
    // files with it); what is left is to say so in one line.
    std::fflush(stdout);
    std::fputs("wenlei: out of memory\n", stderr);
    return wenlei::kExitFailure;
  }
  // A full disk or a closed pipe shows only when the buffered output is
  // written; that is a failure, not a success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    if (status == wenlei::kExitSuccess) {
      std::fprintf(stderr, "wenlei: cannot write the standard output\n");
      status = wenlei::kExitFailure;
    }
  }
  return status;
}
