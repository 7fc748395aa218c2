#include "predict/model_file_check.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <vector>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include "util/character_class.h"
#include "util/whole_number.h"

namespace wenlei {
namespace {

// More classes than this make libsvm's per-prediction tables (a class
// count squared) absurd; the answers name at most 36 anyway.
constexpr long kMostClasses = 1024;


// The first byte from p on that is not a decimal digit (or end).  Numbers
// make up most of a model, so where the byte order allows, eight bytes are
// tested at once: a byte is a digit when its high half is 3 and its low
// half plus 6 stays below 16.
const char* SkipDigits(const char* p, const char* end) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  for (; end - p >= 8; p += 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, p, 8);
    const std::uint64_t notDigit =
        ((bytes & 0xF0F0F0F0F0F0F0F0ull) ^ 0x3030303030303030ull) |
        (((bytes & 0x0F0F0F0F0F0F0F0Full) + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull);
    if (notDigit != 0) return p + (static_cast<unsigned>(__builtin_ctzll(notDigit)) >> 3);
  }
#endif
  while (p < end && *p >= '0' && *p <= '9') ++p;
  return p;
}

// Moves p over a number that ParseWhole certainly takes for a double: an
// optional '-', decimal digits with at most one point, and an exponent of at
// most three digits, with few enough digits that the value can be neither
// out of range nor a denormal.  False (p then anywhere) when what follows
// is not of that form; it may still be a number, which from_chars decides.
// A model holds hundreds of thousands of numbers and only their validity
// matters here, so those of the form libsvm writes are not converted.
bool ScanPlainDecimal(const char*& p, const char* end) {
  auto isDigit = [end](const char* at) { return at < end && *at >= '0' && *at <= '9'; };
  if (p < end && *p == '-') ++p;
  const char* start = p;
  p = SkipDigits(p, end);
  std::ptrdiff_t digits = p - start;
  if (p < end && *p == '.') {
    start = ++p;
    p = SkipDigits(p, end);
    digits += p - start;
  }
  if (digits == 0 || digits > 40) return false;
  if (p == end || (*p != 'e' && *p != 'E')) return true;
  ++p;
  if (p < end && (*p == '+' || *p == '-')) ++p;
  // Only the first digits are added up: a long exponent is refused by its
  // length and must not overflow on the way (found by the model fuzz
  // target).
  int exponent = 0, exponentDigits = 0;
  for (; isDigit(p); ++p) {
    if (++exponentDigits <= 3) exponent = exponent * 10 + (*p - '0');
  }
  return exponentDigits > 0 && exponentDigits <= 3 && exponent <= 250;
}

bool IsPlainDecimal(std::string_view text) {
  const char* p = text.data();
  const char* end = text.data() + text.size();
  return ScanPlainDecimal(p, end) && p == end;
}

// ParseWhole's verdict for a double whose value is not needed.
bool IsReal(std::string_view text) {
  std::string_view unsigned_text = text;
  if (!unsigned_text.empty() && unsigned_text.front() == '+') unsigned_text.remove_prefix(1);
  if (!unsigned_text.empty() && unsigned_text.front() != '+' && unsigned_text.front() != '-' &&
      IsPlainDecimal(unsigned_text)) {
    return true;
  }
  if (!text.empty() && text.front() == '-' && IsPlainDecimal(text)) return true;
  double value;
  return ParseWhole(text, &value);
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
      if (classes_ < 2 || classes_ > kMostClasses) {
        return Fail("nr_class " + std::to_string(classes_) + " is outside 2 to " +
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
      if (PlainLine(&at, coefficients)) continue;
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
        } else {
          const std::size_t colon = field.find(':');
          int index;
          if (colon == std::string_view::npos || !ParseWhole(field.substr(0, colon), &index) ||
              !IsReal(field.substr(colon + 1))) {
            return FailLine(line, "\"" + std::string(field.substr(0, 40)) + "\" is not index:value");
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

  // Checks the support-vector line at *at in one pass when it is written as
  // libsvm writes one: blank-separated coefficients and index:value pairs
  // whose numbers ScanPlainDecimal takes and whose indices are up to nine
  // digits, ended by a line feed or the end of the file.  On success *at is
  // the next line's offset; false leaves the line to the general reading,
  // which judges it and names any fault.
  bool PlainLine(std::size_t* at, long coefficients) const {
    const char* p = text_.data() + *at;
    const char* end = text_.data() + text_.size();
    long fields = 0;
    for (;;) {
      while (p < end && IsBlank(*p)) ++p;
      if (p == end || *p == '\n') break;
      if (fields >= coefficients) {
        int indexDigits = 0;
        while (p < end && *p >= '0' && *p <= '9') ++p, ++indexDigits;
        if (indexDigits == 0 || indexDigits > 9 || p == end || *p != ':') return false;
        ++p;
      }
      if (!ScanPlainDecimal(p, end)) return false;
      if (p < end && !IsBlank(*p) && *p != '\n') return false;
      ++fields;
    }
    if (fields < coefficients) return false;
    *at = static_cast<std::size_t>(p - text_.data()) + (p < end ? 1 : 0);
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

bool CheckModelText(std::string_view text, std::string* fault) {
  return ModelTextChecker(text, fault).Check();
}

namespace {

#if !defined(_WIN32)
// The identity of a file as the file system reports it.  Any write to the
// file or replacement of it changes the change time, the modification time
// or the inode, so an identity seen before means the same bytes.
struct FileIdentity {
  dev_t device;
  ino_t inode;
  off_t size;
  struct timespec modified;
  struct timespec changed;

  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

bool IdentityOf(std::FILE* file, FileIdentity* identity) {
  struct stat status;
  if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  *identity = {status.st_dev, status.st_ino, status.st_size, status.st_mtim, status.st_ctim};
  return true;
}

// The last model file found sound.  libsvm still reads the model at every
// step; only the check of a file already checked and unchanged since is
// skipped, which keeps the check's cost off the common path of classifying
// many documents with one model.
struct SoundModelMemo {
  bool valid = false;
  FileIdentity identity;
};

SoundModelMemo& soundModelMemo() {
  static SoundModelMemo memo;
  return memo;
}
#endif

}  // namespace

ModelFileCheck CheckModelFile(const char* path, std::string* fault) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), &std::fclose);
  if (!file) return ModelFileCheck::kUnreadable;
#if !defined(_WIN32)
  // Taken before reading: a change while the check reads shows at the next
  // step as a new identity.
  FileIdentity identity;
  const bool identified = IdentityOf(file.get(), &identity);
  SoundModelMemo& memo = soundModelMemo();
  if (identified && memo.valid && memo.identity == identity) return ModelFileCheck::kSound;
  memo.valid = false;
#endif
  std::string text;
  // Sized once: the checker reads every byte of a model of some megabytes.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size > 0) text.reserve(static_cast<std::size_t>(size));
    std::rewind(file.get());
  }
  char buffer[1 << 16];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
  if (std::ferror(file.get())) return ModelFileCheck::kUnreadable;
  if (!CheckModelText(text, fault)) return ModelFileCheck::kDamaged;
#if !defined(_WIN32)
  if (identified) memo = {true, identity};
#endif
  return ModelFileCheck::kSound;
}

}  // namespace wenlei
