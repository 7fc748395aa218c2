// The training entry of <wenlei/wenlei.h> over the train layer.  Like the
// rest of the modern interface, nothing thrown crosses into C.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "interface/c_status.h"
#include "train/training_run.h"
#include "train/training_settings.h"
#include "util/file_bytes.h"
#include "wenlei/wenlei.h"

struct wenlei_train_options {
  wenlei::TrainingSettings settings;
  wenlei_progress_callback callback = nullptr;
  void* context = nullptr;
};

namespace {

using wenlei::Status;

using wenlei::c_status::Fail;
using wenlei::c_status::Guarded;
using wenlei::c_status::Report;

// Hands the run's progress to the caller's callback, which may stop it.
class CallbackProgress : public wenlei::TrainingProgress {
 public:
  CallbackProgress(wenlei_progress_callback callback, void* context)
      : callback_(callback), context_(context) {}
  void Status(const std::string&) override {}
  bool Advance(const std::string& stage, double done, double total) override {
    return callback_ != nullptr && callback_(context_, stage.c_str(), done, total) != 0;
  }

 private:
  wenlei_progress_callback callback_;
  void* context_;
};

// The stop list lies beside the dictionary's folder in the bundled models.
wenlei::BundledFiles Bundled() {
  wenlei::BundledFiles bundled;
  const char* dictionary = wenlei_default_dictionary();
  if (dictionary != nullptr) {
    bundled.dictionary = dictionary;
    bundled.stopWords =
        (wenlei::Utf8Path(dictionary).parent_path().parent_path() / "stop-words.txt").u8string();
  }
  return bundled;
}

wenlei_status Train(const wenlei::CorpusInput& input, const char* directory,
                    const wenlei_train_options* options, char** message) {
  if (directory == nullptr) return Fail(WENLEI_INVALID_ARGUMENT, "no directory given", message);
  const wenlei_train_options defaults;
  if (options == nullptr) options = &defaults;
  CallbackProgress progress(options->callback, options->context);
  wenlei::TrainingSettings settings = options->settings;
  wenlei::TrainingOutcome outcome;
  return Report(
      wenlei::TrainResourceSet(input, directory, settings, Bundled(), &progress, &outcome),
      message);
}

}  // namespace

extern "C" {

WENLEI_EXPORT wenlei_train_options* wenlei_train_options_create(void) {
  try {
    return new wenlei_train_options();
  } catch (...) {
    return nullptr;
  }
}

WENLEI_EXPORT void wenlei_train_options_destroy(wenlei_train_options* options) { delete options; }

WENLEI_EXPORT wenlei_status wenlei_train_options_set(wenlei_train_options* options,
                                                     const char* name, const char* value,
                                                     char** message) {
  return Guarded(message, [&]() {
    if (options == nullptr || name == nullptr || value == nullptr) {
      return Fail(WENLEI_INVALID_ARGUMENT, "null options, name or value", message);
    }
    // A bad value leaves the options as they were.
    wenlei::TrainingSettings changed = options->settings;
    Status status = changed.Set(name, value);
    if (!status.ok()) {
      return Fail(WENLEI_INVALID_ARGUMENT, std::string(name) + ": " + status.message(), message);
    }
    options->settings = std::move(changed);
    return WENLEI_OK;
  });
}

WENLEI_EXPORT const char* wenlei_train_option_name(size_t index) {
  const auto& table = wenlei::TrainingOptionTable();
  return index < table.size() ? table[index].name : nullptr;
}

WENLEI_EXPORT const char* wenlei_train_option_default(size_t index) {
  // Computed once: the defaults are constants of the library.
  static const std::vector<std::string> defaults = [] {
    std::vector<std::string> shown;
    for (const auto& option : wenlei::TrainingOptionTable()) {
      shown.push_back(wenlei::TrainingOptionDefault(option));
    }
    return shown;
  }();
  return index < defaults.size() ? defaults[index].c_str() : nullptr;
}

WENLEI_EXPORT void wenlei_train_options_set_progress(wenlei_train_options* options,
                                                     wenlei_progress_callback callback,
                                                     void* context) {
  if (options == nullptr) return;
  options->callback = callback;
  options->context = context;
}

WENLEI_EXPORT wenlei_status wenlei_train_file(const char* corpus, const char* directory,
                                              const wenlei_train_options* options,
                                              char** message) {
  return Guarded(message, [&]() {
    if (corpus == nullptr) return Fail(WENLEI_INVALID_ARGUMENT, "no corpus given", message);
    wenlei::CorpusInput input;
    input.path = corpus;
    return Train(input, directory, options, message);
  });
}

WENLEI_EXPORT wenlei_status wenlei_train_texts(const char* const* labels,
                                               const char* const* texts, const size_t* lengths,
                                               size_t count, const char* directory,
                                               const wenlei_train_options* options,
                                               char** message) {
  return Guarded(message, [&]() {
    wenlei::CorpusInput input;
    input.inMemory = true;
    input.labels = labels;
    input.texts = texts;
    input.lengths = lengths;
    input.count = count;
    return Train(input, directory, options, message);
  });
}

}  // extern "C"
