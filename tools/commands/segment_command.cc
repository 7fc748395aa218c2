// wenlei segment: the segmenter on its own, and the one that segments the
// training corpus, so that training and classification see the same words.

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "text/dictionary.h"
#include "tools/commands/document_source.h"
#include "tools/commands/option_parser.h"
#include "tools/commands/progress_line.h"
#include "text/segmenter.h"
#include "text/utf8.h"

namespace wenlei {
namespace {

constexpr char kProgram[] = "wenlei segment";

void Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

}  // namespace

int RunSegmentCommand(int argc, char** argv) {
  std::string dictionaryPath;
  std::vector<std::string> files;
  bool lines = false;
  OptionParser parser(
      kProgram, "wenlei segment [OPTIONS] [TEXT...]",
      "Splits UTF-8 Chinese text into words and prints them separated by single\n"
      "spaces: each TEXT, each file given with --file, or standard input when\n"
      "neither is given, one output line per document.  Words come from the\n"
      "dictionary by the most probable route (no guessing of unknown words); a\n"
      "run of ASCII letters and digits is one word, white space separates words\n"
      "and is dropped, and other characters unknown to the dictionary stand\n"
      "alone.");
  parser.AddValue('d', "dict", "FILE", &dictionaryPath,
                  "dictionary, \"word frequency [tag]\" lines\n"
                  "(default: the bundled models/dictionary/dict.txt)");
  parser.AddRepeatedValue('f', "file", "FILE", &files,
                          "segment the text of FILE (\"-\": standard input);\nmay be repeated");
  parser.AddFlag('l', "lines", &lines,
                 "segment every input line on its own and print it\non a line of its own");
  std::string maxBytesText;
  parser.AddValue(0, "max-bytes", "N", &maxBytesText,
                  "the largest document, in bytes; a longer one is an\n"
                  "error of its own and is skipped (" + DefaultMaxDocumentBytesText() + ")");
  parser.SetEpilogue(
      "A line that is not UTF-8 is reported with the offset of its first bad byte\n"
      "and printed as an empty line, so the output stays line for line with the\n"
      "input; the exit status is then 1.\n"
      "\n"
      "examples:\n"
      "  wenlei segment '我来到北京清华大学'\n"
      "  wenlei segment --lines < pages.txt > pages.words\n"
      "\n"
      "Exit status: 0 success, 1 failure, 2 usage error.");
  std::vector<std::string> texts;
  switch (parser.Parse(argc, argv, &texts)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }
  std::size_t maxBytes = DocumentSource::kDefaultMaxDocumentBytes;
  if (!maxBytesText.empty() && !ParseByteCount(maxBytesText, &maxBytes)) {
    parser.ReportUsageError("--max-bytes: \"" + maxBytesText + "\" is not a number of bytes above 0");
    return kExitUsage;
  }
  if (!texts.empty() && !files.empty()) {
    parser.ReportUsageError("give TEXT arguments or --file, not both");
    return kExitUsage;
  }
  if (dictionaryPath.empty()) dictionaryPath = BundledPath("dictionary/dict.txt");

  std::string error;
  std::unique_ptr<Dictionary> dictionary;
  if (Status loaded = Dictionary::Load(dictionaryPath, &dictionary); !loaded.ok()) {
    Fail(loaded.message());
    return kExitFailure;
  }
  Segmenter segmenter(*dictionary);
  if (texts.empty() && files.empty()) NoteTerminalInput(kProgram);
  NoteTextsNamingFiles(kProgram, "segmented", texts);

  DocumentSource source(std::move(texts), std::move(files), lines, maxBytes);
  int status = kExitSuccess;
  std::string text, origin, output;
  std::vector<std::string_view> words;
  ProgressLine progress(kProgram);
  while (true) {
    DocumentSource::Next next = source.Read(&text, &origin, &error);
    if (next == DocumentSource::Next::kEnd) break;
    if (next == DocumentSource::Next::kError) {
      Fail(error);
      status = kExitFailure;
      continue;
    }
    output.clear();
    if (next == DocumentSource::Next::kTooLong) {
      Fail(origin + ": " + error);
      status = kExitFailure;
    } else if (auto bad = FindInvalidUtf8(text)) {
      Fail(origin + ": " + NotUtf8Message(text, *bad, "convert it with iconv -f GBK -t UTF-8"));
      status = kExitFailure;
    } else {
      words.clear();
      segmenter.Cut(text, &words);
      for (std::size_t i = 0; i < words.size(); ++i) {
        if (i > 0) output += ' ';
        output.append(words[i].data(), words[i].size());
      }
    }
    output += '\n';
    std::fwrite(output.data(), 1, output.size(), stdout);
    progress.Add(1);
  }
  return status;
}

}  // namespace wenlei
