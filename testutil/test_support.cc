#include "testutil/test_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>
#include <stdexcept>

#include "text/dictionary.h"

namespace wenlei::testing {

InPlaceRewriter::InPlaceRewriter(std::string path, std::string bytes)
    : thread_([this, path = std::move(path), bytes = std::move(bytes)] {
        while (!stop_) {
          const int descriptor = open(path.c_str(), O_WRONLY | O_TRUNC);
          if (descriptor < 0) return;
          for (std::size_t at = 0; at < bytes.size(); at += 4096) {
            if (write(descriptor, bytes.data() + at, std::min<std::size_t>(4096, bytes.size() - at)) < 0) break;
          }
          close(descriptor);
          // Whole for a moment, so that readers also find it whole.
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
      }) {}

InPlaceRewriter::~InPlaceRewriter() {
  stop_ = true;
  thread_.join();
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "wenlei-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) { return std::filesystem::exists(path); }

ChildOutcome RunInChild(const std::function<void()>& body) {
  TempDir capture;
  const std::string outPath = capture.path() + "/out", errPath = capture.path() + "/err";
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    body();
    std::fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ChildOutcome outcome;
  outcome.exited = WIFEXITED(status);
  outcome.status = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.out = ReadFile(outPath);
  outcome.err = ReadFile(errPath);
  return outcome;
}

namespace {

WordEntry GarbageEntry() {
  WordEntry entry;
  std::memset(&entry, 0xA5, sizeof entry);
  return entry;
}

}  // namespace

WordListBuilder& WordListBuilder::Add(const std::string& word) {
  if (word.size() >= WENLEI_INLINE_CAPACITY_LIMIT) return AddAtAddress(word);
  WordEntry entry = GarbageEntry();
  std::memcpy(entry.text.inline_bytes, word.data(), word.size());
  entry.length = word.size();
  entry.capacity = 15;
  entries_.push_back(entry);
  return *this;
}

WordListBuilder& WordListBuilder::AddAtAddress(const std::string& word) {
  texts_.push_back(std::make_unique<std::string>(word));
  WordEntry entry = GarbageEntry();
  entry.text.address = texts_.back()->data();
  entry.length = word.size();
  entry.capacity = word.size() < 16 ? 16 : word.size();
  entries_.push_back(entry);
  return *this;
}

WordListBuilder WordListBuilder::FromWords(const std::vector<std::string>& words) {
  WordListBuilder builder;
  for (const auto& word : words) builder.Add(word);
  return builder;
}

const WordList* WordListBuilder::list() {
  std::memset(&list_, 0x5A, sizeof list_);
  if (entries_.empty()) {
    list_.first = nullptr;
    list_.end = nullptr;
  } else {
    list_.first = entries_.data();
    list_.end = entries_.data() + entries_.size();
  }
  return &list_;
}

std::vector<std::string> ListDirectory(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

const Dictionary& BundledDictionary() {
  static std::unique_ptr<Dictionary> dictionary = [] {
    std::unique_ptr<Dictionary> loaded;
    if (Status read = Dictionary::Load(WENLEI_DICTIONARY_PATH, &loaded); !read.ok()) {
      throw std::runtime_error(read.message());
    }
    return loaded;
  }();
  return *dictionary;
}

}  // namespace wenlei::testing
