#include "predict/model_file_check.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "util/character_class.h"
#include "util/file_bytes.h"
#include "util/whole_number.h"

namespace wenlei {
namespace {

// libsvm sizes its pairwise tables as nr_class * (nr_class - 1) / 2 and
// nr_class * nr_class in int arithmetic; above this count they overflow.
constexpr long kMostClasses = 46340;


// ParseWhole's verdict for a double whose value is not needed.
bool IsReal(std::string_view text) {
  double value;
  return ParseWhole(text, &value);
}

// libsvm reads "nan" and "inf" too, but a model holding one decides
// nothing: its decision values and probabilities come out NaN, and every
// document went to one class with full confidence.
bool IsFinite(std::string_view text) {
  double value = 0.0;
  return ParseWhole(text, &value) && std::isfinite(value);
}


// Reads the header as libsvm does: white-space separated words, a keyword
// and its values, up to the keyword "SV", after which the rest of that line
// is skipped.
class HeaderReader {
 public:
  explicit HeaderReader(std::string_view text) : text_(text) {}

  bool NextWord(std::string_view* word) {
    while (at_ < text_.size() && IsCSpace(text_[at_])) ++at_;
    if (at_ == text_.size()) return false;
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsCSpace(text_[at_])) ++at_;
    *word = text_.substr(start, at_ - start);
    return true;
  }

  // Offset of the line after the current one.
  std::size_t NextLine() const {
    const std::size_t end = text_.find('\n', at_);
    return end == std::string_view::npos ? text_.size() : end + 1;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

class ModelTextChecker {
 public:
  ModelTextChecker(std::string_view text, std::string* fault) : text_(text), fault_(fault) {}

  bool Check() {
    if (text_.find('\0') != std::string_view::npos) return Fail("a NUL byte in the file");
    std::size_t svStart = 0;
    if (!CheckHeader(&svStart)) return false;
    return CheckSupportVectors(svStart);
  }

 private:
  bool Fail(const std::string& why) {
    *fault_ = why;
    return false;
  }

  bool CheckHeader(std::size_t* svStart) {
    HeaderReader reader(text_);
    std::set<std::string_view> seen;
    std::string_view word;
    for (;;) {
      if (!reader.NextWord(&word)) return Fail("the header ends before \"SV\"");
      if (!seen.insert(word).second) return Fail("\"" + std::string(word) + "\" given twice");
      if (word == "SV") break;
      if (word == "svm_type" || word == "kernel_type") {
        std::string_view name;
        if (!reader.NextWord(&name)) return Fail(std::string(word) + " without a value");
        (word == "svm_type" ? svmType_ : kernelType_) = name;
      } else if (word == "degree" || word == "nr_class" || word == "total_sv") {
        if (!ReadIntegers(&reader, word, 1)) return false;
      } else if (word == "gamma" || word == "coef0") {
        if (!ReadReals(&reader, word, 1)) return false;
      } else if (word == "rho" || word == "probA" || word == "probB") {
        if (!NeedClasses(word) || !ReadReals(&reader, word, Pairs())) return false;
      } else if (word == "label" || word == "nr_sv") {
        if (!NeedClasses(word) || !ReadIntegers(&reader, word, classes_)) return false;
      } else {
        return Fail("unknown header word \"" + std::string(word.substr(0, 40)) + "\"");
      }
    }
    *svStart = reader.NextLine();

    const bool classifier = svmType_ == "c_svc" || svmType_ == "nu_svc";
    if (!classifier && svmType_ != "one_class" && svmType_ != "epsilon_svr" && svmType_ != "nu_svr") {
      return Fail("svm_type \"" + std::string(svmType_.substr(0, 40)) + "\" is not one libsvm knows");
    }
    static const std::map<std::string_view, std::vector<const char*>> kKernelParameters = {
        {"linear", {}},
        {"polynomial", {"degree", "gamma", "coef0"}},
        {"rbf", {"gamma"}},
        {"sigmoid", {"gamma", "coef0"}}};
    auto kernel = kKernelParameters.find(kernelType_);
    if (kernel == kKernelParameters.end()) {
      return Fail("kernel_type \"" + std::string(kernelType_.substr(0, 40)) + "\" is not one of linear, polynomial, rbf, sigmoid");
    }
    // A classifier of one class (libsvm saves one when the training data
    // hold a single label) has no pairs and answers that label; the other
    // types always read rho[0] and a row of coefficients.
    if (!classifier && classes_ == 1) {
      return Fail("nr_class 1 is too few for svm_type " + std::string(svmType_));
    }
    std::vector<const char*> required = {"nr_class", "total_sv", "rho"};
    required.insert(required.end(), kernel->second.begin(), kernel->second.end());
    if (classifier) {
      required.push_back("label");
      required.push_back("nr_sv");
    }
    for (const char* name : required) {
      if (!integers_.count(name) && !reals_.count(name)) return Fail(std::string(name) + " is missing");
    }
    supportVectors_ = integers_["total_sv"][0];
    if (supportVectors_ < 0) return Fail("total_sv is negative");
    if (integers_.count("nr_sv")) {
      long sum = 0;
      for (long count : integers_["nr_sv"]) {
        if (count < 0) return Fail("nr_sv holds a negative count");
        sum += count;
      }
      if (sum != supportVectors_) {
        return Fail("nr_sv adds up to " + std::to_string(sum) + ", total_sv is " +
                    std::to_string(supportVectors_));
      }
    }
    return true;
  }

  // Arrays are sized by nr_class when libsvm meets them, so it must come
  // first.
  bool NeedClasses(std::string_view word) {
    if (classes_ == 0) return Fail(std::string(word) + " before nr_class");
    return true;
  }

  long Pairs() const { return classes_ * (classes_ - 1) / 2; }

  bool ReadIntegers(HeaderReader* reader, std::string_view name, long count) {
    std::vector<long>& values = integers_[std::string(name)];
    for (long i = 0; i < count; ++i) {
      std::string_view word;
      int value;
      if (!reader->NextWord(&word) || !ParseWhole(word, &value)) {
        return Fail(std::string(name) + " needs " + std::to_string(count) + " whole numbers");
      }
      values.push_back(value);
    }
    if (name == "nr_class") {
      classes_ = values[0];
      if (classes_ < 1 || classes_ > kMostClasses) {
        return Fail("nr_class " + std::to_string(classes_) + " is outside 1 to " +
                    std::to_string(kMostClasses));
      }
    }
    return true;
  }

  bool ReadReals(HeaderReader* reader, std::string_view name, long count) {
    reals_.insert(std::string(name));
    for (long i = 0; i < count; ++i) {
      std::string_view word;
      if (!reader->NextWord(&word) || !IsReal(word)) {
        return Fail(std::string(name) + " needs " + std::to_string(count) + " numbers");
      }
      if (!IsFinite(word)) {
        return Fail(std::string(name) + " holds " + std::string(word.substr(0, 40)) +
                    ", which is not a finite number");
      }
    }
    return true;
  }

  // total_sv lines, each of nr_class - 1 coefficients and then index:value
  // pairs, separated by blanks or tabs.  Lines after them are not read.
  bool CheckSupportVectors(std::size_t at) {
    const long coefficients = classes_ - 1;
    for (long line = 1; line <= supportVectors_; ++line) {
      if (at >= text_.size()) {
        return Fail("the file ends after " + std::to_string(line - 1) + " of " +
                    std::to_string(supportVectors_) + " support vectors");
      }
      std::size_t end = text_.find('\n', at);
      if (end == std::string_view::npos) end = text_.size();
      std::string_view rest = text_.substr(at, end - at);
      while (!rest.empty() && rest.back() == '\r') rest.remove_suffix(1);
      long fields = 0;
      while (true) {
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) break;
        std::size_t length = 0;
        while (length < rest.size() && !IsBlank(rest[length])) ++length;
        const std::string_view field = rest.substr(0, length);
        rest.remove_prefix(length);
        ++fields;
        if (fields <= coefficients) {
          if (!IsReal(field)) return FailLine(line, "a coefficient is not a number");
          if (!IsFinite(field)) {
            return FailLine(line, "the coefficient " + std::string(field.substr(0, 40)) +
                                      " is not a finite number");
          }
        } else {
          const std::size_t colon = field.find(':');
          int index;
          if (colon == std::string_view::npos || !ParseWhole(field.substr(0, colon), &index) ||
              !IsReal(field.substr(colon + 1))) {
            return FailLine(line, "\"" + std::string(field.substr(0, 40)) + "\" is not index:value");
          }
          if (!IsFinite(field.substr(colon + 1))) {
            return FailLine(line, "the value of \"" + std::string(field.substr(0, 40)) +
                                      "\" is not a finite number");
          }
        }
      }
      if (fields < coefficients) {
        return FailLine(line, std::to_string(fields) + " of " + std::to_string(coefficients) +
                                  " coefficients");
      }
      at = end + 1;
    }
    return true;
  }

  bool FailLine(long line, const std::string& why) {
    return Fail("support vector " + std::to_string(line) + ": " + why);
  }

  std::string_view text_;
  std::string* fault_;
  std::string_view svmType_;
  std::string_view kernelType_;
  long classes_ = 0;
  long supportVectors_ = 0;
  std::map<std::string, std::vector<long>> integers_;
  std::set<std::string> reals_;
};

}  // namespace

Status CheckModelText(std::string_view text) {
  std::string fault;
  if (ModelTextChecker(text, &fault).Check()) return Status::Ok();
  return Status(Status::Code::kCorrupt, fault);
}

Status CheckModelFile(const std::string& path) {
  std::string text;
  Status read = ReadFileBytes(path, &text);
  if (!read.ok()) return read;
  return CheckModelText(text);
}

}  // namespace wenlei
