#include "text/gbk_converter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include "text/utf8.h"
#include "util/process_lock.h"

namespace wenlei {
namespace {

struct GbkSingleByte {
  unsigned char byte;
  std::uint16_t codePoint;
};
struct GbkEncodingException {
  char32_t codePoint;
  std::uint16_t gbk;  // 0: refused
};
struct GbkIgnoredRange {
  char32_t first, last;
};

#include "text/gbk_table.inc"

constexpr unsigned kFirstLead = 0x81, kLastLead = 0xFE, kFirstTrail = 0x40, kLastTrail = 0xFE;
constexpr unsigned kTrails = kLastTrail - kFirstTrail + 1;

// The code point of the two-byte character lead, trail; 0 for none.
char32_t PairCodePoint(unsigned lead, unsigned trail) {
  if (lead < kFirstLead || lead > kLastLead || trail < kFirstTrail || trail > kLastTrail) return 0;
  return kGbkPairs[(lead - kFirstLead) * kTrails + (trail - kFirstTrail)];
}

// The code point of a byte from 0x80 up that is a character alone; 0 for none.
char32_t SingleCodePoint(unsigned byte) {
  for (const GbkSingleByte& single : kGbkSingleBytes) {
    if (single.byte == byte) return single.codePoint;
  }
  return 0;
}

// The GBK form of every code point of the basic plane: the byte (below
// 0x100) or the pair (lead << 8 | trail) that reads as it, 0 for none.
// U+0000 is written as the byte 0, which needs no entry.
using EncodingTable = std::uint16_t[0x10000];

const EncodingTable& BuildEncodingTable() {
  auto* table = new std::uint16_t[0x10000]();  // kept for the life of the process
  for (unsigned byte = 1; byte < 0x80; ++byte) table[byte] = static_cast<std::uint16_t>(byte);
  // The first byte or pair that reads as a code point is its form, as iconv
  // writes it; the generator lists where it writes otherwise.
  for (const GbkSingleByte& single : kGbkSingleBytes) {
    if (table[single.codePoint] == 0) table[single.codePoint] = single.byte;
  }
  for (unsigned lead = kFirstLead; lead <= kLastLead; ++lead) {
    for (unsigned trail = kFirstTrail; trail <= kLastTrail; ++trail) {
      const char32_t c = PairCodePoint(lead, trail);
      if (c != 0 && table[c] == 0) table[c] = static_cast<std::uint16_t>(lead << 8 | trail);
    }
  }
  for (const GbkEncodingException& exception : kGbkEncodingExceptions) {
    if (exception.codePoint <= 0xFFFF) table[exception.codePoint] = exception.gbk;
  }
  return *reinterpret_cast<const EncodingTable*>(table);
}

// Built once, by the first caller, under a lock that fork waits for (a
// function-local static's guard would stay taken in a child forked while
// another thread builds it).
const EncodingTable& Encoding() {
  static std::atomic<const EncodingTable*> built{nullptr};
  const EncodingTable* table = built.load(std::memory_order_acquire);
  if (table != nullptr) return *table;
  ProcessWideLock lock(ProcessLockId::kGbkTable);
  table = built.load(std::memory_order_relaxed);
  if (table == nullptr) {
    table = &BuildEncodingTable();
    built.store(table, std::memory_order_release);
  }
  return *table;
}

bool Ignored(char32_t c) {
  return std::any_of(std::begin(kGbkIgnoredRanges), std::end(kGbkIgnoredRanges),
                     [c](const GbkIgnoredRange& range) { return c >= range.first && c <= range.last; });
}

// Whether the malformed sequence at text[at] runs to the end of text as
// continuation bytes of a form iconv still waits to complete (it counts the
// long forms of old UTF-8, with leads up to 0xFD): iconv then leaves out the
// whole rest as one character.
bool CutShortAtEnd(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t needed = lead >= 0xFC && lead <= 0xFD ? 5
                           : lead >= 0xF8 && lead <= 0xFB ? 4
                           : lead >= 0xF0 && lead <= 0xF7 ? 3
                           : lead >= 0xE0 && lead <= 0xEF ? 2
                           : lead >= 0xC2 && lead <= 0xDF ? 1 : 0;
  if (needed == 0 || text.size() - at - 1 >= needed) return false;
  for (std::size_t i = at + 1; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return false;
  }
  return true;
}

void AppendCodePoint(char32_t c, std::string* utf8) {
  if (c < 0x80) {
    utf8->push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    utf8->push_back(static_cast<char>(0xC0 | (c >> 6)));
    utf8->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {  // GBK reads as the basic plane only
    utf8->push_back(static_cast<char>(0xE0 | (c >> 12)));
    utf8->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    utf8->push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

Status GbkConverter::Open(std::unique_ptr<GbkConverter>* converter) {
  converter->reset(new GbkConverter);
  return Status::Ok();
}

std::size_t GbkConverter::AppendGbk(std::string_view utf8, std::string* gbk) const {
  const EncodingTable& encoding = Encoding();
  std::size_t dropped = 0;
  for (std::size_t at = 0; at < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[at]);
    if (byte < 0x80) {
      gbk->push_back(static_cast<char>(byte));
      ++at;
      continue;
    }
    const DecodedCharacter character = DecodeCharacter(utf8, at);
    if (!character.valid && CutShortAtEnd(utf8, at)) return dropped + 1;
    at += character.length;
    const std::uint16_t code =
        character.valid && character.codePoint <= 0xFFFF ? encoding[character.codePoint] : 0;
    if (code >= 0x100) {
      gbk->push_back(static_cast<char>(code >> 8));
      gbk->push_back(static_cast<char>(code & 0xFF));
    } else if (code != 0) {
      gbk->push_back(static_cast<char>(code));
    } else if (!character.valid || !Ignored(character.codePoint)) {
      ++dropped;
    }
  }
  return dropped;
}

std::optional<std::size_t> GbkConverter::AppendUtf8(std::string_view gbk, std::string* utf8) const {
  std::optional<std::size_t> firstInvalid;
  for (std::size_t at = 0; at < gbk.size();) {
    const auto lead = static_cast<unsigned char>(gbk[at]);
    if (lead < 0x80) {
      utf8->push_back(static_cast<char>(lead));
      ++at;
      continue;
    }
    char32_t c = SingleCodePoint(lead);
    std::size_t length = 1;
    if (c == 0 && at + 1 < gbk.size()) {
      c = PairCodePoint(lead, static_cast<unsigned char>(gbk[at + 1]));
      length = 2;
    }
    if (c == 0) {
      // As iconv: the byte is replaced and the next one read afresh.
      if (!firstInvalid) firstInvalid = at;
      utf8->append("\xEF\xBF\xBD");
      ++at;
      continue;
    }
    AppendCodePoint(c, utf8);
    at += length;
  }
  return firstInvalid;
}

}  // namespace wenlei
