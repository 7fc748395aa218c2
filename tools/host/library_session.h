#ifndef WENLEI_TOOLS_HOST_LIBRARY_SESSION_H_
#define WENLEI_TOOLS_HOST_LIBRARY_SESSION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decide/class_decision.h"
#include "util/status.h"
#include "wenlei/exports.h"
#include "tools/host/working_directory.h"

namespace wenlei {

// How a host uses the library, through the exported functions only: load a
// resource set once, create a handle, classify documents one after another,
// release the handle and the tables.  The resource set is loaded from a
// private working directory, so the library's working files never land in
// the resource set and concurrent processes never share them.
class LibrarySession {
 public:
  // Makes the working directory for resourceDir, loads it and creates a
  // handle in *session.  The exports name classes by position whatever the
  // model says: the caller has opened the set with the modern interface
  // first, which refuses one whose parts do not fit (and one without
  // Source.dat, which would end the process inside LoadSource).
  static Status Open(const std::string& resourceDir, std::unique_ptr<LibrarySession>* session);
  ~LibrarySession();
  LibrarySession(const LibrarySession&) = delete;
  LibrarySession& operator=(const LibrarySession&) = delete;

  // The library's answer for one segmented document: GBK bytes, a category
  // name, two names joined by " or ", or ShortTextMessage().
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
