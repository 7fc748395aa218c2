#ifndef WENLEI_TOOLS_HOST_RESOURCE_DIRECTORY_H_
#define WENLEI_TOOLS_HOST_RESOURCE_DIRECTORY_H_

#include <string>

#include "util/status.h"

namespace wenlei {

// dir joined with a file name, whether or not dir ends with its separator.
std::string ResourceFilePath(const std::string& dir, const std::string& name);

// Checks that dir holds a readable Source.dat and SVMModel; otherwise one
// line naming what is missing (kNotFound) or unreadable (kIoError).
Status CheckResourceDirectory(const std::string& dir);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_RESOURCE_DIRECTORY_H_
