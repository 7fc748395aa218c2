// Resident memory of a loaded resource set, measured in a process of its own
// so that nothing else the benchmarks allocate is counted.
//
//   wenlei_bench_memory load PREFIX   LoadSource(PREFIX) through the exports
//   wenlei_bench_memory read PREFIX   reading PREFIX + "Source.dat" into memory
//
// Prints one JSON object: the file's size, the resident set before and after
// (and after returning free heap to the system), and the peak, in bytes.

#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "wenlei/exports.h"

namespace {

long long ResidentBytes() {
  long long size = 0, resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

long long PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoll(line.substr(6)) * 1024;
  }
  return -1;
}

long long FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  return file ? static_cast<long long>(file.tellg()) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "load") != 0 && std::strcmp(argv[1], "read") != 0)) {
    std::fprintf(stderr, "usage: wenlei_bench_memory load|read PREFIX\n");
    return 2;
  }
  const std::string prefix = argv[2];
  const std::string path = prefix + "Source.dat";
  const long long fileBytes = FileBytes(path);
  if (fileBytes < 0) {
    std::fprintf(stderr, "wenlei_bench_memory: cannot open %s\n", path.c_str());
    return 1;
  }
  const long long before = ResidentBytes();
  const long long peakBefore = PeakResidentBytes();
  std::vector<char> bytes;
  if (std::strcmp(argv[1], "load") == 0) {
    if (LoadSource(prefix.c_str()) != 1) return 1;
  } else {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    bytes.resize(static_cast<std::size_t>(fileBytes));
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) return 1;
    std::fclose(file);
  }
  const long long after = ResidentBytes();
  const long long peakAfter = PeakResidentBytes();
  malloc_trim(0);
  const long long afterTrim = ResidentBytes();
  std::printf(
      "{\"mode\": \"%s\", \"file_bytes\": %lld, \"rss_before\": %lld, \"rss_after\": %lld, "
      "\"rss_after_trim\": %lld, \"peak_before\": %lld, \"peak_after\": %lld}\n",
      argv[1], fileBytes, before, after, afterTrim, peakBefore, peakAfter);
  return 0;
}
