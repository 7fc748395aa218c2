#ifndef WENLEI_SOURCE_CONFIDENCE_FILE_H_
#define WENLEI_SOURCE_CONFIDENCE_FILE_H_

#include <string>

namespace wenlei {

// The confidence file of a resource set, beside Source.dat: the threshold
// under which an answer is reported as unknown, chosen when the set was
// trained.  A text file of "key value" lines; '#' starts a comment.  The
// exported functions never read it.
inline constexpr char kConfidenceFileName[] = "Confidence.txt";

struct ConfidenceSettings {
  double minConfidence = 0.0;  // from 0 to 1
};

enum class ConfidenceFileOutcome { kRead, kMissing, kMalformed };

// Reads prefix + "Confidence.txt".  kMissing when there is no such file
// (the set was trained without one: nothing is unknown); kMalformed, with
// one line in *error, when the file cannot be read or holds no threshold
// from 0 to 1, an unknown key or a line that is not "key value".
ConfidenceFileOutcome ReadConfidenceFile(const std::string& prefix, ConfidenceSettings* settings,
                                         std::string* error);

// Writes prefix + "Confidence.txt", with a comment saying what the
// threshold is; false with *error when it cannot be written.
bool WriteConfidenceFile(const std::string& prefix, const ConfidenceSettings& settings,
                         std::string* error);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_CONFIDENCE_FILE_H_
