#ifndef WENLEI_TESTUTIL_RESOURCE_SET_BUILDER_H_
#define WENLEI_TESTUTIL_RESOURCE_SET_BUILDER_H_

#include <map>
#include <string>
#include <vector>

#include "source/source_data.h"
#include "source/source_file.h"
#include "svm.h"

namespace wenlei::testing {

// A labelled sparse vector for training a model.
struct Example {
  double label;
  std::map<int, double> features;
};

// A document's words (the resource file's bytes) as a training example: the
// library's own vector of them, with the weights unrounded as the trainer
// learns from them.
Example VectorisedExample(const std::vector<std::string>& words, double label,
                          const SourceData& resourceSet);

// Trains a real libsvm model on the examples and saves it to path.
void TrainAndSaveModel(const std::vector<Example>& examples, const svm_parameter& parameter,
                       const std::string& path);

// Parameters for a C-SVC with the given kernel; probability estimates on.
svm_parameter DefaultParameter(int kernelType = LINEAR);

// Examples of n classes (labels 1..n, first appearance in that order), each
// class lying on its own features 1..n*featuresPerClass.
std::vector<Example> ClusteredExamples(int classes, int featuresPerClass, int perClass,
                                       unsigned seed = 7);

// A small but real resource set: a vocabulary of ASCII words "k<class>w<j>",
// every word standing for itself in the term map, idf values, class names
// under 1..n with "NULL" under 0, and a model trained with the library's own
// vectors of generated documents.
struct ResourceSetSpec {
  std::vector<std::string> classNames;
  int wordsPerClass = 6;
  int documentsPerClass = 12;
  svm_parameter parameter = DefaultParameter();
};

std::string ClassWord(int classNumber, int j);

// Writes prefix + "Source.dat" and prefix + "SVMModel".
void BuildResourceSet(const std::string& prefix, const ResourceSetSpec& spec);

// Writes contents (with an average document length of 8) as
// prefix + "Source.dat" and loads it back into *sourceData, so that training
// vectors come from the same counting, weighting and mapping a
// classification uses.  Throws when either fails.
void WriteAndLoadSourceFile(const std::string& prefix, SourceFileContents contents,
                            SourceData* sourceData);

}  // namespace wenlei::testing

#endif  // WENLEI_TESTUTIL_RESOURCE_SET_BUILDER_H_
