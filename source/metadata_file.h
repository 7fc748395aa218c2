#ifndef WENLEI_SOURCE_METADATA_FILE_H_
#define WENLEI_SOURCE_METADATA_FILE_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/status.h"

namespace wenlei {

// The metadata file of a resource set, beside Source.dat: which Source.dat
// and SVMModel belong together (their SHA-256 digests), the classes' full
// names and how the set was trained.  A UTF-8 text of "key value" lines;
// '#' starts a comment line and unknown keys are ignored, so that later
// versions can add keys.  The trainer writes it after the files it
// describes, so a reader that finds the digests matching the files it read
// holds one generation of the set.  A set without it (an old or hand-made
// set) stays valid; the exported functions never read it.
inline constexpr char kMetadataFileName[] = "Metadata.txt";

struct SetMetadata {
  // Lower-case hexadecimal SHA-256 digests; empty when not recorded.
  std::string sourceSha256;      // key source_sha256
  std::string modelSha256;       // key model_sha256
  std::string confidenceSha256;  // key confidence_sha256, of Confidence.txt
  // Key dictionary_sha256: the segmentation dictionary the training texts
  // were cut with (a set trained from words already segmented has none).
  std::string dictionarySha256;
  // Class number and full UTF-8 name, in file order (key class).
  std::vector<std::pair<std::int32_t, std::string>> classNames;
  std::string trainer;  // key trainer: solver, kernel, cost, vocabulary size
  // Key reads: what the set reads of a document ("words", "chars1-2",
  // "words+chars1-3"); a set without it reads words.
  std::string reads;
};

// Parses the text of a metadata file; path names it in messages.  A known
// key with a malformed value, a repeated key or class number is kCorrupt
// with "PATH:LINE: why".
Status ParseMetadata(std::string_view text, const std::string& path, SetMetadata* metadata);

// The largest metadata file read: a trained set's is a few kilobytes (36
// class names at most).
inline constexpr std::uint64_t kMaxMetadataBytes = 1 << 20;

// Reads prefix + "Metadata.txt": kNotFound when there is none, kIoError
// when it cannot be read, kCorrupt when it is larger than
// kMaxMetadataBytes, else as ParseMetadata.
Status ReadMetadataFile(const std::string& prefix, SetMetadata* metadata);

// The file's text for metadata: the trainer line, the class lines, then
// the digests.
std::string FormatMetadata(const SetMetadata& metadata);

// Writes prefix + "Metadata.txt" under a temporary name and renames it into
// place, so that a reader finds the old file or the new one, whole.
Status WriteMetadataFile(const std::string& prefix, const SetMetadata& metadata);

// The SHA-256 of the file at path, as lower-case hexadecimal.
Status DigestFile(const std::string& path, std::string* hex);

// The same, remembered for the process by path, size and modification
// time: for a dictionary (megabytes long) that every handle opened on a
// set compares, and every training from one process's texts records.
Status RememberedDigest(const std::string& path, std::string* hex);

}  // namespace wenlei

#endif  // WENLEI_SOURCE_METADATA_FILE_H_
