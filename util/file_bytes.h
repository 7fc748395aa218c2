#ifndef WENLEI_UTIL_FILE_BYTES_H_
#define WENLEI_UTIL_FILE_BYTES_H_

#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

// A file that could not be opened or read, errno's text in the message:
// kNotFound when it is not there, kIoError otherwise.
Status UnreadableFile(const std::string& path, int errorNumber);

// Replaces *bytes with the whole file at path, read in binary mode; a file
// that cannot be opened or read is an UnreadableFile.
Status ReadFileBytes(const std::string& path, std::string* bytes);

// Whether the file at path holds exactly expected, read in binary mode and
// compared piece by piece without keeping a copy.
enum class FileComparison { kSame, kDifferent, kUnreadable };
FileComparison CompareFileBytes(const std::string& path, std::string_view expected);

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_BYTES_H_
