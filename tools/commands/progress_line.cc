#include "tools/commands/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace wenlei {
namespace {

constexpr auto kFirstShowing = std::chrono::seconds(1);
constexpr auto kInterval = std::chrono::milliseconds(250);

}  // namespace

ProgressLine::ProgressLine(std::string label)
    : label_(std::move(label)),
      enabled_(isatty(STDERR_FILENO) && !isatty(STDIN_FILENO)),
      start_(std::chrono::steady_clock::now()),
      lastShown_(start_) {}

void ProgressLine::Add(std::size_t documents) {
  done_ += documents;
  if (!enabled_) return;
  auto now = std::chrono::steady_clock::now();
  // Short runs finish before the line would appear.
  if (now - start_ < kFirstShowing || now - lastShown_ < kInterval) return;
  lastShown_ = now;
  std::fprintf(stderr, "\r%s: %zu documents", label_.c_str(), done_);
  std::fflush(stderr);
  shown_ = true;
}

void ProgressLine::Finish() {
  if (!shown_) return;
  shown_ = false;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
}

}  // namespace wenlei
