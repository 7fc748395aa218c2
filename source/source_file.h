#ifndef WENLEI_SOURCE_SOURCE_FILE_H_
#define WENLEI_SOURCE_SOURCE_FILE_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

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
// false and describes the fault (section and byte offset) in *error; nothing
// is read past what the file holds and no buffer exceeds the file's size.
bool ReadSourceFile(std::FILE* file, SourceFileContents* contents, std::string* error);

// Writes contents in the resource file format.  Every string must fit its
// field with its terminating NUL (words 29 bytes, canonical words and class
// names 9 bytes) and hold no NUL byte; otherwise nothing is written and
// *error names the offending string.
bool WriteSourceFile(const std::string& path, const SourceFileContents& contents,
                     std::string* error);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_SOURCE_FILE_H_
