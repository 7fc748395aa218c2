#ifndef WENLEI_SOURCE_CONFIDENCE_FILE_H_
#define WENLEI_SOURCE_CONFIDENCE_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

// The confidence file of a resource set, beside Source.dat: the threshold
// under which an answer is reported as unknown, chosen when the set was
// trained.  A text file of "key value" lines; '#' starts a comment.  The
// exported functions never read it.
inline constexpr char kConfidenceFileName[] = "Confidence.txt";

struct ConfidenceSettings {
  double minConfidence = 0.0;  // from 0 to 1
};

// Reads prefix + "Confidence.txt".  kNotFound when there is no such file
// (the set was trained without one: nothing is unknown); another failure,
// with one line, when the file cannot be read (kIoError) or holds no
// threshold from 0 to 1, an unknown key or a line that is not "key value"
// (kCorrupt).
Status ReadConfidenceFile(const std::string& prefix, ConfidenceSettings* settings);

// The most bytes a confidence file may hold: a line and a comment.
inline constexpr std::uint64_t kMaxConfidenceBytes = 1 << 16;

// Parses the bytes of a confidence file read from path, as
// ReadConfidenceFile does.
Status ParseConfidenceFile(std::string_view bytes, const std::string& path, ConfidenceSettings* settings);

// Writes prefix + "Confidence.txt", with a comment saying what the
// threshold is; kIoError when it cannot be written.
Status WriteConfidenceFile(const std::string& prefix, const ConfidenceSettings& settings);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_CONFIDENCE_FILE_H_
