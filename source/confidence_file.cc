#include "source/confidence_file.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

#include "util/file_bytes.h"
#include "util/whole_number.h"

namespace wenlei {
namespace {

constexpr char kThresholdKey[] = "min_confidence";

}  // namespace

Status ReadConfidenceFile(const std::string& prefix, ConfidenceSettings* settings) {
  const std::string path = prefix + kConfidenceFileName;
  std::string bytes;
  const Status read = ReadFileBytes(path, &bytes, PathBytes::kUtf8, kMaxConfidenceBytes);
  if (!read.ok()) return read;
  return ParseConfidenceFile(bytes, path, settings);
}

Status ParseConfidenceFile(std::string_view bytes, const std::string& path, ConfidenceSettings* settings) {
  auto malformed = [](std::string message) {
    return Status(Status::Code::kCorrupt, std::move(message));
  };
  // Editors on some systems put a byte order mark in front of UTF-8 text.
  std::string_view text(bytes);
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  bool found = false;
  for (int number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string line(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string key, value, extra;
    if (!(fields >> key) || key[0] == '#') continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (!(fields >> value) || (fields >> extra)) {
      return malformed(where + "expected \"key value\"");
    }
    if (key != kThresholdKey) {
      return malformed(where + "unknown key \"" + key + "\"");
    }
    // The file is written with a decimal point whatever the locale.
    double threshold = 0.0;
    if (!ParseWhole(value, &threshold) || !(threshold >= 0.0 && threshold <= 1.0)) {
      return malformed(where + "the threshold \"" + value + "\" is not a number from 0 to 1");
    }
    settings->minConfidence = threshold;
    found = true;
  }
  if (!found) {
    return malformed(path + ": no " + kThresholdKey + " line");
  }
  return Status::Ok();
}

Status WriteConfidenceFile(const std::string& prefix, const ConfidenceSettings& settings) {
  const std::string path = prefix + kConfidenceFileName;
  std::ofstream file(Utf8Path(path), std::ios::binary | std::ios::trunc);
  // to_chars: a decimal point whatever the process locale.
  char value[64];
  const auto written =
      std::to_chars(value, value + sizeof value - 1, settings.minConfidence, std::chars_format::fixed, 6);
  *written.ptr = '\0';
  file << "# Answers whose confidence is below this threshold are reported as unknown.\n"
       << kThresholdKey << " " << value << "\n";
  file.close();
  if (!file) return Status(Status::Code::kIoError, "cannot write " + path);
  return Status::Ok();
}

}  // namespace wenlei
