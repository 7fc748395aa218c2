// wenlei classify: raw Chinese text in, category out, through the library's
// exported functions only.

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "text/dictionary.h"
#include "tools/commands/document_source.h"
#include "tools/commands/document_words.h"
#include "text/gbk_converter.h"
#include "tools/commands/json_text.h"
#include "tools/host/library_session.h"
#include "tools/commands/option_parser.h"
#include "tools/commands/progress_line.h"
#include "tools/host/resource_set.h"
#include "text/segmenter.h"

namespace wenlei {
namespace {

constexpr char kProgram[] = "wenlei classify";

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
    DocumentWords::Result words;
    std::string failure;  // why the document could not be read; empty if it could
  };

  void WriteBatch(const std::vector<Document>& batch);
  void WriteAnswer(const std::string& gbkAnswer, const DocumentWords::Result& words);
  void WriteFailure(const std::string& message);
  std::size_t CountKnown(const std::vector<std::string>& gbkWords) const;

  const ClassifyOptions& options_;
  std::unique_ptr<GbkConverter> converter_;
  std::unique_ptr<Dictionary> dictionary_;
  std::unique_ptr<Segmenter> segmenter_;
  Vocabulary vocabulary_;
  std::unique_ptr<LibrarySession> session_;
};

bool Classify::SetUp() {
  std::string error;
  // Checked here because LoadSource ends the process when Source.dat is
  // missing, with a message that does not say which set was meant.
  if (!CheckResourceDirectory(options_.resourceDir, &error)) {
    Fail(error);
    return false;
  }
  if (!vocabulary_.Load(ResourceFilePath(options_.resourceDir, "Source.dat"), &error)) {
    Fail(error);
    return false;
  }
  ModelHeader model;
  if (!ReadModelHeader(ResourceFilePath(options_.resourceDir, "SVMModel"), &model, &error)) {
    Fail(error);
    return false;
  }
  if (!model.probability) {
    Fail(ResourceFilePath(options_.resourceDir, "SVMModel") +
         " gives no probabilities (train it with probability estimates on)");
    return false;
  }
  converter_ = GbkConverter::Open(&error);
  if (converter_ == nullptr) {
    Fail(error);
    return false;
  }
  if (!options_.words) {
    dictionary_ = Dictionary::Load(options_.dictionaryPath, &error);
    if (dictionary_ == nullptr) {
      Fail(error);
      return false;
    }
    segmenter_ = std::make_unique<Segmenter>(*dictionary_);
  }
  session_ = LibrarySession::Open(options_.resourceDir, &error);
  if (session_ == nullptr) {
    Fail(error);
    return false;
  }
  return true;
}

int Classify::Run(std::vector<std::string> texts) {
  DocumentSource source(std::move(texts), options_.files, options_.lines);
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
      batch.emplace_back();
      Document& document = batch.back();
      if (!documentWords.Make(text, &document.words, &error)) {
        document.failure = origin + ": " + error;
        Fail(document.failure);
        status = kExitFailure;
      } else if (document.words.droppedCharacters > 0 && !options_.json) {
        Fail(origin + ": left out " + std::to_string(document.words.droppedCharacters) +
             " character(s) that GBK cannot encode");
      }
    } while (batch.size() < kBatchLimit && source.NextIsReady());
    WriteBatch(batch);
    progress.Add(batch.size());
  }
  return status;
}

void Classify::WriteBatch(const std::vector<Document>& batch) {
  if (batch.empty()) return;
  std::vector<std::vector<std::string>> wordLists;
  for (const Document& document : batch) {
    if (document.failure.empty()) wordLists.push_back(document.words.gbkWords);
  }
  std::vector<std::string> answers = session_->ClassifyBatch(wordLists);
  std::size_t next = 0;
  for (const Document& document : batch) {
    // A document that could not be read still has its output line, so that
    // answers stay in step with the documents.
    if (!document.failure.empty()) {
      WriteFailure(document.failure);
    } else {
      WriteAnswer(answers[next++], document.words);
    }
  }
  // Answers leave as soon as they are known: a streaming caller waits on them.
  if (options_.lines) std::fflush(stdout);
}

std::size_t Classify::CountKnown(const std::vector<std::string>& gbkWords) const {
  std::size_t known = 0;
  for (const std::string& word : gbkWords) known += vocabulary_.Knows(word) ? 1 : 0;
  return known;
}

void Classify::WriteAnswer(const std::string& gbkAnswer, const DocumentWords::Result& words) {
  std::string line;
  if (options_.json) {
    // JSON text is UTF-8, whatever the input was.
    std::string utf8;
    converter_->AppendUtf8(gbkAnswer, &utf8);
    line = "{\"answer\": ";
    AppendJsonString(utf8, &line);
    line += ", \"names\": [";
    bool first = true;
    for (const std::string& name : AnswerNames(gbkAnswer)) {
      if (!first) line += ", ";
      first = false;
      utf8.clear();
      converter_->AppendUtf8(name, &utf8);
      AppendJsonString(utf8, &line);
    }
    line += "], \"words\": " + std::to_string(words.gbkWords.size());
    line += ", \"known_words\": " + std::to_string(CountKnown(words.gbkWords));
    line += ", \"dropped_characters\": " + std::to_string(words.droppedCharacters) + "}";
  } else if (options_.gbk) {
    line = gbkAnswer;
  } else {
    converter_->AppendUtf8(gbkAnswer, &line);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
}

void Classify::WriteFailure(const std::string& message) {
  std::string line;
  if (options_.json) {
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
      "nearly as likely, or the library's message for a text without known words.");
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
                 "words, known_words, dropped_characters");
  parser.SetEpilogue(
      "Characters that GBK cannot encode (most emoji, rare characters) are left out\n"
      "and counted.  Input that is not UTF-8 (not GBK with --gbk) is reported with\n"
      "the offset of its first bad byte; its output line is left empty (with\n"
      "--json it is {\"error\": ...}) and the exit status is 1.\n"
      "\n"
      "The library writes two working files beside the resource set it loads, so\n"
      "the resource set is loaded from a private directory made for each run under\n"
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
  if (!texts.empty() && !options.files.empty()) {
    parser.ReportUsageError("give TEXT arguments or --file, not both");
    return kExitUsage;
  }
  if (options.resourceDir.empty()) {
    options.resourceDir = BundledPath("help-zh");
    std::error_code code;
    if (!std::filesystem::is_directory(options.resourceDir, code)) {
      Fail("the bundled resource set is missing (looked for " + options.resourceDir +
           "); name one with -r DIR");
      return kExitFailure;
    }
  }
  if (options.dictionaryPath.empty()) options.dictionaryPath = BundledPath("dictionary/dict.txt");

  Classify classify(options);
  if (!classify.SetUp()) return kExitFailure;
  if (texts.empty() && options.files.empty()) NoteTerminalInput(kProgram);
  return classify.Run(std::move(texts));
}

}  // namespace wenlei
