// Date and time settings read from the locale.
#include "platform/windows/locale_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace tavrolin::windows {
namespace {

TEST(DatePicture, SeparatorBecomesTheSlash) {
  EXPECT_EQ(DatePictureWithSeparator("dd.MM.yyyy", "."), "dd/MM/yyyy");
  EXPECT_EQ(DatePictureWithSeparator("M/d/yyyy", "/"), "M/d/yyyy");
  EXPECT_EQ(DatePictureWithSeparator("yyyy-MM-dd", "-"), "yyyy/MM/dd");
  EXPECT_EQ(DatePictureWithSeparator("yyyy. MM. dd.", ". "), "yyyy/MM/dd.");
}

TEST(DatePicture, QuotedTextAndOtherSlashesStayLiteral) {
  EXPECT_EQ(DatePictureWithSeparator("dd.MM.yyyy '.'", "."), "dd/MM/yyyy '.'");
  EXPECT_EQ(DatePictureWithSeparator("dd-MM/yyyy", "-"), "dd/MM'/'yyyy");
}

TEST(LocaleSettings, UnitedStatesEnglish) {
  const DateSettings settings = ReadDateSettings(L"en-US");
  EXPECT_EQ(settings.short_date, "M/d/yyyy");
  EXPECT_EQ(settings.long_time, "h:mm:ss tt");
  EXPECT_EQ(settings.date_separator, "/");
  EXPECT_EQ(settings.am_designator, "AM");
  EXPECT_EQ(settings.pm_designator, "PM");
  EXPECT_EQ(settings.month_abbreviations[0], "Jan");
  EXPECT_EQ(settings.month_abbreviations[11], "Dec");
}

TEST(LocaleSettings, German) {
  const DateSettings settings = ReadDateSettings(L"de-DE");
  // Day, month, year with the full stop as separator; whether day and month
  // have two digits depends on the system's locale data.
  EXPECT_THAT(settings.short_date, ::testing::AnyOf("dd/MM/yyyy", "d/M/yyyy"));
  EXPECT_EQ(settings.date_separator, ".");
  EXPECT_EQ(settings.long_time, "HH:mm:ss");
  EXPECT_EQ(settings.month_abbreviations[9], "Okt");
  EXPECT_EQ(settings.month_abbreviations[11], "Dez");
}

TEST(LocaleSettings, UsersOwnLocaleGivesTwelveMonthNames) {
  const DateSettings settings = ReadDateSettings();
  for (const auto& month : settings.month_abbreviations) {
    EXPECT_FALSE(month.empty());
  }
  EXPECT_FALSE(settings.short_date.empty());
  EXPECT_FALSE(settings.long_time.empty());
}

}  // namespace
}  // namespace tavrolin::windows
