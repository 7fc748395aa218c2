// wenlei classify: raw Chinese text in, category out, through the library's
// modern interface (<wenlei/wenlei.h>), or with --exports through its
// exported functions exactly as a host of them does.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <new>
#include <string>
#include <vector>

#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "text/dictionary.h"
#include "tools/commands/document_source.h"
#include "text/document_words.h"
#include "text/gbk_converter.h"
#include "tools/commands/json_text.h"
#include "tools/host/library_session.h"
#include "tools/commands/option_parser.h"
#include "tools/commands/progress_line.h"
#include "tools/host/resource_directory.h"
#include "text/segmenter.h"
#include "text/utf8.h"
#include "wenlei/wenlei.h"
#include "util/number_text.h"
#include "util/whole_number.h"
#include "util/file_bytes.h"

namespace wenlei {
namespace {

constexpr char kProgram[] = "wenlei classify";

// What is printed for an answer whose confidence is under the threshold.
constexpr char kUnknownAnswer[] = "unknown";

// Documents handed to the library at once: one prediction step, one reading
// of the model.
constexpr std::size_t kBatchLimit = 256;

struct ClassifyOptions {
  std::string resourceDir;
  std::string dictionaryPath;
  std::vector<std::string> files;
  bool lines = false;
  bool words = false;
  bool gbk = false;
  bool json = false;
  bool exports = false;
  // Answers under this confidence are unknown; negative: the threshold
  // stored with the resource set.
  double minConfidence = -1.0;
  bool tsv = false;  // lines of id<TAB>text; every output line carries the id
  std::size_t maxBytes = DocumentSource::kDefaultMaxDocumentBytes;
  std::size_t explain = 0;  // words to explain each answer with; 0: none
  bool explainContent = false;  // content words only, the others in the rest
  bool quiet = false;        // no warnings about single documents
};

void Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

// Everything a run needs once the options are read.
class Classify {
 public:
  explicit Classify(const ClassifyOptions& options) : options_(options) {}

  // Loads the dictionary and the resource set; false after reporting why not.
  bool SetUp();
  // Classifies every document; returns the exit status.
  int Run(std::vector<std::string> texts);

 private:
  struct Document {
    // With --exports, and for words already in GBK: the words the library
    // is handed, as a host of it cuts them.
    DocumentWords::Result words;
    // Otherwise the UTF-8 text (or with --words its words between white
    // space), which the library segments and converts itself.
    std::string utf8;
    std::string origin;   // where it was read, for warnings
    std::string failure;  // why the document could not be read; empty if it could
    std::optional<std::string> id;  // with --tsv: the line's id in UTF-8, when it has one
    std::string idAsGiven;          // its bytes as read (GBK with --gbk)
  };

  // What the library said about one document.
  struct Answer {
    std::string gbk;   // the exports' text
    std::string utf8;  // the same with the classes' full names
    std::vector<std::string> namesUtf8;
    std::size_t words = 0;
    std::size_t knownWords = 0;
    std::size_t droppedCharacters = 0;  // characters GBK cannot encode
    std::vector<std::pair<std::string, double>> probabilities;  // highest first
    double confidence = 0.0;
    bool unknown = false;  // confidence under the threshold, or no known word
    std::string failure;   // the library refused the document
    // With --explain: the runner-up, the words that weighed most between it
    // and the answer, and the rest of the decision value beside them.
    bool explained = false;
    std::string versus;
    std::vector<std::pair<std::string, double>> contributions;
    double rest = 0.0;
    double decisionValue = 0.0;
  };

  void Explain(wenlei_result* result, Answer* answer) const;
  void AppendExplanation(const Answer& answer, std::string* line) const;
  void AppendJsonExplanation(const Answer& answer, std::string* line) const;

  void WriteBatch(const std::vector<Document>& batch);
  std::vector<Answer> ClassifyBatch(const std::vector<const Document*>& documents);
  void WriteAnswer(const Answer& answer, const Document& document);
  void WriteFailure(const std::string& message, const Document& document);
  // With --tsv: splits "id<TAB>text" into document->id and *text; false when
  // the line has no usable id (document->failure says why).
  bool TakeId(const std::string& origin, std::string* text, Document* document);
  // The modern interface's result for a document's GBK words; null, with
  // *failure saying why, when the library refuses it.
  wenlei_result* ClassifyWords(const DocumentWords::Result& document, std::string* failure) const;
  // The same for a document as read: its text or its words.
  wenlei_result* ClassifyDocument(const Document& document, std::string* failure) const;
  // Whether the library takes the document's UTF-8 text (or words) and
  // makes its GBK words itself, as the modern interface does.
  bool LibraryMakesWords() const { return !options_.exports && !(options_.gbk && options_.words); }
  // Reads a document for the library: *failure (empty when none) says why
  // it cannot be classified; characters left out are noted.
  void Prepare(std::string_view text, const std::string& origin, Document* document) const;
  // Tells of characters GBK cannot encode that an answer left out.
  void NoteDropped(std::size_t dropped, const std::string& origin);

  const ClassifyOptions& options_;
  std::unique_ptr<GbkConverter> converter_;
  std::unique_ptr<Dictionary> dictionary_;
  std::unique_ptr<Segmenter> segmenter_;
  // The modern interface's handle, and with --exports a host session of the
  // exported functions.
  wenlei_classifier* classifier_ = nullptr;
  std::unique_ptr<LibrarySession> session_;
  bool failed_ = false;
  // A run of lines says once, at its end, how many characters it left out.
  std::size_t droppedCharacters_ = 0, documentsWithDropped_ = 0;

 public:
  ~Classify() { wenlei_close(classifier_); }
};

bool Classify::SetUp() {
  // Checked here because LoadSource ends the process when Source.dat is
  // missing, with a message that does not say which set was meant.
  if (Status found = CheckResourceDirectory(options_.resourceDir); !found.ok()) {
    Fail(found.message());
    return false;
  }
  if (Status opened = GbkConverter::Open(&converter_); !opened.ok()) {
    Fail(opened.message());
    return false;
  }
  if (options_.exports && !options_.words) {
    if (Status loaded = Dictionary::Load(options_.dictionaryPath, &dictionary_); !loaded.ok()) {
      Fail(loaded.message());
      return false;
    }
    segmenter_ = std::make_unique<Segmenter>(*dictionary_);
  }
  // The modern interface's handle: the answers, or with --exports the check
  // that the set fits together and each document's count of known words.
  char* message = nullptr;
  // The reading bounds every document; the library gets no bound of its
  // own, since GBK input grows by half as the UTF-8 it is handed.
  wenlei_options* openOptions = wenlei_options_create();
  if (openOptions == nullptr) throw std::bad_alloc();
  wenlei_options_set_min_confidence(openOptions, options_.minConfidence);
  wenlei_options_set_max_document_bytes(openOptions, 0);
  // The dictionary this run segments with, for the library to compare with
  // the one the set was trained with.
  if (!options_.words && !options_.exports) {
    wenlei_options_set_dictionary(openOptions, options_.dictionaryPath.c_str());
  }
  const wenlei_status opened =
      wenlei_open(options_.resourceDir.c_str(), openOptions, &classifier_, &message);
  wenlei_options_destroy(openOptions);
  if (opened != WENLEI_OK) {
    Fail(message != nullptr ? message : "cannot open " + options_.resourceDir);
    wenlei_free(message);
    return false;
  }
  if (options_.exports) {
    if (Status opened = LibrarySession::Open(options_.resourceDir, &session_); !opened.ok()) {
      Fail(opened.message());
      return false;
    }
    return true;
  }
  if (!options_.words) {
    // The library loads the dictionary when it first segments: segmenting
    // nothing now reports one that cannot be used before any document.
    wenlei_result* probe = nullptr;
    if (wenlei_classify_text(classifier_, "", 0, &probe, &message) != WENLEI_OK) {
      Fail(message != nullptr ? message : "cannot load " + options_.dictionaryPath);
      wenlei_free(message);
      return false;
    }
    wenlei_result_free(probe);
  }
  if (const char* warning = wenlei_warning(classifier_)) {
    std::fprintf(stderr, "%s: warning: %s\n", kProgram, warning);
  }
  if (options_.explain > 0 && std::string(wenlei_kernel(classifier_)) != "linear") {
    Fail("--explain needs a model with the linear kernel; the one in " + options_.resourceDir +
         " has the " + wenlei_kernel(classifier_) + " kernel");
    return false;
  }
  return true;
}

void Classify::Explain(wenlei_result* result, Answer* answer) const {
  char* message = nullptr;
  const unsigned flags = options_.explainContent ? WENLEI_EXPLAIN_CONTENT_WORDS : 0u;
  if (wenlei_result_explain_flags(result, options_.explain, flags, &message) != WENLEI_OK) {
    answer->failure = message != nullptr ? message : "the library cannot explain the answer";
    wenlei_free(message);
    return;
  }
  if (wenlei_result_class_count(result) < 2) return;
  answer->explained = true;
  answer->versus = wenlei_result_class_name(result, 1);
  for (std::size_t i = 0; i < wenlei_result_explanation_count(result); ++i) {
    answer->contributions.emplace_back(wenlei_result_explanation_word(result, i),
                                       wenlei_result_explanation_contribution(result, i));
  }
  answer->rest = wenlei_result_explanation_rest(result);
  answer->decisionValue = wenlei_result_decision_value(result);
}

// "<TAB>RUNNER-UP: word +0.436, word -0.215", the words in the output's
// encoding.
void Classify::AppendExplanation(const Answer& answer, std::string* line) const {
  if (!answer.explained) return;
  std::string text = answer.versus + ":";
  bool first = true;
  for (const auto& [word, contribution] : answer.contributions) {
    const std::string number = (std::signbit(contribution) ? " " : " +") + GeneralText(contribution, 4);
    text += (first ? " " : ", ") + word + number;
    first = false;
  }
  *line += '\t';
  if (options_.gbk) {
    converter_->AppendGbk(text, line);
  } else {
    *line += text;
  }
}

void Classify::AppendJsonExplanation(const Answer& answer, std::string* line) const {
  if (!answer.explained) {
    *line += ", \"explanation\": null";
    return;
  }
  auto appendNumber = [line](double value) {
    char number[32];
    auto written = std::to_chars(number, number + sizeof number, value);
    line->append(number, written.ptr);
  };
  *line += ", \"explanation\": {\"versus\": ";
  AppendJsonString(answer.versus, line);
  *line += ", \"words\": [";
  bool first = true;
  for (const auto& [word, contribution] : answer.contributions) {
    *line += first ? "{\"word\": " : ", {\"word\": ";
    first = false;
    AppendJsonString(word, line);
    *line += ", \"contribution\": ";
    appendNumber(contribution);
    *line += "}";
  }
  *line += "], \"rest\": ";
  appendNumber(answer.rest);
  *line += ", \"decision_value\": ";
  appendNumber(answer.decisionValue);
  *line += "}";
}

int Classify::Run(std::vector<std::string> texts) {
  DocumentSource source(std::move(texts), options_.files, options_.lines, options_.maxBytes);
  DocumentWords documentWords(converter_.get(), segmenter_.get(),
                              {options_.gbk, options_.words});
  int status = kExitSuccess;
  std::string text, origin, error;
  std::vector<Document> batch;
  ProgressLine progress(kProgram);
  bool ended = false;
  while (!ended) {
    // The first document of a batch may wait for input; the others join it
    // only while input is at hand, so a streaming reader gets each answer
    // as soon as its line is in, and a file goes through in large batches.
    batch.clear();
    do {
      DocumentSource::Next next = source.Read(&text, &origin, &error);
      if (next == DocumentSource::Next::kEnd) {
        ended = true;
        break;
      }
      if (next == DocumentSource::Next::kError) {
        Fail(error);
        status = kExitFailure;
        continue;
      }
      if (!options_.lines && text.empty() && origin == "standard input") {
        // Nothing was piped in: no document to answer, rather than the
        // exports' sentence for one without a known word.
        Fail("no text came on standard input; give the text as an argument, with -f FILE, "
             "or on standard input");
        status = kExitFailure;
        continue;
      }
      batch.emplace_back();
      Document& document = batch.back();
      document.origin = origin;
      if (next == DocumentSource::Next::kTooLong) {
        // An output line all the same, so that answers stay in step; a
        // pipeline's line keeps its id when its first bytes hold one.
        if (options_.tsv) TakeId(origin, &text, &document);
        document.failure = origin + ": " + error;
        Fail(document.failure);
        if (!options_.tsv) status = kExitFailure;
      } else if (options_.tsv && !TakeId(origin, &text, &document)) {
        Fail(document.failure);
      } else {
        if (LibraryMakesWords()) {
          Prepare(text, origin, &document);
        } else if (Status made = documentWords.Make(text, &document.words); !made.ok()) {
          document.failure = origin + ": " + made.message();
        } else {
          NoteDropped(document.words.droppedCharacters, origin);
        }
        if (!document.failure.empty()) {
          Fail(document.failure);
          // A pipeline's line in error has its error line; the run goes on
          // and its status stays that of the run itself.
          if (!options_.tsv) status = kExitFailure;
        }
      }

    } while (batch.size() < kBatchLimit && source.NextIsReady());
    WriteBatch(batch);
    progress.Add(batch.size());
  }
  progress.Finish();
  if (documentsWithDropped_ > 0) {
    Fail("left out " + std::to_string(droppedCharacters_) +
         " character(s) that GBK cannot encode, in " + std::to_string(documentsWithDropped_) +
         " document(s) (--json counts them per document; -q says nothing)");
  }
  return failed_ ? kExitFailure : status;
}

void Classify::WriteBatch(const std::vector<Document>& batch) {
  if (batch.empty()) return;
  std::vector<const Document*> readable;
  for (const Document& document : batch) {
    if (document.failure.empty()) readable.push_back(&document);
  }
  std::vector<Answer> answers = ClassifyBatch(readable);
  std::size_t next = 0;
  for (const Document& document : batch) {
    // A document that could not be read still has its output line, so that
    // answers stay in step with the documents.
    if (!document.failure.empty()) {
      WriteFailure(document.failure, document);
      continue;
    }
    const Answer& answer = answers[next++];
    if (LibraryMakesWords()) NoteDropped(answer.droppedCharacters, document.origin);
    if (!answer.failure.empty()) {
      Fail(answer.failure);
      WriteFailure(answer.failure, document);
      if (!options_.tsv) failed_ = true;
    } else {
      WriteAnswer(answer, document);
    }
  }
  // Answers leave as soon as they are known: a streaming caller waits on them.
  if (options_.lines) std::fflush(stdout);
}

std::vector<Classify::Answer> Classify::ClassifyBatch(const std::vector<const Document*>& documents) {
  std::vector<Answer> answers(documents.size());
  if (options_.exports) {
    std::vector<std::vector<std::string>> wordLists;
    for (const Document* document : documents) wordLists.push_back(document->words.Words());
    std::vector<std::string> texts = session_->ClassifyBatch(wordLists);
    for (std::size_t i = 0; i < documents.size(); ++i) {
      answers[i].words = documents[i]->words.wordCount();
      answers[i].droppedCharacters = documents[i]->words.droppedCharacters;
      answers[i].gbk = texts[i];
      converter_->AppendUtf8(texts[i], &answers[i].utf8);
      for (const std::string& name : AnswerNames(texts[i])) {
        std::string utf8;
        converter_->AppendUtf8(name, &utf8);
        answers[i].namesUtf8.push_back(utf8);
      }
      // The exports answer with names only.
      std::string why;
      if (wenlei_result* result = ClassifyWords(documents[i]->words, &why)) {
        answers[i].knownWords = wenlei_result_known_words(result);
        wenlei_result_free(result);
      }
    }
    return answers;
  }
  for (std::size_t i = 0; i < documents.size(); ++i) {
    wenlei_result* result = ClassifyDocument(*documents[i], &answers[i].failure);
    if (result == nullptr) continue;
    Answer& answer = answers[i];
    answer.words = wenlei_result_words(result);
    answer.droppedCharacters = wenlei_result_dropped_characters(result);
    answer.gbk = wenlei_result_answer_gbk(result);
    answer.utf8 = wenlei_result_answer(result);
    for (std::size_t n = 0; n < wenlei_result_name_count(result); ++n) {
      answer.namesUtf8.push_back(wenlei_result_name(result, n));
    }
    answer.knownWords = wenlei_result_known_words(result);
    answer.confidence = wenlei_result_confidence(result);
    answer.unknown = wenlei_result_unknown(result) != 0;
    for (std::size_t rank = 0; rank < wenlei_result_class_count(result); ++rank) {
      answer.probabilities.emplace_back(wenlei_result_class_name(result, rank),
                                        wenlei_result_probability(result, rank));
    }
    if (options_.explain > 0) Explain(result, &answer);
    wenlei_result_free(result);
  }
  return answers;
}

namespace {

// The result of a classification call, or null with *failure saying why
// the library refused the document.
wenlei_result* Taken(wenlei_status status, wenlei_result* result, char* message,
                     std::string* failure) {
  if (status == WENLEI_OK) return result;
  *failure = message != nullptr ? message : "the library refused a document";
  wenlei_free(message);
  return nullptr;
}

template <typename Words>
wenlei_result* ClassifyWordViews(const wenlei_classifier* classifier, const Words& views,
                                 wenlei_encoding encoding, std::string* failure) {
  std::vector<const char*> words;
  std::vector<std::size_t> lengths;
  for (std::string_view word : views) {
    words.push_back(word.data());
    lengths.push_back(word.size());
  }
  wenlei_result* result = nullptr;
  char* message = nullptr;
  const wenlei_status status = wenlei_classify_words(classifier, words.data(), lengths.data(),
                                                     words.size(), encoding, &result, &message);
  return Taken(status, result, message, failure);
}

}  // namespace

wenlei_result* Classify::ClassifyWords(const DocumentWords::Result& document,
                                       std::string* failure) const {
  std::vector<std::string_view> words(document.wordCount());
  for (std::size_t w = 0; w < words.size(); ++w) words[w] = document.word(w);
  return ClassifyWordViews(classifier_, words, WENLEI_GBK, failure);
}

wenlei_result* Classify::ClassifyDocument(const Document& document, std::string* failure) const {
  if (!LibraryMakesWords()) return ClassifyWords(document.words, failure);
  if (options_.words) {
    std::vector<std::string_view> words;
    SplitAtSeparators(document.utf8, &words);
    return ClassifyWordViews(classifier_, words, WENLEI_UTF8, failure);
  }
  wenlei_result* result = nullptr;
  char* message = nullptr;
  const wenlei_status status = wenlei_classify_text(classifier_, document.utf8.data(),
                                                    document.utf8.size(), &result, &message);
  return Taken(status, result, message, failure);
}

void Classify::Prepare(std::string_view text, const std::string& origin,
                       Document* document) const {
  if (options_.gbk) {
    if (auto bad = converter_->AppendUtf8(text, &document->utf8)) {
      document->failure = origin + ": not GBK (invalid byte at offset " + std::to_string(*bad) + ")";
    }
    return;
  }
  if (auto bad = FindInvalidUtf8(text)) {
    document->failure = origin + ": " + NotUtf8Message(text, *bad, "try --gbk");
    return;
  }
  document->utf8.assign(text);
}

void Classify::NoteDropped(std::size_t dropped, const std::string& origin) {
  if (dropped == 0 || options_.json || options_.quiet) return;
  if (options_.lines) {
    droppedCharacters_ += dropped;
    ++documentsWithDropped_;
    return;
  }
  Fail(origin + ": left out " + std::to_string(dropped) + " character(s) that GBK cannot encode");
}

bool Classify::TakeId(const std::string& origin, std::string* text, Document* document) {
  std::size_t tab = text->find('\t');
  if (tab == std::string::npos) {
    document->failure = origin + ": no tab between the id and the text";
    return false;
  }
  std::string id = text->substr(0, tab);
  document->idAsGiven = id;
  if (options_.gbk) {
    std::string utf8;
    if (auto bad = converter_->AppendUtf8(id, &utf8)) {
      document->failure = origin + ": the id is not GBK (invalid byte at offset " +
                          std::to_string(*bad) + ")";
      return false;
    }
    id = std::move(utf8);
  } else if (auto bad = FindInvalidUtf8(id)) {
    document->failure = origin + ": the id is not UTF-8 (invalid byte at offset " +
                        std::to_string(*bad) + ")";
    return false;
  }
  document->id = std::move(id);
  text->erase(0, tab + 1);
  return true;
}

void Classify::WriteAnswer(const Answer& answer, const Document& document) {
  std::string line;
  // The plain answer, as the input is encoded: a prediction too unsure to
  // name is "unknown"; a text without a known word keeps the library's own
  // message.
  auto appendPlain = [&](std::string* out) {
    if (answer.unknown && !answer.namesUtf8.empty()) {
      *out += kUnknownAnswer;
    } else if (options_.gbk) {
      converter_->AppendGbk(answer.utf8, out);
    } else {
      *out += answer.utf8;
    }
  };
  if (options_.tsv && !options_.json) {
    line = document.idAsGiven + '\t';
    appendPlain(&line);
    AppendExplanation(answer, &line);
  } else if (options_.json) {
    // JSON text is UTF-8, whatever the input was.
    line = "{";
    if (options_.tsv) {
      line += "\"id\": ";
      AppendJsonString(*document.id, &line);
      line += ", ";
    }
    line += "\"answer\": ";
    AppendJsonString(answer.utf8, &line);
    line += ", \"names\": [";
    bool first = true;
    for (const std::string& name : answer.namesUtf8) {
      if (!first) line += ", ";
      first = false;
      AppendJsonString(name, &line);
    }
    line += "], \"words\": " + std::to_string(answer.words);
    line += ", \"known_words\": " + std::to_string(answer.knownWords);
    line += ", \"dropped_characters\": " + std::to_string(answer.droppedCharacters);
    if (!options_.exports) {
      // Every class, highest first; the shortest text that reads back as
      // libsvm's value.
      line += ", \"probabilities\": {";
      first = true;
      for (const auto& [name, probability] : answer.probabilities) {
        if (!first) line += ", ";
        first = false;
        AppendJsonString(name, &line);
        char number[32];
        auto written = std::to_chars(number, number + sizeof number, probability);
        line += ": ";
        line.append(number, written.ptr);
      }
      line += "}";
      char number[32];
      auto written = std::to_chars(number, number + sizeof number, answer.confidence);
      line += ", \"confidence\": ";
      line.append(number, written.ptr);
      line += answer.unknown ? ", \"unknown\": true" : ", \"unknown\": false";
      if (options_.explain > 0) AppendJsonExplanation(answer, &line);
    }
    line += "}";
  } else {
    appendPlain(&line);
    AppendExplanation(answer, &line);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void Classify::WriteFailure(const std::string& message, const Document& document) {
  std::string line;
  if (options_.tsv) {
    // Always JSON, so that a pipeline can tell an error from an answer.
    line = "{\"id\": ";
    if (document.id) {
      AppendJsonString(*document.id, &line);
    } else {
      line += "null";
    }
    line += ", \"error\": ";
    AppendJsonString(message, &line);
    line += "}";
  } else if (options_.json) {
    line = "{\"error\": ";
    AppendJsonString(message, &line);
    line += "}";
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace

int RunClassifyCommand(int argc, char** argv) {
  ClassifyOptions options;
  OptionParser parser(
      kProgram, "wenlei classify [OPTIONS] [TEXT...]",
      "Assigns a category to each TEXT, to each file given with --file, or to\n"
      "standard input when neither is given.  Text is UTF-8 Chinese; it is\n"
      "segmented into words, converted to GBK and classified by the library with\n"
      "the resource set, and the answer is printed in UTF-8, one line per\n"
      "document: a category name, two names joined by \" or \" when the second is\n"
      "nearly as likely, \"unknown\" when the answer's confidence is under the\n"
      "resource set's threshold (the text is probably about something else), or\n"
      "the library's message for a text without known words.");
  parser.AddValue('r', "resources", "DIR", &options.resourceDir,
                  "resource set holding Source.dat and SVMModel\n(default: the bundled models/help-zh)");
  parser.AddValue('d', "dict", "FILE", &options.dictionaryPath,
                  "segmentation dictionary, \"word frequency [tag]\" lines\n"
                  "(default: the bundled models/dictionary/dict.txt)");
  parser.AddRepeatedValue('f', "file", "FILE", &options.files,
                          "classify the text of FILE (\"-\": standard input);\nmay be repeated");
  parser.AddFlag('l', "lines", &options.lines,
                 "every input line is a document of its own; each\nanswer is written as soon as it is known");
  parser.AddFlag('w', "words", &options.words,
                 "the input is already segmented: words separated\nby white space");
  parser.AddFlag(0, "gbk", &options.gbk, "read GBK text and print GBK answers, both unchanged\n(JSON output stays UTF-8)");
  parser.AddFlag('j', "json", &options.json,
                 "print one JSON object per document: answer, names,\n"
                 "words, known_words, dropped_characters and\n"
                 "probabilities (class name -> probability, every\n"
                 "class, highest first), confidence (0 to 1) and unknown");
  std::string minConfidence;
  parser.AddValue(0, "min-confidence", "X", &minConfidence,
                  "print \"unknown\" for answers whose confidence is under X\n"
                  "(default: the threshold stored with the resource set;\n0: never)");
  parser.AddFlag(0, "tsv", &options.tsv,
                 "every line is id<TAB>text (implies --lines), and every\n"
                 "output line carries the id: id<TAB>answer, or with\n"
                 "--json {\"id\": ..., \"answer\": ...}; a line that cannot\n"
                 "be classified gives {\"id\": ..., \"error\": ...} and the\n"
                 "run goes on (exit status 0 unless the run failed)");
  parser.AddFlag(0, "exports", &options.exports,
                 "classify through the library's exported functions,\n"
                 "as a host of them does (no probabilities)");
  // The explanation's options: content words (a letter or a Chinese
  // character) by default, every known word on request.
  struct ExplainOption {
    const char* name;
    bool contentOnly;
    std::string value;
  };
  ExplainOption explainOptions[] = {{"explain", true, {}}, {"explain-content", true, {}},
                                    {"explain-all", false, {}}};
  parser.AddValue(0, "explain", "N", &explainOptions[0].value,
                  "after each answer, the N content words (a letter or a\n"
                  "Chinese character) that weighed most in the decision\n"
                  "between it and the runner-up, each with its signed\n"
                  "contribution (positive: for the answer):\n"
                  "answer<TAB>runner-up: word +0.43, word -0.21; with --json\n"
                  "an \"explanation\" object (versus, words, rest,\n"
                  "decision_value); punctuation and numbers go into the\n"
                  "rest.  Linear models only");
  parser.AddValue(0, "explain-all", "N", &explainOptions[2].value,
                  "as --explain, with every known word, punctuation and\n"
                  "numbers too");
  parser.AddFlag('q', "quiet", &options.quiet,
                 "no warnings about single documents (characters left\n"
                 "out); errors are still reported");
  parser.AddValue(0, "explain-content", "N", &explainOptions[1].value, "the same as --explain");
  std::string maxBytes;
  parser.AddValue(0, "max-bytes", "N", &maxBytes,
                  "the largest document, in bytes; a longer one is an\n"
                  "error of its own and is skipped (" + DefaultMaxDocumentBytesText() + ")");
  parser.SetEpilogue(
      "Characters that GBK cannot encode (most emoji, rare characters) are left out\n"
      "and counted: a warning for each document, or with --lines and --tsv one line\n"
      "at the end that sums them up (--json gives each document's count, -q none).\n"
      "Input that is not UTF-8 (not GBK with --gbk) is reported with\n"
      "the offset of its first bad byte; its output line is left empty (with\n"
      "--json it is {\"error\": ...}) and the exit status is 1.\n"
      "\n"
      "The resource set is held in memory; nothing is written.  With --exports the\n"
      "library writes two working files beside the resource set it loads, so the\n"
      "resource set is loaded from a private directory made for each run under\n"
      "$XDG_CACHE_HOME/wenlei (default ~/.cache/wenlei), or under $TMPDIR when\n"
      "that cannot be used, and removed at exit: concurrent runs are safe.\n"
      "\n"
      "examples:\n"
      "  wenlei classify '要删除数据透视图，请选择图表，然后按 Del。'\n"
      "  wenlei classify --lines --json < documents.txt\n"
      "  wenlei classify -r my-resources/ --file page.txt\n"
      "\n"
      "Exit status: 0 success, 1 failure, 2 usage error.");
  std::vector<std::string> texts;
  switch (parser.Parse(argc, argv, &texts)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }
  if (!minConfidence.empty()) {
    if (!ParseWhole(minConfidence, &options.minConfidence) ||
        !(options.minConfidence >= 0.0 && options.minConfidence <= 1.0)) {
      parser.ReportUsageError("--min-confidence: \"" + minConfidence +
                              "\" is not a number from 0 to 1");
      return kExitUsage;
    }
    if (options.exports) {
      parser.ReportUsageError("--min-confidence needs probabilities, which --exports lacks");
      return kExitUsage;
    }
  }
  std::string explain, explainOption;
  for (const ExplainOption& given : explainOptions) {
    if (given.value.empty()) continue;
    if (!explain.empty()) {
      parser.ReportUsageError("give one of --explain, --explain-content and --explain-all");
      return kExitUsage;
    }
    explain = given.value;
    explainOption = std::string("--") + given.name;
    options.explainContent = given.contentOnly;
  }
  if (!explain.empty()) {
    if (!ParseByteCount(explain, &options.explain)) {
      parser.ReportUsageError(explainOption + ": \"" + explain +
                              "\" is not a number of words above 0");
      return kExitUsage;
    }
    if (options.exports) {
      parser.ReportUsageError(explainOption + " needs the modern interface, which --exports leaves");
      return kExitUsage;
    }
  }
  if (options.tsv) options.lines = true;  // a pipeline's input is lines
  if (!maxBytes.empty() && !ParseByteCount(maxBytes, &options.maxBytes)) {
    parser.ReportUsageError("--max-bytes: \"" + maxBytes + "\" is not a number of bytes above 0");
    return kExitUsage;
  }
  if (!texts.empty() && !options.files.empty()) {
    parser.ReportUsageError("give TEXT arguments or --file, not both");
    return kExitUsage;
  }
  if (options.resourceDir.empty()) {
    options.resourceDir = BundledPath("help-zh");
    std::error_code code;
    if (!std::filesystem::is_directory(Utf8Path(options.resourceDir), code)) {
      Fail("the bundled resource set is missing (looked for " + options.resourceDir +
           "); name one with -r DIR");
      return kExitFailure;
    }
  }
  if (options.dictionaryPath.empty()) options.dictionaryPath = BundledPath("dictionary/dict.txt");

  Classify classify(options);
  if (!classify.SetUp()) return kExitFailure;
  if (texts.empty() && options.files.empty()) NoteTerminalInput(kProgram);
  NoteTextsNamingFiles(kProgram, "classified", texts);
  return classify.Run(std::move(texts));
}

}  // namespace wenlei
