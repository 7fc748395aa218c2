#include "source/confidence_file.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace wenlei {
namespace {

constexpr char kThresholdKey[] = "min_confidence";

}  // namespace

ConfidenceFileOutcome ReadConfidenceFile(const std::string& prefix, ConfidenceSettings* settings,
                                         std::string* error) {
  const std::string path = prefix + kConfidenceFileName;
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    errno = 0;
    std::FILE* probe = std::fopen(path.c_str(), "rb");
    if (probe == nullptr && (errno == ENOENT || errno == ENOTDIR)) {
      return ConfidenceFileOutcome::kMissing;
    }
    if (probe) std::fclose(probe);
    *error = path + ": cannot open for reading";
    return ConfidenceFileOutcome::kMalformed;
  }
  bool found = false;
  std::string line;
  for (int number = 1; std::getline(file, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string key, value, extra;
    if (!(fields >> key) || key[0] == '#') continue;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (!(fields >> value) || (fields >> extra)) {
      *error = where + "expected \"key value\"";
      return ConfidenceFileOutcome::kMalformed;
    }
    if (key != kThresholdKey) {
      *error = where + "unknown key \"" + key + "\"";
      return ConfidenceFileOutcome::kMalformed;
    }
    char* end = nullptr;
    const double threshold = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || !(threshold >= 0.0 && threshold <= 1.0)) {
      *error = where + "the threshold \"" + value + "\" is not a number from 0 to 1";
      return ConfidenceFileOutcome::kMalformed;
    }
    settings->minConfidence = threshold;
    found = true;
  }
  if (!found) {
    *error = path + ": no " + kThresholdKey + " line";
    return ConfidenceFileOutcome::kMalformed;
  }
  return ConfidenceFileOutcome::kRead;
}

bool WriteConfidenceFile(const std::string& prefix, const ConfidenceSettings& settings,
                         std::string* error) {
  const std::string path = prefix + kConfidenceFileName;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  char value[32];
  std::snprintf(value, sizeof value, "%.6f", settings.minConfidence);
  file << "# Answers whose confidence is below this threshold are reported as unknown.\n"
       << kThresholdKey << " " << value << "\n";
  file.close();
  if (!file) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace wenlei
