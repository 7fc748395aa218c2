// Writes what the library's GBK converter makes of every Unicode code point
// (surrogates included, each as its three-byte form) and of every byte and
// pair of bytes read as GBK, so that a Windows build's conversion can be
// compared byte for byte with the Linux build's:
//
//   gbk_table_dump OUTPUT
//
// Each record: the count of characters left out (or 255 for well-formed
// GBK, else the offset of the first bad byte), the length of the output in
// one byte, then the output.
#include <cstdio>
#include <string>

#include "text/gbk_converter.h"

namespace {

std::string Utf8Of(char32_t c) {
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  const int length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  std::string out(1, static_cast<char>(leads[length] | (c >> (6 * (length - 1)))));
  for (int i = length - 2; i >= 0; --i) out.push_back(static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F)));
  return out;
}

void Record(std::size_t first, const std::string& output, std::string* dump) {
  dump->push_back(static_cast<char>(first));
  dump->push_back(static_cast<char>(output.size()));
  *dump += output;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gbk_table_dump OUTPUT\n");
    return 2;
  }
  const wenlei::GbkConverter converter;
  std::string dump, out;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    out.clear();
    Record(converter.AppendGbk(Utf8Of(c), &out), out, &dump);
  }
  for (unsigned lead = 0; lead <= 0xFF; ++lead) {
    for (unsigned trail = 0; trail <= 0xFF; ++trail) {
      const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
      out.clear();
      Record(converter.AppendUtf8(std::string(pair, 2), &out).value_or(255), out, &dump);
    }
  }
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(dump.data(), 1, dump.size(), file) != dump.size() ||
      std::fclose(file) != 0) {
    std::fprintf(stderr, "gbk_table_dump: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
