#ifndef WENLEI_UTIL_STATUS_H_
#define WENLEI_UTIL_STATUS_H_

#include <string>
#include <utility>

namespace wenlei {

// The outcome of a step that can fail: a code and, on failure, a plain
// message (one line, no line end, no program name in front).  Steps return
// it instead of writing to a stream or ending the process; the exported
// functions turn a failure into their fixed lines and exit status
// (interface/process_edge.cc), the modern interface hands code and message
// to the caller.  The codes are those of wenlei_status in <wenlei/wenlei.h>.
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

  // Which step failed, where the exported functions answer that step's
  // failure with a fixed line of their own rather than with the message.
  enum class Context : int {
    kNone = 0,
    kSourceFileOpen,   // the resource file could not be opened
    kTestFileOpen,     // the prediction step could not open the test file
    kResultFileOpen,   // ... nor the result file for writing
    kModelLoad,        // ... nor read or load the model
    kModelCheck,       // ... found the model damaged before loading it
    kResultFileRead,   // the decision could not open the result file
    kClassLimit,       // a class number above the limit reached the naming
  };

  Status() = default;
  Status(Code code, std::string message, Context context = Context::kNone, std::string path = {})
      : code_(code), context_(context), message_(std::move(message)), path_(std::move(path)) {}

  static Status Ok() { return Status(); }

  bool ok() const { return code_ == Code::kOk; }
  Code code() const { return code_; }
  Context context() const { return context_; }
  const std::string& message() const { return message_; }
  // The file the failure concerns, where the context names one.
  const std::string& path() const { return path_; }

 private:
  Code code_ = Code::kOk;
  Context context_ = Context::kNone;
  std::string message_;
  std::string path_;
};

}  // namespace wenlei

#endif  // WENLEI_UTIL_STATUS_H_
