#ifndef WENLEI_UTIL_FILE_BYTES_H_
#define WENLEI_UTIL_FILE_BYTES_H_

#include <string>
#include <string_view>

namespace wenlei {

// Replaces *bytes with the whole file at path, read in binary mode.  False
// when the file cannot be opened or read; *errorNumber then holds errno
// when given.
bool ReadFileBytes(const std::string& path, std::string* bytes, int* errorNumber = nullptr);

// Whether the file at path holds exactly expected, read in binary mode and
// compared piece by piece without keeping a copy.
enum class FileComparison { kSame, kDifferent, kUnreadable };
FileComparison CompareFileBytes(const std::string& path, std::string_view expected);

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_BYTES_H_
