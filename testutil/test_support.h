#ifndef WENLEI_TESTUTIL_TEST_SUPPORT_H_
#define WENLEI_TESTUTIL_TEST_SUPPORT_H_

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "wenlei/exports.h"

namespace wenlei {
class Dictionary;
}  // namespace wenlei

namespace wenlei::testing {

// The bundled dictionary, loaded once.
const Dictionary& BundledDictionary();

// A fresh directory, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The directory as a resource prefix, with its final separator.
  std::string prefix() const { return path_ + "/"; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
// The entries of a directory, by name; none for a missing one.
std::vector<std::string> ListDirectory(const std::string& path);

// What a child process did: how it ended and what it wrote.
struct ChildOutcome {
  bool exited = false;  // ended by a normal process exit
  int status = -1;      // its exit status when exited
  std::string out;      // standard output
  std::string err;      // standard error
};

// Runs body in a forked child with its standard streams captured; a body
// that returns ends the child with status 0 after flushing the streams.
ChildOutcome RunInChild(const std::function<void()>& body);

// Writes bytes over the file at path again and again, emptying it first
// and then writing 4 KB at a time as cp does, leaving it whole for 2 ms,
// on a thread of its own until destroyed: readers meet the file empty, half
// written and whole.
class InPlaceRewriter {
 public:
  InPlaceRewriter(std::string path, std::string bytes);
  ~InPlaceRewriter();

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// Builds a WordList the way a 64-bit host lays its records out: short words
// inline with capacity 15, long ones (or any word on request) at an address
// with a capacity of at least 16.  Unused bytes hold garbage.
class WordListBuilder {
 public:
  WordListBuilder& Add(const std::string& word);
  WordListBuilder& AddAtAddress(const std::string& word);
  // A list of the words of text separated by single spaces.
  static WordListBuilder FromWords(const std::vector<std::string>& words);

  const WordList* list();

 private:
  std::vector<std::unique_ptr<std::string>> texts_;
  std::vector<WordEntry> entries_;
  WordList list_{};
};

}  // namespace wenlei::testing

#endif  // WENLEI_TESTUTIL_TEST_SUPPORT_H_
