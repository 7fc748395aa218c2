#include "source/class_names.h"

#include <gtest/gtest.h>

namespace wenlei {
namespace {

TEST(ShortClassNamesTest, LongNamesGetUniqueShortFormsOnCharacterBoundaries) {
  struct Case {
    std::vector<std::string> names;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{"Arts", "01 Music"}, {"Arts", "01 Music"}},
      {{"technology", "technologies", "technolog"}, {"technol~1", "technol~2", "technolog"}},
      {{"science and art", "sport"}, {"science_a", "sport"}},
      {{"very long name 1", "very long name 2"}, {"very_long", "very_lo~1"}},
      // 科学技术研究 in GBK: two bytes a character, so 8 of the 9 bytes.
      {{"\xBF\xC6\xD1\xA7\xBC\xBC\xCA\xF5\xD1\xD0\xBE\xBF", "\xBF\xC6\xD1\xA7\xBC\xBC\xCA\xF5\xB9\xA4"},
       {"\xBF\xC6\xD1\xA7\xBC\xBC\xCA\xF5", "\xBF\xC6\xD1\xA7\xBC\xBC~1"}},
      {{"NULL and more"}, {"NULL_and_"}},
      {{"NULLIFIERS"}, {"NULLIFIER"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ShortClassNames(c.names), c.expected) << c.names[0];
  }
}

}  // namespace
}  // namespace wenlei
