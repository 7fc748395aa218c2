#include "wenlei/exports.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "classify/classifier.h"
#include "interface/export_lock.h"
#include "interface/process_edge.h"
#include "source/source_data.h"

// The handle type of the C interface is the Classifier itself.
struct WenleiClassifier {
  WenleiClassifier(wenlei::SourceData& sourceData, wenlei::PredictionStep& step)
      : classifier(sourceData, &step) {}
  wenlei::Classifier classifier;
};

namespace {

// What the exported functions share in a process: the resource set and the
// prediction step that works on its files (and keeps the model parsed
// last).  Built empty when the library is loaded, destroyed when it is
// unloaded.
struct ProcessResources {
  wenlei::SourceData sourceData;
  wenlei::PredictionStep predictionStep;
};

ProcessResources& Process() {
  static ProcessResources resources;
  return resources;
}

// Constructed at load time so that no export ever races its construction.
[[maybe_unused]] ProcessResources& kConstructedAtLoad = Process();

// The copy ends at the answer's first zero byte; the bytes after the
// terminating zero are left as the caller had them.
void CopyAnswer(const std::string& text, char* answer) {
  const std::size_t length = std::strlen(text.c_str());
  std::memcpy(answer, text.data(), length);
  answer[length] = '\0';
}

}  // namespace

extern "C" {

WENLEI_EXPORT void WENLEI_CALL Classification(ClassifierHandle handle, const WordList* words,
                                           char* answer) {
  wenlei::ExportLock serialised;
  std::string text;
  wenlei::PredictionStep::Report report;
  wenlei::ReportOrEndProcess(handle->classifier.ClassificationDriver(*words, &text, &report), report);
  CopyAnswer(text, answer);
}

#if !defined(_WIN32)
WENLEI_EXPORT void WENLEI_CALL BatchClassification(ClassifierHandle handle, const WordList* lists,
                                                size_t count, char* const* answers) {
  wenlei::ExportLock serialised;
  std::vector<std::string> texts;
  wenlei::PredictionStep::Report report;
  wenlei::ReportOrEndProcess(
      handle->classifier.BatchClassificationDriver(lists, count, &texts, &report), report);
  for (std::size_t i = 0; i < count; ++i) CopyAnswer(texts[i], answers[i]);
}
#endif

WENLEI_EXPORT ClassifierHandle WENLEI_CALL CreateClassifier(void) {
  wenlei::ExportLock serialised;
  return new WenleiClassifier(Process().sourceData, Process().predictionStep);
}

WENLEI_EXPORT unsigned char WENLEI_CALL LoadSource(const char* prefix) {
  wenlei::ExportLock serialised;
  return wenlei::ReportLoadOrEndProcess(Process().sourceData.Load(std::string(prefix)));
}

WENLEI_EXPORT void WENLEI_CALL releaseClassifier(ClassifierHandle handle) {
  wenlei::ExportLock serialised;
  delete handle;
}

WENLEI_EXPORT void WENLEI_CALL releasesource(void) {
  wenlei::ExportLock serialised;
  Process().sourceData.ReleaseTables();
  Process().predictionStep.ReleaseModel();
}

}  // extern "C"
