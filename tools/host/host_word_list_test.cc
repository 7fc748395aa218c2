#include "tools/host/host_word_list.h"

#include <gtest/gtest.h>

#include "classify/word_list.h"
#include "tools/host/library_session.h"

namespace wenlei {
namespace {

TEST(HostWordListTest, LaysWordsOutAsTheLibraryReadsThem) {
  const std::vector<std::string> words = {"a", std::string(15, 'b'), std::string(16, 'c'),
                                          std::string(40, 'd'), "\xCA\xFD\xBE\xDD"};
  HostWordList list(words);
  ASSERT_EQ(list.size(), words.size());
  const WordEntry* entries = list.list()->first;
  EXPECT_EQ(entries[0].capacity, 15u);
  EXPECT_EQ(entries[1].capacity, 15u);
  EXPECT_GE(entries[2].capacity, 16u);
  EXPECT_GE(entries[3].capacity, 40u);
  EXPECT_EQ(entries[3].length, 40u);

  // The library's own reader sees the same words.
  WordListView view(*list.list());
  ASSERT_EQ(view.size(), words.size());
  for (std::size_t i = 0; i < words.size(); ++i) EXPECT_EQ(view[i], words[i]) << i;
}

TEST(HostWordListTest, AnEmptyListHasNoFirstEntry) {
  HostWordList list({});
  EXPECT_EQ(list.list()->first, nullptr);
  EXPECT_EQ(WordListView(*list.list()).size(), 0u);
}

TEST(AnswerNamesTest, SplitsTwoNamesAndGivesNoneForTheShortTextAnswer) {
  EXPECT_EQ(AnswerNames("\xCC\xE5\xD3\xFD"), (std::vector<std::string>{"\xCC\xE5\xD3\xFD"}));
  EXPECT_EQ(AnswerNames("abc or de"), (std::vector<std::string>{"abc", "de"}));
  EXPECT_TRUE(AnswerNames(std::string(ShortTextMessage())).empty());
}

}  // namespace
}  // namespace wenlei
