#ifndef WENLEI_TOOLS_HOST_LIBRARY_SESSION_H_
#define WENLEI_TOOLS_HOST_LIBRARY_SESSION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "wenlei/exports.h"
#include "tools/host/working_directory.h"

namespace wenlei {

// The answer the library gives a document without a known word:
// "文本内容太短或无效，不能确定类别" in GBK, 32 bytes.
inline constexpr std::string_view kShortTextAnswer(
    "\xCE\xC4\xB1\xBE\xC4\xDA\xC8\xDD\xCC\xAB\xB6\xCC\xBB\xF2\xCE\xDE"
    "\xD0\xA7\xA3\xAC\xB2\xBB\xC4\xDC\xC8\xB7\xB6\xA8\xC0\xE0\xB1\xF0",
    32);

// How a host uses the library, through the exported functions only: load a
// resource set once, create a handle, classify documents one after another,
// release the handle and the tables.  The resource set is loaded from a
// private working directory, so the library's working files never land in
// the resource set and concurrent processes never share them.
// Whether the resource set in resourceDir fits together as the library's
// modern interface checks it when opening one (model labels 1..n in order,
// as many classes as Source.dat names, probabilities, features within the
// vocabulary); false with that check's one line in *error.
bool CheckResourceSetFits(const std::string& resourceDir, std::string* error);

class LibrarySession {
 public:
  // Makes the working directory for resourceDir (which must hold Source.dat
  // and SVMModel), loads it and creates a handle.
  static std::unique_ptr<LibrarySession> Open(const std::string& resourceDir,
                                              std::string* error);
  ~LibrarySession();
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  // The library's answer for one segmented document: GBK bytes, a category
  // name, two names joined by " or ", or kShortTextAnswer.
  std::string Classify(const std::vector<std::string>& gbkWords);

  // The answers for many documents, in order, as Classify would give them
  // one by one; where the library has BatchClassification the model is read
  // once for all of them.
  std::vector<std::string> ClassifyBatch(const std::vector<std::vector<std::string>>& documents);

 private:
  LibrarySession(std::unique_ptr<WorkingDirectory> directory, ClassifierHandle handle)
      : directory_(std::move(directory)), handle_(handle) {}

  std::unique_ptr<WorkingDirectory> directory_;
  ClassifierHandle handle_;
};

// The names in an answer: none for kShortTextAnswer, else one or two.
std::vector<std::string> AnswerNames(const std::string& gbkAnswer);

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_LIBRARY_SESSION_H_
