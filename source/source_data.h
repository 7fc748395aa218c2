#ifndef WENLEI_SOURCE_SOURCE_DATA_H_
#define WENLEI_SOURCE_SOURCE_DATA_H_

#include <cstdint>
#include <cstdio>
#include <string>

#include "source/ordered_table.h"
#include "util/status.h"

namespace wenlei {

using WordIndexTable = OrderedTable<std::string, std::int32_t>;  // word -> feature number
using TermMapTable = OrderedTable<std::string, std::string>;     // word -> canonical word
using IdfTable = OrderedTable<std::string, double>;              // word -> idf
using ClassTable = OrderedTable<std::int32_t, std::string>;      // class number -> name

// Fixed names appended to the resource prefix.
inline constexpr const char kSourceFileName[] = "Source.dat";
inline constexpr const char kModelFileName[] = "SVMModel";
inline constexpr const char kTestFileName[] = "SVMTestFile.dat";
inline constexpr const char kResultFileName[] = "resultFile.dat";

// The lock file beside the working files that processes classifying with
// one prefix take turns on (see Classifier).
inline std::string WorkingFileLockPath(const std::string& testFilePath) {
  return testFilePath + ".lock";
}

// The resource set a classification works from: four lookup tables, the
// average document length of the training documents and the paths of the
// model and the two working files.  The library keeps one per process; the
// model-building tools make their own.
class SourceData {
 public:
  // Reads prefix + "Source.dat" and merges it into the tables (present keys
  // keep their values), then takes the new average length and paths.  On a
  // failure nothing changes: a file that cannot be opened fails in the
  // context kSourceFileOpen with errno's text (kNotFound when it is not
  // there, else kIoError); a malformed one with kCorrupt ("rejected resource
  // file PATH: FAULT"); a prefix that makes a working-file path longer than
  // the system accepts with kInvalidArgument ("rejected resource prefix:
  // ..."), naming the path.  A FIFO, a device or a directory is never read:
  // kIoError ("rejected resource file PATH: not a regular file").
  Status Load(const std::string& prefix);
  // As Load, reading the resource file's bytes from file (open in binary
  // mode, not closed here) instead of opening prefix + "Source.dat": for a
  // reader that checks the very bytes it loads.
  Status LoadFrom(std::FILE* file, const std::string& prefix);

  // Empties the four tables; the paths and the average length stay.
  void ReleaseTables();

  WordIndexTable wordIndexTable;
  TermMapTable termMapTable;
  IdfTable idfTable;
  ClassTable classTable;
  std::string modelPath;
  std::string testFilePath;
  std::string resultFilePath;
  double averageDocLength = 0.0;
};

}  // namespace wenlei

#endif  // WENLEI_SOURCE_SOURCE_DATA_H_
