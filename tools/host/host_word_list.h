#ifndef WENLEI_TOOLS_HOST_HOST_WORD_LIST_H_
#define WENLEI_TOOLS_HOST_HOST_WORD_LIST_H_

#include <string>
#include <vector>

#include "wenlei/exports.h"

namespace wenlei {

// A segmented document laid out in the records Classification reads
// (interface/exports.h): one WordEntry per word, in text order, the bytes of
// a word shorter than 16 bytes inline with capacity 15, a longer word's bytes
// at an address with its capacity, just as a host's own string objects hold
// them.
class HostWordList {
 public:
  explicit HostWordList(std::vector<std::string> gbkWords);
  HostWordList(const HostWordList&) = delete;
  HostWordList& operator=(const HostWordList&) = delete;

  // Valid as long as this object lives.
  const WordList* list() const { return &list_; }
  std::size_t size() const { return entries_.size(); }

 private:
  std::vector<std::string> words_;  // never changed after construction: entries point into it
  std::vector<WordEntry> entries_;
  WordList list_;
};

}  // namespace wenlei

#endif  // WENLEI_TOOLS_HOST_HOST_WORD_LIST_H_
