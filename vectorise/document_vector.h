#ifndef WENLEI_VECTORISE_DOCUMENT_VECTOR_H_
#define WENLEI_VECTORISE_DOCUMENT_VECTOR_H_

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "source/source_data.h"
#include "util/status.h"
#include "vectorise/term_weighting.h"

namespace wenlei {

// Feature number (from 1) -> weight, in ascending feature order.
using FeatureVector = std::map<std::int32_t, double>;
// The same as a list, for a document built without a table.
using SparseFeatures = std::vector<std::pair<std::int32_t, double>>;

// One term's share in the feature mapping: the feature it maps to, its
// weight, and whether the weight adds to what the feature holds (a term
// mapped to a canonical word) or only fills the feature while it is empty
// (a word standing for itself).
struct FeatureContribution {
  std::int32_t feature;
  double weight;
  bool adds;
};

// Joins contributions given in term order into features in ascending
// order: the first contribution to a feature sets it, a later one adds to
// it only when it adds, in term order.  When joined is given, it receives
// for each contribution whether it set or added to its feature.
void JoinContributions(const std::vector<FeatureContribution>& contributions,
                       SparseFeatures* features, std::vector<bool>* joined = nullptr);

// One document as a sparse feature vector, built from its weighted terms and
// written as one line of the prediction step's test file.
class DocumentVector {
 public:
  DocumentVector() = default;
  virtual ~DocumentVector() = default;

  // Replaces the features with those of termCounts.  A term takes part only
  // through the term map: a non-empty canonical word adds the term's weight
  // to the canonical word's feature; an empty one makes the term its own
  // feature, which keeps the value already there if the feature exists.
  // When sources is given, it receives each term that set or added to a
  // feature, with that feature (the terms as views into termCounts).
  void BuildFeatures(const TermCounts& termCounts, const TermMapTable& termMapTable,
                     const WordIndexTable& wordIndexTable,
                     std::vector<std::pair<std::string_view, std::int32_t>>* sources = nullptr);

  // Writes the features as "0 f:w f:w \n" (nothing at all when there are no
  // features) to path, replacing its contents.  A file that cannot be
  // opened, written, flushed, cut to length or closed is a failure
  // ("cannot write PATH: REASON"): the prediction step must not
  // read a stale or partial record.
  Status WriteTestFile(const std::string& path) const;

  // The test-file line for the features, without its line end; empty when
  // there are no features.
  std::string TestLine() const;

  const FeatureVector& features() const { return featureVector_; }

 private:
  FeatureVector featureVector_;
};

// The test-file line for features, "0 f:w f:w " without its line end;
// empty when there are no features.
std::string TestLine(const FeatureVector& features);
std::string TestLine(const SparseFeatures& features);

// Replaces the test file's contents with one record per non-empty line, each
// closed by a line end.  Failures as WriteTestFile's.
Status WriteTestLines(const std::string& path, const std::vector<std::string>& lines);

}  // namespace wenlei

#endif  // WENLEI_VECTORISE_DOCUMENT_VECTOR_H_
