#include "text/dictionary.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <functional>

#include "text/utf8.h"
#include "util/file_bytes.h"

namespace wenlei {
namespace {

struct Line {
  std::string_view word;
  std::uint64_t frequency;
};

bool IsFieldSeparator(char c) { return c == ' ' || c == '\t'; }

// Splits one line into its first fields; returns how many it found.
std::size_t SplitFields(std::string_view line, std::string_view* fields, std::size_t capacity) {
  std::size_t count = 0;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsFieldSeparator(line[i])) ++i;
    if (i == line.size()) break;
    std::size_t start = i;
    while (i < line.size() && !IsFieldSeparator(line[i])) ++i;
    if (count < capacity) fields[count] = line.substr(start, i - start);
    ++count;
  }
  return count;
}

// Where the character before offset starts; text is well-formed UTF-8.
std::size_t PreviousCharacterStart(std::string_view text, std::size_t offset) {
  do {
    --offset;
  } while (offset > 0 && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80);
  return offset;
}

}  // namespace

Status Dictionary::Load(const std::string& path, std::unique_ptr<Dictionary>* dictionary) {
  std::string text;
  const Status read = ReadFileBytes(path, &text);
  if (read.code() == Status::Code::kNotFound) {
    return Status(Status::Code::kNotFound, "cannot open dictionary " + path);
  }
  if (!read.ok()) return read;
  return Parse(std::move(text), path, dictionary);
}

Status Dictionary::Parse(std::string text, const std::string& source,
                         std::unique_ptr<Dictionary>* dictionary) {
  std::unique_ptr<Dictionary> made(new Dictionary());
  made->text_ = std::move(text);
  Status indexed = made->Index(source);
  if (indexed.ok()) *dictionary = std::move(made);
  return indexed;
}

Status Dictionary::Index(const std::string& source) {
  auto malformed = [](std::string message) {
    return Status(Status::Code::kCorrupt, std::move(message));
  };
  std::string_view text(text_);
  if (auto bad = FindInvalidUtf8(text)) {
    return malformed(source + ": not UTF-8 (invalid byte at offset " + std::to_string(*bad) + ")");
  }
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  std::vector<Line> lines;
  std::size_t lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    std::string_view fields[3];
    std::size_t count = SplitFields(line, fields, 3);
    if (count == 0) continue;
    auto where = [&] { return source + ":" + std::to_string(lineNumber) + ": "; };
    if (count < 2 || count > 3) {
      return malformed(where() + "expected \"word frequency [tag]\"");
    }
    std::uint64_t frequency = 0;
    auto parsed = std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), frequency);
    if (parsed.ec != std::errc() || parsed.ptr != fields[1].data() + fields[1].size()) {
      return malformed(where() + "the frequency \"" + std::string(fields[1]) +
               "\" is not a whole number");
    }
    // The segmenter tries every prefix of a word at every position it could
    // start: a word of thousands of characters makes that cubic in the
    // text's length.
    const std::size_t characters = static_cast<std::size_t>(
        std::count_if(fields[0].begin(), fields[0].end(),
                      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
    if (characters > kLongestWord) {
      return malformed(where() + "the word has " + std::to_string(characters) +
               " characters, more than the " + std::to_string(kLongestWord) + " a word may have");
    }
    lines.push_back({fields[0], frequency});
  }
  // Without a word every document would segment into single characters
  // that no vocabulary knows: a wrong file given, not a dictionary.
  const bool anyWord = std::any_of(lines.begin(), lines.end(),
                                   [](const Line& line) { return line.frequency > 0; });
  if (!anyWord) {
    return malformed(source +
                     ": no word with a frequency above 0 (expected lines \"word frequency [tag]\")");
  }

  // Prefixes add about half as many entries again as there are words.
  Reserve(lines.size() * 3 / 2);

  double total = 0.0;
  for (const Line& line : lines) {
    total += static_cast<double>(line.frequency);
    auto [word, isNew] = Claim(line.word);
    word->entry.isWord = line.frequency > 0;
    word->entry.logProbability = static_cast<double>(line.frequency);
    // Every entry comes with all its prefixes, so the walk from the longest
    // prefix down can stop at the first one already present.
    for (std::size_t end = PreviousCharacterStart(line.word, line.word.size()); isNew && end > 0;
         end = PreviousCharacterStart(line.word, end)) {
      isNew = Claim(line.word.substr(0, end)).second;
    }
  }
  if (total <= 0.0) total = 1.0;
  const double logTotal = std::log(total);
  unknownLogProbability_ = -logTotal;
  wordCount_ = 0;
  for (Slot& slot : slots_) {
    if (slot.data == nullptr || !slot.entry.isWord) continue;
    slot.entry.logProbability = std::log(slot.entry.logProbability) - logTotal;
    ++wordCount_;
  }
  return Status::Ok();
}

std::size_t Dictionary::Home(std::string_view key) const {
  return std::hash<std::string_view>()(key) & mask_;
}

void Dictionary::Reserve(std::size_t entries) {
  // At most half full keeps the probe runs short.
  std::size_t capacity = 16;
  while (capacity < 2 * entries) capacity *= 2;
  if (capacity <= slots_.size()) return;
  std::vector<Slot> old(capacity);
  old.swap(slots_);
  mask_ = capacity - 1;
  for (const Slot& slot : old) {
    if (slot.data == nullptr) continue;
    std::size_t i = Home(std::string_view(slot.data, slot.length));
    while (slots_[i].data != nullptr) i = (i + 1) & mask_;
    slots_[i] = slot;
  }
}

std::pair<Dictionary::Slot*, bool> Dictionary::Claim(std::string_view key) {
  if (2 * (entryCount_ + 1) > slots_.size()) Reserve(entryCount_ + 1);
  for (std::size_t i = Home(key);; i = (i + 1) & mask_) {
    Slot& slot = slots_[i];
    if (slot.data == nullptr) {
      slot.data = key.data();
      slot.length = static_cast<std::uint32_t>(key.size());
      ++entryCount_;
      return {&slot, true};
    }
    if (std::string_view(slot.data, slot.length) == key) return {&slot, false};
  }
}

const Dictionary::Entry* Dictionary::Find(std::string_view text) const {
  for (std::size_t i = Home(text);; i = (i + 1) & mask_) {
    const Slot& slot = slots_[i];
    if (slot.data == nullptr) return nullptr;
    if (std::string_view(slot.data, slot.length) == text) return &slot.entry;
  }
}

}  // namespace wenlei
