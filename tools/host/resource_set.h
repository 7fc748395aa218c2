#ifndef WENLEI_TOOLS_HOST_RESOURCE_SET_H_
#define WENLEI_TOOLS_HOST_RESOURCE_SET_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace wenlei {

// dir joined with a file name, whether or not dir ends with its separator.
std::string ResourceFilePath(const std::string& dir, const std::string& name);

// Checks that dir holds a readable Source.dat and SVMModel; otherwise sets
// *error to one line naming what is missing.
bool CheckResourceDirectory(const std::string& dir, std::string* error);

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

// Reads the header lines up to "SV".  False, with *error set, when the file
// cannot be read or is no libsvm model.
bool ReadModelHeader(const std::string& path, ModelHeader* header, std::string* error);

// The words of a resource file's vocabulary, to tell how many words of a
// document the resource set knows.
class Vocabulary {
 public:
  // Reads and checks a whole Source.dat; false, with one line in *error,
  // when it cannot be read or is malformed.
  bool Load(const std::string& path, std::string* error);
  bool Knows(std::string_view gbkWord) const { return words_.count(std::string(gbkWord)) > 0; }
  std::size_t size() const { return words_.size(); }

 private:
  std::unordered_set<std::string> words_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_RESOURCE_SET_H_
