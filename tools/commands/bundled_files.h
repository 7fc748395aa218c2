#ifndef WENLEI_TOOLS_COMMANDS_BUNDLED_FILES_H_
#define WENLEI_TOOLS_COMMANDS_BUNDLED_FILES_H_

#include <string>

namespace wenlei {

// The path of a file or folder that comes with wenlei under models/, such as
// "dictionary/dict.txt" or "help-zh", looked for from the executable's
// folder in the order of util/bundled_files.h (an installed tree, a build
// folder inside the source tree, the source tree the program was built
// from).  Returns the first that exists, else the last candidate, so an
// error message can name it.
std::string BundledPath(const std::string& relative);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_BUNDLED_FILES_H_
