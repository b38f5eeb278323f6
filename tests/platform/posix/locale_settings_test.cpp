// Date settings from the locale of the environment (Linux backend).
#include "platform/posix/locale_settings.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <string>

#include "platform/posix/locale_name.h"
#include "reports/time_words.h"

namespace tavrolin::posix {
namespace {

const std::array<std::string, 12> kGermanMonths = {"Jan", "Feb", "Mär", "Apr",
                                                   "Mai", "Jun", "Jul", "Aug",
                                                   "Sep", "Okt", "Nov", "Dez"};

LocaleTimeFormats Formats(std::string date, std::string time,
                          std::string ampm = "", std::string am = "",
                          std::string pm = "") {
  LocaleTimeFormats formats;
  formats.date_format = std::move(date);
  formats.time_format = std::move(time);
  formats.time_format_ampm = std::move(ampm);
  formats.am = std::move(am);
  formats.pm = std::move(pm);
  formats.month_abbreviations = kGermanMonths;
  return formats;
}

// 6 December 2026, 6:43:30 in the morning.
constexpr LocalDateTime kNow{2026, 12, 6, 6, 43, 30};

std::string Now(const DateSettings& settings) {
  return ResolveTimeWord("now", kNow, settings);
}

std::string Today(const DateSettings& settings) {
  return ResolveTimeWord("today", kNow, settings);
}

struct Case {
  LocaleTimeFormats formats;
  const char* short_date;
  const char* long_time;
  const char* separator;
  const char* now;
  const char* today;
};

class FormatsTest : public ::testing::TestWithParam<Case> {};

TEST_P(FormatsTest, BecomePictures) {
  const DateSettings settings = DateSettingsFromFormats(GetParam().formats);
  EXPECT_EQ(settings.short_date, GetParam().short_date);
  EXPECT_EQ(settings.long_time, GetParam().long_time);
  EXPECT_EQ(settings.date_separator, GetParam().separator);
  EXPECT_EQ(Now(settings), GetParam().now);
  EXPECT_EQ(Today(settings), GetParam().today);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, FormatsTest,
    ::testing::Values(
        Case{Formats("%d.%m.%Y", "%T"), "dd/MM/yyyy", "HH:mm:ss", ".",
             "06.12.2026 06:43:30", "12.06.2026 00:00"},
        Case{Formats("%m/%d/%Y", "%r", "%I:%M:%S %p", "AM", "PM"), "MM/dd/yyyy",
             "hh:mm:ss tt", "/", "12/06/2026 06:43:30 AM", "12/06/2026 00:00"},
        Case{Formats("%d/%m/%y", "%H:%M:%S"), "dd/MM/yy", "HH:mm:ss", "/",
             "06/12/26 06:43:30", "12/06/2026 00:00"},
        Case{Formats("%F", "%k:%M:%S"), "yyyy/MM/dd", "H:mm:ss", "-",
             "2026-12-06 6:43:30", "12-06-2026 00:00"},
        Case{Formats("%Y. %m. %d.", "%H:%M:%S"), "yyyy/MM/dd.", "HH:mm:ss",
             ". ", "2026. 12. 06. 06:43:30", "12. 06. 2026 00:00"},
        Case{Formats("%e %b %Y", "%Hh%M'%S"), "d/MMM/yyyy", "HH'h'mm''ss", " ",
             "6 Dez 2026 06h43'30", "12 06 2026 00:00"},
        Case{Formats("%-m/%-d/%Y", "%l:%M:%S %p", "", "a.m.", "p.m."),
             "M/d/yyyy", "h:mm:ss tt", "/", "12/6/2026 6:43:30 a.m.",
             "12/06/2026 00:00"},
        // Weekday names have no picture: the short date falls back.
        Case{Formats("%a %d %b %Y", "%T"), "M/d/yyyy", "HH:mm:ss", "/",
             "12/6/2026 06:43:30", "12/06/2026 00:00"}));

TEST(LocaleSettingsTest, CAndPosixGiveUnitedStatesEnglish) {
  for (const char* name : {"C", "POSIX", "C.UTF-8", "", "xx_NOWHERE.UTF-8"}) {
    const DateSettings settings = DateSettingsOfLocale(name);
    EXPECT_EQ(settings.short_date, "M/d/yyyy") << name;
    EXPECT_EQ(settings.long_time, "h:mm:ss tt") << name;
    EXPECT_EQ(settings.date_separator, "/") << name;
    EXPECT_EQ(settings.month_abbreviations[11], "Dec") << name;
    EXPECT_EQ(Now(settings), "12/6/2026 6:43:30 AM") << name;
  }
}

// The first of LC_ALL, LC_TIME and LANG that is set and not empty names the
// locale, for the date settings and the simulator's month names alike.
TEST(LocaleSettingsTest, TheEnvironmentNamesTheLocale) {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) unsetenv(name);
  EXPECT_EQ(EnvironmentTimeLocale(), "C");
  setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(EnvironmentTimeLocale(), "de_DE.UTF-8");
  setenv("LC_TIME", "fr_FR.UTF-8", 1);
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(EnvironmentTimeLocale(), "fr_FR.UTF-8");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(Now(ReadDateSettings()), "12/6/2026 6:43:30 AM");
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) unsetenv(name);
}

TEST(LocaleSettingsTest, GermanLocaleWhenInstalled) {
  locale_t probe = newlocale(LC_TIME_MASK, "de_DE.UTF-8", nullptr);
  if (probe == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  freelocale(probe);
  const DateSettings settings = DateSettingsOfLocale("de_DE.UTF-8");
  EXPECT_EQ(settings.date_separator, ".");
  EXPECT_EQ(settings.month_abbreviations[11], "Dez");
  EXPECT_EQ(Now(settings), "06.12.2026 06:43:30");
  EXPECT_EQ(Today(settings), "12.06.2026 00:00");
}

}  // namespace
}  // namespace tavrolin::posix
