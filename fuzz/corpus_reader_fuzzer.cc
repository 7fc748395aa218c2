// The training corpus reader on arbitrary files.  What it accepts or
// refuses, and at which line, must be what the rules worked out here
// independently give: a byte order mark skipped, a trailing carriage
// return dropped, empty lines skipped, and the first fault of the first
// bad line (a NUL byte, malformed UTF-8, no tab, an empty class name, a
// control character or white space at either end of it, a name GBK cannot
// encode) reported with its line; else the classes in code point order and
// one document per non-empty line.
#include <iconv.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "train/corpus.h"

namespace {

constexpr char kTarget[] = "corpus_reader";

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    std::uint32_t smallest = 0, value = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if ((lead & 0xE0) == 0xC0) length = 2, smallest = 0x80, value = lead & 0x1F;
    else if ((lead & 0xF0) == 0xE0) length = 3, smallest = 0x800, value = lead & 0x0F;
    else if ((lead & 0xF8) == 0xF0) length = 4, smallest = 0x10000, value = lead & 0x07;
    else return false;
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

bool EncodesInGbk(const std::string& utf8) {
  iconv_t converter = iconv_open("GBK", "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) return true;
  std::string in = utf8, out(utf8.size() * 2 + 8, '\0');
  char* from = in.data();
  char* to = out.data();
  std::size_t left = in.size(), room = out.size();
  const bool whole = iconv(converter, &from, &left, &to, &room) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  return whole && left == 0;
}

bool EndsWithSpace(const std::string& name) {
  for (const std::string space : {" ", "\xC2\xA0", "\xE3\x80\x80"}) {
    if (name.compare(0, space.size(), space) == 0) return true;
    if (name.size() >= space.size() && name.compare(name.size() - space.size(), space.size(), space) == 0) {
      return true;
    }
  }
  return false;
}

// The fault a line gives ("" for none): a piece of the reader's message.
std::string LineFault(const std::string& line) {
  if (line.find('\0') != std::string::npos) return "a NUL byte";
  if (!IsUtf8(line)) return "invalid UTF-8";
  const std::size_t tab = line.find('\t');
  if (tab == std::string::npos) return "no tab";
  const std::string name = line.substr(0, tab);
  if (name.empty()) return "empty class name";
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "holds a";
  }
  if (EndsWithSpace(name)) return "with white space";
  if (!EncodesInGbk(name)) return "GBK cannot encode";
  return "";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string path = wenlei::fuzz::ScratchPrefix() + "corpus.tsv";
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;

  std::set<std::string> classes;
  std::size_t documents = 0;
  std::string expectedFault;
  int faultLine = 0;
  std::size_t start = 0;
  for (int number = 1; start < bytes.size(); ++number) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (line.empty()) continue;
    expectedFault = LineFault(line);
    if (!expectedFault.empty()) {
      faultLine = number;
      break;
    }
    classes.insert(line.substr(0, line.find('\t')));
    ++documents;
  }

  wenlei::Corpus corpus;
  const wenlei::Status read = wenlei::ReadCorpus(path, wenlei::CorpusEncoding::kUtf8, &corpus);
  if (faultLine > 0) {
    const std::string where = path + ":" + std::to_string(faultLine) + ": ";
    FUZZ_CHECK(kTarget, !read.ok(), "line " + std::to_string(faultLine) + " should be refused: " + expectedFault);
    FUZZ_CHECK(kTarget, read.message().compare(0, where.size(), where) == 0 &&
                            read.message().find(expectedFault) != std::string::npos,
               "\"" + read.message() + "\", expected line " + std::to_string(faultLine) + " and " +
                   expectedFault);
    return 0;
  }
  if (documents == 0) {
    FUZZ_CHECK(kTarget, read.message() == path + ": no documents (expected lines \"class<TAB>word word ...\")",
               "\"" + read.message() + "\" for a file without documents");
    return 0;
  }
  FUZZ_CHECK(kTarget, read.ok(), "refused a good corpus: " + read.message());
  FUZZ_CHECK(kTarget, corpus.documents.size() == documents, "the number of documents differs");
  FUZZ_CHECK(kTarget, corpus.classNamesUtf8 == std::vector<std::string>(classes.begin(), classes.end()),
             "the class names differ");
  return 0;
}
