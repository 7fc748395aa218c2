#include "text/gbk_form.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace wenlei {
namespace {

TEST(GbkFormTest, FindsTheFirstByteOutOfForm) {
  const struct {
    std::string text;
    std::optional<std::size_t> bad;
  } cases[] = {
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"\xCA\xFD\xBE\xDD", std::nullopt},       // two characters
      {"a\x81\x40z", std::nullopt},             // the lowest trail byte
      {"\xCA", 0},                              // a lead byte at the end
      {"ab\xCA\x7F", 2},                        // 0x7F is no trail byte
      {"\x80", std::nullopt},                   // the euro sign stands alone
      {"\xCA\xFD\x80\x80z", std::nullopt},
      {"\xFF\x40", 0},
      {"\xCA\xFD\x81\x20", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(FindMalformedGbk(c.text), c.bad) << c.text;
}

}  // namespace
}  // namespace wenlei
