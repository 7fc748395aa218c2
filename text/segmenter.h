#ifndef WENLEI_TEXT_SEGMENTER_H_
#define WENLEI_TEXT_SEGMENTER_H_

#include <string>
#include <string_view>
#include <vector>

#include "text/dictionary.h"

namespace wenlei {

// Splits UTF-8 text into words the way jieba does without its hidden Markov
// model: over each stretch of text between separators (white space), every
// dictionary word that could start at each character forms a directed
// acyclic graph, and the route through it with the greatest product of word
// probabilities wins.  A run of ASCII letters and digits counts as one
// character, so it becomes one word unless a dictionary word covers it
// exactly ("AT&T", "T恤"); any character the dictionary does not know becomes
// a word of its own.  Separators never appear in a word.
//
// Training and classification segment with this same class, so that the
// words of a document match the vocabulary the model was trained on.
class Segmenter {
 public:
  explicit Segmenter(const Dictionary& dictionary) : dictionary_(dictionary) {}

  // Appends the words of text, in order, as views into text.  Text should be
  // well-formed UTF-8; a malformed byte becomes a one-byte word.
  void Cut(std::string_view text, std::vector<std::string_view>* words) const;

  std::vector<std::string> Cut(std::string_view text) const;

 private:
  // Appends the words of one stretch without separators, whose units start
  // at the given byte offsets (with the stretch's end as the last offset).
  void CutStretch(std::string_view text, const std::vector<std::size_t>& unitStarts,
                  std::vector<std::string_view>* words) const;

  const Dictionary& dictionary_;
};

// Appends the words of text that is already segmented: the stretches between
// separators (the same white space the segmenter splits at).
void SplitAtSeparators(std::string_view text, std::vector<std::string_view>* words);

}  // namespace wenlei

#endif  // WENLEI_TEXT_SEGMENTER_H_
