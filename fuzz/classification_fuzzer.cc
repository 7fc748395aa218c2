// The whole classification, through the exported functions, on arbitrary
// word lists against a fixed resource set.  Each word is a control byte and
// its text: random bytes of length 0 to 64, or a word of the resource set
// so that inputs reach the later steps easily; it lies inline (capacity
// below 16) or at an address of its own, allocated to its exact length so
// that the sanitizers see any read past it.  The answer must be the fixed
// message when no word is known (and then no file is touched), a label
// text of the set's classes otherwise, and the same when every word is
// moved to an address.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "decide/class_decision.h"
#include "fuzz/fuzz_support.h"
#include "wenlei/exports.h"
#include "source/source_data.h"
#include "source/source_file.h"
#include "testutil/resource_set_builder.h"
#include "testutil/test_support.h"

namespace {

constexpr char kTarget[] = "classification";

const std::string kShortText = wenlei::ShortTextMessage();

// Words beyond the generated ones, each with a different road through the
// counting and mapping: whether a known word reaches a feature.
struct ExtraWord {
  const char* word;
  const char* canonical;  // nullptr: not in the term map
  bool hasIdf;
  double idf;
  bool reachesFeature;
};
const ExtraWord kExtraWords[] = {
    {"lonely", nullptr, true, 1.0, false},
    {"zeroidf", "", true, 0.0, true},
    {"noidf", "", false, 0.0, true},
    {"alias", "k1w0", true, 2.0, true},
    {"orphan", "nothere", true, 1.0, false},
    {"\xc4\xe3\xba\xc3", "", true, 1.3, true},
    {"abcdefghijklmnopqrstuvwxyz012", "", true, 0.7, true},  // 29 bytes, the longest
};

struct ResourceSet {
  std::vector<std::string> words;        // the vocabulary, for building inputs
  std::set<std::string> reaching;        // known words that reach a feature
  std::set<std::string> known;
  std::set<std::string> labels;          // every answer a label text may be
  ClassifierHandle handle = nullptr;
};

const ResourceSet& Resources() {
  static const ResourceSet resources = [] {
    ResourceSet set;
    const std::string prefix = wenlei::fuzz::ScratchPrefix();
    wenlei::testing::ResourceSetSpec spec;
    spec.classNames = {"Sports", "Arts", "03 Music"};
    wenlei::testing::BuildResourceSet(prefix, spec);

    wenlei::SourceFileContents contents = wenlei::fuzz::ReadBuiltSourceFile(kTarget, prefix);
    for (const std::string& word : contents.vocabulary) set.reaching.insert(word);
    for (const ExtraWord& extra : kExtraWords) {
      contents.vocabulary.push_back(extra.word);
      if (extra.canonical) contents.termMap.emplace_back(extra.word, extra.canonical);
      if (extra.hasIdf) contents.idf.emplace_back(extra.word, extra.idf);
      if (extra.reachesFeature) set.reaching.insert(extra.word);
    }
    const wenlei::Status written =
        wenlei::WriteSourceFile(prefix + wenlei::kSourceFileName, contents);
    if (!written.ok()) {
      wenlei::fuzz::Fail(kTarget, "cannot write the resource file " + written.message());
    }
    set.words = contents.vocabulary;
    set.known.insert(set.words.begin(), set.words.end());
    const char* names[] = {"Sports", "Arts", "Music"};
    for (const char* a : names) {
      set.labels.insert(a);
      for (const char* b : names) {
        if (a != b) set.labels.insert(std::string(a) + " or " + b);
      }
    }
    if (LoadSource(prefix.c_str()) != 1) wenlei::fuzz::Fail(kTarget, "LoadSource failed");
    set.handle = CreateClassifier();
    return set;
  }();
  return resources;
}

// A word list whose entries and texts are each allocated to their exact
// size.  The list's end may lie a few bytes past the last whole entry, as
// when a host's end address is not a multiple of the entry size away; the
// library rounds the count down and must not touch those bytes.
class HostWordList {
 public:
  void AddInline(const std::string& bytes, std::size_t length, std::size_t capacity) {
    WordEntry entry;
    std::memset(&entry, 0xA5, sizeof entry);
    std::memcpy(entry.text.inline_bytes, bytes.data(),
                std::min(bytes.size(), sizeof entry.text.inline_bytes));
    entry.length = length;
    entry.capacity = capacity;
    entries_.push_back(entry);
  }
  void AddAtAddress(const std::string& text, std::size_t capacity) {
    texts_.push_back(std::make_unique<char[]>(text.size()));
    std::memcpy(texts_.back().get(), text.data(), text.size());
    WordEntry entry;
    std::memset(&entry, 0x5A, sizeof entry);
    entry.text.address = texts_.back().get();
    entry.length = text.size();
    entry.capacity = capacity;
    entries_.push_back(entry);
  }
  const WordList* list(std::size_t raggedBytes) {
    const std::size_t bytes = entries_.size() * sizeof(WordEntry) + raggedBytes;
    storage_ = std::make_unique<unsigned char[]>(bytes == 0 ? 1 : bytes);
    if (!entries_.empty()) std::memcpy(storage_.get(), entries_.data(), entries_.size() * sizeof(WordEntry));
    std::memset(storage_.get() + entries_.size() * sizeof(WordEntry), 0xEE, raggedBytes);
    list_.reserved_begin = &list_;
    const bool empty = entries_.empty() && raggedBytes == 0;
    list_.first = empty ? nullptr : reinterpret_cast<const WordEntry*>(storage_.get());
    list_.end = empty ? nullptr : reinterpret_cast<const WordEntry*>(storage_.get() + bytes);
    list_.reserved_end = nullptr;
    return &list_;
  }

 private:
  std::vector<std::unique_ptr<char[]>> texts_;
  std::vector<WordEntry> entries_;
  std::unique_ptr<unsigned char[]> storage_;
  WordList list_;
};

std::string Classify(const WordList* words) {
  char answer[256];
  std::memset(answer, 0x7E, sizeof answer);
  Classification(Resources().handle, words, answer);
  const void* end = std::memchr(answer, '\0', sizeof answer);
  FUZZ_CHECK(kTarget, end != nullptr, "no terminating zero byte in the answer buffer");
  const std::size_t length = static_cast<const char*>(end) - answer;
  for (std::size_t i = length + 1; i < sizeof answer; ++i) {
    FUZZ_CHECK(kTarget, answer[i] == 0x7E, "a byte after the answer's zero byte was written");
  }
  return std::string(answer, length);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Resources();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ResourceSet& resources = Resources();
  wenlei::fuzz::FuzzInput input(data, size);
  HostWordList words, allAtAddresses;
  bool anyKnown = false, anyReaching = false;
  while (!input.empty()) {
    // Control byte: bit 7 text at an address, bit 6 a vocabulary word,
    // bits 0-3 the inline capacity.
    const std::uint8_t control = input.TakeByte();
    std::string text;
    if (control & 0x40) {
      text = resources.words[input.TakeByte() % resources.words.size()];
    } else {
      text = input.TakeBytes(input.TakeByte() % 65);
    }
    // What the library reads: an inline text claiming more than the
    // 16-byte buffer is read no further than the buffer.
    std::string seen = text;
    if (control & 0x80) {
      words.AddAtAddress(text, std::max<std::size_t>(text.size(), 16) + (control & 0x0F));
    } else {
      seen = text.substr(0, 16);
      words.AddInline(text, text.size(), control & 0x0F);
    }
    allAtAddresses.AddAtAddress(seen, 16 + seen.size());
    anyKnown = anyKnown || resources.known.count(seen) > 0;
    anyReaching = anyReaching || resources.reaching.count(seen) > 0;
  }

  const std::string testFile = wenlei::fuzz::ScratchPrefix() + wenlei::kTestFileName;
  wenlei::testing::WriteFile(testFile, "untouched");
  // Taken from the input's size so that the word encoding stays as it is.
  const std::size_t ragged = size % sizeof(WordEntry);
  const std::string answer = Classify(words.list(ragged));
  if (!anyKnown) {
    FUZZ_CHECK(kTarget, answer == kShortText, "a list without known words answered " + answer);
    FUZZ_CHECK(kTarget, wenlei::testing::ReadFile(testFile) == "untouched",
               "a list without known words wrote the test file");
  } else if (!anyReaching) {
    FUZZ_CHECK(kTarget, answer == kShortText, "a list without features answered " + answer);
  } else {
    FUZZ_CHECK(kTarget, resources.labels.count(answer) == 1, "not a label text: " + answer);
  }
  FUZZ_CHECK(kTarget, Classify(allAtAddresses.list(0)) == answer,
             "the same words at addresses answered differently");
  return 0;
}
