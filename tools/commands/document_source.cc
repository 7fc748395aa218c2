#include "tools/commands/document_source.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define STDIN_FILENO 0
#else
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "util/file_bytes.h"

namespace wenlei {
namespace {

void StripLineEnd(std::string* line) {
  if (!line->empty() && line->back() == '\n') line->pop_back();
  if (!line->empty() && line->back() == '\r') line->pop_back();
}

}  // namespace

DocumentSource::DocumentSource(std::vector<std::string> texts, std::vector<std::string> files,
                               bool lines, std::size_t maxBytes)
    : lines_(lines), maxBytes_(maxBytes == 0 ? std::string::npos : maxBytes) {
  for (auto& text : texts) inputs_.push_back({true, std::move(text)});
  for (auto& file : files) inputs_.push_back({false, std::move(file)});
  if (inputs_.empty()) inputs_.push_back({false, "-"});
}

DocumentSource::~DocumentSource() { CloseCurrent(); }

std::string DocumentSource::InputName(const Input& input) const {
  if (input.isText) {
    std::size_t position = 1;
    for (const Input& other : inputs_) {
      if (&other == &input) break;
      if (other.isText) ++position;
    }
    return "argument " + std::to_string(position);
  }
  return input.value == "-" ? "standard input" : input.value;
}

Status DocumentSource::OpenCurrent() {
  opened_ = true;
  ended_ = failed_ = false;
  buffer_.clear();
  bufferStart_ = 0;
  lineNumber_ = 0;
  textOffset_ = 0;
  const Input& input = inputs_[current_];
  if (input.isText) return Status::Ok();
  if (input.value == "-") {
    fd_ = STDIN_FILENO;
    return Status::Ok();
  }
#if defined(_WIN32)
  fd_ = _wopen(Utf8Path(input.value).c_str(), O_RDONLY | O_BINARY);
#else
  fd_ = open(input.value.c_str(), O_RDONLY);
#endif
  if (fd_ < 0) {
    return Status(Status::Code::kIoError, "cannot open " + input.value + ": " + std::strerror(errno));
  }
  return Status::Ok();
}

void DocumentSource::CloseCurrent() {
  if (fd_ >= 0 && fd_ != STDIN_FILENO) close(fd_);
  fd_ = -1;
  opened_ = false;
  skippingLine_ = false;
}

bool DocumentSource::Fill() {
  if (ended_ || failed_) return false;
  char chunk[1 << 16];
  while (true) {
    ssize_t got = read(fd_, chunk, sizeof chunk);
    if (got > 0) {
      buffer_.append(chunk, static_cast<std::size_t>(got));
      return true;
    }
    if (got == 0) {
      ended_ = true;
      return false;
    }
    if (errno == EINTR) continue;
    failed_ = true;
    readErrno_ = errno;
    return false;
  }
}

bool DocumentSource::ReadLine(std::string* line, bool* tooLong) {
  *tooLong = false;
  // The rest of a line already reported as over the bound is dropped first.
  while (skippingLine_) {
    const std::size_t end = buffer_.find('\n', bufferStart_);
    if (end != std::string::npos) {
      bufferStart_ = end + 1;
      skippingLine_ = false;
      break;
    }
    buffer_.clear();
    bufferStart_ = 0;
    if (!Fill()) return false;
  }
  std::size_t searched = bufferStart_;
  while (true) {
    std::size_t end = buffer_.find('\n', searched);
    if (end != std::string::npos) {
      line->assign(buffer_, bufferStart_, end + 1 - bufferStart_);
      bufferStart_ = end + 1;
      return true;
    }
    // Drop what was returned before reading more, so the buffer holds about
    // one line and one read's worth.  A line over the bound (its "\r\n" not
    // counted) is reported as soon as it crosses it, not at its end, which
    // may never come (/dev/zero); its rest is dropped as it comes.
    buffer_.erase(0, bufferStart_);
    bufferStart_ = 0;
    if (maxBytes_ != std::string::npos && buffer_.size() > maxBytes_ + 1) {
      line->assign(buffer_, 0, std::min(buffer_.size(), kTooLongHeadBytes));
      *tooLong = true;
      skippingLine_ = true;
      buffer_.clear();
      return true;
    }
    searched = buffer_.size();
    if (!Fill()) break;
  }
  if (buffer_.empty() || failed_) return false;
  if (buffer_.size() > maxBytes_) {
    line->assign(buffer_, 0, std::min(buffer_.size(), kTooLongHeadBytes));
    *tooLong = true;
  } else {
    line->swap(buffer_);  // the last line, without a line end
  }
  buffer_.clear();
  return true;
}

std::string DocumentSource::TooLongMessage() const {
  return "more than " + std::to_string(maxBytes_) +
         " bytes, the size limit of a document (--max-bytes); skipped";
}

bool DocumentSource::NextIsReady() {
  if (current_ >= inputs_.size()) return true;
  const Input& input = inputs_[current_];
  if (input.isText || !lines_ || !opened_) return true;
  // The rest of an over-long line may never end: the batch before it goes.
  if (skippingLine_) return false;
  if (buffer_.find('\n', bufferStart_) != std::string::npos || ended_ || failed_) return true;
#if defined(_WIN32)
  return true;  // no poll: the batch waits for the line
#else
  struct pollfd probe = {fd_, POLLIN, 0};
  return poll(&probe, 1, 0) > 0;
#endif
}

DocumentSource::Next DocumentSource::Read(std::string* text, std::string* origin,
                                          std::string* error) {
  while (current_ < inputs_.size()) {
    const Input& input = inputs_[current_];
    const std::string name = InputName(input);
    if (Status opened = opened_ ? Status::Ok() : OpenCurrent(); !opened.ok()) {
      *error = opened.message();
      *origin = name;
      CloseCurrent();
      ++current_;
      return Next::kError;
    }

    if (input.isText) {
      if (!lines_) {
        *origin = name;
        const bool tooLong = input.value.size() > maxBytes_;
        if (tooLong) {
          *error = TooLongMessage();
        } else {
          *text = input.value;
        }
        CloseCurrent();
        ++current_;
        return tooLong ? Next::kTooLong : Next::kDocument;
      }
      if (textOffset_ < input.value.size()) {
        std::size_t end = input.value.find('\n', textOffset_);
        if (end == std::string::npos) end = input.value.size();
        *text = input.value.substr(textOffset_, end - textOffset_);
        StripLineEnd(text);
        textOffset_ = end + 1;
        *origin = "line " + std::to_string(++lineNumber_) + " of " + name;
        if (text->size() > maxBytes_) {
          if (text->size() > kTooLongHeadBytes) text->resize(kTooLongHeadBytes);
          *error = TooLongMessage();
          return Next::kTooLong;
        }
        return Next::kDocument;
      }
    } else if (lines_) {
      bool tooLong = false;
      if (ReadLine(text, &tooLong)) {
        StripLineEnd(text);
        *origin = "line " + std::to_string(++lineNumber_) + " of " + name;
        if (tooLong || text->size() > maxBytes_) {
          if (text->size() > kTooLongHeadBytes) text->resize(kTooLongHeadBytes);
          *error = TooLongMessage();
          return Next::kTooLong;
        }
        return Next::kDocument;
      }
    } else {
      // Bytes past the bound are read and dropped: the document is refused
      // without holding it.
      bool tooLong = false;
      while (Fill()) {
        if (buffer_.size() > maxBytes_) {
          tooLong = true;
          buffer_.clear();
        }
      }
      if (!failed_) {
        *origin = name;
        if (tooLong) {
          *error = TooLongMessage();
        } else {
          text->swap(buffer_);
        }
        buffer_.clear();
        CloseCurrent();
        ++current_;
        return tooLong ? Next::kTooLong : Next::kDocument;
      }
    }
    bool failed = failed_;
    if (failed) {
      *error = "cannot read " + name + ": " + std::strerror(readErrno_);
      *origin = name;
    }
    CloseCurrent();
    ++current_;
    if (failed) return Next::kError;
  }
  return Next::kEnd;
}

bool ParseByteCount(const std::string& text, std::size_t* bytes) {
  std::size_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value == 0) return false;
  *bytes = value;
  return true;
}

void NoteTextsNamingFiles(const char* program, const char* done,
                          const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    std::error_code ignored;
    if (text.empty() || text.find('\n') != std::string::npos ||
        !std::filesystem::is_regular_file(Utf8Path(text), ignored)) {
      continue;
    }
    std::fprintf(stderr, "%s: note: \"%s\" names a file but is %s as text; --file %s reads the file\n",
                 program, text.c_str(), done, text.c_str());
  }
}

void NoteTerminalInput(const char* program) {
  if (!isatty(STDIN_FILENO)) return;
  std::fprintf(stderr, "%s: reading the text from the terminal; end it with Ctrl-D\n", program);
}

}  // namespace wenlei
