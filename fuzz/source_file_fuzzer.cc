// The resource file loader on arbitrary bytes, into a resource set that is
// already loaded.  Either the file is whole and the tables become the merge
// of the old ones with its records (present keys keep their values), or it
// is rejected and every table, path and the average length stay as they
// were.  Which of the two must happen is decided by a reading of the format
// written here independently of the loader.
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "source/source_data.h"
#include "source/source_file.h"

namespace {

constexpr char kTarget[] = "source_file";

using wenlei::SourceData;
using wenlei::SourceFileContents;

// The resource set every input is loaded into.
const SourceData& Baseline() {
  static const SourceData baseline = [] {
    SourceFileContents contents;
    contents.vocabulary = {"\xc4\xe3\xba\xc3", "a", "b", "a", ""};
    contents.termMap = {{"a", ""}, {"b", "a"}, {"\xc4\xe3\xba\xc3", "b"}};
    contents.idf = {{"a", 1.5}, {"b", 0.5}, {"\xc4\xe3\xba\xc3", 2.0}};
    contents.classNames = {"NULL", "01 Sport", "Arts"};
    contents.averageDocLength = 7.25;
    const std::string prefix = wenlei::fuzz::ScratchPrefix() + "baseline-";
    const wenlei::Status written =
        wenlei::WriteSourceFile(prefix + wenlei::kSourceFileName, contents);
    if (!written.ok()) {
      wenlei::fuzz::Fail(kTarget, "cannot write the baseline: " + written.message());
    }
    SourceData data;
    if (!data.Load(prefix).ok()) {
      wenlei::fuzz::Fail(kTarget, "cannot load the baseline");
    }
    return data;
  }();
  return baseline;
}

std::int32_t Count(const std::string& bytes, std::size_t at) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = bits << 8 | static_cast<unsigned char>(bytes[at + i]);
  std::int32_t count;
  std::memcpy(&count, &bits, sizeof count);
  return count;
}

std::string Field(const std::string& bytes, std::size_t at, std::size_t width) {
  const std::string field = bytes.substr(at, width);
  return field.substr(0, field.find('\0'));
}

// Four counted sections of 30-, 40-, 40- and 10-byte records, then eight
// bytes of average length; anything after that is ignored.
std::optional<SourceFileContents> ReadIndependently(const std::string& bytes) {
  SourceFileContents contents;
  std::size_t at = 0;
  const std::size_t widths[] = {30, 40, 40, 10};
  for (int section = 0; section < 4; ++section) {
    if (bytes.size() - at < 4) return std::nullopt;
    const std::int32_t count = Count(bytes, at);
    at += 4;
    if (count < 0) return std::nullopt;
    const std::size_t width = widths[section];
    if ((bytes.size() - at) / width < static_cast<std::size_t>(count)) return std::nullopt;
    for (std::int32_t i = 0; i < count; ++i, at += width) {
      switch (section) {
        case 0:
          contents.vocabulary.push_back(Field(bytes, at, 30));
          break;
        case 1:
          contents.termMap.emplace_back(Field(bytes, at, 30), Field(bytes, at + 30, 10));
          break;
        case 2: {
          double idf;
          std::uint64_t bits = 0;
          for (int b = 7; b >= 0; --b) bits = bits << 8 | static_cast<unsigned char>(bytes[at + 32 + b]);
          std::memcpy(&idf, &bits, sizeof idf);
          contents.idf.emplace_back(Field(bytes, at, 30), idf);
          break;
        }
        default:
          contents.classNames.push_back(Field(bytes, at, 10));
      }
    }
  }
  if (bytes.size() - at < 8) return std::nullopt;
  std::uint64_t bits = 0;
  for (int b = 7; b >= 0; --b) bits = bits << 8 | static_cast<unsigned char>(bytes[at + b]);
  std::memcpy(&contents.averageDocLength, &bits, sizeof contents.averageDocLength);
  return contents;
}

// What the loader refuses in a file that holds its counts: the weighting
// divides by the average length and multiplies by each idf, so an average
// length that is not a positive finite number, or an idf that is not
// finite, would give every document a wrong vector.
bool Acceptable(const SourceFileContents& contents) {
  if (!std::isfinite(contents.averageDocLength) || contents.averageDocLength <= 0.0) return false;
  for (const auto& record : contents.idf) {
    if (!std::isfinite(record.second)) return false;
  }
  return true;
}

// A table after a merge: the old entries, then the new records in file
// order, each key taking its first value.
template <typename Table, typename Key, typename Value>
std::vector<std::pair<Key, Value>> Merged(const Table& old,
                                          const std::vector<std::pair<Key, Value>>& records) {
  std::map<Key, Value> merged(old.begin(), old.end());
  for (const auto& record : records) merged.emplace(record);
  return {merged.begin(), merged.end()};
}

template <typename Table>
std::vector<typename Table::Entry> Entries(const Table& table) {
  return {table.begin(), table.end()};
}

// Doubles compared by their bits, so that a NaN idf equals itself.
bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool SameIdf(const std::vector<std::pair<std::string, double>>& a,
             const std::vector<std::pair<std::string, double>>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].first != b[i].first || !SameBits(a[i].second, b[i].second)) return false;
  }
  return true;
}

bool Unchanged(const SourceData& data, const SourceData& before) {
  return data.wordIndexTable == before.wordIndexTable && data.termMapTable == before.termMapTable &&
         SameIdf(Entries(data.idfTable), Entries(before.idfTable)) &&
         data.classTable == before.classTable && data.modelPath == before.modelPath &&
         data.testFilePath == before.testFilePath && data.resultFilePath == before.resultFilePath &&
         SameBits(data.averageDocLength, before.averageDocLength);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Baseline();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string prefix = wenlei::fuzz::ScratchPrefix() + "input-";
  wenlei::fuzz::WriteWholeFile(prefix + wenlei::kSourceFileName, bytes);

  const SourceData& before = Baseline();
  SourceData sourceData = before;
  const wenlei::Status outcome = sourceData.Load(prefix);
  const std::optional<SourceFileContents> expected = ReadIndependently(bytes);

  if (!expected || !Acceptable(*expected)) {
    FUZZ_CHECK(kTarget, outcome.code() == wenlei::Status::Code::kCorrupt,
               expected ? "a file with an unusable average length or idf was loaded"
                        : "a file that does not hold its counts was loaded");
    FUZZ_CHECK(kTarget, Unchanged(sourceData, before), "a rejected file changed the resource set");
    return 0;
  }
  FUZZ_CHECK(kTarget, outcome.ok(), "a whole file was rejected");

  std::vector<std::pair<std::string, std::int32_t>> words;
  for (std::size_t i = 0; i < expected->vocabulary.size(); ++i) {
    words.emplace_back(expected->vocabulary[i], static_cast<std::int32_t>(i + 1));
  }
  std::vector<std::pair<std::int32_t, std::string>> classes;
  for (std::size_t i = 0; i < expected->classNames.size(); ++i) {
    classes.emplace_back(static_cast<std::int32_t>(i), expected->classNames[i]);
  }
  FUZZ_CHECK(kTarget, Entries(sourceData.wordIndexTable) == Merged(before.wordIndexTable, words),
             "vocabulary differs from the merge");
  FUZZ_CHECK(kTarget,
             Entries(sourceData.termMapTable) == Merged(before.termMapTable, expected->termMap),
             "term map differs from the merge");
  FUZZ_CHECK(kTarget, SameIdf(Entries(sourceData.idfTable), Merged(before.idfTable, expected->idf)),
             "idf table differs from the merge");
  FUZZ_CHECK(kTarget, Entries(sourceData.classTable) == Merged(before.classTable, classes),
             "class table differs from the merge");
  FUZZ_CHECK(kTarget, SameBits(sourceData.averageDocLength, expected->averageDocLength),
             "average length is not the file's");
  FUZZ_CHECK(kTarget, sourceData.modelPath == prefix + wenlei::kModelFileName &&
                          sourceData.testFilePath == prefix + wenlei::kTestFileName &&
                          sourceData.resultFilePath == prefix + wenlei::kResultFileName,
             "paths are not derived from the prefix");
  return 0;
}
