// The modern interface on a crafted resource directory.  Each input writes
// Source.dat, SVMModel, Confidence.txt, a segmentation dictionary and the
// metadata file into a private directory, opens it, and classifies the input's documents as
// text, as segmented words (UTF-8 and GBK) and as one batch.
//
// Input: a flags byte, then for each file whose bit is set a 16-bit
// length (little-endian) and that many bytes; the other files are those of
// a small valid set built once (which has no metadata file).  The rest of the input is the documents,
// separated by 0xFF bytes (a byte UTF-8 never holds).
//   bit 0-3  Source.dat, SVMModel, Confidence.txt, dictionary from the input
//   bit 4    no Confidence.txt at all
//   bit 5    a threshold from the next byte (0 to 255 of 255), not the file's
//   bit 6    a document size limit from the next byte
//   bit 7    Metadata.txt from the input (after the dictionary)
//
// Opening may fail with a status; when it succeeds, a warning (another
// dictionary than the metadata's dictionary_sha256) is one line and
// wenlei_trained_with names both digests, and every result must hold
// together: probabilities from 0 to 1, highest first; answer names among
// the class names; the same answer for a text and for its own segmented
// words; the same answer for a text alone and in a batch.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "wenlei/wenlei.h"

namespace {

constexpr char kTarget[] = "modern_interface";
constexpr char kDictionaryName[] = "dict.txt";
constexpr char kSeparator = '\xFF';

const char* const kFileNames[] = {wenlei::kSourceFileName, wenlei::kModelFileName, "Confidence.txt",
                                  kDictionaryName, "Metadata.txt"};
constexpr int kFiles = 5;
// Which flag bit takes each file from the input.
constexpr std::uint8_t kFromInput[kFiles] = {0x01, 0x02, 0x04, 0x08, 0x80};

// The valid set: three classes of ASCII words, and Chinese words (GBK in
// Source.dat) that the term map sends to some of them, so that UTF-8 text
// segmented by the dictionary reaches the model.
struct ValidSet {
  std::string files[kFiles - 1];
};

const ValidSet& Valid() {
  static const ValidSet valid = [] {
    const wenlei::testing::TempDir directory;
    const std::string prefix = directory.prefix();
    wenlei::testing::ResourceSetSpec spec;
    spec.classNames = {"Charts", "\xcd\xbc\xb1\xed", "03 Music"};  // 图表 in GBK
    spec.wordsPerClass = 4;
    wenlei::testing::BuildResourceSet(prefix, spec);

    wenlei::SourceFileContents contents = wenlei::fuzz::ReadBuiltSourceFile(kTarget, prefix);
    const std::pair<const char*, const char*> aliases[] = {
        {"\xb2\xe5\xc8\xeb", "k1w0"},  // 插入
        {"\xcd\xbc\xb1\xed", "k2w1"},  // 图表
        {"\xd2\xf4\xc0\xd6", "k3w2"},  // 音乐
    };
    for (const auto& [word, canonical] : aliases) {
      contents.vocabulary.push_back(word);
      contents.termMap.emplace_back(word, canonical);
      contents.idf.emplace_back(word, 1.5);
    }
    const wenlei::Status written =
        wenlei::WriteSourceFile(prefix + wenlei::kSourceFileName, contents);
    if (!written.ok()) {
      wenlei::fuzz::Fail(kTarget, "cannot write the resource file " + written.message());
    }
    ValidSet set;
    set.files[0] = wenlei::testing::ReadFile(prefix + wenlei::kSourceFileName);
    set.files[1] = wenlei::testing::ReadFile(prefix + wenlei::kModelFileName);
    set.files[2] = "# threshold\nmin_confidence 0.25\n";
    set.files[3] = "插入 300 v\n图表 200 n\n音乐 100 n\n插 5 v\n入 5 v\n";
    return set;
  }();
  return valid;
}

std::string Directory() { return wenlei::fuzz::ScratchPrefix() + "set/"; }

// Frees what the library hands back when a check ends the scope.
struct ResultFree {
  void operator()(wenlei_result* result) const { wenlei_result_free(result); }
};
using Result = std::unique_ptr<wenlei_result, ResultFree>;
struct ClassifierClose {
  void operator()(wenlei_classifier* classifier) const { wenlei_close(classifier); }
};
struct SegmenterClose {
  void operator()(wenlei_segmenter* segmenter) const { wenlei_segmenter_close(segmenter); }
};
struct WordsFree {
  void operator()(wenlei_words* words) const { wenlei_words_free(words); }
};

std::string Message(char* message) {
  std::string text = message == nullptr ? "" : message;
  wenlei_free(message);
  return text;
}

// The answer, then each class with its probability: what two ways of
// classifying the same words must agree on.
std::string Summary(const wenlei_result* result) {
  std::string summary = wenlei_result_answer(result);
  for (std::size_t rank = 0; rank < wenlei_result_class_count(result); ++rank) {
    char probability[40];
    std::snprintf(probability, sizeof probability, " %zu:%.17g", wenlei_result_class_number(result, rank),
                  wenlei_result_probability(result, rank));
    summary += probability;
  }
  return summary;
}

void CheckResult(const wenlei_classifier* classifier, const wenlei_result* result) {
  FUZZ_CHECK(kTarget, wenlei_result_status(result) == WENLEI_OK, "a result of a call that succeeded failed");
  FUZZ_CHECK(kTarget, wenlei_result_answer(result) != nullptr && wenlei_result_answer_gbk(result) != nullptr,
             "a result without an answer");
  const std::size_t classes = wenlei_class_count(classifier);
  std::set<std::string> names;
  for (std::size_t number = 1; number <= classes; ++number) names.insert(wenlei_class_name(classifier, number));
  const std::size_t ranked = wenlei_result_class_count(result);
  FUZZ_CHECK(kTarget, ranked == 0 || ranked == classes, "a ranking of some classes only");
  double previous = 1.0;
  for (std::size_t rank = 0; rank < ranked; ++rank) {
    const double p = wenlei_result_probability(result, rank);
    FUZZ_CHECK(kTarget, p >= 0.0 && p <= previous, "a probability out of order or outside 0 to 1");
    previous = p;
    const std::size_t number = wenlei_result_class_number(result, rank);
    FUZZ_CHECK(kTarget, number >= 1 && number <= classes, "a ranked class number outside the set");
    FUZZ_CHECK(kTarget, wenlei_result_class_name(result, rank) == std::string(wenlei_class_name(classifier, number)),
               "a ranked class under another name");
  }
  const std::size_t answered = wenlei_result_name_count(result);
  FUZZ_CHECK(kTarget, answered <= 2, "more than two names in an answer");
  FUZZ_CHECK(kTarget, (answered == 0) == (ranked == 0), "names without a ranking, or a ranking without names");
  for (std::size_t i = 0; i < answered; ++i) {
    FUZZ_CHECK(kTarget, names.count(wenlei_result_name(result, i)) == 1,
               std::string("an answer name that is no class: ") + wenlei_result_name(result, i));
  }
  const double confidence = wenlei_result_confidence(result);
  FUZZ_CHECK(kTarget, confidence >= 0.0 && confidence <= 1.0, "a confidence outside 0 to 1");
  FUZZ_CHECK(kTarget, answered > 0 || wenlei_result_unknown(result) == 1,
             "a document without an answer that is not unknown");
  FUZZ_CHECK(kTarget, wenlei_result_known_words(result) <= wenlei_result_words(result),
             "more known words than words");
}

// Classifies the document's segmented words, in UTF-8 as they are and in
// GBK as the raw bytes split at spaces; the first must agree with the text.
void ClassifyAsWords(const wenlei_classifier* classifier, const wenlei_segmenter* segmenter,
                     const std::string& document, const wenlei_result* asText) {
  if (segmenter != nullptr) {
    wenlei_words* made = nullptr;
    if (wenlei_segment(segmenter, document.data(), document.size(), &made, nullptr) == WENLEI_OK) {
      std::unique_ptr<wenlei_words, WordsFree> words(made);
      std::vector<const char*> texts;
      std::vector<std::size_t> lengths;
      for (std::size_t i = 0; i < wenlei_words_count(words.get()); ++i) {
        std::size_t length = 0;
        texts.push_back(wenlei_words_at(words.get(), i, &length));
        lengths.push_back(length);
      }
      wenlei_result* result = nullptr;
      const wenlei_status status = wenlei_classify_words(classifier, texts.data(), lengths.data(), texts.size(),
                                                         WENLEI_UTF8, &result, nullptr);
      Result owned(result);
      if (status == WENLEI_OK) {
        CheckResult(classifier, result);
        if (asText != nullptr) {
          FUZZ_CHECK(kTarget, Summary(result) == Summary(asText),
                     "the text and its segmented words answered differently: " + Summary(asText) + " and " +
                         Summary(result));
        }
      }
    }
  }
  std::vector<std::string> pieces(1);
  for (char c : document) {
    if (c == ' ') {
      pieces.emplace_back();
    } else {
      pieces.back().push_back(c);
    }
  }
  std::vector<const char*> texts;
  std::vector<std::size_t> lengths;
  for (const std::string& piece : pieces) {
    texts.push_back(piece.data());
    lengths.push_back(piece.size());
  }
  wenlei_result* result = nullptr;
  const wenlei_status status =
      wenlei_classify_words(classifier, texts.data(), lengths.data(), texts.size(), WENLEI_GBK, &result, nullptr);
  Result owned(result);
  if (status == WENLEI_OK) CheckResult(classifier, result);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Valid();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wenlei::fuzz::FuzzInput input(data, size);
  const std::uint8_t flags = input.TakeByte();
  const std::string directory = Directory();
  std::filesystem::create_directories(directory);
  for (int i = 0; i < kFiles; ++i) {
    const std::string path = directory + kFileNames[i];
    if (flags & kFromInput[i]) {
      const std::size_t length = input.TakeByte() | std::size_t(input.TakeByte()) << 8;
      wenlei::fuzz::WriteWholeFile(path, input.TakeBytes(length));
    } else if (i == kFiles - 1 || (i == 2 && (flags & 0x10))) {
      std::remove(path.c_str());
    } else {
      wenlei::fuzz::WriteWholeFile(path, Valid().files[i]);
    }
  }
  std::unique_ptr<wenlei_options, void (*)(wenlei_options*)> options(wenlei_options_create(),
                                                                   &wenlei_options_destroy);
  FUZZ_CHECK(kTarget, options != nullptr, "no options");
  wenlei_options_set_dictionary(options.get(), (directory + kDictionaryName).c_str());
  if (flags & 0x20) wenlei_options_set_min_confidence(options.get(), input.TakeByte() / 255.0);
  if (flags & 0x40) wenlei_options_set_max_document_bytes(options.get(), input.TakeByte());

  std::vector<std::string> documents(1);
  for (char c : input.TakeRest()) {
    if (c == kSeparator) {
      documents.emplace_back();
    } else {
      documents.back().push_back(c);
    }
  }

  wenlei_classifier* opened = nullptr;
  char* message = nullptr;
  const wenlei_status status = wenlei_open(directory.c_str(), options.get(), &opened, &message);
  if (status != WENLEI_OK) {
    const std::string text = Message(message);
    FUZZ_CHECK(kTarget, opened == nullptr, "a failed open handed out a handle");
    FUZZ_CHECK(kTarget, !text.empty() && text.find('\n') == std::string::npos,
               "a failed open without a one-line message: " + text);
    return 0;
  }
  std::unique_ptr<wenlei_classifier, ClassifierClose> classifier(opened);
  FUZZ_CHECK(kTarget, wenlei_class_count(opened) >= 1, "an open set without classes");
  // A warning of another dictionary comes with both digests in how the set was trained.
  if (const char* warning = wenlei_warning(opened)) {
    const char* trained = wenlei_trained_with(opened);
    FUZZ_CHECK(kTarget, trained != nullptr && std::string(trained).find("segmenting with") != std::string::npos,
               std::string("a dictionary warning without both digests: ") + warning);
    FUZZ_CHECK(kTarget, std::string(warning).find('\n') == std::string::npos, "a warning of two lines");
  }
  wenlei_segmenter* segmenterMade = nullptr;
  wenlei_segmenter_open((directory + kDictionaryName).c_str(), &segmenterMade, nullptr);
  std::unique_ptr<wenlei_segmenter, SegmenterClose> segmenter(segmenterMade);

  std::vector<std::string> summaries;
  std::vector<wenlei_status> statuses;
  for (const std::string& document : documents) {
    wenlei_result* made = nullptr;
    message = nullptr;
    statuses.push_back(wenlei_classify_text(opened, document.data(), document.size(), &made, &message));
    Result result(made);
    if (statuses.back() == WENLEI_OK) {
      CheckResult(opened, made);
      summaries.push_back(Summary(made));
    } else {
      FUZZ_CHECK(kTarget, made == nullptr, "a failed classification handed out a result");
      FUZZ_CHECK(kTarget, !Message(message).empty(), "a failed classification without a message");
      summaries.emplace_back();
    }
    ClassifyAsWords(opened, segmenter.get(), document, made);
  }

  std::vector<const char*> texts;
  std::vector<std::size_t> lengths;
  for (const std::string& document : documents) {
    texts.push_back(document.data());
    lengths.push_back(document.size());
  }
  std::vector<wenlei_result*> batch(documents.size());
  if (wenlei_classify_batch(opened, texts.data(), lengths.data(), texts.size(), batch.data(), nullptr) ==
      WENLEI_OK) {
    for (std::size_t i = 0; i < batch.size(); ++i) {
      Result result(batch[i]);
      FUZZ_CHECK(kTarget, wenlei_result_status(batch[i]) == statuses[i],
                 "a document of a batch got another status than alone");
      if (statuses[i] == WENLEI_OK) {
        CheckResult(opened, batch[i]);
        FUZZ_CHECK(kTarget, Summary(batch[i]) == summaries[i], "a document of a batch answered otherwise than alone");
      } else {
        FUZZ_CHECK(kTarget, *wenlei_result_error(batch[i]) != '\0', "a failed document of a batch without a message");
      }
    }
  }
  return 0;
}
