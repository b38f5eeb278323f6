// The month abbreviations of the C library's locales in time texts: what the
// program's readers write under each locale, what strftime writes in a
// process that has set its locale, and the letter case of either.
#include "simulator/locale_months.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <ctime>
#include <optional>
#include <string>

#include "historian/time_text.h"
#include "platform/posix/locale_settings.h"
#include "simulator/core/sim_time.h"
#include "simulator/posix/locale_months.h"
#include "tests/support/locales.h"
#include "tests/support/settings.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

using tavrolin::testing::FormatParserTime;

using tavrolin::testing::HasLocale;
using tavrolin::testing::kLocaleSetUp;
using testing::SetEnv;

constexpr const char* kLocales[] = {
    "de_DE.UTF-8", "fr_FR.UTF-8",      "ja_JP.UTF-8",
    "ru_RU.UTF-8", "fr_FR.ISO-8859-1", "ja_JP.EUC-JP",
};

std::optional<Seconds> Parse(const std::string& text) {
  return ParseTimeText(text, 0, *CurrentMonthSpellings());
}

class LocaleMonthsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::SetTimeZone("UTC0");
    ClearLocaleVariables();
  }
  void TearDown() override {
    ClearLocaleVariables();
    setlocale(LC_TIME, "C");
  }
  static void ClearLocaleVariables() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
      SetEnv(variable, nullptr);
    }
  }
};

TEST_F(LocaleMonthsTest, ReadsWhatTheReadersWriteUnderEachLocale) {
  for (const char* name : kLocales) {
    ASSERT_TRUE(HasLocale(name)) << name << " " << kLocaleSetUp;
    SetEnv("LC_ALL", name);
    const DateSettings settings = tavrolin::posix::ReadDateSettings();
    bool beyond_english = false;
    for (int month = 1; month <= 12; ++month) {
      const LocalDateTime when{2026, month, 7, 13, 25, 20};
      const std::string text = FormatParserTime(when, settings);
      EXPECT_EQ(Parse(text), LocalToSeconds(2026, month, 7, 13, 25, 20))
          << name << ": " << text;
      beyond_english = beyond_english || !ParseTimeText(text, 0);
    }
    EXPECT_TRUE(beyond_english) << name << " writes English month names";
  }
}

TEST_F(LocaleMonthsTest, ReadsTheMonthsOfTheProcesssOwnLocale) {
  for (const char* name : kLocales) {
    ASSERT_TRUE(HasLocale(name)) << name << " " << kLocaleSetUp;
    ASSERT_NE(setlocale(LC_TIME, name), nullptr) << name;
    for (int month = 1; month <= 12; ++month) {
      std::tm when{};
      when.tm_year = 126;
      when.tm_mon = month - 1;
      when.tm_mday = 7;
      when.tm_hour = 13;
      char text[64];
      ASSERT_GT(std::strftime(text, sizeof text, "%d-%b-%y %H:%M:%S", &when),
                0u);
      EXPECT_EQ(Parse(text), LocalToSeconds(2026, month, 7, 13, 0, 0))
          << name << ": " << text;
    }
  }
}

// Letter case by the locale's own tables and character set; which names
// match at all, and that English always does, is the neutral lookup's.
TEST_F(LocaleMonthsTest, ComparesWithoutRegardToLetterCase) {
  struct Case {
    const char* locale;
    std::string month;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"de_DE.UTF-8", "DEZ", 12},
      {"de_DE.UTF-8", "MÄR", 3},
      {"de_DE.UTF-8", "mär", 3},
      {"fr_FR.UTF-8", "DÉC.", 12},
      {"fr_FR.UTF-8", "Févr.", 2},
      {"fr_FR.UTF-8", "AOÛT", 8},
      {"ru_RU.UTF-8", "ДЕК", 12},
      {"ru_RU.UTF-8", "Фев", 2},
      {"ja_JP.UTF-8", "12月", 12},
      {"ja_JP.UTF-8", " 1月", 1},
      // An 8-bit locale: its own bytes, and UTF-8 as the readers hand them.
      {"fr_FR.ISO-8859-1",
       "d\xE9"
       "c.",
       12},
      {"fr_FR.ISO-8859-1",
       "D\xC9"
       "C.",
       12},
      {"fr_FR.ISO-8859-1", "déc.", 12},
      {"fr_FR.ISO-8859-1", "DÉC.", 12},
      {"ja_JP.EUC-JP", "12\xB7\xEE", 12},
      {"ja_JP.EUC-JP", "12月", 12},
      {"ja_JP.EUC-JP", "\xFF\xFF", std::nullopt},
      // A locale the system lacks, and the C locale: English.
      {"xx_YY.UTF-8", "Dec", 12},
      {"xx_YY.UTF-8", "Dez", std::nullopt},
      {"C", "dEc", 12},
  };
  for (const Case& c : cases) {
    if (c.locale[0] != 'x' && c.locale[0] != 'C') {
      ASSERT_TRUE(HasLocale(c.locale)) << c.locale << " " << kLocaleSetUp;
    }
    SetEnv("LC_ALL", c.locale);
    const std::optional<Seconds> expected =
        c.expected ? LocalToSeconds(2026, *c.expected, 7, 13, 25, 20)
                   : std::nullopt;
    EXPECT_EQ(Parse("07-" + c.month + "-26 13:25:20"), expected)
        << c.locale << ": " << c.month;
  }
}

}  // namespace
}  // namespace tavrolin::simulator
