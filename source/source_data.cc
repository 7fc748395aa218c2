#include "source/source_data.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "source/source_file.h"

namespace wenlei {

SourceData::LoadOutcome SourceData::Load(const std::string& prefix) {
  const std::string path = prefix + kSourceFileName;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return LoadOutcome::kMissing;

  // The whole file is parsed before any table changes, so a damaged file
  // leaves the resource set exactly as it was.
  SourceFileContents contents;
  std::string error;
  bool ok = ReadSourceFile(file, &contents, &error);
  std::fclose(file);
  if (!ok) {
    std::fprintf(stderr, "wenlei: rejected resource file %s: %s\n", path.c_str(), error.c_str());
    std::fflush(stderr);
    return LoadOutcome::kMalformed;
  }

  std::vector<WordIndexTable::Entry> words;
  words.reserve(contents.vocabulary.size());
  for (std::size_t i = 0; i < contents.vocabulary.size(); ++i) {
    // Feature numbers come from record positions, so a repeated word keeps
    // the number of its first position and no word takes the later one.
    words.emplace_back(std::move(contents.vocabulary[i]), static_cast<std::int32_t>(i + 1));
  }
  std::vector<ClassTable::Entry> classes;
  classes.reserve(contents.classNames.size());
  for (std::size_t i = 0; i < contents.classNames.size(); ++i) {
    classes.emplace_back(static_cast<std::int32_t>(i), std::move(contents.classNames[i]));
  }

  wordIndexTable.MergeKeepingExisting(std::move(words));
  termMapTable.MergeKeepingExisting(std::move(contents.termMap));
  idfTable.MergeKeepingExisting(std::move(contents.idf));
  classTable.MergeKeepingExisting(std::move(classes));
  averageDocLength = contents.averageDocLength;
  testFilePath = prefix + kTestFileName;
  resultFilePath = prefix + kResultFileName;
  modelPath = prefix + kModelFileName;
  return LoadOutcome::kLoaded;
}

void SourceData::ReleaseTables() {
  classTable.Clear();
  termMapTable.Clear();
  wordIndexTable.Clear();
  idfTable.Clear();
}

}  // namespace wenlei
