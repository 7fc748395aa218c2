#include "wenlei/exports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "interface/classifier.h"
#include "source/source_data.h"

// The handle type of the C interface is the Classifier itself.
struct WenleiClassifier {
  explicit WenleiClassifier(wenlei::SourceData& sourceData) : classifier(sourceData) {}
  wenlei::Classifier classifier;
};

namespace {

// The process-wide resource set: built empty when the library is loaded,
// destroyed when it is unloaded.
wenlei::SourceData& ProcessSourceData() {
  static wenlei::SourceData sourceData;
  return sourceData;
}

// Constructed at load time so that no export ever races its construction.
[[maybe_unused]] wenlei::SourceData& kConstructedAtLoad = ProcessSourceData();

// The copy ends at the answer's first zero byte; the bytes after the
// terminating zero are left as the caller had them.
void CopyAnswer(const std::string& text, char* answer) {
  const std::size_t length = std::strlen(text.c_str());
  std::memcpy(answer, text.data(), length);
  answer[length] = '\0';
}

}  // namespace

extern "C" {

WENLEI_API void WENLEI_CALL Classification(ClassifierHandle handle, const WordList* words,
                                           char* answer) {
  CopyAnswer(handle->classifier.ClassificationDriver(*words), answer);
}

#if !defined(_WIN32)
WENLEI_API void WENLEI_CALL BatchClassification(ClassifierHandle handle, const WordList* lists,
                                                size_t count, char* const* answers) {
  const std::vector<std::string> texts = handle->classifier.BatchClassificationDriver(lists, count);
  for (std::size_t i = 0; i < count; ++i) CopyAnswer(texts[i], answers[i]);
}
#endif

WENLEI_API ClassifierHandle WENLEI_CALL CreateClassifier(void) {
  return new WenleiClassifier(ProcessSourceData());
}

WENLEI_API unsigned char WENLEI_CALL LoadSource(const char* prefix) {
  switch (ProcessSourceData().Load(std::string(prefix))) {
    case wenlei::SourceData::LoadOutcome::kLoaded:
      return 1;
    case wenlei::SourceData::LoadOutcome::kMalformed:
      return 0;
    case wenlei::SourceData::LoadOutcome::kMissing:
      break;
  }
  std::fputs("open file fail.\n", stdout);
  std::fflush(stdout);
  std::exit(1);
}

WENLEI_API void WENLEI_CALL releaseClassifier(ClassifierHandle handle) { delete handle; }

WENLEI_API void WENLEI_CALL releasesource(void) { ProcessSourceData().ReleaseTables(); }

}  // extern "C"
