// wenlei inspect, the set report: what a resource set holds, and what it
// says about a word.

#include <filesystem>
#include <system_error>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "classify/engine.h"
#include "source/metadata_file.h"
#include "source/source_data.h"
#include "source/source_file.h"
#include "tools/commands/bundled_files.h"
#include "tools/commands/commands.h"
#include "text/gbk_converter.h"
#include "tools/commands/option_parser.h"
#include "tools/host/resource_directory.h"
#include "text/utf8.h"
#include "vectorise/document_features.h"
#include "util/file_bytes.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

constexpr char kProgram[] = "wenlei inspect";

void Fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

long long FileSize(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(Utf8Path(path), error);
  return error ? -1 : static_cast<long long>(size);
}

class Inspection {
 public:
  Inspection(std::string dir, GbkConverter* converter)
      : dir_(std::move(dir)), converter_(converter) {}

  // Reads Source.dat's records and opens the set as classification does;
  // false after reporting why not.
  bool Load();
  void PrintSummary();
  // False when word is not UTF-8.
  bool PrintWord(const std::string& utf8Word);

 private:
  std::string Utf8(const std::string& gbk) {
    std::string utf8;
    converter_->AppendUtf8(gbk, &utf8);
    return utf8;
  }

  std::string dir_;
  GbkConverter* converter_;
  SourceFileContents contents_;  // the records as the file holds them
  SourceData sourceData_;        // the tables as the library builds them
  std::unique_ptr<Engine> engine_;  // the model's kind
};

bool Inspection::Load() {
  const std::string sourcePath = ResourceFilePath(dir_, kSourceFileName);
  FilePointer file;
  std::uint64_t size = 0;
  const Status opened = OpenRegularFile(sourcePath, &file, &size);
  if (!opened.ok()) {
    Fail(opened.message());
    return false;
  }
  const Status read = ReadSourceFile(file.get(), &contents_);
  if (!read.ok()) {
    Fail(sourcePath + " is not a valid resource file: " + read.message());
    return false;
  }
  // The same bytes again, as the library loads them; the file opened by
  // its UTF-8 path (the exports' loader would take the ANSI code page).
  const std::string prefix = JoinPath(dir_, "");
  if (std::fseek(file.get(), 0, SEEK_SET) != 0 || !sourceData_.LoadFrom(file.get(), prefix).ok()) {
    Fail("cannot load " + sourcePath);
    return false;
  }
  if (Status opened = Engine::Open(dir_, EngineOptions(), &engine_); !opened.ok()) {
    Fail(opened.message());
    return false;
  }
  return true;
}

void Inspection::PrintSummary() {
  const std::string sourcePath = ResourceFilePath(dir_, kSourceFileName);
  const std::string modelPath = ResourceFilePath(dir_, kModelFileName);
  auto records = [](std::size_t tableSize, std::size_t recordCount) {
    std::string text = std::to_string(tableSize);
    if (recordCount != tableSize) {
      text += " (" + std::to_string(recordCount) + " records, repeated keys keep the first)";
    }
    return text;
  };
  std::printf("resource set:      %s\n", dir_.c_str());
  std::printf("Source.dat:        %lld bytes\n", FileSize(sourcePath));
  std::printf("  WordIndexTable:  %s words\n",
              records(sourceData_.wordIndexTable.size(), contents_.vocabulary.size()).c_str());
  std::printf("  TermMapTable:    %s entries\n",
              records(sourceData_.termMapTable.size(), contents_.termMap.size()).c_str());
  std::printf("  IdfTable:        %s entries\n",
              records(sourceData_.idfTable.size(), contents_.idf.size()).c_str());
  std::printf("  ClassTable:      %s entries\n",
              records(sourceData_.classTable.size(), contents_.classNames.size()).c_str());
  std::printf("  averageDocLength: %s\n", GeneralText(sourceData_.averageDocLength, 17).c_str());
  // Opened, so a classifying model with probability estimates.
  std::printf("SVMModel:          %lld bytes, %s, %s kernel, %zu classes, %d support vectors, "
              "probability estimates\n",
              FileSize(modelPath), engine_->svmTypeName(), engine_->kernelName(),
              engine_->classCount(), engine_->supportVectorCount());
  // The vocabulary's last word tells whether the set reads runs of characters.
  std::printf("reads:             %s\n", FeatureSetName(FeaturesRead(sourceData_)).c_str());
  // Metadata.txt names the classes in full where Source.dat holds a short
  // form: the mapping "short -> full" is shown for those.
  SetMetadata metadata;
  Status described = ReadMetadataFile(ResourceFilePath(dir_, ""), &metadata);
  if (!described.ok() && described.code() != Status::Code::kNotFound) {
    std::printf("%s:      unreadable: %s\n", kMetadataFileName, described.message().c_str());
  } else if (!metadata.trainer.empty()) {
    std::printf("trained with:      %s\n", metadata.trainer.c_str());
  }
  if (!metadata.dictionarySha256.empty()) {
    // The set segments well only with the dictionary it was trained with.
    std::string bundled;
    const std::string path = BundledPath("dictionary/dict.txt");
    const bool read = DigestFile(path, &bundled).ok();
    std::printf("dictionary:        sha256 %s; the bundled %s: %s\n",
                metadata.dictionarySha256.c_str(), path.c_str(),
                !read ? "cannot be read"
                : bundled == metadata.dictionarySha256
                    ? "the same"
                    : ("sha256 " + bundled + ", another dictionary").c_str());
  }
  std::map<std::int32_t, std::string> fullNames(metadata.classNames.begin(), metadata.classNames.end());
  std::printf("classes:\n");
  for (const auto& [number, name] : sourceData_.classTable) {
    const std::string shortName = Utf8(name);
    auto full = fullNames.find(number);
    if (full != fullNames.end() && full->second != shortName) {
      std::printf("  %3d  %s -> %s\n", number, shortName.c_str(), full->second.c_str());
    } else {
      std::printf("  %3d  %s\n", number, shortName.c_str());
    }
  }
}

bool Inspection::PrintWord(const std::string& utf8Word) {
  if (auto bad = FindInvalidUtf8(utf8Word)) {
    Fail("the word is not UTF-8 (invalid byte at offset " + std::to_string(*bad) + ")");
    return false;
  }
  std::string gbk;
  std::size_t dropped = converter_->AppendGbk(utf8Word, &gbk);
  if (dropped > 0) {
    Fail("the word " + utf8Word + " has characters GBK cannot encode");
    return false;
  }
  std::printf("word %s:\n", utf8Word.c_str());
  if (const std::int32_t* feature = sourceData_.wordIndexTable.Find(gbk)) {
    std::printf("  WordIndexTable:  feature %d\n", *feature);
  } else {
    std::printf("  WordIndexTable:  absent (not counted in a document)\n");
  }
  if (const std::string* canonical = sourceData_.termMapTable.Find(gbk)) {
    if (canonical->empty()) {
      std::printf("  TermMapTable:    stands for itself\n");
    } else {
      std::printf("  TermMapTable:    counts as %s\n", Utf8(*canonical).c_str());
    }
  } else {
    std::printf("  TermMapTable:    absent (no feature)\n");
  }
  if (const double* idf = sourceData_.idfTable.Find(gbk)) {
    std::printf("  IdfTable:        %s\n", GeneralText(*idf, 17).c_str());
  } else {
    std::printf("  IdfTable:        absent (weight 0)\n");
  }
  return true;
}

}  // namespace

int RunSetReportCommand(int argc, char** argv) {
  std::vector<std::string> words;
  OptionParser parser(
      kProgram, "wenlei inspect [--word WORD]... DIR",
      "Prints a summary of the resource set in DIR: the number of entries of each\n"
      "table of Source.dat, averageDocLength, the model's kind and the class\n"
      "names (in UTF-8).  With --word, looks WORD (UTF-8) up in every table\n"
      "instead.");
  parser.AddRepeatedValue('w', "word", "WORD", &words,
                          "look WORD up in every table; may be repeated");
  parser.SetEpilogue("Exit status: 0 success, 1 failure, 2 usage error.");
  std::vector<std::string> operands;
  switch (parser.Parse(argc, argv, &operands)) {
    case OptionParser::Outcome::kHelpShown: return kExitSuccess;
    case OptionParser::Outcome::kUsageError: return kExitUsage;
    case OptionParser::Outcome::kRun: break;
  }
  if (operands.size() != 1) {
    parser.ReportUsageError(operands.empty() ? "name the resource set's folder"
                                             : "name one resource set's folder");
    return kExitUsage;
  }

  std::unique_ptr<GbkConverter> converter;
  if (Status opened = GbkConverter::Open(&converter); !opened.ok()) {
    Fail(opened.message());
    return kExitFailure;
  }
  Inspection inspection(operands[0], converter.get());
  if (!inspection.Load()) return kExitFailure;
  if (words.empty()) {
    inspection.PrintSummary();
    return kExitSuccess;
  }
  int status = kExitSuccess;
  for (const std::string& word : words) {
    if (!inspection.PrintWord(word)) status = kExitFailure;
  }
  return status;
}

}  // namespace wenlei
