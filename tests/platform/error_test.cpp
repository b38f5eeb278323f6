// Texts quoted in error descriptions stay short.
#include "platform/error.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrolin {
namespace {

struct AbridgedCase {
  std::string text;
  std::size_t limit;
  std::string expected;
};

class AbridgedTest : public ::testing::TestWithParam<AbridgedCase> {};

TEST_P(AbridgedTest, CutsLongTextsAndNotesTheirLength) {
  EXPECT_EQ(Abridged(GetParam().text, GetParam().limit), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AbridgedTest,
    ::testing::Values(AbridgedCase{"", 3, ""}, AbridgedCase{"abc", 3, "abc"},
                      AbridgedCase{"abcd", 3, "abc\xE2\x80\xA6 (4 characters)"},
                      AbridgedCase{std::string(1000000, 'x'), 2,
                                   "xx\xE2\x80\xA6 (1,000,000 characters)"},
                      // Cut before a character of several bytes, never inside
                      // it; the length counts characters, not bytes.
                      AbridgedCase{"a\xC3\xA9\xC3\xA9", 2,
                                   "a\xE2\x80\xA6 (3 characters)"},
                      AbridgedCase{"a\xC3\xA9\xC3\xA9", 3,
                                   "a\xC3\xA9\xE2\x80\xA6 (3 characters)"}));

TEST(AbridgedTest, DefaultLimitKeepsQuotedTextsToAFewHundredBytes) {
  const std::string quoted = Abridged(std::string(100000000, 'p'));
  EXPECT_LT(quoted.size(), 400u);
  EXPECT_NE(quoted.find("(100,000,000 characters)"), std::string::npos);
}

}  // namespace
}  // namespace tavrolin
