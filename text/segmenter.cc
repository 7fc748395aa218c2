#include "text/segmenter.h"

#include "text/utf8.h"

namespace wenlei {

void Segmenter::Cut(std::string_view text, std::vector<std::string_view>* words) const {
  std::vector<std::size_t> unitStarts;
  bool inLetterRun = false;
  std::size_t offset = 0;
  auto flush = [&](std::size_t end) {
    if (unitStarts.empty()) return;
    unitStarts.push_back(end);
    CutStretch(text, unitStarts, words);
    unitStarts.clear();
  };
  while (offset < text.size()) {
    DecodedCharacter character = DecodeCharacter(text, offset);
    if (character.valid && IsWordSeparator(character.codePoint)) {
      flush(offset);
      inLetterRun = false;
    } else if (character.valid && IsAsciiLetterOrDigit(character.codePoint)) {
      if (!inLetterRun) unitStarts.push_back(offset);
      inLetterRun = true;
    } else {
      unitStarts.push_back(offset);
      inLetterRun = false;
    }
    offset += character.length;
  }
  flush(offset);
}

std::vector<std::string> Segmenter::Cut(std::string_view text) const {
  std::vector<std::string_view> views;
  Cut(text, &views);
  return std::vector<std::string>(views.begin(), views.end());
}

void Segmenter::CutStretch(std::string_view text, const std::vector<std::size_t>& unitStarts,
                           std::vector<std::string_view>* words) const {
  const std::size_t units = unitStarts.size() - 1;
  auto span = [&](std::size_t from, std::size_t to) {
    return text.substr(unitStarts[from], unitStarts[to] - unitStarts[from]);
  };

  // bestScore[i]: the greatest log probability of the units from i to the
  // end; wordEnd[i]: where the first word of that route ends.  Filled from the
  // end so that each start sees the best routes after every word it may take.
  std::vector<double> bestScore(units + 1, 0.0);
  std::vector<std::size_t> wordEnd(units + 1, units);
  for (std::size_t start = units; start-- > 0;) {
    bool first = true;
    for (std::size_t end = start + 1; end <= units; ++end) {
      const Dictionary::Entry* entry = dictionary_.Find(span(start, end));
      // A single unit is always a possible word, known or not.
      if (entry == nullptr && end > start + 1) break;
      if (end > start + 1 && !entry->isWord) continue;
      double wordScore = entry != nullptr && entry->isWord ? entry->logProbability
                                                           : dictionary_.unknownLogProbability();
      double score = wordScore + bestScore[end];
      // Ties go to the longer word, as in jieba.
      if (first || score >= bestScore[start]) {
        bestScore[start] = score;
        wordEnd[start] = end;
        first = false;
      }
      if (entry == nullptr) break;
    }
  }
  for (std::size_t start = 0; start < units; start = wordEnd[start]) {
    words->push_back(span(start, wordEnd[start]));
  }
}

void SplitAtSeparators(std::string_view text, std::vector<std::string_view>* words) {
  std::size_t wordStart = 0;
  std::size_t offset = 0;
  while (offset < text.size()) {
    DecodedCharacter character = DecodeCharacter(text, offset);
    if (character.valid && IsWordSeparator(character.codePoint)) {
      if (offset > wordStart) words->push_back(text.substr(wordStart, offset - wordStart));
      wordStart = offset + character.length;
    }
    offset += character.length;
  }
  if (offset > wordStart) words->push_back(text.substr(wordStart, offset - wordStart));
}

}  // namespace wenlei
