#ifndef WENLEI_PREDICT_MODEL_FILE_CHECK_H_
#define WENLEI_PREDICT_MODEL_FILE_CHECK_H_

#include <string>
#include <string_view>

namespace wenlei {

// libsvm's model loader trusts the file: a support vector line with fewer
// coefficients than the classes need, fewer lines than total_sv, a header
// array before nr_class, or nr_sv counts that do not add up make it (or the
// prediction after it) read or write out of bounds and take the process
// down.  The prediction step therefore checks the text first, the way
// libsvm will read it, and treats a file that fails as one libsvm could
// not load.
enum class ModelFileCheck { kSound, kUnreadable, kDamaged };

// Checks the model file at path.  kUnreadable when it cannot be opened or
// read; kDamaged, with the first fault in *fault, when libsvm could not
// read it safely or it names a kernel the library does not use
// ("precomputed").
ModelFileCheck CheckModelFile(const char* path, std::string* fault);

// The same check on the file's bytes.  True when sound.
bool CheckModelText(std::string_view text, std::string* fault);

}  // namespace wenlei

#endif  // WENLEI_PREDICT_MODEL_FILE_CHECK_H_
