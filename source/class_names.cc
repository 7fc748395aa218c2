#include "source/class_names.h"

#include <set>

#include "source/source_file.h"

namespace wenlei {
namespace {

constexpr std::size_t kFieldBytes = source_file::kClassFieldSize - 1;

// The longest prefix of at most bytes bytes that ends on a GBK character
// boundary (a byte from 0x80 up leads a two-byte character).
std::string GbkPrefix(const std::string& gbk, std::size_t bytes) {
  std::size_t end = 0;
  while (end < gbk.size()) {
    const std::size_t length = static_cast<unsigned char>(gbk[end]) < 0x80 ? 1 : 2;
    if (end + length > bytes) break;
    end += length;
  }
  return gbk.substr(0, end);
}

}  // namespace

std::string WithoutTag(const std::string& name) {
  const std::size_t space = name.find(' ');
  return space == std::string::npos ? name : name.substr(space + 1);
}

std::vector<std::string> ShortClassNames(const std::vector<std::string>& gbkNames) {
  std::vector<std::string> shortNames(gbkNames.size());
  std::set<std::string> taken = {"NULL"};
  for (std::size_t i = 0; i < gbkNames.size(); ++i) {
    if (gbkNames[i].size() <= kFieldBytes) {
      shortNames[i] = gbkNames[i];
      taken.insert(WithoutTag(gbkNames[i]));
    }
  }
  for (std::size_t i = 0; i < gbkNames.size(); ++i) {
    if (gbkNames[i].size() <= kFieldBytes) continue;
    std::string base = gbkNames[i];
    for (char& byte : base) {
      if (byte == ' ') byte = '_';
    }
    std::string candidate = GbkPrefix(base, kFieldBytes);
    for (int suffix = 1; taken.count(candidate) != 0; ++suffix) {
      const std::string tail = "~" + std::to_string(suffix);
      candidate = GbkPrefix(base, kFieldBytes - tail.size()) + tail;
    }
    taken.insert(candidate);
    shortNames[i] = candidate;
  }
  return shortNames;
}

}  // namespace wenlei
