#ifndef WENLEI_TRAIN_STOP_WORDS_H_
#define WENLEI_TRAIN_STOP_WORDS_H_

#include <string>
#include <string_view>
#include <unordered_set>

#include "text/content_word.h"
#include "train/corpus.h"
#include "util/status.h"

namespace wenlei {

// The words the trainer leaves out of the vocabulary.  A stop-word file is
// UTF-8 (or GBK), one entry a line; '#' starts a comment line, blank lines
// are skipped.  An entry is a word, or the directive "@non-content", which
// stops every word without a letter or a Chinese character (IsContentWord).
class StopWords {
 public:
  // Adds the entries of a file to the list; one line for a file that cannot
  // be opened (kNotFound) or an entry that is not one word (kInvalidArgument).
  Status Read(const std::string& path, CorpusEncoding encoding);

  void Add(const std::string& gbkWord) { words_.insert(gbkWord); }
  void SetStopNonContent(bool stop) { stopNonContent_ = stop; }

  // Whether a GBK word (as the corpus holds it) is left out.
  bool Stops(const std::string& gbkWord) const;

  bool empty() const { return words_.empty() && !stopNonContent_; }
  bool stopsNonContent() const { return stopNonContent_; }
  std::size_t size() const { return words_.size(); }

 private:
  std::unordered_set<std::string> words_;
  bool stopNonContent_ = false;
};

}  // namespace wenlei

#endif  // WENLEI_TRAIN_STOP_WORDS_H_
