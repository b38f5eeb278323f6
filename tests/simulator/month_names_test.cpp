// Finding the month of a time text among several spellings, and the time
// texts that hold them.
#include "simulator/core/month_names.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "simulator/core/sim_time.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

// Folds ASCII letters and the two-byte characters "\xC4" / "\xE4" (a
// stand-in for an 8-bit code page's capital and small letter); rejects the
// byte 0xFF as not of the character set.
std::optional<std::wstring> TestFold(std::string_view text) {
  std::wstring folded;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == 0xFF) return std::nullopt;
    wchar_t wide = byte;
    if (byte >= 'A' && byte <= 'Z') wide = byte - 'A' + 'a';
    if (byte == 0xC4) wide = 0xE4;
    folded.push_back(wide);
  }
  return folded;
}

// German-like names with a name shared by two months and a name that holds
// a hyphen.
MonthSpelling Local() {
  return MonthSpelling({"Jan", "Feb", "M\xE4r", "Apr", "Mai", "Jun", "Jul",
                        "Aug", "Dup", "Okt", "x-y", "Dup"},
                       TestFold);
}

TEST(MonthNamesTest, FindsTheMonthInTheFirstSpellingThatHasIt) {
  const std::vector<MonthSpelling> spellings = {
      Local(),
      MonthSpelling({"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug",
                     "Sep", "Oct", "Dup", "Dup"},
                    TestFold),
      EnglishMonths()};
  struct Case {
    const char* text;
    std::optional<int> month;
  };
  const Case cases[] = {
      {"M\xE4r", 3},
      {"M\xC4R", 3},  // folded by the spelling's own rules
      {"mai", 5},
      {"Okt", 10},
      {"Oct", 10},
      {"DEC", 12},  // English always
      {"x-y", 11},
      {"X-Y", 11},
      {"Dup", std::nullopt},  // shared by two months: never a guess
      {"Mar", 3},
      {"M\xFFr", std::nullopt},
      {"", std::nullopt},
      {"Ma", std::nullopt},
      {"Marc", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindMonth(c.text, spellings), c.month) << c.text;
  }
}

TEST(MonthNamesTest, AnExactNameOutranksAFoldedOneOfAnEarlierSpelling) {
  const std::vector<MonthSpelling> spellings = {
      MonthSpelling(
          {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "MAR"},
          TestFold),
      EnglishMonths()};
  EXPECT_EQ(FindMonth("Mar", spellings), 3);
  EXPECT_EQ(FindMonth("MAR", spellings), 12);
}

TEST(MonthNamesTest, TimeTextsTakeTheMonthsOfTheSpellings) {
  testing::SetTimeZone("UTC0");
  const std::vector<MonthSpelling> spellings = {Local(), EnglishMonths()};
  constexpr Seconds k07Mar26 = 1772841600;  // 2026-03-07 00:00:00 UTC
  const Seconds at = k07Mar26 + 13 * 3600 + 25 * 60 + 20;
  EXPECT_EQ(ParseTimeText("07-M\xE4r-26 13:25:20", 0, spellings), at);
  EXPECT_EQ(ParseTimeText(" 7-m\xC4r-2026 13:25:20 ", 0, spellings), at);
  EXPECT_EQ(ParseTimeText("07-Mar-26 13:25:20", 0, spellings), at);
  EXPECT_EQ(ParseTimeText("07-Nov-26", 0, spellings),
            ParseTimeText("07-x-y-26", 0, spellings));
  EXPECT_EQ(ParseTimeText("07-M\xE4r-26 13:25:20", 0), std::nullopt);
  EXPECT_EQ(ParseTimeText("07-Dup-26", 0, spellings), std::nullopt);
  EXPECT_EQ(ParseTimeText("07-M\xE4r-26-13:25:20", 0, spellings), std::nullopt);
  EXPECT_EQ(ParseTimeText("07--26", 0, spellings), std::nullopt);
}

}  // namespace
}  // namespace tavrolin::simulator
