#ifndef WENLEI_INTERFACE_C_STATUS_H_
#define WENLEI_INTERFACE_C_STATUS_H_

// Where a Status becomes the modern interface's status code and message:
// nothing thrown and no C++ object crosses into C.

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "util/status.h"
#include "wenlei/wenlei.h"

namespace wenlei {
namespace c_status {

// The library's codes are the modern interface's, number for number.
#define WENLEI_SAME_CODE(code, c_code) \
  static_assert(static_cast<int>(Status::Code::code) == c_code, #code " is not " #c_code)
WENLEI_SAME_CODE(kOk, WENLEI_OK);
WENLEI_SAME_CODE(kInvalidArgument, WENLEI_INVALID_ARGUMENT);
WENLEI_SAME_CODE(kNotFound, WENLEI_NOT_FOUND);
WENLEI_SAME_CODE(kIoError, WENLEI_IO_ERROR);
WENLEI_SAME_CODE(kCorrupt, WENLEI_CORRUPT);
WENLEI_SAME_CODE(kMismatch, WENLEI_MISMATCH);
WENLEI_SAME_CODE(kBadEncoding, WENLEI_BAD_ENCODING);
WENLEI_SAME_CODE(kTooLarge, WENLEI_TOO_LARGE);
WENLEI_SAME_CODE(kNoMemory, WENLEI_NO_MEMORY);
WENLEI_SAME_CODE(kInternal, WENLEI_INTERNAL);
WENLEI_SAME_CODE(kCancelled, WENLEI_CANCELLED);
#undef WENLEI_SAME_CODE

inline wenlei_status ToC(Status::Code code) {
  return static_cast<wenlei_status>(static_cast<int>(code));
}

// A copy the caller frees with wenlei_free; null when even that fails.
inline char* Allocated(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (copy != nullptr) std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

inline wenlei_status Fail(wenlei_status status, const std::string& text, char** message) {
  if (message != nullptr) *message = Allocated(text);
  return status;
}

inline wenlei_status Report(const Status& status, char** message) {
  if (status.ok()) return WENLEI_OK;
  return Fail(ToC(status.code()), status.message(), message);
}

// Runs body, turning what it throws into a status.
template <typename Body>
wenlei_status Guarded(char** message, const Body& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return Fail(WENLEI_NO_MEMORY, "out of memory", message);
  } catch (const std::exception& e) {
    return Fail(WENLEI_INTERNAL, std::string("internal error: ") + e.what(), message);
  } catch (...) {
    return Fail(WENLEI_INTERNAL, "internal error", message);
  }
}

}  // namespace c_status
}  // namespace wenlei

#endif  // WENLEI_INTERFACE_C_STATUS_H_
