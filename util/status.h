#ifndef WENLEI_UTIL_STATUS_H_
#define WENLEI_UTIL_STATUS_H_

#include <string>
#include <utility>

namespace wenlei {

// The outcome of a step that can fail: a code and, on failure, a message.
// Steps return it instead of writing to a stream or ending the process; the
// exported functions turn a failure into their fixed line and exit status,
// the modern interface hands it to the caller.  The codes are those of
// wenlei_status in <wenlei/wenlei.h>.
class Status {
 public:
  enum class Code : int {
    kOk = 0,
    kInvalidArgument = 1,
    kNotFound = 2,
    kIoError = 3,
    kCorrupt = 4,
    kMismatch = 5,
    kBadEncoding = 6,
    kTooLarge = 7,
    kNoMemory = 8,
    kInternal = 9,
    kCancelled = 10,
  };

  Status() = default;
  Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

  static Status Ok() { return Status(); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  // For a failure of the prediction step or the decision, the exact text
  // the exported functions write, line end included.
  const std::string& message() const { return message_; }

 private:
  Code code_ = Code::kOk;
  std::string message_;
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_STATUS_H_
