#include "source/source_file.h"
#include "util/file_bytes.h"

#include <cstring>
#include <limits>
#include <memory>

namespace wenlei {
namespace {

using namespace source_file;

std::int32_t DecodeInt32(const unsigned char* bytes) {
  std::uint32_t value = std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 |
                        std::uint32_t(bytes[2]) << 16 | std::uint32_t(bytes[3]) << 24;
  std::int32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

double DecodeDouble(const unsigned char* bytes) {
  std::uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
  double result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

void EncodeInt32(std::int32_t value, std::string* out) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>(bits >> (8 * i) & 0xFF));
}

void EncodeDouble(double value, std::string* out) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>(bits >> (8 * i) & 0xFF));
}

// Reads the file section by section, each with one bulk read, checking every
// count against the bytes that remain before allocating anything.
class SectionReader {
 public:
  SectionReader(std::FILE* file, std::uint64_t size, std::string* error)
      : file_(file), size_(size), error_(error) {}

  // Reads a section's count and records into *records; false on a fault.
  bool ReadSection(const char* name, std::size_t width,
                   std::unique_ptr<unsigned char[]>* records, std::size_t* count) {
    unsigned char count_bytes[4];
    if (!ReadExactly(count_bytes, 4, name, "count")) return false;
    std::int32_t n = DecodeInt32(count_bytes);
    if (n < 0) {
      Fail(name, "count", offset_ - 4, "negative count " + std::to_string(n));
      return false;
    }
    std::uint64_t need = std::uint64_t(n) * width;
    if (need > size_ - offset_) {
      Fail(name, "records", offset_,
           std::to_string(n) + " records of " + std::to_string(width) + " bytes need " +
               std::to_string(need) + " bytes, only " + std::to_string(size_ - offset_) +
               " remain");
      return false;
    }
    // Left uninitialised: the read fills every byte or the section fails.
    records->reset(new unsigned char[static_cast<std::size_t>(need)]);
    if (!ReadExactly(records->get(), static_cast<std::size_t>(need), name, "records")) {
      return false;
    }
    *count = static_cast<std::size_t>(n);
    return true;
  }

  bool ReadAverageLength(double* value) {
    unsigned char bytes[8];
    if (!ReadExactly(bytes, 8, "average document length", "value")) return false;
    *value = DecodeDouble(bytes);
    return true;
  }

 private:
  bool ReadExactly(unsigned char* buffer, std::size_t length, const char* name,
                   const char* what) {
    if (length > size_ - offset_) {
      Fail(name, what, offset_,
           "needs " + std::to_string(length) + " bytes, the file ends after " +
               std::to_string(size_ - offset_));
      return false;
    }
    std::size_t got = length == 0 ? 0 : std::fread(buffer, 1, length, file_);
    if (got != length) {
      Fail(name, what, offset_ + got, "read came up short");
      return false;
    }
    offset_ += length;
    return true;
  }

  void Fail(const char* name, const char* what, std::uint64_t at, const std::string& why) {
    *error_ = std::string(name) + " " + what + " at offset " + std::to_string(at) + ": " + why;
  }

  std::FILE* file_;
  std::uint64_t size_;
  std::uint64_t offset_ = 0;
  std::string* error_;
};

bool FileSize(std::FILE* file, std::uint64_t* size) {
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  long end = std::ftell(file);
  if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0) return false;
  *size = static_cast<std::uint64_t>(end);
  return true;
}

bool FitsField(const std::string& text, std::size_t width) {
  return text.size() < width && text.find('\0') == std::string::npos;
}

void AppendField(const std::string& text, std::size_t width, std::string* out) {
  out->append(text);
  out->append(width - text.size(), '\0');
}

}  // namespace

double SourceFileSections::IdfValue(std::size_t i) const {
  return DecodeDouble(&idf_.records[i * kIdfRecordSize + kIdfValueOffset]);
}

Status ReadSourceFileSections(std::FILE* file, SourceFileSections* sections) {
  std::uint64_t size;
  if (!FileSize(file, &size)) {
    return Status(Status::Code::kIoError, "cannot determine the file's size");
  }
  std::string error;
  SectionReader reader(file, size, &error);
  const bool read = reader.ReadSection("vocabulary section", kVocabularyRecordSize,
                            &sections->vocabulary_.records, &sections->vocabulary_.count) &&
         reader.ReadSection("term map section", kTermMapRecordSize, &sections->termMap_.records,
                            &sections->termMap_.count) &&
         reader.ReadSection("idf section", kIdfRecordSize, &sections->idf_.records,
                            &sections->idf_.count) &&
         reader.ReadSection("class section", kClassRecordSize, &sections->classNames_.records,
                            &sections->classNames_.count) &&
         reader.ReadAverageLength(&sections->averageDocLength_);
  return read ? Status::Ok() : Status(Status::Code::kCorrupt, error);
}

Status ReadSourceFile(std::FILE* file, SourceFileContents* contents) {
  SourceFileSections sections;
  const Status read = ReadSourceFileSections(file, &sections);
  if (!read.ok()) return read;
  contents->vocabulary.reserve(sections.vocabularyCount());
  for (std::size_t i = 0; i < sections.vocabularyCount(); ++i) {
    contents->vocabulary.emplace_back(sections.VocabularyWord(i));
  }
  contents->termMap.reserve(sections.termMapCount());
  for (std::size_t i = 0; i < sections.termMapCount(); ++i) {
    contents->termMap.emplace_back(sections.TermMapWord(i), sections.TermMapCanonical(i));
  }
  contents->idf.reserve(sections.idfCount());
  for (std::size_t i = 0; i < sections.idfCount(); ++i) {
    contents->idf.emplace_back(sections.IdfWord(i), sections.IdfValue(i));
  }
  contents->classNames.reserve(sections.classCount());
  for (std::size_t i = 0; i < sections.classCount(); ++i) {
    contents->classNames.emplace_back(sections.ClassName(i));
  }
  contents->averageDocLength = sections.averageDocLength();
  return Status::Ok();
}

Status WriteSourceFile(const std::string& path, const SourceFileContents& contents) {
  auto too_long = [](const char* what, const std::string& text, std::size_t width) {
    return Status(Status::Code::kInvalidArgument,
                  std::string(what) + " \"" + text + "\" does not fit its " + std::to_string(width) +
                      "-byte field (at most " + std::to_string(width - 1) + " bytes, no NUL byte)");
  };
  auto count_fits = [](std::size_t n) {
    return n <= std::size_t(std::numeric_limits<std::int32_t>::max());
  };
  if (!count_fits(contents.vocabulary.size()) || !count_fits(contents.termMap.size()) ||
      !count_fits(contents.idf.size()) || !count_fits(contents.classNames.size())) {
    return Status(Status::Code::kTooLarge, "too many records for a 32-bit count");
  }

  std::string bytes;
  EncodeInt32(static_cast<std::int32_t>(contents.vocabulary.size()), &bytes);
  for (const auto& word : contents.vocabulary) {
    if (!FitsField(word, kWordFieldSize)) return too_long("word", word, kWordFieldSize);
    AppendField(word, kWordFieldSize, &bytes);
  }
  EncodeInt32(static_cast<std::int32_t>(contents.termMap.size()), &bytes);
  for (const auto& [word, canonical] : contents.termMap) {
    if (!FitsField(word, kWordFieldSize)) return too_long("word", word, kWordFieldSize);
    if (!FitsField(canonical, kCanonicalFieldSize)) {
      return too_long("canonical word", canonical, kCanonicalFieldSize);
    }
    AppendField(word, kWordFieldSize, &bytes);
    AppendField(canonical, kCanonicalFieldSize, &bytes);
  }
  EncodeInt32(static_cast<std::int32_t>(contents.idf.size()), &bytes);
  for (const auto& [word, idf] : contents.idf) {
    if (!FitsField(word, kWordFieldSize)) return too_long("word", word, kWordFieldSize);
    AppendField(word, kWordFieldSize, &bytes);
    bytes.append(kIdfValueOffset - kWordFieldSize, '\0');
    EncodeDouble(idf, &bytes);
  }
  EncodeInt32(static_cast<std::int32_t>(contents.classNames.size()), &bytes);
  for (const auto& name : contents.classNames) {
    if (!FitsField(name, kClassFieldSize)) return too_long("class name", name, kClassFieldSize);
    AppendField(name, kClassFieldSize, &bytes);
  }
  EncodeDouble(contents.averageDocLength, &bytes);

  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenFile(path, "wb"),
                                                         &std::fclose);
  if (!file) return Status(Status::Code::kIoError, "cannot open " + path + " for writing");
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = std::fclose(file.release()) == 0 && ok;
  return ok ? Status::Ok() : Status(Status::Code::kIoError, "cannot write " + path);
}

}  // namespace wenlei
