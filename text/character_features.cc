#include "text/character_features.h"

#include <charconv>

namespace wenlei {
namespace {

constexpr std::string_view kWordsName = "words";
constexpr std::string_view kCharactersName = "chars";

// White space is no character of a document: segmenters keep it or drop it
// as they please.
bool IsBlank(std::string_view character) {
  if (character.size() == 1) {
    const char c = character[0];
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
  }
  return character == "\xA1\xA1";  // the ideographic space
}

bool ParseRange(std::string_view text, int* smallest, int* largest) {
  const std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return false;
  const auto first = std::from_chars(text.data(), text.data() + dash, *smallest);
  const auto second = std::from_chars(text.data() + dash + 1, text.data() + text.size(), *largest);
  return first.ec == std::errc() && first.ptr == text.data() + dash && second.ec == std::errc() &&
         second.ptr == text.data() + text.size() && *smallest >= 1 && *smallest <= *largest &&
         *largest <= kLongestCharacterRun;
}

}  // namespace

std::optional<FeatureSet> ParseFeatureSet(std::string_view text) {
  FeatureSet features;
  if (text == kWordsName) return features;
  features.words = text.substr(0, kWordsName.size() + 1) == "words+";
  if (features.words) text.remove_prefix(kWordsName.size() + 1);
  if (text.substr(0, kCharactersName.size()) != kCharactersName) return std::nullopt;
  text.remove_prefix(kCharactersName.size());
  if (!ParseRange(text, &features.smallest, &features.largest)) return std::nullopt;
  return features;
}

std::string FeatureSetName(const FeatureSet& features) {
  if (!features.characters()) return std::string(kWordsName);
  std::string name = features.words ? "words+" : "";
  return name + std::string(kCharactersName) + std::to_string(features.smallest) + "-" +
         std::to_string(features.largest);
}

std::string FeatureSetRecord(const FeatureSet& features) {
  return std::string(2, kCharacterMark) + FeatureSetName(features);
}

FeatureSet FeatureSetOfRecord(std::string_view lastWord) {
  if (lastWord.size() < 2 || lastWord[0] != kCharacterMark || lastWord[1] != kCharacterMark) {
    return FeatureSet();
  }
  const std::optional<FeatureSet> named = ParseFeatureSet(lastWord.substr(2));
  return named && named->characters() ? *named : FeatureSet();
}

void FormCharacterRuns(const std::vector<std::string_view>& words, const FeatureSet& features,
                       CharacterRuns* runs) {
  runs->bytes.clear();
  runs->runs.clear();
  if (!features.characters()) return;
  // The characters in order, as views into the words: a lead byte and its
  // trail byte, or one byte.
  std::vector<std::string_view> characters;
  for (std::string_view word : words) {
    if (!word.empty() && word[0] == kCharacterMark) continue;
    for (std::size_t i = 0; i < word.size();) {
      const std::size_t length =
          static_cast<unsigned char>(word[i]) >= 0x81 && i + 1 < word.size() ? 2 : 1;
      const std::string_view character = word.substr(i, length);
      if (!IsBlank(character)) characters.push_back(character);
      i += length;
    }
  }
  // Sized first, so that the views made after stay valid.
  std::size_t bytes = 0, count = 0;
  for (int n = features.smallest; n <= features.largest; ++n) {
    const std::size_t length = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i + length <= characters.size(); ++i, ++count) {
      bytes += 1;
      for (std::size_t k = 0; k < length; ++k) bytes += characters[i + k].size();
    }
  }
  runs->bytes.reserve(bytes);
  std::vector<std::size_t> ends;
  ends.reserve(count);
  for (int n = features.smallest; n <= features.largest; ++n) {
    const std::size_t length = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i + length <= characters.size(); ++i) {
      runs->bytes.push_back(kCharacterMark);
      for (std::size_t k = 0; k < length; ++k) runs->bytes.append(characters[i + k]);
      ends.push_back(runs->bytes.size());
    }
  }
  runs->runs.reserve(count);
  std::size_t start = 0;
  for (std::size_t end : ends) {
    runs->runs.emplace_back(runs->bytes.data() + start, end - start);
    start = end;
  }
}

bool FeatureSetReads(const FeatureSet& features, std::string_view feature) {
  const std::optional<std::string_view> run = CharacterRunOf(feature);
  if (!run) return features.words;
  int characters = 0;
  for (std::size_t i = 0; i < run->size(); ++characters) {
    i += static_cast<unsigned char>((*run)[i]) >= 0x81 && i + 1 < run->size() ? 2 : 1;
  }
  return characters >= features.smallest && characters <= features.largest;
}

std::optional<std::string_view> CharacterRunOf(std::string_view feature) {
  if (feature.size() < 2 || feature[0] != kCharacterMark || feature[1] == kCharacterMark) {
    return std::nullopt;
  }
  return feature.substr(1);
}

}  // namespace wenlei
