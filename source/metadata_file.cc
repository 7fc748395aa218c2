#include "source/metadata_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <map>
#include <system_error>

#include "util/file_bytes.h"
#include "util/sha256.h"
#include "util/error_text.h"

#if defined(_WIN32)
#include <process.h>
#define WENLEI_PROCESS_ID _getpid
#else
#include <unistd.h>
#define WENLEI_PROCESS_ID getpid
#endif

namespace wenlei {
namespace {

using Code = Status::Code;

constexpr std::string_view kBlanks = " \t";

bool IsDigest(std::string_view text) {
  if (text.size() != 64) return false;
  for (char c : text) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A class number: decimal digits, from 1 to the largest 32-bit number.
bool ParseClassNumber(std::string_view text, std::int32_t* number) {
  if (text.empty() || text.size() > 10) return false;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > INT32_MAX) return false;
  *number = static_cast<std::int32_t>(value);
  return true;
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// form, surrogate or code point above U+10FFFF.
bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                               : lead >= 0xE0 && lead <= 0xEF             ? 3
                               : lead >= 0xF0 && lead <= 0xF4             ? 4
                                                                          : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = codePoint << 6 | (next & 0x3F);
    }
    const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallest[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

Status ParseMetadata(std::string_view text, const std::string& path, SetMetadata* metadata) {
  *metadata = SetMetadata();
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool seenTrainer = false;
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    const std::size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || line[first] == '#' || line[first] == '\r') continue;
    line.remove_prefix(first);
    const std::size_t last = line.find_last_not_of(" \t\r");
    line = line.substr(0, last + 1);
    const std::size_t keyEnd = std::min(line.find_first_of(kBlanks), line.size());
    const std::string_view key = line.substr(0, keyEnd);
    std::string_view value = line.substr(keyEnd);
    value.remove_prefix(std::min(value.find_first_not_of(kBlanks), value.size()));

    const std::string where = path + ":" + std::to_string(number) + ": ";
    auto corrupt = [&where](const std::string& why) { return Status(Code::kCorrupt, where + why); };
    std::string* digest = key == "source_sha256"       ? &metadata->sourceSha256
                          : key == "model_sha256"      ? &metadata->modelSha256
                          : key == "confidence_sha256" ? &metadata->confidenceSha256
                          : key == "dictionary_sha256" ? &metadata->dictionarySha256
                                                       : nullptr;
    if (digest != nullptr) {
      if (!IsDigest(value)) return corrupt(std::string(key) + " is not 64 hexadecimal digits");
      if (!digest->empty()) return corrupt(std::string(key) + " is repeated");
      *digest = Lower(value);
    } else if (key == "class") {
      const std::size_t numberEnd = std::min(value.find_first_of(kBlanks), value.size());
      std::int32_t classNumber = 0;
      if (!ParseClassNumber(value.substr(0, numberEnd), &classNumber)) {
        return corrupt("expected \"class NUMBER NAME\" with a number from 1");
      }
      std::string_view name = value.substr(numberEnd);
      name.remove_prefix(std::min(name.find_first_not_of(kBlanks), name.size()));
      if (name.empty()) return corrupt("class " + std::to_string(classNumber) + " has no name");
      if (!IsUtf8(name)) return corrupt("class " + std::to_string(classNumber) + "'s name is not UTF-8");
      for (const auto& named : metadata->classNames) {
        if (named.first == classNumber) {
          return corrupt("class " + std::to_string(classNumber) + " is named twice");
        }
      }
      metadata->classNames.emplace_back(classNumber, std::string(name));
    } else if (key == "reads") {
      if (!metadata->reads.empty()) return corrupt("reads is repeated");
      metadata->reads = std::string(value);
    } else if (key == "trainer") {
      if (seenTrainer) return corrupt("trainer is repeated");
      if (!IsUtf8(value)) return corrupt("trainer is not UTF-8");
      seenTrainer = true;
      metadata->trainer = std::string(value);
    }
    // Any other key belongs to a later version: ignored.
  }
  return Status::Ok();
}

Status ReadMetadataFile(const std::string& prefix, SetMetadata* metadata) {
  const std::string path = prefix + kMetadataFileName;
  FilePointer file;
  std::uint64_t size = 0;
  Status read = OpenRegularFile(path, &file, &size);
  if (!read.ok()) return read;
  if (size > kMaxMetadataBytes) {
    return Status(Code::kCorrupt, path + ": " + std::to_string(size) +
                                      " bytes; a metadata file holds at most " +
                                      std::to_string(kMaxMetadataBytes));
  }
  std::string text(static_cast<std::size_t>(size), '\0');
  text.resize(std::fread(text.data(), 1, text.size(), file.get()));
  if (std::ferror(file.get())) return UnreadableFile(path, errno != 0 ? errno : EIO);
  return ParseMetadata(text, path, metadata);
}

std::string FormatMetadata(const SetMetadata& metadata) {
  std::string text =
      "# The resource set's metadata: how it was trained, its classes' full names and the\n"
      "# digests that tie Source.dat and SVMModel to one training run.\n";
  if (!metadata.trainer.empty()) text += "trainer " + metadata.trainer + "\n";
  if (!metadata.reads.empty()) text += "reads " + metadata.reads + "\n";
  for (const auto& [number, name] : metadata.classNames) {
    text += "class " + std::to_string(number) + " " + name + "\n";
  }
  if (!metadata.sourceSha256.empty()) text += "source_sha256 " + metadata.sourceSha256 + "\n";
  if (!metadata.modelSha256.empty()) text += "model_sha256 " + metadata.modelSha256 + "\n";
  if (!metadata.confidenceSha256.empty()) {
    text += "confidence_sha256 " + metadata.confidenceSha256 + "\n";
  }
  if (!metadata.dictionarySha256.empty()) {
    text += "dictionary_sha256 " + metadata.dictionarySha256 + "\n";
  }
  return text;
}

Status WriteMetadataFile(const std::string& prefix, const SetMetadata& metadata) {
  const std::string path = prefix + kMetadataFileName;
  const std::string temporary =
      prefix + "." + kMetadataFileName + "." + std::to_string(WENLEI_PROCESS_ID()) + ".tmp";
  const std::string text = FormatMetadata(metadata);
  errno = 0;
  std::FILE* file = OpenFile(temporary, "wb");
  bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int errorNumber = errno;
  if (file != nullptr && std::fclose(file) != 0 && written) {
    written = false;
    errorNumber = errno;
  }
  std::error_code renamed;
  if (written) std::filesystem::rename(Utf8Path(temporary), Utf8Path(path), renamed);
  if (!written || renamed) {
    std::error_code ignored;
    std::filesystem::remove(Utf8Path(temporary), ignored);
    const std::string reason =
        renamed ? renamed.message() : ErrorText(errorNumber != 0 ? errorNumber : EIO);
    return Status(Code::kIoError, "cannot write " + path + ": " + reason);
  }
  return Status::Ok();
}

// A FIFO or a device is refused without waiting, and a regular file is
// read no further than the size it had when opened.
Status DigestFile(const std::string& path, std::string* hex) {
  FilePointer file;
  std::uint64_t left = 0;
  if (Status opened = OpenRegularFile(path, &file, &left); !opened.ok()) return opened;
  Sha256 digest;
  char buffer[1 << 16];
  std::size_t got;
  errno = 0;
  while (left > 0 && (got = std::fread(buffer, 1, std::min<std::uint64_t>(sizeof buffer, left), file.get())) > 0) {
    digest.Update({buffer, got});
    left -= got;
  }
  const bool failed = std::ferror(file.get()) != 0;
  const int errorNumber = errno;
  if (failed) {
    return Status(Code::kIoError, "cannot read " + path + ": " + ErrorText(errorNumber != 0 ? errorNumber : EIO));
  }
  *hex = digest.FinishHex();
  return Status::Ok();
}

Status RememberedDigest(const std::string& path, std::string* hex) {
  struct Known {
    std::uintmax_t size;
    std::filesystem::file_time_type modified;
    std::string hex;
  };
  static std::mutex mutex;
  static std::map<std::string, Known> known;
  std::error_code fault;
  const std::uintmax_t size = std::filesystem::file_size(Utf8Path(path), fault);
  const auto modified = fault ? std::filesystem::file_time_type() :
                                std::filesystem::last_write_time(Utf8Path(path), fault);
  if (!fault) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = known.find(path);
    if (found != known.end() && found->second.size == size && found->second.modified == modified) {
      *hex = found->second.hex;
      return Status::Ok();
    }
  }
  Status digested = DigestFile(path, hex);
  if (digested.ok() && !fault) {
    std::lock_guard<std::mutex> lock(mutex);
    known[path] = Known{size, modified, *hex};
  }
  return digested;
}

}  // namespace wenlei
