// The modern interface through the shared library, beside the exported
// functions on the same words: the same answers, libsvm's probabilities,
// errors returned instead of the process ending, many threads on one handle.
#include "wenlei/wenlei.h"

#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "text/content_word.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"
#include "train/trainer_test_corpus.h"
#include "wenlei/exports.h"

namespace {

using wenlei::testing::ReadFile;
using wenlei::testing::TempDir;
using wenlei::testing::WordListBuilder;
using wenlei::testing::WriteFile;

using Document = std::vector<std::string>;  // GBK words

std::string ToGbk(const std::string& utf8) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* cursor = out.data();
  std::size_t outLeft = out.size();
  iconv(converter, &in, &inLeft, &cursor, &outLeft);
  iconv_close(converter);
  out.resize(out.size() - outLeft);
  return out;
}

struct Handle {
  wenlei_classifier* classifier = nullptr;
  ~Handle() { wenlei_close(classifier); }
};

struct Result {
  wenlei_result* result = nullptr;
  ~Result() { wenlei_result_free(result); }
};

wenlei_status Open(const std::string& dir, Handle* handle, std::string* error = nullptr) {
  char* message = nullptr;
  const wenlei_status status = wenlei_open(dir.c_str(), nullptr, &handle->classifier, &message);
  if (message != nullptr) {
    if (error != nullptr) *error = message;
    wenlei_free(message);
  }
  return status;
}

wenlei_status ClassifyWords(const Handle& handle, const std::vector<std::string>& words,
                            wenlei_encoding encoding, Result* result, char** message = nullptr) {
  std::vector<const char*> texts;
  std::vector<std::size_t> lengths;
  for (const std::string& word : words) {
    texts.push_back(word.data());
    lengths.push_back(word.size());
  }
  return wenlei_classify_words(handle.classifier, texts.data(), lengths.data(), words.size(), encoding,
                               &result->result, message);
}

wenlei_status ClassifyGbk(const Handle& handle, const Document& words, Result* result) {
  return ClassifyWords(handle, words, WENLEI_GBK, result);
}

// The probabilities as the result file prints them, in class order.
std::string PrintedProbabilities(const wenlei_result* result) {
  std::vector<double> byClass(wenlei_result_class_count(result));
  for (std::size_t rank = 0; rank < byClass.size(); ++rank) {
    byClass[wenlei_result_class_number(result, rank) - 1] = wenlei_result_probability(result, rank);
  }
  std::string printed;
  for (double p : byClass) {
    char text[32];
    std::snprintf(text, sizeof text, "%g ", p);
    printed += text;
  }
  return printed;
}

// The exports' answer and the probabilities of their result file.
std::pair<std::string, std::string> ExportsAnswer(ClassifierHandle handle, const std::string& prefix,
                                                  const Document& words) {
  WordListBuilder list = WordListBuilder::FromWords(words);
  char answer[512];
  Classification(handle, list.list(), answer);
  std::istringstream result(ReadFile(prefix + "resultFile.dat"));
  std::string header, line;
  std::getline(result, header);
  std::getline(result, line);
  const std::size_t space = line.find(' ');
  return {answer, space == std::string::npos ? "" : line.substr(space + 1)};
}

// Compares both doors on every document; returns how many answers named a
// class (not the short-text message).
int ExpectSameAnswers(const std::string& dir, const std::vector<Document>& documents) {
  TempDir work;
  for (const char* name : {"Source.dat", "SVMModel"}) {
    WriteFile(work.prefix() + name, ReadFile(dir + "/" + name));
  }
  Handle handle;
  std::string error;
  EXPECT_EQ(Open(work.path(), &handle, &error), WENLEI_OK) << error;
  if (handle.classifier == nullptr) return 0;
  EXPECT_EQ(LoadSource(work.prefix().c_str()), 1);
  ClassifierHandle exports = CreateClassifier();
  int named = 0;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    Result result;
    if (ClassifyGbk(handle, documents[i], &result) != WENLEI_OK) {
      ADD_FAILURE() << "document " << i << " was not classified";
      continue;
    }
    const auto [answer, probabilities] = ExportsAnswer(exports, work.prefix(), documents[i]);
    EXPECT_EQ(wenlei_result_answer_gbk(result.result), answer) << "document " << i;
    if (wenlei_result_class_count(result.result) > 0) {
      ++named;
      EXPECT_EQ(PrintedProbabilities(result.result), probabilities) << "document " << i;
      EXPECT_EQ(wenlei_result_class_count(result.result), wenlei_class_count(handle.classifier));
      for (std::size_t rank = 1; rank < wenlei_result_class_count(result.result); ++rank) {
        EXPECT_GE(wenlei_result_probability(result.result, rank - 1),
                  wenlei_result_probability(result.result, rank));
      }
    }
  }
  releaseClassifier(exports);
  releasesource();
  return named;
}

std::string BundledDir() { return std::string(WENLEI_MODELS_DIR) + "/help-zh"; }

// Documents of the bundled set: the sample texts cut by the library's own
// segmenter, and random mixtures of their words (close calls among them).
std::vector<Document> BundledDocuments() {
  wenlei_segmenter* segmenter = nullptr;
  EXPECT_EQ(wenlei_segmenter_open(nullptr, &segmenter, nullptr), WENLEI_OK);
  std::vector<Document> documents;
  std::vector<std::string> pool;
  for (const auto& entry : std::filesystem::directory_iterator(WENLEI_MODELS_DIR "/samples")) {
    if (entry.path().extension() != ".txt") continue;
    const std::string text = ReadFile(entry.path().string());
    wenlei_words* words = nullptr;
    EXPECT_EQ(wenlei_segment(segmenter, text.data(), text.size(), &words, nullptr), WENLEI_OK);
    Document document;
    for (std::size_t i = 0; i < wenlei_words_count(words); ++i) {
      std::size_t length = 0;
      const char* word = wenlei_words_at(words, i, &length);
      document.push_back(ToGbk(std::string(word, length)));
    }
    wenlei_words_free(words);
    pool.insert(pool.end(), document.begin(), document.end());
    documents.push_back(document);
  }
  wenlei_segmenter_close(segmenter);
  std::mt19937 random(11);
  for (int d = 0; d < 300 && !pool.empty(); ++d) {
    Document document;
    for (int w = 1 + static_cast<int>(random() % 12); w > 0; --w) document.push_back(pool[random() % pool.size()]);
    documents.push_back(document);
  }
  documents.push_back({});
  documents.push_back({"\xB2\xBB\xD6\xAA\xB5\xC0"});  // a word no vocabulary holds
  return documents;
}

TEST(WenleiApiTest, AnswersAndProbabilitiesEqualTheExportsOnTheBundledSet) {
  EXPECT_GT(ExpectSameAnswers(BundledDir(), BundledDocuments()), 250);
}

TEST(WenleiApiTest, AnswersAndProbabilitiesEqualTheExportsOnAGeneratedSet) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {"Sports", "01 Arts", "Music", "Films"};
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  std::mt19937 random(5);
  std::vector<Document> documents;
  for (int d = 0; d < 400; ++d) {
    Document document;
    for (int w = 1 + static_cast<int>(random() % 8); w > 0; --w) {
      document.push_back(random() % 10 == 0 ? "unknown"
                                            : wenlei::testing::ClassWord(1 + random() % 4, random() % 6));
    }
    documents.push_back(document);
  }
  EXPECT_GT(ExpectSameAnswers(dir.path(), documents), 350);
}

// Two classes: each margin is half the pair's decision value (the
// explanation's), with its sign for the answer and against it for the
// runner-up; a document without a prediction and a number out of range
// give 0.
TEST(WenleiApiTest, MarginsAreTheModelsDecisionValuesByClass) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {"Sports", "Arts"};
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  Handle handle;
  ASSERT_EQ(Open(dir.path(), &handle), WENLEI_OK);
  for (const Document& words : std::vector<Document>{{wenlei::testing::ClassWord(1, 0)},
                                                     {wenlei::testing::ClassWord(2, 1)},
                                                     {wenlei::testing::ClassWord(1, 2),
                                                      wenlei::testing::ClassWord(2, 3)}}) {
    Result result;
    ASSERT_EQ(ClassifyGbk(handle, words, &result), WENLEI_OK);
    ASSERT_EQ(wenlei_result_explain(result.result, 0, nullptr), WENLEI_OK);
    const double decision = wenlei_result_decision_value(result.result);
    const std::size_t answer = wenlei_result_class_number(result.result, 0);
    const std::size_t runnerUp = wenlei_result_class_number(result.result, 1);
    EXPECT_NE(decision, 0.0);
    EXPECT_DOUBLE_EQ(wenlei_result_margin(result.result, answer), decision / 2);
    EXPECT_DOUBLE_EQ(wenlei_result_margin(result.result, runnerUp), -decision / 2);
    EXPECT_EQ(wenlei_result_margin(result.result, 0), 0.0);
    EXPECT_EQ(wenlei_result_margin(result.result, 3), 0.0);
  }
  Result empty;
  ASSERT_EQ(ClassifyGbk(handle, {"unknown"}, &empty), WENLEI_OK);
  EXPECT_EQ(wenlei_result_margin(empty.result, 1), 0.0);
}

// Every fault that ends the process through the exported functions.
TEST(WenleiApiTest, FailuresComeBackAsErrors) {
  TempDir good;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {"Sports", "Arts", "Music"};
  wenlei::testing::BuildResourceSet(good.prefix(), spec);
  const std::string source = ReadFile(good.prefix() + "Source.dat");
  const std::string model = ReadFile(good.prefix() + "SVMModel");

  TempDir plain;
  svm_parameter noProbability = wenlei::testing::DefaultParameter();
  noProbability.probability = 0;
  wenlei::testing::TrainAndSaveModel(wenlei::testing::ClusteredExamples(3, 6, 5), noProbability,
                                     plain.prefix() + "SVMModel");
  TempDir four;
  spec.classNames.push_back("Films");
  wenlei::testing::BuildResourceSet(four.prefix(), spec);

  struct Case {
    const char* what;
    std::string sourceBytes;  // empty: no file
    std::string modelBytes;
    wenlei_status expected;
    const char* messagePart;
    const char* special = nullptr;  // "fifo" or "zero": the file is a FIFO or links to /dev/zero
    std::string specialFile = "SVMModel";
    std::string confidenceBytes;  // with a Metadata.txt that records a digest of the threshold's file
  };
  std::string swapped = model;
  swapped.replace(swapped.find("\nlabel 1 2 3\n"), 13, "\nlabel 2 1 3\n");
  // A support vector index that would size a table of 2^31 entries.
  std::string hugeIndex = model;
  hugeIndex.insert(hugeIndex.find('\n', hugeIndex.find("\nSV\n") + 4), " 2147483647:0.5");
  // The first idf value NaN (the vocabulary and term map counts come first).
  std::string nanIdf = source;
  std::int32_t vocabulary, mapped;
  std::memcpy(&vocabulary, &nanIdf[0], 4);
  std::memcpy(&mapped, &nanIdf[4 + 30 * vocabulary], 4);
  const double nan = std::nan("");
  std::memcpy(&nanIdf[12 + 30 * vocabulary + 40 * mapped + 32], &nan, 8);
  // What an overflowing kernel trains: rho of three pairs NaN.
  std::string nanRho = model;
  const std::size_t rho = nanRho.find("\nrho ") + 1;
  nanRho.replace(rho, nanRho.find('\n', rho) - rho, "rho -nan -nan -nan");
  const std::vector<Case> cases = {
      {"labels out of order", source, swapped, WENLEI_MISMATCH, "labels are not 1 to 3"},
      {"rho not a number", source, nanRho, WENLEI_CORRUPT, "rho holds -nan, which is not a finite number"},
      {"no Source.dat", "", model, WENLEI_NOT_FOUND, "Source.dat"},
      {"malformed Source.dat", source.substr(0, source.size() / 2), model, WENLEI_CORRUPT,
       "rejected resource file"},
      {"no model", source, "", WENLEI_NOT_FOUND, "SVMModel"},
      {"damaged model", source, model.substr(0, model.size() / 2), WENLEI_CORRUPT, "damaged model file"},
      {"model refused by libsvm", source, "svm_type c_svc\n", WENLEI_CORRUPT, "SVMModel"},
      {"model without probabilities", source, ReadFile(plain.prefix() + "SVMModel"), WENLEI_MISMATCH,
       "probability"},
      {"more classes in Source.dat", ReadFile(four.prefix() + "Source.dat"), model, WENLEI_MISMATCH,
       "classes"},
      {"support vector index 2147483647", source, hugeIndex, WENLEI_MISMATCH, "uses feature 2147483647"},
      {"NaN idf", nanIdf, model, WENLEI_CORRUPT, "nan is not a finite number"},
      {"model a FIFO", source, "", WENLEI_IO_ERROR, "SVMModel: not a regular file", "fifo"},
      {"model a link to /dev/zero", source, "", WENLEI_IO_ERROR, "SVMModel: not a regular file", "zero"},
      // Read once, without waiting, within its limit, whatever the metadata records.
      {"threshold a FIFO", source, model, WENLEI_CORRUPT, "Confidence.txt: not a regular file", "fifo",
       "Confidence.txt", "-"},
      {"threshold a link to /dev/zero", source, model, WENLEI_CORRUPT, "Confidence.txt: not a regular file",
       "zero", "Confidence.txt", "-"},
      {"threshold over its limit", source, model, WENLEI_CORRUPT, "65536", nullptr, "",
       "min_confidence 0.5\n" + std::string(70000, '#')},
  };
  for (const Case& c : cases) {
    TempDir dir;
    if (!c.sourceBytes.empty()) WriteFile(dir.prefix() + "Source.dat", c.sourceBytes);
    if (!c.modelBytes.empty()) WriteFile(dir.prefix() + "SVMModel", c.modelBytes);
    if (!c.confidenceBytes.empty()) {
      if (c.special == nullptr) WriteFile(dir.prefix() + "Confidence.txt", c.confidenceBytes);
      WriteFile(dir.prefix() + "Metadata.txt", "confidence_sha256 " + std::string(64, 'a') + "\n");
    }
    const std::string specialPath = dir.prefix() + c.specialFile;
    if (c.special != nullptr && std::string(c.special) == "fifo") {
      ASSERT_EQ(mkfifo(specialPath.c_str(), 0600), 0);
    } else if (c.special != nullptr) {
      ASSERT_EQ(symlink("/dev/zero", specialPath.c_str()), 0);
    }
    Handle handle;
    std::string error;
    EXPECT_EQ(Open(dir.path(), &handle, &error), c.expected) << c.what << ": " << error;
    EXPECT_EQ(handle.classifier, nullptr) << c.what;
    EXPECT_NE(error.find(c.messagePart), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << c.what << ": one line";
    const auto files = std::distance(std::filesystem::directory_iterator(dir.path()),
                                     std::filesystem::directory_iterator());
    EXPECT_LE(files, c.confidenceBytes.empty() ? 2 : 4) << c.what << ": no file written";
  }

  Handle handle;
  ASSERT_EQ(Open(good.path(), &handle), WENLEI_OK);
  char* message = nullptr;
  wenlei_result* result = nullptr;
  EXPECT_EQ(wenlei_classify_text(handle.classifier, "\xFF\xFE", 2, &result, &message), WENLEI_BAD_ENCODING);
  EXPECT_STREQ(message, "not UTF-8 (invalid byte at offset 0)");
  wenlei_free(message);
  message = nullptr;
  const char* word = "\x81";  // a GBK lead byte alone
  const std::size_t length = 1;
  EXPECT_EQ(wenlei_classify_words(handle.classifier, &word, &length, 1, WENLEI_GBK, &result, &message),
            WENLEI_BAD_ENCODING);
  wenlei_free(message);
  EXPECT_EQ(wenlei_open(nullptr, nullptr, &handle.classifier, nullptr), WENLEI_INVALID_ARGUMENT);
  EXPECT_EQ(result, nullptr);
  EXPECT_STREQ(wenlei_status_name(WENLEI_MISMATCH), "mismatch");

  wenlei_options* options = wenlei_options_create();
  wenlei_options_set_dictionary(options, (good.prefix() + "none.txt").c_str());
  Handle missingDictionary;
  EXPECT_EQ(wenlei_open(good.path().c_str(), options, &missingDictionary.classifier, nullptr),
            WENLEI_NOT_FOUND);
  wenlei_options_set_dictionary(options, nullptr);
  wenlei_options_set_max_document_bytes(options, 10);
  Handle limited;
  ASSERT_EQ(wenlei_open(good.path().c_str(), options, &limited.classifier, nullptr), WENLEI_OK);
  wenlei_options_destroy(options);
  const std::string eleven = "abcdefghijk";
  EXPECT_EQ(wenlei_classify_text(limited.classifier, eleven.data(), eleven.size(), &result, nullptr),
            WENLEI_TOO_LARGE);
  const char* words[] = {"abcdef", "ghijk"};
  const std::size_t lengths[] = {6, 5};
  EXPECT_EQ(wenlei_classify_words(limited.classifier, words, lengths, 2, WENLEI_UTF8, &result, nullptr),
            WENLEI_TOO_LARGE);
  EXPECT_EQ(wenlei_classify_text(limited.classifier, "abc", 3, &result, nullptr), WENLEI_OK);
  wenlei_result_free(result);
}

// Two long class names alike in their first 9 GBK bytes have short forms
// that tell only which came first: the metadata file naming them swapped is
// refused, and the set as trained answers each class with its own name.
TEST(WenleiApiTest, LongClassNamesSwappedInTheMetadataAreRefused) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {ToGbk("软件开发"), ToGbk("软件开~1"), "Arts"};
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  const std::string tools = "class 1 软件开发工具\n", papers = "class 2 软件开发文档\n";
  struct Case {
    std::string metadata;
    wenlei_status expected;
  };
  const Case cases[] = {
      {tools + papers + "class 3 Arts\n", WENLEI_OK},
      {"class 1 软件开发文档\nclass 2 软件开发工具\nclass 3 Arts\n", WENLEI_MISMATCH},
  };
  for (const Case& c : cases) {
    WriteFile(dir.prefix() + "Metadata.txt", c.metadata);
    Handle handle;
    std::string error;
    ASSERT_EQ(Open(dir.path(), &handle, &error), c.expected) << c.metadata << error;
    if (handle.classifier == nullptr) continue;
    Result result;
    ASSERT_EQ(ClassifyGbk(handle, {wenlei::testing::ClassWord(1, 0)}, &result), WENLEI_OK);
    EXPECT_STREQ(wenlei_result_answer(result.result), "软件开发工具");
  }
}

// libsvm parses the bytes that were checked, not the file again: a model
// rewritten in place (cp over it) while handles open is whole, or refused
// as damaged, never half parsed.
TEST(WenleiApiTest, AModelRewrittenWhileOpeningIsParsedAsChecked) {
  TempDir dir;
  for (const char* name : {"Source.dat", "SVMModel"}) {
    WriteFile(dir.prefix() + name, ReadFile(BundledDir() + "/" + name));
  }
  wenlei::testing::InPlaceRewriter rewriter(dir.prefix() + "SVMModel", ReadFile(BundledDir() + "/SVMModel"));
  for (int i = 0; i < 60; ++i) {
    Handle handle;
    std::string error;
    const wenlei_status status = Open(dir.path(), &handle, &error);
    EXPECT_TRUE(status == WENLEI_OK || status == WENLEI_CORRUPT) << error;
  }
}

TEST(WenleiApiTest, TheThresholdStoredWithTheSetFlagsUnknownUnlessOneIsGiven) {
  TempDir dir;
  for (const char* name : {"Source.dat", "SVMModel"}) {
    WriteFile(dir.prefix() + name, ReadFile(BundledDir() + "/" + name));
  }
  const std::string text = ReadFile(WENLEI_MODELS_DIR "/samples/scalc.txt");
  struct Case {
    const char* file;     // Confidence.txt, or null for none
    double given;         // the option; negative: the stored threshold
    wenlei_status status;
    double inForce;
  };
  const Case cases[] = {
      {nullptr, -1.0, WENLEI_OK, 0.0},
      {"min_confidence 0.999\n", -1.0, WENLEI_OK, 0.999},
      {"min_confidence 0.999\n", 0.0, WENLEI_OK, 0.0},
      {"min_confidence 0.999\n", 0.25, WENLEI_OK, 0.25},
      {"min_confidence 2\n", -1.0, WENLEI_CORRUPT, 0.0},
      {"min_confidence 2\n", 0.5, WENLEI_OK, 0.5},  // the file is not read
  };
  for (const Case& c : cases) {
    std::remove((dir.prefix() + "Confidence.txt").c_str());
    if (c.file != nullptr) WriteFile(dir.prefix() + "Confidence.txt", c.file);
    wenlei_options* options = wenlei_options_create();
    wenlei_options_set_min_confidence(options, c.given);
    Handle handle;
    char* message = nullptr;
    EXPECT_EQ(wenlei_open(dir.path().c_str(), options, &handle.classifier, &message), c.status)
        << (c.file ? c.file : "no file") << " " << c.given;
    wenlei_options_destroy(options);
    if (c.status != WENLEI_OK) {
      EXPECT_NE(std::string(message).find("Confidence.txt:1: the threshold \"2\""),
                std::string::npos)
          << message;
      wenlei_free(message);
      continue;
    }
    EXPECT_EQ(wenlei_min_confidence(handle.classifier), c.inForce);
    Result result;
    ASSERT_EQ(wenlei_classify_text(handle.classifier, text.data(), text.size(), &result.result,
                                   nullptr),
              WENLEI_OK);
    const double confidence = wenlei_result_confidence(result.result);
    EXPECT_GT(confidence, 0.5);
    EXPECT_LT(confidence, 0.999);
    EXPECT_EQ(wenlei_result_unknown(result.result), confidence < c.inForce ? 1 : 0);
  }

  Handle bundled;
  ASSERT_EQ(Open(BundledDir(), &bundled), WENLEI_OK);
  EXPECT_GT(wenlei_min_confidence(bundled.classifier), 0.0);
  EXPECT_LT(wenlei_min_confidence(bundled.classifier), 0.5);
}

// Answers name classes up to 36; a document of a later class ends the
// process through the exports and fails alone here.
TEST(WenleiApiTest, OptionSettersReportABadValueAtOnceAndOpenRefusesItToo) {
  struct Case {
    const char* what;
    wenlei_status (*set)(wenlei_options*);
    wenlei_status status;
  };
  const Case cases[] = {
      {"threshold 0.5", [](wenlei_options* o) { return wenlei_options_set_min_confidence(o, 0.5); },
       WENLEI_OK},
      {"threshold -1", [](wenlei_options* o) { return wenlei_options_set_min_confidence(o, -1.0); },
       WENLEI_OK},
      {"threshold NaN",
       [](wenlei_options* o) { return wenlei_options_set_min_confidence(o, std::nan("")); },
       WENLEI_INVALID_ARGUMENT},
      {"threshold 1.5", [](wenlei_options* o) { return wenlei_options_set_min_confidence(o, 1.5); },
       WENLEI_INVALID_ARGUMENT},
      {"no dictionary",
       [](wenlei_options* o) { return wenlei_options_set_dictionary(o, "/nonexistent/dict.txt"); },
       WENLEI_NOT_FOUND},
      {"installed dictionary",
       [](wenlei_options* o) { return wenlei_options_set_dictionary(o, nullptr); }, WENLEI_OK},
      {"size limit", [](wenlei_options* o) { return wenlei_options_set_max_document_bytes(o, 9); },
       WENLEI_OK},
  };
  for (const Case& c : cases) {
    wenlei_options* options = wenlei_options_create();
    EXPECT_EQ(c.set(options), c.status) << c.what;
    Handle handle;
    char* message = nullptr;
    EXPECT_EQ(wenlei_open(BundledDir().c_str(), options, &handle.classifier, &message), c.status)
        << c.what;
    wenlei_free(message);
    wenlei_options_destroy(options);
    EXPECT_EQ(c.set(nullptr), WENLEI_INVALID_ARGUMENT) << c.what;
  }
}

TEST(WenleiApiTest, AClassAboveThirtySixIsAnErrorOfThatDocument) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  for (int c = 1; c <= 37; ++c) spec.classNames.push_back("class" + std::to_string(c));
  spec.documentsPerClass = 4;
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  Handle handle;
  ASSERT_EQ(Open(dir.path(), &handle), WENLEI_OK);
  Document last, first;
  for (int j = 0; j < 6; ++j) {
    last.push_back(wenlei::testing::ClassWord(37, j));
    first.push_back(wenlei::testing::ClassWord(1, j));
  }
  Result result;
  EXPECT_EQ(ClassifyGbk(handle, first, &result), WENLEI_OK);
  EXPECT_STREQ(wenlei_result_answer(result.result), "class1");
  Result failed;
  char* message = nullptr;
  EXPECT_EQ(ClassifyWords(handle, last, WENLEI_GBK, &failed, &message), WENLEI_MISMATCH);
  EXPECT_STREQ(message, "the result names a class above 36");
  wenlei_free(message);
}

TEST(WenleiApiTest, ManyThreadsOnOneHandleGetTheAnswersOfOne) {
  Handle handle;
  ASSERT_EQ(Open(BundledDir(), &handle), WENLEI_OK);
  const std::vector<Document> documents = BundledDocuments();
  std::vector<std::string> expected;
  for (const Document& document : documents) {
    Result result;
    ASSERT_EQ(ClassifyGbk(handle, document, &result), WENLEI_OK);
    expected.push_back(std::string(wenlei_result_answer_gbk(result.result)) + "|" +
                       PrintedProbabilities(result.result));
  }
  constexpr int kThreads = 4;
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (std::size_t i = t; i < documents.size() + t; ++i) {
          const std::size_t d = i % documents.size();
          Result result;
          if (ClassifyGbk(handle, documents[d], &result) != WENLEI_OK ||
              std::string(wenlei_result_answer_gbk(result.result)) + "|" +
                      PrintedProbabilities(result.result) != expected[d]) {
            ++mismatches[t];
          }
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

TEST(WenleiApiTest, Utf8TextIsSegmentedAsTheSegmenterCutsIt) {
  Handle handle;
  ASSERT_EQ(Open(BundledDir(), &handle), WENLEI_OK);
  EXPECT_EQ(wenlei_class_count(handle.classifier), 8u);
  const std::string text = ReadFile(WENLEI_MODELS_DIR "/samples/scalc.txt");
  Result fromText;
  ASSERT_EQ(wenlei_classify_text(handle.classifier, text.data(), text.size(), &fromText.result, nullptr),
            WENLEI_OK);
  wenlei_segmenter* segmenter = nullptr;
  ASSERT_EQ(wenlei_segmenter_open(wenlei_default_dictionary(), &segmenter, nullptr), WENLEI_OK);
  wenlei_words* words = nullptr;
  ASSERT_EQ(wenlei_segment(segmenter, text.data(), text.size(), &words, nullptr), WENLEI_OK);
  std::vector<std::string> texts;
  for (std::size_t i = 0; i < wenlei_words_count(words); ++i) {
    std::size_t length = 0;
    const char* word = wenlei_words_at(words, i, &length);
    texts.emplace_back(word, length);
  }
  Result fromWords;
  ASSERT_EQ(ClassifyWords(handle, texts, WENLEI_UTF8, &fromWords), WENLEI_OK);
  // The same words without punctuation, symbols and numbers: the words the
  // confidence counts.
  auto isContent = [](std::string_view word) {
    for (std::size_t i = 0; i < word.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(word[i]);
      if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
      if (c >= 0xE4 && c <= 0xE9) return true;  // leads U+4000..U+9FFF: Chinese characters
    }
    return false;
  };
  std::vector<std::string> contentTexts;
  std::copy_if(texts.begin(), texts.end(), std::back_inserter(contentTexts), isContent);
  ASSERT_LT(contentTexts.size(), texts.size());  // the sample has punctuation
  Result fromContent;
  ASSERT_EQ(ClassifyWords(handle, contentTexts, WENLEI_UTF8, &fromContent), WENLEI_OK);
  wenlei_words_free(words);
  wenlei_segmenter_close(segmenter);

  EXPECT_STREQ(wenlei_result_answer(fromText.result), wenlei_result_answer(fromWords.result));
  EXPECT_EQ(PrintedProbabilities(fromText.result), PrintedProbabilities(fromWords.result));
  EXPECT_EQ(wenlei_result_words(fromText.result), texts.size());
  EXPECT_GT(wenlei_result_known_words(fromText.result), 0u);
  ASSERT_GE(wenlei_result_name_count(fromText.result), 1u);
  EXPECT_STREQ(wenlei_result_name(fromText.result, 0), wenlei_result_class_name(fromText.result, 0));
  // The geometric mean of the top probability and the share of the content
  // words that the vocabulary knows.
  EXPECT_DOUBLE_EQ(wenlei_result_confidence(fromText.result),
                   std::sqrt(wenlei_result_probability(fromText.result, 0) *
                             static_cast<double>(wenlei_result_known_words(fromContent.result)) /
                             static_cast<double>(wenlei_result_words(fromContent.result))));
  EXPECT_EQ(wenlei_result_unknown(fromText.result), 0);

  const char* texts2[] = {"", "\xFF", text.c_str()};
  const std::size_t lengths2[] = {0, 1, text.size()};
  wenlei_result* batch[3];
  ASSERT_EQ(wenlei_classify_batch(handle.classifier, texts2, lengths2, 3, batch, nullptr), WENLEI_OK);
  EXPECT_EQ(wenlei_result_status(batch[0]), WENLEI_OK);
  EXPECT_EQ(wenlei_result_name_count(batch[0]), 0u);
  EXPECT_STREQ(wenlei_result_answer(batch[0]), "文本内容太短或无效，不能确定类别");
  EXPECT_EQ(wenlei_result_unknown(batch[0]), 1);
  EXPECT_EQ(wenlei_result_status(batch[1]), WENLEI_BAD_ENCODING);
  EXPECT_STREQ(wenlei_result_answer(batch[2]), wenlei_result_answer(fromText.result));
  for (wenlei_result* result : batch) wenlei_result_free(result);
}

}  // namespace

namespace {

TEST(WenleiApiTest, WordContributionsAddUpToTheLinearDecisionValue) {
  Handle handle;
  ASSERT_EQ(Open(BundledDir(), &handle), WENLEI_OK);
  int explained = 0;
  for (const auto& sample : std::filesystem::directory_iterator(WENLEI_MODELS_DIR "/samples")) {
    const std::string text = ReadFile(sample.path().string());
    Result result;
    ASSERT_EQ(wenlei_classify_text(handle.classifier, text.data(), text.size(), &result.result, nullptr),
              WENLEI_OK);
    ASSERT_EQ(wenlei_result_explain(result.result, 0, nullptr), WENLEI_OK);
    const std::size_t count = wenlei_result_explanation_count(result.result);
    double sum = wenlei_result_explanation_rest(result.result);
    for (std::size_t i = 0; i < count; ++i) {
      sum += wenlei_result_explanation_contribution(result.result, i);
      if (i > 0) {
        EXPECT_GE(std::abs(wenlei_result_explanation_contribution(result.result, i - 1)),
                  std::abs(wenlei_result_explanation_contribution(result.result, i)));
      }
    }
    const double decision = wenlei_result_decision_value(result.result);
    EXPECT_NEAR(sum, decision, 1e-9 * (1.0 + std::abs(decision))) << sample.path();
    if (count == 0) continue;
    ++explained;
    const std::string strongest = wenlei_result_explanation_word(result.result, 0);
    ASSERT_EQ(wenlei_result_explain(result.result, 1, nullptr), WENLEI_OK);
    EXPECT_EQ(wenlei_result_explanation_count(result.result), 1u);
    EXPECT_EQ(wenlei_result_explanation_word(result.result, 0), strongest);
    EXPECT_EQ(wenlei_result_explanation_word(result.result, 1), nullptr);
  }
  EXPECT_GT(explained, 2);
}

// Content words only: the same contributions for the words kept, the others
// (punctuation, numbers) gone from the list and added to the rest.
TEST(WenleiApiTest, ContentWordExplanationsMoveTheOthersIntoTheRest) {
  Handle handle;
  ASSERT_EQ(Open(BundledDir(), &handle), WENLEI_OK);
  std::size_t leftOut = 0;
  for (const auto& sample : std::filesystem::directory_iterator(WENLEI_MODELS_DIR "/samples")) {
    const std::string text = ReadFile(sample.path().string());
    Result result;
    ASSERT_EQ(wenlei_classify_text(handle.classifier, text.data(), text.size(), &result.result, nullptr),
              WENLEI_OK);
    ASSERT_EQ(wenlei_result_explain(result.result, 0, nullptr), WENLEI_OK);
    std::vector<std::pair<std::string, double>> all, content;
    for (std::size_t i = 0; i < wenlei_result_explanation_count(result.result); ++i) {
      all.emplace_back(wenlei_result_explanation_word(result.result, i),
                       wenlei_result_explanation_contribution(result.result, i));
    }
    const double rest = wenlei_result_explanation_rest(result.result);
    ASSERT_EQ(wenlei_result_explain_flags(result.result, 0, WENLEI_EXPLAIN_CONTENT_WORDS, nullptr),
              WENLEI_OK);
    double sum = wenlei_result_explanation_rest(result.result);
    for (std::size_t i = 0; i < wenlei_result_explanation_count(result.result); ++i) {
      content.emplace_back(wenlei_result_explanation_word(result.result, i),
                           wenlei_result_explanation_contribution(result.result, i));
      sum += content.back().second;
    }
    const double decision = wenlei_result_decision_value(result.result);
    EXPECT_NEAR(sum, decision, 1e-9 * (1.0 + std::abs(decision))) << sample.path();
    double othersSum = 0.0;
    std::vector<std::pair<std::string, double>> expected;
    for (const auto& word : all) {
      if (wenlei::IsContentWord(word.first)) {
        expected.push_back(word);
      } else {
        othersSum += word.second;
        ++leftOut;
      }
    }
    EXPECT_EQ(content, expected) << sample.path();
    EXPECT_NEAR(wenlei_result_explanation_rest(result.result), rest + othersSum, 1e-12);
  }
  EXPECT_GT(leftOut, 0u);  // the samples' punctuation is in the vocabulary
  Result result;
  ASSERT_EQ(wenlei_classify_text(handle.classifier, "插入图表", 12, &result.result, nullptr), WENLEI_OK);
  EXPECT_EQ(wenlei_result_explain_flags(result.result, 0, 2, nullptr), WENLEI_INVALID_ARGUMENT);
}

// A variant and its canonical word feed one feature and share its product.
TEST(WenleiApiTest, WordsOfOneFeatureShareItsContribution) {
  TempDir dir;
  wenlei::testing::GeneratedCorpus corpus;
  WriteFile(dir.prefix() + "train.tsv", corpus.Text());
  const std::string variant = corpus.TopicWord(0, 0) + "变体";
  WriteFile(dir.prefix() + "synonyms.tsv", variant + "\t" + corpus.TopicWord(0, 0) + "\n");
  wenlei_train_options* options = wenlei_train_options_create();
  for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
           {"synonyms", dir.prefix() + "synonyms.tsv"}, {"features", "all"}, {"folds", "3"}}) {
    ASSERT_EQ(wenlei_train_options_set(options, name.c_str(), value.c_str(), nullptr), WENLEI_OK) << name;
  }
  const wenlei_status trained =
      wenlei_train_file((dir.prefix() + "train.tsv").c_str(), (dir.prefix() + "set").c_str(), options, nullptr);
  wenlei_train_options_destroy(options);
  ASSERT_EQ(trained, WENLEI_OK);
  Handle handle;
  ASSERT_EQ(Open(dir.prefix() + "set", &handle), WENLEI_OK);
  ASSERT_NE(wenlei_trained_with(handle.classifier), nullptr);
  EXPECT_NE(std::string(wenlei_trained_with(handle.classifier)).find("linear kernel"), std::string::npos);
  const std::vector<std::string> words = {corpus.TopicWord(0, 0), variant, corpus.TopicWord(1, 2)};
  Result result;
  ASSERT_EQ(ClassifyWords(handle, words, WENLEI_UTF8, &result), WENLEI_OK);
  ASSERT_EQ(wenlei_result_explain(result.result, 0, nullptr), WENLEI_OK);
  std::map<std::string, double> contributions;
  double sum = wenlei_result_explanation_rest(result.result);
  for (std::size_t i = 0; i < wenlei_result_explanation_count(result.result); ++i) {
    contributions[wenlei_result_explanation_word(result.result, i)] =
        wenlei_result_explanation_contribution(result.result, i);
    sum += wenlei_result_explanation_contribution(result.result, i);
  }
  ASSERT_EQ(contributions.size(), 3u);
  // Shares of one product, in proportion to the words' weights: one sign.
  EXPECT_GT(contributions[words[0]] * contributions[variant], 0.0);
  EXPECT_NEAR(sum, wenlei_result_decision_value(result.result), 1e-9);
}

TEST(WenleiApiTest, TheHandleDescribesItsSet) {
  TempDir dir;
  wenlei::testing::ResourceSetSpec spec;
  spec.classNames = {"Sports", "01 Arts", "Music"};
  spec.parameter = wenlei::testing::DefaultParameter(RBF);
  wenlei::testing::BuildResourceSet(dir.prefix(), spec);
  Handle handle;
  ASSERT_EQ(Open(dir.path(), &handle), WENLEI_OK);
  EXPECT_STREQ(wenlei_kernel(handle.classifier), "rbf");
  EXPECT_EQ(wenlei_vocabulary_size(handle.classifier), 18u);
  EXPECT_EQ(wenlei_feature_count(handle.classifier), 18u);
  EXPECT_EQ(wenlei_trained_with(handle.classifier), nullptr);
  for (std::size_t index = 0; index < 3; ++index) {
    EXPECT_EQ(wenlei_class_number(handle.classifier, wenlei_class_at(handle.classifier, index)), index + 1);
  }
  EXPECT_EQ(wenlei_class_number(handle.classifier, "Arts"), 2u);
  EXPECT_EQ(wenlei_class_number(handle.classifier, "01 Arts"), 0u);
  EXPECT_EQ(wenlei_class_at(handle.classifier, 3), nullptr);
  // The names as trained keep the tag that answers leave out.
  EXPECT_STREQ(wenlei_class_label(handle.classifier, 1), "Sports");
  EXPECT_STREQ(wenlei_class_label(handle.classifier, 2), "01 Arts");
  EXPECT_STREQ(wenlei_class_name(handle.classifier, 2), "Arts");
  EXPECT_EQ(wenlei_class_label(handle.classifier, 0), nullptr);
  EXPECT_EQ(wenlei_class_label(handle.classifier, 4), nullptr);

  Result result;
  ASSERT_EQ(ClassifyGbk(handle, {wenlei::testing::ClassWord(1, 0), wenlei::testing::ClassWord(2, 1)}, &result),
            WENLEI_OK);
  char* message = nullptr;
  EXPECT_EQ(wenlei_result_explain(result.result, 3, &message), WENLEI_INVALID_ARGUMENT);
  ASSERT_NE(message, nullptr);
  EXPECT_NE(std::string(message).find("linear"), std::string::npos) << message;
  wenlei_free(message);
  EXPECT_EQ(wenlei_result_explanation_count(result.result), 0u);
}

}  // namespace
