// The modern C interface of <wenlei/wenlei.h> over the Engine.  Every entry
// point catches what the C++ side may throw, so nothing crosses into C.
#include "wenlei/wenlei.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "interface/c_status.h"
#include "classify/engine.h"
#include "util/bundled_files.h"
#include "util/document_limit.h"
#include "util/file_bytes.h"

struct wenlei_options {
  std::string dictionary;  // empty: the installed one
  double minConfidence = -1.0;
  std::size_t maxDocumentBytes = wenlei::kDefaultMaxDocumentBytes;
};

struct wenlei_classifier {
  // Shared with the results made by it, which stay valid (and explainable)
  // after the handle is closed.
  std::shared_ptr<const wenlei::Engine> engine;
};

struct wenlei_result {
  wenlei_status status = WENLEI_OK;
  std::string error;
  wenlei::ClassificationResult result;
  std::vector<std::string> answerNames;
  // Copies of the class names by rank: a result outlives its handle.
  std::vector<std::string> rankedNames;
  std::shared_ptr<const wenlei::Engine> engine;
  wenlei::Explanation explanation;
};

struct wenlei_segmenter {
  std::unique_ptr<wenlei::SegmentationDictionary> dictionary;
};

struct wenlei_words {
  std::vector<std::string> words;
};

namespace {

using wenlei::Status;

using wenlei::c_status::Fail;
using wenlei::c_status::Guarded;
using wenlei::c_status::Report;
using wenlei::c_status::ToC;

bool IsDirectory(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_directory(wenlei::Utf8Path(path), ignored);
}

bool IsFile(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(wenlei::Utf8Path(path), ignored);
}

// The folder of the shared library (or program) holding this code, UTF-8.
std::string LibraryDirectory() {
  std::filesystem::path library;
#if defined(_WIN32)
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&wenlei_version), &module)) {
    return "";
  }
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(module, &name[0], static_cast<DWORD>(name.size()));
    if (length == 0) return "";
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(name.size() * 2);
  }
  library = name;
#else
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&wenlei_version), &info) == 0 || info.dli_fname == nullptr) {
    return "";
  }
  library = info.dli_fname;
#endif
  std::error_code ignored;
  const std::filesystem::path file = std::filesystem::weakly_canonical(library, ignored);
  return file.parent_path().u8string();
}

#ifdef WENLEI_SOURCE_MODELS_DIR
constexpr char kSourceModels[] = WENLEI_SOURCE_MODELS_DIR;
#else
constexpr char kSourceModels[] = "";
#endif

// The first place in the bundled files' search order (util/bundled_files.h)
// from the library's own folder that holds below; empty when none does.
std::string FindModelsPath(const std::string& below, bool directory) {
  for (const std::string& candidate :
       wenlei::BundledCandidates(LibraryDirectory(), kSourceModels, below)) {
    if (directory ? IsDirectory(candidate) : IsFile(candidate)) {
      std::error_code ignored;
      return std::filesystem::weakly_canonical(wenlei::Utf8Path(candidate), ignored).u8string();
    }
  }
  return "";
}

const std::string& DefaultResources() {
  static const std::string path = FindModelsPath("help-zh", true);
  return path;
}

const std::string& DefaultDictionary() {
  static const std::string path = FindModelsPath("dictionary/dict.txt", false);
  return path;
}

// A batch of texts or one document: fills a result, whose status says how
// it went.
wenlei_result* NewResult(const std::shared_ptr<const wenlei::Engine>& engine) {
  wenlei_result* result = new wenlei_result();
  result->engine = engine;
  return result;
}

void FillNames(wenlei_result* result) {
  for (std::int32_t number : result->result.answerClasses) {
    result->answerNames.push_back(result->engine->ClassName(static_cast<std::size_t>(number)));
  }
  result->rankedNames.reserve(result->result.ranking.size());
  for (const wenlei::ClassScore& score : result->result.ranking) {
    result->rankedNames.push_back(result->engine->ClassName(static_cast<std::size_t>(score.number)));
  }
}

}  // namespace

extern "C" {

WENLEI_EXPORT const char* wenlei_version(void) { return WENLEI_VERSION_TEXT; }

WENLEI_EXPORT int wenlei_version_number(void) {
  return WENLEI_VERSION_MAJOR * 10000 + WENLEI_VERSION_MINOR * 100 + WENLEI_VERSION_PATCH;
}

WENLEI_EXPORT const char* wenlei_status_name(wenlei_status given) {
  // A C caller may pass any int; C++ may not load a value outside the
  // enumeration, so its bytes are read as an int.
  int status = 0;
  static_assert(sizeof status == sizeof given, "an enumeration of int's size");
  std::memcpy(&status, &given, sizeof status);
  switch (status) {
    case WENLEI_OK: return "ok";
    case WENLEI_INVALID_ARGUMENT: return "invalid argument";
    case WENLEI_NOT_FOUND: return "not found";
    case WENLEI_IO_ERROR: return "i/o error";
    case WENLEI_CORRUPT: return "corrupt";
    case WENLEI_MISMATCH: return "mismatch";
    case WENLEI_BAD_ENCODING: return "bad encoding";
    case WENLEI_TOO_LARGE: return "too large";
    case WENLEI_NO_MEMORY: return "no memory";
    case WENLEI_INTERNAL: return "internal error";
    case WENLEI_CANCELLED: return "cancelled";
    default: return "unknown status";
  }
}

WENLEI_EXPORT void wenlei_free(void* block) { std::free(block); }

WENLEI_EXPORT const char* wenlei_default_resources(void) {
  try {
    const std::string& path = DefaultResources();
    return path.empty() ? nullptr : path.c_str();
  } catch (...) {
    return nullptr;
  }
}

WENLEI_EXPORT const char* wenlei_default_dictionary(void) {
  try {
    const std::string& path = DefaultDictionary();
    return path.empty() ? nullptr : path.c_str();
  } catch (...) {
    return nullptr;
  }
}

WENLEI_EXPORT wenlei_options* wenlei_options_create(void) {
  return new (std::nothrow) wenlei_options();
}

WENLEI_EXPORT void wenlei_options_destroy(wenlei_options* options) { delete options; }

WENLEI_EXPORT wenlei_status wenlei_options_set_dictionary(wenlei_options* options, const char* path) {
  if (options == nullptr) return WENLEI_INVALID_ARGUMENT;
  try {
    options->dictionary = path == nullptr ? "" : path;
  } catch (...) {
    return WENLEI_NO_MEMORY;
  }
  return options->dictionary.empty() || IsFile(options->dictionary) ? WENLEI_OK : WENLEI_NOT_FOUND;
}

WENLEI_EXPORT wenlei_status wenlei_options_set_min_confidence(wenlei_options* options,
                                                              double threshold) {
  if (options == nullptr) return WENLEI_INVALID_ARGUMENT;
  options->minConfidence = threshold;
  return std::isnan(threshold) || threshold > 1.0 ? WENLEI_INVALID_ARGUMENT : WENLEI_OK;
}

WENLEI_EXPORT wenlei_status wenlei_options_set_max_document_bytes(wenlei_options* options,
                                                                  size_t bytes) {
  if (options == nullptr) return WENLEI_INVALID_ARGUMENT;
  options->maxDocumentBytes = bytes;
  return WENLEI_OK;
}

WENLEI_EXPORT wenlei_status wenlei_open(const char* directory, const wenlei_options* options,
                                        wenlei_classifier** classifier, char** message) {
  if (directory == nullptr || classifier == nullptr) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_open: null directory or handle pointer", message);
  }
  return Guarded(message, [&] {
    wenlei::EngineOptions engineOptions;
    const wenlei_options defaults;
    const wenlei_options& given = options != nullptr ? *options : defaults;
    // A dictionary named by the caller must be there; the installed one is
    // looked for only when text comes.
    if (!given.dictionary.empty() && !IsFile(given.dictionary)) {
      return Fail(WENLEI_NOT_FOUND, "cannot open dictionary " + given.dictionary, message);
    }
    engineOptions.dictionaryPath = given.dictionary.empty() ? DefaultDictionary() : given.dictionary;
    engineOptions.minConfidence = given.minConfidence;
    engineOptions.maxDocumentBytes = given.maxDocumentBytes;
    std::unique_ptr<wenlei::Engine> engine;
    Status status = wenlei::Engine::Open(directory, engineOptions, &engine);
    if (!status.ok()) return Report(status, message);
    *classifier = new wenlei_classifier{std::move(engine)};
    return WENLEI_OK;
  });
}

WENLEI_EXPORT void wenlei_close(wenlei_classifier* classifier) { delete classifier; }

WENLEI_EXPORT size_t wenlei_class_count(const wenlei_classifier* classifier) {
  return classifier == nullptr ? 0 : classifier->engine->classCount();
}

WENLEI_EXPORT const char* wenlei_class_name(const wenlei_classifier* classifier, size_t number) {
  if (classifier == nullptr || number < 1 || number > classifier->engine->classCount()) return nullptr;
  return classifier->engine->ClassName(number).c_str();
}

WENLEI_EXPORT const char* wenlei_class_label(const wenlei_classifier* classifier, size_t number) {
  if (classifier == nullptr || number < 1 || number > classifier->engine->classCount()) return nullptr;
  return classifier->engine->ClassLabel(number).c_str();
}

WENLEI_EXPORT const char* wenlei_class_at(const wenlei_classifier* classifier, size_t index) {
  return wenlei_class_name(classifier, index + 1);
}

WENLEI_EXPORT size_t wenlei_class_number(const wenlei_classifier* classifier, const char* name) {
  if (classifier == nullptr || name == nullptr) return 0;
  return classifier->engine->ClassNumber(name);
}

WENLEI_EXPORT size_t wenlei_vocabulary_size(const wenlei_classifier* classifier) {
  return classifier == nullptr ? 0 : classifier->engine->vocabularySize();
}

WENLEI_EXPORT size_t wenlei_feature_count(const wenlei_classifier* classifier) {
  return classifier == nullptr ? 0 : classifier->engine->featureCount();
}

WENLEI_EXPORT const char* wenlei_kernel(const wenlei_classifier* classifier) {
  return classifier == nullptr ? nullptr : classifier->engine->kernelName();
}

WENLEI_EXPORT const char* wenlei_trained_with(const wenlei_classifier* classifier) {
  if (classifier == nullptr || classifier->engine->trainedWith().empty()) return nullptr;
  return classifier->engine->trainedWith().c_str();
}

WENLEI_EXPORT const char* wenlei_warning(const wenlei_classifier* classifier) {
  if (classifier == nullptr || classifier->engine->warning().empty()) return nullptr;
  return classifier->engine->warning().c_str();
}

WENLEI_EXPORT double wenlei_min_confidence(const wenlei_classifier* classifier) {
  return classifier == nullptr ? 0.0 : classifier->engine->minConfidence();
}

WENLEI_EXPORT wenlei_status wenlei_classify_text(const wenlei_classifier* classifier,
                                                 const char* text, size_t length,
                                                 wenlei_result** result, char** message) {
  if (classifier == nullptr || result == nullptr || (text == nullptr && length > 0)) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_classify_text: null handle, text or result pointer",
                message);
  }
  return Guarded(message, [&] {
    std::unique_ptr<wenlei_result> made(NewResult(classifier->engine));
    Status status = classifier->engine->ClassifyText(std::string_view(text == nullptr ? "" : text, length),
                                                     &made->result);
    if (!status.ok()) return Report(status, message);
    FillNames(made.get());
    *result = made.release();
    return WENLEI_OK;
  });
}

WENLEI_EXPORT wenlei_status wenlei_classify_words(const wenlei_classifier* classifier,
                                                  const char* const* words, const size_t* lengths,
                                                  size_t count, wenlei_encoding encoding,
                                                  wenlei_result** result, char** message) {
  if (classifier == nullptr || result == nullptr || (count > 0 && (words == nullptr || lengths == nullptr))) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_classify_words: null handle, words or result pointer",
                message);
  }
  // A C caller may pass any int; its bytes are read as such, since C++ may
  // not load a value outside the enumeration.
  int encodingNumber = 0;
  static_assert(sizeof encodingNumber == sizeof encoding, "an enumeration of int's size");
  std::memcpy(&encodingNumber, &encoding, sizeof encodingNumber);
  if (encodingNumber != WENLEI_UTF8 && encodingNumber != WENLEI_GBK) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_classify_words: unknown encoding", message);
  }
  for (size_t i = 0; i < count; ++i) {
    if (words[i] == nullptr && lengths[i] > 0) {
      return Fail(WENLEI_INVALID_ARGUMENT,
                  "wenlei_classify_words: word " + std::to_string(i + 1) + " is null", message);
    }
  }
  return Guarded(message, [&] {
    std::vector<std::string_view> views;
    views.reserve(count);
    for (size_t i = 0; i < count; ++i) views.emplace_back(words[i] == nullptr ? "" : words[i], lengths[i]);
    std::unique_ptr<wenlei_result> made(NewResult(classifier->engine));
    Status status = encodingNumber == WENLEI_GBK
                        ? classifier->engine->ClassifyGbkWords(views, &made->result)
                        : classifier->engine->ClassifyUtf8Words(views, &made->result);
    if (!status.ok()) return Report(status, message);
    FillNames(made.get());
    *result = made.release();
    return WENLEI_OK;
  });
}

WENLEI_EXPORT wenlei_status wenlei_classify_batch(const wenlei_classifier* classifier,
                                                  const char* const* texts, const size_t* lengths,
                                                  size_t count, wenlei_result** results,
                                                  char** message) {
  if (classifier == nullptr || (count > 0 && (texts == nullptr || lengths == nullptr || results == nullptr))) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_classify_batch: null handle, texts or results pointer",
                message);
  }
  for (size_t i = 0; i < count; ++i) results[i] = nullptr;
  for (size_t i = 0; i < count; ++i) {
    if (texts[i] == nullptr && lengths[i] > 0) {
      return Fail(WENLEI_INVALID_ARGUMENT,
                  "wenlei_classify_batch: text " + std::to_string(i + 1) + " is null", message);
    }
  }
  wenlei_status status = Guarded(message, [&] {
    for (size_t i = 0; i < count; ++i) {
      std::unique_ptr<wenlei_result> made(NewResult(classifier->engine));
      Status one = classifier->engine->ClassifyText(
          std::string_view(texts[i] == nullptr ? "" : texts[i], lengths[i]), &made->result);
      if (one.ok()) {
        FillNames(made.get());
      } else {
        if (one.code() == Status::Code::kNoMemory) throw std::bad_alloc();
        made->result = wenlei::ClassificationResult();
        made->result.unknown = false;
        made->status = ToC(one.code());
        made->error = one.message();
      }
      results[i] = made.release();
    }
    return WENLEI_OK;
  });
  if (status != WENLEI_OK) {
    for (size_t i = 0; i < count; ++i) {
      delete results[i];
      results[i] = nullptr;
    }
  }
  return status;
}

WENLEI_EXPORT void wenlei_result_free(wenlei_result* result) { delete result; }

WENLEI_EXPORT wenlei_status wenlei_result_status(const wenlei_result* result) {
  return result == nullptr ? WENLEI_INVALID_ARGUMENT : result->status;
}

WENLEI_EXPORT const char* wenlei_result_error(const wenlei_result* result) {
  return result == nullptr ? "" : result->error.c_str();
}

WENLEI_EXPORT const char* wenlei_result_answer(const wenlei_result* result) {
  return result == nullptr ? "" : result->result.answerUtf8.c_str();
}

WENLEI_EXPORT const char* wenlei_result_answer_gbk(const wenlei_result* result) {
  return result == nullptr ? "" : result->result.answerGbk.c_str();
}

WENLEI_EXPORT size_t wenlei_result_name_count(const wenlei_result* result) {
  return result == nullptr ? 0 : result->answerNames.size();
}

WENLEI_EXPORT const char* wenlei_result_name(const wenlei_result* result, size_t index) {
  if (result == nullptr || index >= result->answerNames.size()) return nullptr;
  return result->answerNames[index].c_str();
}

WENLEI_EXPORT size_t wenlei_result_class_count(const wenlei_result* result) {
  return result == nullptr ? 0 : result->result.ranking.size();
}

WENLEI_EXPORT const char* wenlei_result_class_name(const wenlei_result* result, size_t rank) {
  if (result == nullptr || rank >= result->result.ranking.size()) return nullptr;
  return result->rankedNames[rank].c_str();
}

WENLEI_EXPORT size_t wenlei_result_class_number(const wenlei_result* result, size_t rank) {
  if (result == nullptr || rank >= result->result.ranking.size()) return 0;
  return static_cast<size_t>(result->result.ranking[rank].number);
}

WENLEI_EXPORT double wenlei_result_probability(const wenlei_result* result, size_t rank) {
  if (result == nullptr || rank >= result->result.ranking.size()) return 0.0;
  return result->result.ranking[rank].probability;
}

WENLEI_EXPORT double wenlei_result_margin(const wenlei_result* result, size_t number) {
  if (result == nullptr || number < 1 || number > result->result.margins.size()) return 0.0;
  return result->result.margins[number - 1];
}

WENLEI_EXPORT size_t wenlei_result_words(const wenlei_result* result) {
  return result == nullptr ? 0 : result->result.words;
}

WENLEI_EXPORT size_t wenlei_result_known_words(const wenlei_result* result) {
  return result == nullptr ? 0 : result->result.knownWords;
}

WENLEI_EXPORT size_t wenlei_result_dropped_characters(const wenlei_result* result) {
  return result == nullptr ? 0 : result->result.droppedCharacters;
}

WENLEI_EXPORT double wenlei_result_confidence(const wenlei_result* result) {
  return result == nullptr ? 0.0 : result->result.confidence;
}

WENLEI_EXPORT int wenlei_result_unknown(const wenlei_result* result) {
  return result == nullptr ? 0 : (result->result.unknown ? 1 : 0);
}

WENLEI_EXPORT wenlei_status wenlei_result_explain(wenlei_result* result, size_t limit, char** message) {
  return wenlei_result_explain_flags(result, limit, 0, message);
}

WENLEI_EXPORT wenlei_status wenlei_result_explain_flags(wenlei_result* result, size_t limit,
                                                        unsigned flags, char** message) {
  if (result == nullptr || result->engine == nullptr) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_result_explain: null result", message);
  }
  if ((flags & ~static_cast<unsigned>(WENLEI_EXPLAIN_CONTENT_WORDS)) != 0) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_result_explain_flags: unknown flags", message);
  }
  return Guarded(message, [&] {
    result->explanation = wenlei::Explanation();
    wenlei::Explanation made;
    Status status = result->engine->Explain(result->result, &made,
                                            (flags & WENLEI_EXPLAIN_CONTENT_WORDS) != 0);
    if (!status.ok()) return Report(status, message);
    if (limit != 0 && made.words.size() > limit) made.words.resize(limit);
    result->explanation = std::move(made);
    return WENLEI_OK;
  });
}

WENLEI_EXPORT size_t wenlei_result_explanation_count(const wenlei_result* result) {
  return result == nullptr ? 0 : result->explanation.words.size();
}

WENLEI_EXPORT const char* wenlei_result_explanation_word(const wenlei_result* result, size_t index) {
  if (result == nullptr || index >= result->explanation.words.size()) return nullptr;
  return result->explanation.words[index].word.c_str();
}

WENLEI_EXPORT double wenlei_result_explanation_contribution(const wenlei_result* result, size_t index) {
  if (result == nullptr || index >= result->explanation.words.size()) return 0.0;
  return result->explanation.words[index].contribution;
}

WENLEI_EXPORT double wenlei_result_explanation_rest(const wenlei_result* result) {
  return result == nullptr ? 0.0 : result->explanation.constant;
}

WENLEI_EXPORT double wenlei_result_decision_value(const wenlei_result* result) {
  return result == nullptr ? 0.0 : result->explanation.decisionValue;
}

WENLEI_EXPORT wenlei_status wenlei_segmenter_open(const char* dictionary,
                                                  wenlei_segmenter** segmenter, char** message) {
  if (segmenter == nullptr) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_segmenter_open: null segmenter pointer", message);
  }
  return Guarded(message, [&] {
    const std::string path = dictionary != nullptr ? dictionary : DefaultDictionary();
    if (path.empty()) {
      return Fail(WENLEI_NOT_FOUND, "no segmentation dictionary: none was given and none is installed",
                  message);
    }
    std::unique_ptr<wenlei::SegmentationDictionary> opened;
    Status status = wenlei::SegmentationDictionary::Open(path, &opened);
    if (!status.ok()) return Report(status, message);
    *segmenter = new wenlei_segmenter{std::move(opened)};
    return WENLEI_OK;
  });
}

WENLEI_EXPORT void wenlei_segmenter_close(wenlei_segmenter* segmenter) { delete segmenter; }

WENLEI_EXPORT wenlei_status wenlei_segment(const wenlei_segmenter* segmenter, const char* text,
                                           size_t length, wenlei_words** words, char** message) {
  if (segmenter == nullptr || words == nullptr || (text == nullptr && length > 0)) {
    return Fail(WENLEI_INVALID_ARGUMENT, "wenlei_segment: null segmenter, text or words pointer", message);
  }
  return Guarded(message, [&] {
    std::vector<std::string_view> views;
    Status status = segmenter->dictionary->Segment(std::string_view(text == nullptr ? "" : text, length), &views);
    if (!status.ok()) return Report(status, message);
    std::unique_ptr<wenlei_words> made(new wenlei_words());
    made->words.assign(views.begin(), views.end());
    *words = made.release();
    return WENLEI_OK;
  });
}

WENLEI_EXPORT size_t wenlei_words_count(const wenlei_words* words) {
  return words == nullptr ? 0 : words->words.size();
}

WENLEI_EXPORT const char* wenlei_words_at(const wenlei_words* words, size_t index, size_t* length) {
  if (words == nullptr || index >= words->words.size()) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  if (length != nullptr) *length = words->words[index].size();
  return words->words[index].c_str();
}

WENLEI_EXPORT void wenlei_words_free(wenlei_words* words) { delete words; }

}  // extern "C"
