#ifndef WENLEI_SOURCE_SOURCE_FILE_H_
#define WENLEI_SOURCE_SOURCE_FILE_H_

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/status.h"

namespace wenlei {

// The binary resource file: four counted sections of fixed-width records and
// the average document length.  Counts are 32-bit signed little-endian, reals
// little-endian binary64, text fields NUL-terminated within their width.
namespace source_file {

inline constexpr std::size_t kVocabularyRecordSize = 30;
inline constexpr std::size_t kTermMapRecordSize = 40;
inline constexpr std::size_t kIdfRecordSize = 40;
inline constexpr std::size_t kClassRecordSize = 10;
inline constexpr std::size_t kWordFieldSize = 30;       // holds at most 29 bytes
inline constexpr std::size_t kCanonicalFieldSize = 10;  // holds at most 9 bytes
inline constexpr std::size_t kClassFieldSize = 10;      // holds at most 9 bytes
inline constexpr std::size_t kIdfValueOffset = 32;

}  // namespace source_file

// The records of one file, in file order, before they enter any table.
struct SourceFileContents {
  std::vector<std::string> vocabulary;
  std::vector<std::pair<std::string, std::string>> termMap;  // word, canonical word
  std::vector<std::pair<std::string, double>> idf;
  std::vector<std::string> classNames;  // position 0 is "NULL" by convention
  double averageDocLength = 0.0;
};

// Reads a whole resource file from an open binary stream.  On failure returns
// kCorrupt with the fault (section and byte offset); nothing is read past
// what the file holds and no buffer exceeds the file's size.
Status ReadSourceFile(std::FILE* file, SourceFileContents* contents);

// A resource file's sections as read, one buffer of records per section,
// with views of their fields.  The loader orders the records first and then
// copies each field once, straight into its table.
class SourceFileSections {
 public:
  std::size_t vocabularyCount() const { return vocabulary_.count; }
  std::size_t termMapCount() const { return termMap_.count; }
  std::size_t idfCount() const { return idf_.count; }
  std::size_t classCount() const { return classNames_.count; }

  std::string_view VocabularyWord(std::size_t i) const {
    return Field(&vocabulary_.records[i * source_file::kVocabularyRecordSize],
                 source_file::kWordFieldSize);
  }
  std::string_view TermMapWord(std::size_t i) const {
    return Field(&termMap_.records[i * source_file::kTermMapRecordSize],
                 source_file::kWordFieldSize);
  }
  std::string_view TermMapCanonical(std::size_t i) const {
    return Field(&termMap_.records[i * source_file::kTermMapRecordSize +
                                   source_file::kWordFieldSize],
                 source_file::kCanonicalFieldSize);
  }
  std::string_view IdfWord(std::size_t i) const {
    return Field(&idf_.records[i * source_file::kIdfRecordSize], source_file::kWordFieldSize);
  }
  double IdfValue(std::size_t i) const;

  // Where record i of a section lies, for reading ahead of a loop that
  // visits the records out of file order.
  const void* VocabularyRecord(std::size_t i) const {
    return &vocabulary_.records[i * source_file::kVocabularyRecordSize];
  }
  const void* TermMapRecord(std::size_t i) const {
    return &termMap_.records[i * source_file::kTermMapRecordSize];
  }
  const void* IdfRecord(std::size_t i) const {
    return &idf_.records[i * source_file::kIdfRecordSize];
  }
  std::string_view ClassName(std::size_t i) const {
    return Field(&classNames_.records[i * source_file::kClassRecordSize],
                 source_file::kClassFieldSize);
  }
  double averageDocLength() const { return averageDocLength_; }

 private:
  friend Status ReadSourceFileSections(std::FILE* file, SourceFileSections* sections);
  // A field's text runs to its first NUL, or over the whole width when it
  // has none.  Loading a large file looks at every field several times, so
  // where the byte order allows, eight bytes are tested at once: a byte of
  // x is zero where (x - 0x01..01) & ~x & 0x80..80 has its top bit set, and
  // the lowest such byte is exact.
  static std::string_view Field(const unsigned char* field, std::size_t width) {
    std::size_t length = 0;
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    for (; length + 8 <= width; length += 8) {
      std::uint64_t bytes;
      std::memcpy(&bytes, field + length, 8);
      const std::uint64_t zero = (bytes - 0x0101010101010101ull) & ~bytes & 0x8080808080808080ull;
      if (zero != 0) {
        return std::string_view(reinterpret_cast<const char*>(field),
                                length + (static_cast<unsigned>(__builtin_ctzll(zero)) >> 3));
      }
    }
#endif
    while (length < width && field[length] != 0) ++length;
    return std::string_view(reinterpret_cast<const char*>(field), length);
  }

  struct Section {
    std::unique_ptr<unsigned char[]> records;
    std::size_t count = 0;
  };
  Section vocabulary_, termMap_, idf_, classNames_;
  double averageDocLength_ = 0.0;
};

// Reads a whole resource file like ReadSourceFile, without copying fields.
Status ReadSourceFileSections(std::FILE* file, SourceFileSections* sections);

// Writes contents in the resource file format.  Every string must fit its
// field with its terminating NUL (words 29 bytes, canonical words and class
// names 9 bytes) and hold no NUL byte; otherwise nothing is written and the
// kInvalidArgument status names the offending string.  kIoError when the
// file cannot be written.
Status WriteSourceFile(const std::string& path, const SourceFileContents& contents);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_SOURCE_FILE_H_
