#ifndef WENLEI_UTIL_FILE_BYTES_H_
#define WENLEI_UTIL_FILE_BYTES_H_

#include <string>

namespace wenlei {

// Replaces *bytes with the whole file at path, read in binary mode.  False
// when the file cannot be opened or read; *errorNumber then holds errno
// when given.
bool ReadFileBytes(const std::string& path, std::string* bytes, int* errorNumber = nullptr);

}  // namespace wenlei

#endif  // WENLEI_UTIL_FILE_BYTES_H_
