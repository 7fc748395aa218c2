#ifndef WENLEI_TOOLS_HOST_RESOURCE_SET_H_
#define WENLEI_TOOLS_HOST_RESOURCE_SET_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "util/status.h"

namespace wenlei {

// dir joined with a file name, whether or not dir ends with its separator.
std::string ResourceFilePath(const std::string& dir, const std::string& name);

// Checks that dir holds a readable Source.dat and SVMModel; otherwise one
// line naming what is missing (kNotFound) or unreadable (kIoError).
Status CheckResourceDirectory(const std::string& dir);

// The header of a libsvm model file: what a reader can tell without loading
// the support vectors.
struct ModelHeader {
  std::string svmType;
  std::string kernelType;
  int classCount = 0;
  std::vector<int> labels;
  std::size_t supportVectors = 0;
  bool probability = false;  // probA present: the model gives probabilities
};

// Reads the header lines up to "SV".  A failure when the file cannot be
// read, kCorrupt when it is no libsvm model.
Status ReadModelHeader(const std::string& path, ModelHeader* header);

// The words of a resource file's vocabulary, to tell how many words of a
// document the resource set knows.
class Vocabulary {
 public:
  // Reads and checks a whole Source.dat; a failure, with one line, when it
  // cannot be opened (kIoError) or is malformed (kCorrupt).
  Status Load(const std::string& path);
  bool Knows(std::string_view gbkWord) const { return words_.count(std::string(gbkWord)) > 0; }
  std::size_t size() const { return words_.size(); }

 private:
  std::unordered_set<std::string> words_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_RESOURCE_SET_H_
