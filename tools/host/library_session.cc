#include "tools/host/library_session.h"

#include "tools/host/host_word_list.h"

namespace wenlei {
namespace {

// Class names hold at most 9 bytes in a resource file, so an answer is at
// most 9 + 4 + 9 bytes; the fixed message is 32.  A buffer with room to
// spare costs nothing.
constexpr std::size_t kAnswerBufferSize = 256;

}  // namespace

Status LibrarySession::Open(const std::string& resourceDir,
                            std::unique_ptr<LibrarySession>* session) {
  std::unique_ptr<WorkingDirectory> directory;
  if (Status made = WorkingDirectory::Create(resourceDir, &directory); !made.ok()) return made;
  if (LoadSource(directory->prefix().c_str()) != 1) {
    return Status(Status::Code::kCorrupt,
                  "the library rejected the resource file of " + resourceDir);
  }
  ClassifierHandle handle = CreateClassifier();
  session->reset(new LibrarySession(std::move(directory), handle));
  return Status::Ok();
}

LibrarySession::~LibrarySession() {
  releaseClassifier(handle_);
  releasesource();
}

std::string LibrarySession::Classify(const std::vector<std::string>& gbkWords) {
  HostWordList words(gbkWords);
  char answer[kAnswerBufferSize] = {0};
  Classification(handle_, words.list(), answer);
  return std::string(answer);
}

std::vector<std::string> LibrarySession::ClassifyBatch(
    const std::vector<std::vector<std::string>>& documents) {
  std::vector<std::string> answers;
  answers.reserve(documents.size());
#if defined(_WIN32)
  // The Windows DLL exports the five functions only.
  for (const auto& words : documents) answers.push_back(Classify(words));
#else
  if (documents.empty()) return answers;
  std::vector<std::unique_ptr<HostWordList>> hostLists;
  std::vector<WordList> lists;  // contiguous, as BatchClassification reads them
  for (const auto& words : documents) {
    hostLists.push_back(std::make_unique<HostWordList>(words));
    lists.push_back(*hostLists.back()->list());
  }
  std::vector<char> buffers(documents.size() * kAnswerBufferSize, 0);
  std::vector<char*> answerBuffers;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    answerBuffers.push_back(&buffers[i * kAnswerBufferSize]);
  }
  BatchClassification(handle_, lists.data(), lists.size(), answerBuffers.data());
  for (char* buffer : answerBuffers) answers.emplace_back(buffer);
#endif
  return answers;
}

std::vector<std::string> AnswerNames(const std::string& gbkAnswer) {
  std::vector<std::string> names;
  if (gbkAnswer == ShortTextMessage()) return names;
  static constexpr std::string_view kJoin = " or ";
  std::size_t join = gbkAnswer.find(kJoin);
  if (join == std::string::npos) {
    names.push_back(gbkAnswer);
  } else {
    names.push_back(gbkAnswer.substr(0, join));
    names.push_back(gbkAnswer.substr(join + kJoin.size()));
  }
  return names;
}

}  // namespace wenlei
