// The month abbreviations of Windows locales in time texts: what the
// program's readers write for a locale in its ANSI code page, in any letter
// case, and the user's own locale.
#include "simulator/locale_months.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "historian/time_text.h"
#include "platform/windows/code_page.h"
#include "platform/windows/locale_settings.h"
#include "platform/windows/wide_text.h"
#include "simulator/core/sim_time.h"
#include "simulator/windows/locale_months.h"
#include "tests/support/settings.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

using tavrolin::testing::FormatParserTime;

struct LocaleCase {
  const wchar_t* locale;
  uint32_t code_page;
};

constexpr LocaleCase kLocales[] = {
    {L"de-DE", 1252}, {L"fr-FR", 1252}, {L"ja-JP", 932},
    {L"ru-RU", 1251}, {L"en-US", 1252}, {L"de-DE", CP_UTF8},
};

std::wstring Upper(const wchar_t* locale, const std::wstring& text) {
  std::wstring upper(text.size() * 2 + 1, L'\0');
  const int length = LCMapStringEx(
      locale, LCMAP_UPPERCASE, text.data(), static_cast<int>(text.size()),
      upper.data(), static_cast<int>(upper.size()), nullptr, nullptr, 0);
  upper.resize(static_cast<std::size_t>(length > 0 ? length : 0));
  return upper;
}

class WindowsLocaleMonthsTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::SetTimeZone("UTC0"); }
};

TEST_F(WindowsLocaleMonthsTest, ReadsWhatTheReadersWriteInTheCodePage) {
  for (const LocaleCase& c : kLocales) {
    const auto spelling = windows::SpellingOfLocale(c.locale, c.code_page);
    ASSERT_TRUE(spelling.has_value()) << c.code_page;
    const std::vector<MonthSpelling> months = {*spelling, EnglishMonths()};
    const DateSettings settings = tavrolin::windows::ReadDateSettings(c.locale);
    const tavrolin::windows::AnsiCodePage code_page(c.code_page);
    for (int month = 1; month <= 12; ++month) {
      const LocalDateTime when{2026, month, 7, 13, 25, 20};
      // As the readers hand it over: written, then in the code page.
      const std::string text =
          code_page.FromUtf8(FormatParserTime(when, settings));
      const auto expected = LocalToSeconds(2026, month, 7, 13, 25, 20);
      EXPECT_EQ(ParseTimeText(text, 0, months), expected)
          << c.code_page << ": " << text;

      // The same name in capitals.
      const std::wstring upper =
          Upper(c.locale, tavrolin::windows::Utf8ToWide(
                              settings.month_abbreviations[month - 1]));
      const std::string capitals =
          "07-" + code_page.FromUtf8(tavrolin::windows::WideToUtf8(upper)) +
          "-26 13:25:20";
      EXPECT_EQ(ParseTimeText(capitals, 0, months), expected)
          << c.code_page << ": " << capitals;
    }
  }
}

TEST_F(WindowsLocaleMonthsTest, NamesThatTheCodePageCannotTellApartAreNone) {
  // Russian names in the Western European code page become question marks,
  // some of them alike: such a name stands for no month rather than a guess.
  const auto spelling = windows::SpellingOfLocale(L"ru-RU", 1252);
  ASSERT_TRUE(spelling.has_value());
  const auto& names = spelling->names();
  int shared = 0;
  for (const std::string& name : names) {
    if (std::count(names.begin(), names.end(), name) < 2) continue;
    ++shared;
    EXPECT_EQ(spelling->Exact(name), std::nullopt) << name;
  }
  EXPECT_GT(shared, 0);
}

TEST_F(WindowsLocaleMonthsTest, TheUsersLocaleAndEnglishAreRead) {
  const auto months = CurrentMonthSpellings();
  ASSERT_GE(months->size(), 1u);
  const DateSettings settings = tavrolin::windows::ReadDateSettings();
  const tavrolin::windows::AnsiCodePage code_page;
  for (int month = 1; month <= 12; ++month) {
    const LocalDateTime when{2026, month, 7, 13, 25, 20};
    const auto expected = LocalToSeconds(2026, month, 7, 13, 25, 20);
    const std::string text =
        code_page.FromUtf8(FormatParserTime(when, settings));
    EXPECT_EQ(ParseTimeText(text, 0, *months), expected) << text;
  }
  EXPECT_EQ(ParseTimeText("07-DEC-26 13:25:20", 0, *months),
            LocalToSeconds(2026, 12, 7, 13, 25, 20));
}

}  // namespace
}  // namespace tavrolin::simulator
