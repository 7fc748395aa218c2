#include "source/source_data.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <climits>
#include <unistd.h>
#endif

#include "source/source_file.h"
#include "util/file_bytes.h"
#include "util/number_text.h"

namespace wenlei {
namespace {

// Asks the processor to start reading an address that is needed soon.
inline void ReadAhead(const void* address) {
#if defined(__GNUC__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// The entries for a section's records in the given order (positions in key
// order, from ByteStringOrder): makeEntry(i) builds the entry of record i.
// Key order visits the records all over the section, so each record is
// requested a dozen entries before it is needed.
template <typename Entry, typename RecordAt, typename MakeEntry>
std::vector<Entry> EntriesInOrder(const std::vector<std::size_t>& order, const RecordAt& recordAt,
                                  const MakeEntry& makeEntry) {
  constexpr std::size_t kReadAhead = 12;
  std::vector<Entry> entries;
  entries.reserve(order.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    if (k + kReadAhead < order.size()) ReadAhead(recordAt(order[k + kReadAhead]));
    entries.push_back(makeEntry(order[k]));
  }
  return entries;
}

// The weighting divides by the average document length: zero, a negative,
// an infinite or a NaN length would weigh every document alike and send
// them all to one class.
Status CheckAverageDocLength(const SourceFileSections& sections) {
  const double length = sections.averageDocLength();
  if (std::isfinite(length) && length > 0.0) return Status::Ok();
  using namespace source_file;
  const std::uint64_t offset =
      16 + kVocabularyRecordSize * sections.vocabularyCount() +
      kTermMapRecordSize * sections.termMapCount() + kIdfRecordSize * sections.idfCount() +
      kClassRecordSize * sections.classCount();
  return Status(Status::Code::kCorrupt, "average document length value at offset " +
                                            std::to_string(offset) + ": " + GeneralText(length) +
                                            " is not a positive finite number");
}

// An infinite or NaN idf turns the document's unit-length weights into
// NaN, and the model then answers one class with full confidence.
Status CheckIdfValues(const SourceFileSections& sections) {
  for (std::size_t i = 0; i < sections.idfCount(); ++i) {
    const double idf = sections.IdfValue(i);
    if (std::isfinite(idf)) continue;
    using namespace source_file;
    const std::uint64_t offset = 12 + kVocabularyRecordSize * sections.vocabularyCount() +
                                 kTermMapRecordSize * sections.termMapCount() +
                                 kIdfRecordSize * i + kIdfValueOffset;
    return Status(Status::Code::kCorrupt, "idf section value at offset " + std::to_string(offset) +
                                              ": " + GeneralText(idf) + " is not a finite number");
  }
  return Status::Ok();
}

// The longest path and file name the system opens.
#if defined(_WIN32)
std::size_t LongestPath(const std::string&) { return MAX_PATH - 1; }
std::size_t LongestName(const std::string&) { return 255; }
bool IsSeparator(char c) { return c == '/' || c == '\\'; }
#else
std::size_t LongestPath(const std::string&) { return PATH_MAX - 1; }
std::size_t LongestName(const std::string& directory) {
  const long longest = pathconf(directory.c_str(), _PC_NAME_MAX);
  return longest > 0 ? static_cast<std::size_t>(longest) : NAME_MAX;
}
bool IsSeparator(char c) { return c == '/'; }
#endif

// Source.dat opened, but the other names are longer: a prefix near the
// limits loads, and every classification then fails to open its files.
// kInvalidArgument, naming the path and the limit, when one would not open.
Status CheckWorkingPaths(const std::string& prefix) {
  std::size_t nameStart = prefix.size();
  while (nameStart > 0 && !IsSeparator(prefix[nameStart - 1])) --nameStart;
  const std::string directory = nameStart == 0 ? "." : prefix.substr(0, nameStart);
  const std::size_t longestPath = LongestPath(directory);
  const std::size_t longestName = LongestName(directory);
  for (const std::string& path :
       {prefix + kModelFileName, prefix + kTestFileName, prefix + kResultFileName,
        WorkingFileLockPath(prefix + kTestFileName)}) {
    if (path.size() > longestPath) {
      return Status(Status::Code::kInvalidArgument,
                    "the path " + path + " is " + std::to_string(path.size()) +
                        " bytes, longer than the system's limit of " + std::to_string(longestPath));
    }
    if (path.size() - nameStart > longestName) {
      return Status(Status::Code::kInvalidArgument,
                    "the file name of " + path + " is " + std::to_string(path.size() - nameStart) +
                        " bytes, longer than the system's limit of " + std::to_string(longestName));
    }
  }
  return Status::Ok();
}

}  // namespace

Status SourceData::Load(const std::string& prefix) {
  const std::string path = prefix + kSourceFileName;
  FilePointer opened;
  std::uint64_t size = 0;
  bool special = false;
  // The prefix is the exported functions' own: bytes of the ANSI code page
  // on Windows.
  Status openable = OpenRegularFile(path, &opened, &size, &special, PathBytes::kAnsi);
  if (special) return Status(Status::Code::kIoError, "rejected resource file " + path + ": not a regular file");
  if (!openable.ok()) {
    return Status(openable.code(), openable.message(), Status::Context::kSourceFileOpen, path);
  }
  const Status loaded = LoadFrom(opened.get(), prefix);
  return loaded;
}

Status SourceData::LoadFrom(std::FILE* file, const std::string& prefix) {
  const std::string path = prefix + kSourceFileName;
  if (Status paths = CheckWorkingPaths(prefix); !paths.ok()) {
    return Status(paths.code(), "rejected resource prefix: " + paths.message());
  }

  // The whole file is read before any table changes, so a damaged file
  // leaves the resource set exactly as it was.
  SourceFileSections sections;
  Status checked = ReadSourceFileSections(file, &sections);
  if (checked.ok()) checked = CheckIdfValues(sections);
  if (checked.ok()) checked = CheckAverageDocLength(sections);
  if (!checked.ok()) {
    return Status(Status::Code::kCorrupt, "rejected resource file " + path + ": " + checked.message());
  }

  // Each section's records are put in key order first (the first of a
  // repeated key kept), then every field is copied once, into place.
  const std::vector<std::size_t> vocabularyOrder =
      ByteStringOrder(sections.vocabularyCount(),
                      [&sections](std::size_t i) { return sections.VocabularyWord(i); });
  // Feature numbers come from record positions, so a repeated word keeps
  // the number of its first position and no word takes the later one.
  std::vector<WordIndexTable::Entry> words = EntriesInOrder<WordIndexTable::Entry>(
      vocabularyOrder, [&sections](std::size_t i) { return sections.VocabularyRecord(i); },
      [&sections](std::size_t i) {
        return WordIndexTable::Entry(sections.VocabularyWord(i), static_cast<std::int32_t>(i + 1));
      });

  const std::vector<std::size_t> termMapOrder = ByteStringOrder(
      sections.termMapCount(), [&sections](std::size_t i) { return sections.TermMapWord(i); });
  std::vector<TermMapTable::Entry> termMap = EntriesInOrder<TermMapTable::Entry>(
      termMapOrder, [&sections](std::size_t i) { return sections.TermMapRecord(i); },
      [&sections](std::size_t i) {
        return TermMapTable::Entry(sections.TermMapWord(i), sections.TermMapCanonical(i));
      });

  // Resource files usually list the idf words in vocabulary order; their
  // order is then known already.
  bool idfFollowsVocabulary = sections.idfCount() == sections.vocabularyCount();
  for (std::size_t i = 0; i < sections.idfCount() && idfFollowsVocabulary; ++i) {
    idfFollowsVocabulary = sections.IdfWord(i) == sections.VocabularyWord(i);
  }
  const std::vector<std::size_t> idfOrder =
      idfFollowsVocabulary
          ? vocabularyOrder
          : ByteStringOrder(sections.idfCount(),
                            [&sections](std::size_t i) { return sections.IdfWord(i); });
  std::vector<IdfTable::Entry> idf = EntriesInOrder<IdfTable::Entry>(
      idfOrder, [&sections](std::size_t i) { return sections.IdfRecord(i); },
      [&sections](std::size_t i) {
        return IdfTable::Entry(sections.IdfWord(i), sections.IdfValue(i));
      });

  std::vector<ClassTable::Entry> classes;
  classes.reserve(sections.classCount());
  for (std::size_t i = 0; i < sections.classCount(); ++i) {
    classes.emplace_back(static_cast<std::int32_t>(i), std::string(sections.ClassName(i)));
  }

  wordIndexTable.MergeOrderedKeepingExisting(std::move(words));
  termMapTable.MergeOrderedKeepingExisting(std::move(termMap));
  idfTable.MergeOrderedKeepingExisting(std::move(idf));
  classTable.MergeOrderedKeepingExisting(std::move(classes));
  averageDocLength = sections.averageDocLength();
  testFilePath = prefix + kTestFileName;
  resultFilePath = prefix + kResultFileName;
  modelPath = prefix + kModelFileName;
  return Status::Ok();
}

void SourceData::ReleaseTables() {
  classTable.Clear();
  termMapTable.Clear();
  wordIndexTable.Clear();
  idfTable.Clear();
}

}  // namespace wenlei
