#ifndef WENLEI_TOOLS_COMMANDS_PROGRESS_LINE_H_
#define WENLEI_TOOLS_COMMANDS_PROGRESS_LINE_H_

#include <chrono>
#include <cstddef>
#include <string>

namespace wenlei {

// A count of documents done, rewritten in place on standard error while a
// long run goes on.  Shown only when standard error is a terminal and
// standard input is not (a person waiting on a file or pipe, not typing),
// no more than a few times a second, and cleared at the end.
class ProgressLine {
 public:
  explicit ProgressLine(std::string label);
  ~ProgressLine() { Finish(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Add(std::size_t documents);
  void Finish();

 private:
  std::string label_;
  bool enabled_;
  bool shown_ = false;
  std::size_t done_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_COMMANDS_PROGRESS_LINE_H_
