#include "historian/time_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/settings.h"

namespace tavrolin {
namespace {

using testing::GermanDateSettings;
using testing::ParserTimeText;

DateSettings UnitedStates() { return DateSettings{}; }

// Day first, two-digit year, 24-hour clock.
DateSettings British() {
  return {.short_date = "dd/MM/yy", .long_time = "HH:mm:ss"};
}

// Year first, designator before the time, designators of more than one
// byte, a month name in the short date and a quoted literal.
DateSettings Unusual() {
  return {.short_date = "yyyy/MMM/dd 'd'",
          .long_time = "tt h.mm.ss",
          .date_separator = "-",
          .am_designator = "午前",
          .pm_designator = "午後"};
}

struct Named {
  const char* name;
  DateSettings settings;
};

std::vector<Named> AllSettings() {
  return {{"UnitedStates", UnitedStates()},
          {"German", GermanDateSettings()},
          {"British", British()},
          {"Unusual", Unusual()}};
}

TEST(TimeTextTest, GeneralFormUnderEachSettings) {
  const LocalDateTime morning{2026, 12, 6, 6, 43, 30};
  const LocalDateTime afternoon{2027, 1, 9, 15, 4, 5};
  const LocalDateTime midnight{2026, 12, 6, 0, 0, 0};
  EXPECT_EQ(FormatGeneralDate(morning, UnitedStates()), "12/6/2026 6:43:30 AM");
  EXPECT_EQ(FormatGeneralDate(afternoon, UnitedStates()),
            "1/9/2027 3:04:05 PM");
  EXPECT_EQ(FormatGeneralDate(midnight, UnitedStates()), "12/6/2026");
  EXPECT_EQ(FormatGeneralDate({2026, 12, 6, 12, 0, 1}, UnitedStates()),
            "12/6/2026 12:00:01 PM");
  EXPECT_EQ(FormatGeneralDate({2026, 12, 6, 0, 0, 1}, UnitedStates()),
            "12/6/2026 12:00:01 AM");
  EXPECT_EQ(FormatGeneralDate(morning, GermanDateSettings()),
            "6.12.2026 06:43:30");
  EXPECT_EQ(FormatGeneralDate(midnight, GermanDateSettings()), "6.12.2026");
  EXPECT_EQ(FormatGeneralDate(afternoon, British()), "09/01/27 15:04:05");
  EXPECT_EQ(FormatGeneralDate(afternoon, Unusual()),
            "2027-Jan-09 d 午後 3.04.05");
}

TEST(TimeTextTest, FixedFormIsMonthFirstWithTheSeparator) {
  const LocalDateTime day{2026, 12, 6, 6, 43, 30};
  EXPECT_EQ(FormatFixedDate(day, UnitedStates()), "12/06/2026 00:00");
  EXPECT_EQ(FormatFixedDate(day, GermanDateSettings()), "12.06.2026 00:00");
  EXPECT_EQ(FormatFixedDate({987, 1, 2, 0, 0, 0}, British()),
            "01/02/0987 00:00");
  EXPECT_EQ(ReadTimeText("12.06.2026 00:00", GermanDateSettings()),
            (LocalDateTime{2026, 12, 6, 0, 0, 0}));
  EXPECT_EQ(ReadTimeText("01/02/2026 00:00", British()),
            (LocalDateTime{2026, 1, 2, 0, 0, 0}));
}

// Every text written under any of the settings reads back as the same date
// and time: both halves of the day, every month, leap days, midnight.
TEST(TimeTextTest, EveryWrittenTextReadsBack) {
  for (const Named& named : AllSettings()) {
    SCOPED_TRACE(named.name);
    for (int hour = 0; hour < 24; ++hour) {
      for (int month = 1; month <= 12; ++month) {
        const LocalDateTime when{
            2000 + 3 * month + hour,     month,
            1 + (hour * 7 + month) % 28, hour,
            (hour * 13 + month) % 60,    (month * 17) % 60};
        const std::string general = FormatGeneralDate(when, named.settings);
        EXPECT_EQ(ReadTimeText(general, named.settings), when) << general;
        LocalDateTime day = when;
        day.hour = day.minute = day.second = 0;
        const std::string fixed = FormatFixedDate(when, named.settings);
        EXPECT_EQ(ReadTimeText(fixed, named.settings), day) << fixed;
        EXPECT_EQ(ReadTimeText(FormatGeneralDate(day, named.settings),
                               named.settings),
                  day);
      }
    }
    const LocalDateTime leap_day{2028, 2, 29, 23, 59, 59};
    EXPECT_EQ(ReadTimeText(FormatGeneralDate(leap_day, named.settings),
                           named.settings),
              leap_day);
  }
}

TEST(TimeTextTest, ParserTexts) {
  EXPECT_EQ(ParserTimeText("12/6/2026 6:43:29 AM", UnitedStates()),
            "06-Dec-26 06:43:29");
  EXPECT_EQ(ParserTimeText("12/6/2026 6:43:29 PM", UnitedStates()),
            "06-Dec-26 18:43:29");
  EXPECT_EQ(ParserTimeText("12/06/2026 00:00", UnitedStates()),
            "06-Dec-26 00:00:00");
  EXPECT_EQ(ParserTimeText("12/6/2026", UnitedStates()), "06-Dec-26 00:00:00");
  EXPECT_EQ(ParserTimeText("", UnitedStates()), "");
  EXPECT_EQ(ParserTimeText("6.12.2026", GermanDateSettings()),
            "06-Dez-26 00:00:00");
  EXPECT_EQ(ParserTimeText("3.3.2026 14:05:00", GermanDateSettings()),
            "03-Mär-26 14:05:00");
}

TEST(TimeTextTest, OtherTextsAreATypeMismatchNamingTheText) {
  for (const char* text :
       {"yesterday", "2026-12-06T06:43:29", "*-1d", "13/06/2026 00:00",
        "2/30/2026", "12/6/2026 13:00:00 PM", "12/6/2026 6:43:29", " 12/6/2026",
        "12/6/2026 6:43:29 AM ", "12/06/2026 00:00:00"}) {
    try {
      ReadTimeText(text, UnitedStates());
      ADD_FAILURE() << "read: " << text;
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kTypeMismatch);
      EXPECT_NE(error.description().find(std::string("\"") + text + "\""),
                std::string::npos)
          << error.description();
    }
  }
}

// Settings whose texts could not be read back are replaced part by part,
// and what is written still reads back.
TEST(TimeTextTest, UnreadableSettingsAreReplaced) {
  DateSettings no_seconds;
  no_seconds.long_time = "h:mm tt";
  DateSettings same_designators;
  same_designators.am_designator = same_designators.pm_designator = "x";
  DateSettings no_year;
  no_year.short_date = "d/M";
  DateSettings weekday;
  weekday.short_date = "dddd d/M/yyyy";
  DateSettings repeated_names = GermanDateSettings();
  repeated_names.short_date = "d MMM yyyy";
  repeated_names.month_abbreviations[1] = "Jan";

  EXPECT_EQ(UsableDateSettings(no_seconds).long_time, "HH:mm:ss");
  EXPECT_EQ(UsableDateSettings(same_designators).long_time, "HH:mm:ss");
  EXPECT_EQ(UsableDateSettings(no_year).short_date, "M/d/yyyy");
  EXPECT_EQ(UsableDateSettings(weekday).short_date, "M/d/yyyy");
  EXPECT_EQ(UsableDateSettings(repeated_names).month_abbreviations[1], "Feb");
  EXPECT_EQ(UsableDateSettings(GermanDateSettings()).short_date, "d/M/yyyy");

  const LocalDateTime when{2026, 12, 6, 18, 43, 30};
  for (const DateSettings& settings :
       {no_seconds, same_designators, no_year, weekday, repeated_names}) {
    const std::string text = FormatGeneralDate(when, settings);
    EXPECT_EQ(ReadTimeText(text, settings), when) << text;
  }
  EXPECT_EQ(FormatGeneralDate(when, no_seconds), "12/6/2026 18:43:30");
}

TEST(TimeTextTest, DayBeforeCrossesMonthsYearsAndLeapDays) {
  struct Case {
    LocalDateTime day;
    LocalDateTime before;
  };
  for (const Case& c : std::vector<Case>{
           {{2026, 12, 6}, {2026, 12, 5}},
           {{2027, 1, 1}, {2026, 12, 31}},
           {{2028, 3, 1}, {2028, 2, 29}},
           {{2026, 3, 1}, {2026, 2, 28}},
           {{2100, 3, 1}, {2100, 2, 28}},
           {{2000, 3, 1}, {2000, 2, 29}},
           {{2026, 5, 1}, {2026, 4, 30}},
       }) {
    EXPECT_EQ(DayBefore(c.day), c.before);
  }
}

}  // namespace
}  // namespace tavrolin
