#include "tools/document_source.h"

#include <stdio.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wenlei {
namespace {

void StripLineEnd(std::string* line) {
  if (!line->empty() && line->back() == '\n') line->pop_back();
  if (!line->empty() && line->back() == '\r') line->pop_back();
}

// Reads one line, its end included, NUL bytes and all; false at the end of
// the input or on a read error (tell them apart with ferror).
bool ReadLine(std::FILE* file, std::string* line) {
  char* buffer = nullptr;
  std::size_t capacity = 0;
  ssize_t length = getline(&buffer, &capacity, file);
  if (length >= 0) line->assign(buffer, static_cast<std::size_t>(length));
  std::free(buffer);
  return length >= 0;
}

bool ReadAll(std::FILE* file, std::string* text) {
  text->clear();
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text->append(buffer, got);
  return !std::ferror(file);
}

}  // namespace

DocumentSource::DocumentSource(std::vector<std::string> texts, std::vector<std::string> files,
                               bool lines)
    : lines_(lines) {
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

bool DocumentSource::OpenCurrent(std::string* error) {
  opened_ = true;
  lineNumber_ = 0;
  textOffset_ = 0;
  const Input& input = inputs_[current_];
  if (input.isText) return true;
  if (input.value == "-") {
    file_ = stdin;
    return true;
  }
  file_ = std::fopen(input.value.c_str(), "rb");
  if (file_ == nullptr) {
    *error = "cannot open " + input.value + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

void DocumentSource::CloseCurrent() {
  if (file_ != nullptr && file_ != stdin) std::fclose(file_);
  file_ = nullptr;
  opened_ = false;
}

DocumentSource::Next DocumentSource::Read(std::string* text, std::string* origin,
                                          std::string* error) {
  while (current_ < inputs_.size()) {
    const Input& input = inputs_[current_];
    const std::string name = InputName(input);
    if (!opened_ && !OpenCurrent(error)) {
      *origin = name;
      CloseCurrent();
      ++current_;
      return Next::kError;
    }

    if (input.isText) {
      if (!lines_) {
        *text = input.value;
        *origin = name;
        CloseCurrent();
        ++current_;
        return Next::kDocument;
      }
      if (textOffset_ < input.value.size()) {
        std::size_t end = input.value.find('\n', textOffset_);
        if (end == std::string::npos) end = input.value.size();
        *text = input.value.substr(textOffset_, end - textOffset_);
        StripLineEnd(text);
        textOffset_ = end + 1;
        *origin = "line " + std::to_string(++lineNumber_) + " of " + name;
        return Next::kDocument;
      }
    } else if (lines_) {
      if (ReadLine(file_, text)) {
        StripLineEnd(text);
        *origin = "line " + std::to_string(++lineNumber_) + " of " + name;
        return Next::kDocument;
      }
      if (std::ferror(file_)) {
        *error = "cannot read " + name + ": " + std::strerror(errno);
        *origin = name;
        CloseCurrent();
        ++current_;
        return Next::kError;
      }
    } else {
      bool ok = ReadAll(file_, text);
      *origin = name;
      if (!ok) *error = "cannot read " + name + ": " + std::strerror(errno);
      CloseCurrent();
      ++current_;
      return ok ? Next::kDocument : Next::kError;
    }
    CloseCurrent();
    ++current_;
  }
  return Next::kEnd;
}

}  // namespace wenlei
