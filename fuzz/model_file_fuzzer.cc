// The model file on arbitrary bytes, as the prediction step reads it: the
// check first, then libsvm's loader and a prediction of fixed records with
// probabilities.  A text the check passes must load, and loading and
// predicting must stay inside every buffer (libsvm built from source with
// the same sanitizers sees its own accesses too).
#include <stdio.h>  // fmemopen, open_memstream

#include <cstdlib>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "predict/prediction_step.h"
#include "predict/model_file_check.h"
#include "source/source_data.h"
#include "svm.h"

namespace {

constexpr char kTarget[] = "model_file";

void Quiet(const char*) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  wenlei::fuzz::ScratchPrefix();
  svm_set_print_string_function(&Quiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const wenlei::Status checked = wenlei::CheckModelText(text);
  if (!checked.ok()) {
    const std::string& fault = checked.message();
    FUZZ_CHECK(kTarget, !fault.empty() && fault.find('\n') == std::string::npos,
               "a refusal without a one-line fault");
    return 0;
  }
  const std::string path = wenlei::fuzz::ScratchPrefix() + wenlei::kModelFileName;
  wenlei::fuzz::WriteWholeFile(path, text);
  FUZZ_CHECK(kTarget, wenlei::CheckModelFile(path).ok(),
             "the file check differs from the text check");
  std::unique_ptr<wenlei::LoadedModel> model;
  const wenlei::Status loaded = wenlei::LoadedModel::Load(path, text, &model);
  FUZZ_CHECK(kTarget, loaded.ok(), "libsvm refused a model the check passed");

  wenlei::PredictionStep step;
  std::string records = "0 1:0.5 2:0.25 7:1\n0\n0 -1:3 1:1e300 3:-2\n";
  FILE* testFile = fmemopen(records.data(), records.size(), "r");
  char* resultBytes = nullptr;
  std::size_t resultSize = 0;
  FILE* resultFile = open_memstream(&resultBytes, &resultSize);
  const wenlei::Status predicted =
      step.PredictLines(testFile, resultFile, *model, model->hasProbability());
  std::fclose(testFile);
  std::fclose(resultFile);
  std::free(resultBytes);
  FUZZ_CHECK(kTarget, predicted.ok(), "the fixed records were refused: " + predicted.message());
  return 0;
}
