#include "text/content_word.h"

#include "text/character_features.h"

#include <atomic>
#include <bitset>
#include <memory>
#include <string>

#include "text/gbk_converter.h"
#include "text/utf8.h"
#include "util/process_lock.h"

namespace wenlei {
namespace {

// Letters of the scripts a Chinese text borrows from: Latin (with its
// accented and full-width forms), Greek, Cyrillic, kana, bopomofo, hangul.
bool IsLetter(char32_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  if (c >= 0xC0 && c <= 0x24F) return c != 0xD7 && c != 0xF7;  // not × and ÷
  return (c >= 0x370 && c <= 0x3FF && c != 0x37E && c != 0x387) ||  // Greek, not its punctuation
         (c >= 0x400 && c <= 0x4FF) ||                              // Cyrillic
         (c >= 0x3041 && c <= 0x30FA) ||                            // kana
         (c >= 0x3105 && c <= 0x312F) ||                            // bopomofo
         (c >= 0xAC00 && c <= 0xD7A3) ||                            // hangul syllables
         (c >= 0xFF21 && c <= 0xFF3A) || (c >= 0xFF41 && c <= 0xFF5A);  // full-width Latin
}

bool IsAsciiLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// One bit per two-byte GBK code (lead byte << 8 | trail byte): whether the
// character it encodes is a letter or a Chinese character.
using GbkTable = std::bitset<0x10000>;

std::unique_ptr<GbkTable> MakeGbkTable() {
  auto table = std::make_unique<GbkTable>();
  std::unique_ptr<GbkConverter> converter;
  // No GBK here: no two-byte character is content.
  if (!GbkConverter::Open(&converter).ok()) return table;
  std::string utf8;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      const char code[] = {static_cast<char>(lead), static_cast<char>(trail)};
      utf8.clear();
      if (converter->AppendUtf8(std::string_view(code, 2), &utf8)) continue;  // no character
      if (IsContentWord(utf8)) table->set(lead << 8 | trail);
    }
  }
  return table;
}

}  // namespace

bool IsContentWord(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size();) {
    DecodedCharacter character = DecodeCharacter(utf8, i);
    if (IsChineseCharacter(character.codePoint) || IsLetter(character.codePoint)) return true;
    i += character.length;
  }
  return false;
}

namespace {

// Built once, by the first caller, under a lock that fork waits for: a
// function-local static's guard would stay taken in a child forked while
// another thread builds it.
const GbkTable* ContentTable() {
  static std::atomic<const GbkTable*> built{nullptr};
  const GbkTable* table = built.load(std::memory_order_acquire);
  if (table != nullptr) return table;
  ProcessWideLock lock(ProcessLockId::kContentTable);
  table = built.load(std::memory_order_relaxed);
  if (table == nullptr) {
    table = MakeGbkTable().release();  // kept for the life of the process
    built.store(table, std::memory_order_release);
  }
  return table;
}

}  // namespace

bool IsGbkContentWord(std::string_view gbk) {
  // A run of characters is read like a word of them.
  if (!gbk.empty() && gbk[0] == kCharacterMark) gbk.remove_prefix(1);
  const GbkTable* table = ContentTable();
  for (std::size_t i = 0; i < gbk.size();) {
    const auto lead = static_cast<unsigned char>(gbk[i]);
    if (lead < 0x80) {
      if (IsAsciiLetter(lead)) return true;
      ++i;
      continue;
    }
    if (i + 1 == gbk.size()) break;
    const auto trail = static_cast<unsigned char>(gbk[i + 1]);
    if (table->test(lead << 8 | trail)) return true;
    i += 2;
  }
  return false;
}

}  // namespace wenlei
