#include "source/source_data.h"

#include <cstdio>
#include <utility>
#include <vector>

#include "source/source_file.h"

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

}  // namespace

SourceData::LoadOutcome SourceData::Load(const std::string& prefix, std::string* fault) {
  const std::string path = prefix + kSourceFileName;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return LoadOutcome::kMissing;

  // The whole file is read before any table changes, so a damaged file
  // leaves the resource set exactly as it was.
  SourceFileSections sections;
  std::string error;
  bool ok = ReadSourceFileSections(file, &sections, &error);
  std::fclose(file);
  if (!ok) {
    if (fault != nullptr) *fault = "wenlei: rejected resource file " + path + ": " + error + "\n";
    return LoadOutcome::kMalformed;
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
  return LoadOutcome::kLoaded;
}

void SourceData::ReleaseTables() {
  classTable.Clear();
  termMapTable.Clear();
  wordIndexTable.Clear();
  idfTable.Clear();
}

}  // namespace wenlei
