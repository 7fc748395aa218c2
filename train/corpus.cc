#include "train/corpus.h"
#include "util/file_bytes.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <unordered_map>

#include "source/class_names.h"
#include "text/gbk_converter.h"
#include "text/utf8.h"
#include "text/document_words.h"

namespace wenlei {
namespace {

// Reads a text file line by line in the corpus's encoding and hands each
// line over as UTF-8, with a trailing carriage return removed.  A line is
// held whole in memory, so no line may be longer than kMaxCorpusLineBytes:
// a file that is no text (a device, a binary file) is refused after that
// many bytes, not after filling the memory.
// Documents read between two reports of a reading's progress.
constexpr int kLinesBetweenProgress = 4096;

Status ReadingCancelled() { return Status(Status::Code::kCancelled, "reading cancelled"); }

class LineSource {
 public:
  LineSource(const std::string& path, CorpusEncoding encoding) : path_(path), encoding_(encoding) {}

  Status Open() {
    namespace fs = std::filesystem;
    std::error_code status;
    const fs::file_status type = fs::status(Utf8Path(path_), status);
    if (fs::is_directory(type)) {
      return Status(Status::Code::kInvalidArgument, path_ + " is a directory; name the corpus file");
    }
    if (fs::is_character_file(type) || fs::is_block_file(type) || fs::is_socket(type)) {
      return Status(Status::Code::kInvalidArgument,
                    path_ + " is a device, not a file; name the corpus file");
    }
    errno = 0;
    file_.reset(OpenFile(path_, "rb"));
    if (!file_) {
      return Status(Status::Code::kIoError, path_ + ": cannot open for reading: " +
                                                std::strerror(errno != 0 ? errno : EIO));
    }
    if (Status opened = GbkConverter::Open(&converter_); !opened.ok()) {
      return Status(opened.code(), path_ + ": " + opened.message());
    }
    return Status::Ok();
  }

  // Reads the next line into *utf8; false at the end of the file or on a
  // line that cannot be read, which fault() then names.
  bool Next(std::string* utf8) {
    if (!ReadRaw()) return false;
    ++line_;
    if (!raw_.empty() && raw_.back() == '\r' && !cut_) raw_.pop_back();
    if (cut_ || raw_.size() > kMaxCorpusLineBytes) {
      fault_ = Status(Status::Code::kInvalidArgument,
                      Where() + "longer than " + std::to_string(kMaxCorpusLineBytes) + " bytes (" +
                          std::to_string(kMaxCorpusLineBytes >> 20) +
                          " MiB), the longest line a corpus may hold");
      return false;
    }
    // A byte order mark, which some editors put first, belongs to no name.
    if (line_ == 1 && encoding_ == CorpusEncoding::kUtf8 && raw_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      raw_.erase(0, 3);
    }
    if (const std::size_t nul = raw_.find('\0'); nul != std::string::npos) {
      fault_ = Status(Status::Code::kInvalidArgument,
                      Where() + "a NUL byte at byte " + std::to_string(nul + 1) + " (a corpus is text)");
      return false;
    }
    if (encoding_ == CorpusEncoding::kGbk) {
      utf8->clear();
      if (auto bad = converter_->AppendUtf8(raw_, utf8)) {
        fault_ = Status(Status::Code::kBadEncoding, Where() + "invalid GBK at byte " + std::to_string(*bad + 1));
        return false;
      }
    } else {
      if (auto bad = FindInvalidUtf8(raw_)) {
        fault_ = Status(Status::Code::kBadEncoding, Where() + "invalid UTF-8 at byte " + std::to_string(*bad + 1));
        return false;
      }
      utf8->swap(raw_);
    }
    return true;
  }

  // The malformed line that ended the reading, or Ok after the last line.
  const Status& fault() const { return fault_; }
  // A fault of the current line, named with the file and line.
  Status Fault(const std::string& message) const {
    return Status(Status::Code::kInvalidArgument, Where() + message);
  }

  std::string Where() const { return path_ + ":" + std::to_string(line_) + ": "; }
  int line() const { return line_; }
  GbkConverter& converter() { return *converter_; }
  std::uint64_t bytesRead() const { return bytesRead_; }
  // The file's size when it was opened (0 when unknown).
  std::uint64_t size() const {
    std::error_code status;
    const auto bytes = std::filesystem::file_size(Utf8Path(path_), status);
    return status ? 0 : static_cast<std::uint64_t>(bytes);
  }

 private:
  // The next line without its line end into raw_, keeping no more than the
  // limit and a carriage return (cut_ tells when more was left out); false
  // at the end of the file or on a read error.
  bool ReadRaw() {
    raw_.clear();
    cut_ = false;
    bool any = false;
    for (;;) {
      if (next_ == end_) {
        end_ = std::fread(buffer_, 1, sizeof buffer_, file_.get());
        bytesRead_ += end_;
        next_ = 0;
        if (end_ == 0) {
          if (std::ferror(file_.get())) {
            fault_ = Status(Status::Code::kIoError, path_ + ": cannot read after line " +
                                                        std::to_string(line_) + ": " +
                                                        std::strerror(errno != 0 ? errno : EIO));
            return false;
          }
          return any;
        }
      }
      any = true;
      const char* start = buffer_ + next_;
      const void* newline = std::memchr(start, '\n', end_ - next_);
      const std::size_t length =
          newline != nullptr ? static_cast<const char*>(newline) - start : end_ - next_;
      const std::size_t room = kMaxCorpusLineBytes + 1 - raw_.size();
      raw_.append(start, std::min(length, room));
      cut_ = length > room;
      next_ += cut_ ? room : newline != nullptr ? length + 1 : length;
      if (newline != nullptr || cut_) return true;
    }
  }

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  std::string path_;
  CorpusEncoding encoding_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  char buffer_[1 << 16];
  std::uint64_t bytesRead_ = 0;
  std::size_t next_ = 0;
  std::size_t end_ = 0;
  std::unique_ptr<GbkConverter> converter_;
  std::string raw_;
  bool cut_ = false;
  int line_ = 0;
  Status fault_;
};

// What is wrong with a class name that the metadata file and the answers
// could not keep exactly, or "".  The names are UTF-8.
std::string ClassNameFault(std::string_view name) {
  if (name.empty()) return "empty class name";
  std::string shown;
  const char* control = nullptr;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown.push_back(c);
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    shown += escaped;
    if (control == nullptr) {
      control = byte == '\t' ? "a tab" : byte == '\r' ? "a carriage return" : byte == '\n' ? "a line end"
                                                                                   : "a control character";
    }
  }
  if (control != nullptr) return "class name \"" + shown + "\" holds " + control;
  constexpr std::string_view kSpaces[] = {" ", "\xC2\xA0", "\xE3\x80\x80"};  // also NBSP, U+3000
  for (std::string_view space : kSpaces) {
    const bool leads = name.substr(0, space.size()) == space;
    const bool trails = name.size() >= space.size() && name.substr(name.size() - space.size()) == space;
    if (leads || trails) {
      return "class name \"" + shown + "\" " + (leads ? "starts" : "ends") +
             " with white space, which the metadata file would not keep";
    }
  }
  return "";
}

bool IsAsciiSpace(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Splits text at runs of ASCII white space.
std::vector<std::string_view> SplitWords(std::string_view text) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    std::size_t start = i;
    while (i < text.size() && !IsAsciiSpace(text[i])) ++i;
    if (i > start) words.push_back(text.substr(start, i - start));
  }
  return words;
}

// Converts a name that must fit a 9-byte field of the resource file; the
// fault's message, or "" when it fits.
std::string ShortNameToGbk(GbkConverter& converter, const std::string& utf8, const char* what,
                           std::string* gbk) {
  gbk->clear();
  if (converter.AppendGbk(utf8, gbk) > 0) {
    return std::string(what) + " \"" + utf8 + "\" holds a character that GBK cannot encode";
  }
  if (gbk->size() > kMaxClassNameBytes) {
    return std::string(what) + " \"" + utf8 + "\" is " + std::to_string(gbk->size()) +
           " bytes in GBK; the resource file holds at most " + std::to_string(kMaxClassNameBytes);
  }
  return "";
}

void CountChineseCharacters(std::string_view word, Corpus* corpus) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < word.size();) {
    DecodedCharacter character = DecodeCharacter(word, i);
    count += IsChineseCharacter(character.codePoint) ? 1 : 0;
    i += character.length;
  }
  corpus->chineseCharacters += count;
  if (count > 0) ++corpus->wordsWithChineseCharacters;
  if (count > kLongWordCharacters) corpus->chineseCharactersInLongWords += count;
}

}  // namespace

bool ParseCorpusEncoding(const std::string& name, CorpusEncoding* encoding) {
  std::string lower;
  for (char c : name) lower.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  if (lower == "utf-8" || lower == "utf8") {
    *encoding = CorpusEncoding::kUtf8;
  } else if (lower == "gbk" || lower == "cp936") {
    *encoding = CorpusEncoding::kGbk;
  } else {
    return false;
  }
  return true;
}

std::vector<std::size_t> Corpus::DocumentsPerClass() const {
  std::vector<std::size_t> counts(classNamesUtf8.size(), 0);
  for (const auto& document : documents) ++counts[document.classIndex];
  return counts;
}

namespace {

// Numbers each distinct word as the documents are read, and renumbers the
// words in byte order once all are known.
class WordNumbering {
 public:
  std::uint32_t Number(std::string_view word) {
    key_.assign(word.data(), word.size());
    // Looked up first: emplace would make a node, a copy of the word, for
    // every occurrence of a word already numbered.
    if (auto known = numbers_.find(key_); known != numbers_.end()) return known->second;
    return numbers_.emplace(key_, static_cast<std::uint32_t>(numbers_.size())).first->second;
  }

  // A document's counts from the numbers of its words, repeats included.
  static WordCounts Count(std::vector<std::uint32_t>* numbers) {
    std::sort(numbers->begin(), numbers->end());
    std::vector<WordCount> counts;
    for (std::size_t i = 0; i < numbers->size();) {
      std::size_t end = i + 1;
      while (end < numbers->size() && (*numbers)[end] == (*numbers)[i]) ++end;
      counts.push_back({(*numbers)[i], static_cast<std::uint32_t>(end - i)});
      i = end;
    }
    return WordCounts(counts);
  }

  // Fills corpus->distinctWords in byte order and renumbers the documents'
  // counts to match.
  void Finish(Corpus* corpus) {
    std::vector<std::string> words(numbers_.size());
    for (auto& [word, number] : numbers_) words[number] = word;
    numbers_ = {};
    std::vector<std::uint32_t> order(words.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&words](std::uint32_t a, std::uint32_t b) { return words[a] < words[b]; });
    std::vector<std::uint32_t> renumbered(words.size());
    corpus->distinctWords.clear();
    corpus->distinctWords.reserve(words.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) {
      renumbered[order[i]] = i;
      corpus->distinctWords.push_back(std::move(words[order[i]]));
    }
    for (auto& document : corpus->documents) {
      std::vector<WordCount> counts = document.counts.ToVector();
      for (auto& count : counts) count.word = renumbered[count.word];
      std::sort(counts.begin(), counts.end(),
                [](const WordCount& a, const WordCount& b) { return a.word < b.word; });
      document.counts = WordCounts(counts);
    }
  }

 private:
  std::unordered_map<std::string, std::uint32_t> numbers_;
  std::string key_;
};

// Collects documents one at a time, counting their words, and numbers the
// classes and the words at the end.
class CorpusBuilder {
 public:
  CorpusBuilder(Corpus* corpus, GbkConverter& converter, const Segmenter* segmenter,
                CorpusWords keep, const FeatureSet& runs)
      : corpus_(corpus), converter_(converter), segmenter_(segmenter),
        keepLists_(keep == CorpusWords::kCountsAndLists), runs_(runs) {}

  // Adds one document of class name (UTF-8) with its text after the tab;
  // the fault's message, or "" when it is added.
  std::string Add(std::string_view name, std::string_view text, int line) {
    if (std::string fault = ClassNameFault(name); !fault.empty()) return fault;
    auto [it, added] =
        firstSeenIndex_.emplace(std::string(name), static_cast<int>(firstSeenNames_.size()));
    if (added) {
      firstSeenNames_.emplace_back(name);
      gbk_.clear();
      if (converter_.AppendGbk(name, &gbk_) > 0) {
        firstSeenIndex_.erase(it);
        firstSeenNames_.pop_back();
        return "class name \"" + std::string(name) + "\" holds a character that GBK cannot encode";
      }
    }
    CorpusDocument document;
    document.classIndex = it->second;
    document.line = line;
    numbers_.clear();
    text_.clear();
    spans_.clear();
    // Every word GBK holds, too long or not, gives its characters to the runs,
    // as a classification of the same words does.
    auto characters = [this](std::string_view word) {
      if (!runs_.characters()) return;
      spans_.emplace_back(text_.size(), word.size());
      text_ += word;
    };
    auto keep = [this, &document](std::string_view word) {
      numbers_.push_back(words_.Number(word));
      if (keepLists_) document.words.emplace_back(word);
    };
    if (segmenter_ != nullptr) {
      // The text was checked for its encoding when it was read.
      DocumentWords(&converter_, segmenter_, {}).Make(text, &segmented_);
      corpus_->wordsUnencodable += segmented_.droppedCharacters;
      for (std::size_t i = 0; i < segmented_.wordCount(); ++i) {
        const std::string_view word = segmented_.word(i);
        characters(word);
        if (word.size() > kMaxWordBytes) {
          ++corpus_->wordsTooLong;
        } else {
          keep(word);
        }
      }
      ++corpus_->segmentedDocuments;
    } else {
      for (std::string_view word : SplitWords(text)) {
        CountChineseCharacters(word, corpus_);
        gbk_.clear();
        if (converter_.AppendGbk(word, &gbk_) > 0) {
          ++corpus_->wordsUnencodable;
          continue;
        }
        characters(gbk_);
        if (gbk_.size() > kMaxWordBytes) {
          ++corpus_->wordsTooLong;
        } else {
          keep(gbk_);
        }
      }
    }
    corpus_->wordOccurrences += numbers_.size();
    if (runs_.characters()) {
      std::vector<std::string_view> words;
      words.reserve(spans_.size());
      for (const auto& [start, length] : spans_) words.emplace_back(text_.data() + start, length);
      FormCharacterRuns(words, runs_, &formed_);
      for (std::string_view run : formed_.runs) numbers_.push_back(words_.Number(run));
    }
    document.counts = WordNumbering::Count(&numbers_);
    corpus_->documents.push_back(std::move(document));
    return "";
  }

  // Numbers the classes in the byte order of their UTF-8 names (std::map
  // orders std::string keys by unsigned bytes: code point order).
  void Finish() {
    std::vector<int> finalIndex(firstSeenNames_.size());
    int next = 0;
    for (const auto& [name, seen] : firstSeenIndex_) {
      finalIndex[seen] = next++;
      corpus_->classNamesUtf8.push_back(name);
      corpus_->classNamesGbk.emplace_back();
      converter_.AppendGbk(name, &corpus_->classNamesGbk.back());
    }
    corpus_->classNamesGbk = ShortClassNames(corpus_->classNamesGbk);
    for (auto& document : corpus_->documents) document.classIndex = finalIndex[document.classIndex];
    corpus_->documents.shrink_to_fit();
    words_.Finish(corpus_);
  }

 private:
  Corpus* corpus_;
  GbkConverter& converter_;
  const Segmenter* segmenter_;
  // Until Finish each document holds its class's position in order of first
  // appearance.
  std::vector<std::string> firstSeenNames_;
  std::map<std::string, int> firstSeenIndex_;
  const bool keepLists_;
  WordNumbering words_;
  std::vector<std::uint32_t> numbers_;  // of the document being added
  DocumentWords::Result segmented_;
  std::string gbk_;
  const FeatureSet runs_;
  std::string text_;  // the document's words, for its runs of characters
  std::vector<std::pair<std::size_t, std::size_t>> spans_;
  CharacterRuns formed_;
};

}  // namespace

Status ReadCorpus(const std::string& path, CorpusEncoding encoding, Corpus* corpus,
                  const Segmenter* segmenter, CorpusWords keep, const FeatureSet& runs,
                  const ReadingProgress& progress) {
  *corpus = Corpus();
  corpus->path = path;
  LineSource lines(path, encoding);
  if (Status opened = lines.Open(); !opened.ok()) return opened;
  const std::uint64_t size = progress ? lines.size() : 0;
  CorpusBuilder builder(corpus, lines.converter(), segmenter, keep, runs);
  std::string line;
  while (lines.Next(&line)) {
    if (progress && lines.line() % kLinesBetweenProgress == 0 &&
        progress(lines.bytesRead(), std::max(size, lines.bytesRead()))) {
      return ReadingCancelled();
    }
    if (line.empty()) continue;
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) return lines.Fault("no tab between the class name and the words");
    const std::string_view view(line);
    if (std::string fault = builder.Add(view.substr(0, tab), view.substr(tab + 1), lines.line());
        !fault.empty()) {
      return lines.Fault(fault);
    }
  }
  if (!lines.fault().ok()) return lines.fault();
  if (corpus->documents.empty()) {
    return Status(Status::Code::kInvalidArgument,
                  path + ": no documents (expected lines \"class<TAB>word word ...\")");
  }
  builder.Finish();
  return Status::Ok();
}

Status BuildCorpus(const char* const* labels, const char* const* texts, const std::size_t* lengths,
                   std::size_t count, const Segmenter* segmenter, Corpus* corpus, CorpusWords keep,
                   const FeatureSet& runs, const ReadingProgress& progress) {
  *corpus = Corpus();
  corpus->path = "the texts";
  std::unique_ptr<GbkConverter> converter;
  if (Status opened = GbkConverter::Open(&converter); !opened.ok()) return opened;
  CorpusBuilder builder(corpus, *converter, segmenter, keep, runs);
  for (std::size_t i = 0; i < count; ++i) {
    if (progress && (i + 1) % kLinesBetweenProgress == 0 && progress(i, count)) {
      return ReadingCancelled();
    }
    const std::string where = "text " + std::to_string(i + 1) + ": ";
    if (labels[i] == nullptr || (texts[i] == nullptr && lengths[i] > 0)) {
      return Status(Status::Code::kInvalidArgument, where + "a null label or text");
    }
    const std::string_view name(labels[i]);
    const std::string_view text(texts[i] == nullptr ? "" : texts[i], lengths[i]);
    if (auto bad = FindInvalidUtf8(name)) {
      return Status(Status::Code::kBadEncoding,
                    where + "invalid UTF-8 in the class name at byte " + std::to_string(*bad + 1));
    }
    if (auto bad = FindInvalidUtf8(text)) {
      return Status(Status::Code::kBadEncoding, where + "invalid UTF-8 at byte " + std::to_string(*bad + 1));
    }
    if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
      return Status(Status::Code::kInvalidArgument,
                    where + "a NUL byte at byte " + std::to_string(nul + 1));
    }
    if (std::string fault = builder.Add(name, text, static_cast<int>(i + 1)); !fault.empty()) {
      return Status(Status::Code::kInvalidArgument, where + fault);
    }
  }
  if (corpus->documents.empty()) return Status(Status::Code::kInvalidArgument, "no texts to train on");
  builder.Finish();
  return Status::Ok();
}

void RemoveRepeatedDocuments(Corpus* corpus) {
  auto hashOf = [](const CorpusDocument& document) {
    std::uint64_t hash = 1469598103934665603ull ^ static_cast<std::uint64_t>(document.classIndex);
    for (const WordCount& count : document.counts) {
      hash = (hash ^ count.word) * 1099511628211ull;
      hash = (hash ^ count.count) * 1099511628211ull;
    }
    return hash;
  };
  auto same = [](const CorpusDocument& a, const CorpusDocument& b) {
    return a.classIndex == b.classIndex && a.counts == b.counts;
  };
  std::unordered_multimap<std::uint64_t, std::size_t> seen;
  seen.reserve(corpus->documents.size());
  std::vector<CorpusDocument> kept;
  kept.reserve(corpus->documents.size());
  for (CorpusDocument& document : corpus->documents) {
    const std::uint64_t hash = hashOf(document);
    auto [first, last] = seen.equal_range(hash);
    if (std::any_of(first, last, [&](const auto& entry) { return same(kept[entry.second], document); })) {
      ++corpus->repeatedDocuments;
      continue;
    }
    seen.emplace(hash, kept.size());
    kept.push_back(std::move(document));
  }
  corpus->documents = std::move(kept);
}

void CountWordLists(Corpus* corpus) {
  WordNumbering numbering;
  std::vector<std::uint32_t> numbers;
  for (auto& document : corpus->documents) {
    numbers.clear();
    for (const auto& word : document.words) numbers.push_back(numbering.Number(word));
    document.counts = WordNumbering::Count(&numbers);
  }
  numbering.Finish(corpus);
}

Status ReadSynonyms(const std::string& path, CorpusEncoding encoding, SynonymTable* synonyms) {
  synonyms->clear();
  LineSource lines(path, encoding);
  if (Status opened = lines.Open(); !opened.ok()) return opened;
  std::string line;
  while (lines.Next(&line)) {
    if (line.empty() || line[0] == '#') continue;
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) return lines.Fault("no tab between the variant and the canonical word");
    std::vector<std::string_view> variant = SplitWords(std::string_view(line).substr(0, tab));
    std::vector<std::string_view> canonical = SplitWords(std::string_view(line).substr(tab + 1));
    if (variant.size() != 1 || canonical.size() != 1) {
      return lines.Fault("expected one variant word, a tab and one canonical word");
    }
    std::string variantGbk, canonicalGbk;
    if (lines.converter().AppendGbk(variant[0], &variantGbk) > 0) {
      return lines.Fault("variant \"" + std::string(variant[0]) + "\" holds a character that GBK cannot encode");
    }
    if (variantGbk.size() > kMaxWordBytes) {
      return lines.Fault("variant \"" + std::string(variant[0]) + "\" is longer than " +
                         std::to_string(kMaxWordBytes) + " GBK bytes");
    }
    if (std::string fault =
            ShortNameToGbk(lines.converter(), std::string(canonical[0]), "canonical word", &canonicalGbk);
        !fault.empty()) {
      return lines.Fault(fault);
    }
    if (variantGbk == canonicalGbk) continue;
    if (!synonyms->emplace(variantGbk, canonicalGbk).second) {
      return lines.Fault("variant \"" + std::string(variant[0]) + "\" is listed twice");
    }
  }
  if (!lines.fault().ok()) return lines.fault();
  for (const auto& [variant, canonical] : *synonyms) {
    if (synonyms->count(canonical)) {
      std::string utf8;
      lines.converter().AppendUtf8(canonical, &utf8);
      return Status(Status::Code::kInvalidArgument,
                    path + ": canonical word \"" + utf8 + "\" is itself listed as a variant");
    }
  }
  return Status::Ok();
}

}  // namespace wenlei
