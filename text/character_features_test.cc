#include "text/character_features.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wenlei {
namespace {

std::vector<std::string> Runs(const std::vector<std::string_view>& words, const char* set) {
  CharacterRuns runs;
  FormCharacterRuns(words, *ParseFeatureSet(set), &runs);
  return std::vector<std::string>(runs.runs.begin(), runs.runs.end());
}

TEST(CharacterFeaturesTest, NamesRoundTripAndBadOnesAreRefused) {
  for (const char* name : {"words", "chars1-1", "chars1-2", "chars2-3", "words+chars1-3"}) {
    const std::optional<FeatureSet> set = ParseFeatureSet(name);
    ASSERT_TRUE(set) << name;
    EXPECT_EQ(FeatureSetName(*set), name);
    EXPECT_EQ(FeatureSetOfRecord(FeatureSetRecord(*set)), std::string(name) == "words" ? FeatureSet() : *set);
  }
  for (const char* bad : {"", "word", "chars", "chars0-2", "chars2-1", "chars1-4", "words+", "chars+words1-2",
                          "words+chars1-2x", "chars1"}) {
    EXPECT_FALSE(ParseFeatureSet(bad)) << bad;
  }
  // A vocabulary's last word that is an ordinary word or a run says: words.
  EXPECT_EQ(FeatureSetOfRecord("\xC4\xE3"), FeatureSet());
  EXPECT_EQ(FeatureSetOfRecord("\xFF\xC4\xE3"), FeatureSet());
}

// The runs follow the characters, not the words: any cut of the same text,
// with or without its white space, gives the same runs.
TEST(CharacterFeaturesTest, RunsDoNotDependOnHowTheTextWasCut) {
  // 数据 透视 表 with an ASCII word and spaces between.
  const std::vector<std::string_view> oneCut = {"\xCA\xFD\xBE\xDD", "\xCD\xB8\xCA\xD3", " ", "\xB1\xED", "Ab"};
  const std::vector<std::string_view> otherCut = {"\xCA\xFD", "\xBE\xDD\xCD\xB8", "\xCA\xD3\xB1\xED", "\xA1\xA1" "A",
                                                  "b"};
  EXPECT_EQ(Runs(oneCut, "chars1-3"), Runs(otherCut, "chars1-3"));
  const std::vector<std::string> runs = Runs(oneCut, "chars2-2");
  ASSERT_EQ(runs.size(), 6u);  // 7 characters: 数 据 透 视 表 A b
  EXPECT_EQ(runs.front(), "\xFF\xCA\xFD\xBE\xDD");
  EXPECT_EQ(runs[4], "\xFF\xB1\xED" "A");
  EXPECT_EQ(Runs(oneCut, "chars1-3").size(), 7u + 6u + 5u);
  EXPECT_TRUE(Runs(oneCut, "words").empty());
  // A host's word that starts with the mark is neither a word nor characters.
  EXPECT_EQ(Runs({"\xFF\xCA\xFD", "\xBE\xDD"}, "chars1-1"), std::vector<std::string>{"\xFF\xBE\xDD"});
  EXPECT_FALSE(ReadsAsWord(*ParseFeatureSet("words+chars1-2"), "\xFF\xCA\xFD"));
  EXPECT_TRUE(ReadsAsWord(FeatureSet(), "\xFF\xCA\xFD"));
}

TEST(CharacterFeaturesTest, ASetReadsItsOwnKindsOnly) {
  const struct {
    const char* set;
    const char* feature;
    bool read;
  } cases[] = {
      {"words", "\xCA\xFD\xBE\xDD", true},        {"words", "\xFF\xCA\xFD", false},
      {"chars1-2", "\xCA\xFD\xBE\xDD", false},    {"chars1-2", "\xFF\xCA\xFD\xBE\xDD", true},
      {"chars2-3", "\xFF\xCA\xFD", false},        {"words+chars1-2", "\xFF\xCA\xFD\xBE\xDD\xCD\xB8", false},
      {"words+chars1-3", "\xFF\xCA\xFD" "ab", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FeatureSetReads(*ParseFeatureSet(c.set), c.feature), c.read) << c.set << " " << c.feature;
  }
}

}  // namespace
}  // namespace wenlei
