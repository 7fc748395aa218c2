#ifndef WENLEI_TEXT_CHARACTER_FEATURES_H_
#define WENLEI_TEXT_CHARACTER_FEATURES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wenlei {

// What a resource set reads of a document: its words, runs of n of its
// characters (n from smallest to largest), or both.
//
// A run of characters is a feature of its own, written as its GBK bytes
// behind kCharacterMark, a byte that no GBK text holds, so that it is never
// taken for a word.  The characters of a document are those of its words
// in order, white space left out, so a text gives the same runs whatever
// cut it into words.
struct FeatureSet {
  bool words = true;
  int smallest = 0;  // characters per run; 0: no runs
  int largest = 0;

  bool characters() const { return largest > 0; }
  bool operator==(const FeatureSet& other) const {
    return words == other.words && smallest == other.smallest && largest == other.largest;
  }
};

inline constexpr char kCharacterMark = '\xFF';
// The most characters per run: a run of 3 two-byte characters and its mark
// fill 7 of the resource file's 29 bytes of a word.
inline constexpr int kLongestCharacterRun = 3;

// "words", "chars1-2", "words+chars1-3"; nullopt for anything else.
std::optional<FeatureSet> ParseFeatureSet(std::string_view text);
std::string FeatureSetName(const FeatureSet& features);

// The vocabulary record that marks a set reading runs of characters:
// kCharacterMark twice and the set's name.  It sorts after every feature
// and no document forms it.
std::string FeatureSetRecord(const FeatureSet& features);
// The feature set a vocabulary's last word names; words alone when it is
// no such record.
FeatureSet FeatureSetOfRecord(std::string_view lastWord);

// Whether a word of a host is one the set reads as a word: a set of
// characters leaves out words that start with kCharacterMark, which no GBK
// text does.
inline bool ReadsAsWord(const FeatureSet& features, std::string_view word) {
  return features.words && (!features.characters() || word.empty() || word[0] != kCharacterMark);
}

// Whether a set reads a feature a corpus holds: a word, or a run of
// characters of a length in its range.
bool FeatureSetReads(const FeatureSet& features, std::string_view feature);

// The runs of characters of a document, each behind kCharacterMark: one
// text holds them all back to back (a run a string would cost several
// times its bytes), and views of it name them.
struct CharacterRuns {
  std::string bytes;
  std::vector<std::string_view> runs;
};

// Replaces *runs with the runs of characters of a document whose GBK words
// are given in order, for n from features.smallest to features.largest.
void FormCharacterRuns(const std::vector<std::string_view>& words, const FeatureSet& features,
                       CharacterRuns* runs);

// The run of characters a feature stands for (without its mark), or
// nullopt for a word.
std::optional<std::string_view> CharacterRunOf(std::string_view feature);

}  // namespace wenlei

#endif  // WENLEI_TEXT_CHARACTER_FEATURES_H_
