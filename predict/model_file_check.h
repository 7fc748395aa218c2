#ifndef WENLEI_PREDICT_MODEL_FILE_CHECK_H_
#define WENLEI_PREDICT_MODEL_FILE_CHECK_H_

#include <string>
#include <string_view>

#include "util/status.h"

namespace wenlei {

// libsvm's model loader trusts the file: a support vector line with fewer
// coefficients than the classes need, fewer lines than total_sv, a header
// array before nr_class, or nr_sv counts that do not add up make it (or the
// prediction after it) read or write out of bounds and take the process
// down.  The prediction step therefore checks the text first, the way
// libsvm will read it, and treats a file that fails as one libsvm could
// not load.

// Checks a model file's bytes: kCorrupt, the first fault as the message,
// when libsvm could not read them safely, they name a kernel the library
// does not use ("precomputed") or they hold a number that is not finite
// ("nan", "inf"), with which no prediction means anything.
Status CheckModelText(std::string_view text);

// The same check on the file at path; a file that cannot be opened or read
// fails as ReadFileBytes does.
Status CheckModelFile(const std::string& path);

}  // namespace wenlei

#endif  // WENLEI_PREDICT_MODEL_FILE_CHECK_H_
