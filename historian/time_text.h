// Time texts: the date-time texts that the time words of the template tag
// lists resolve to, and their reading back into the historian parser's
// "DD-MMM-YY hh:mm:ss" form. Every function here works with the usable form
// of the settings (UsableDateSettings), so that whatever is written is read
// back as the same date and time.
#pragma once

#include <string>
#include <string_view>

#include "platform/date_settings.h"

namespace tavrolin {

// The general date form: the short date, one blank and the long time; the
// short date alone when the time is exactly midnight.
std::string FormatGeneralDate(const LocalDateTime& when,
                              const DateSettings& settings);

// The fixed form of a day: month and day as two digits and the year as four,
// joined by the date separator, followed by " 00:00". The time of `day` is
// not used.
std::string FormatFixedDate(const LocalDateTime& day,
                            const DateSettings& settings);

// Reads a time text of the fixed form (month first, whatever the settings'
// own order) or of the general form of the settings (the short date alone
// standing for midnight). A two-digit year is read as a year of 2000 to
// 2099. Throws Error 13 (type mismatch) naming the text when it is neither.
LocalDateTime ReadTimeText(std::string_view text, const DateSettings& settings);

// Appends "DD-MMM-YY hh:mm:ss" with the settings' abbreviated month name and
// the 24-hour clock to `out`, whose buffer can so be used again: 6 December
// 2026 at 06:43:29 is "06-Dec-26 06:43:29".
void AppendParserTime(const LocalDateTime& when, const DateSettings& settings,
                      std::string& out);
// Appends the text handed to the historian's time parser for a time text:
// the empty text stays empty, any other is read by ReadTimeText and written
// as AppendParserTime writes it.
void AppendParserTimeText(std::string_view time_text,
                          const DateSettings& settings, std::string& out);

// The day before `day` by the calendar (time of day kept).
LocalDateTime DayBefore(const LocalDateTime& day);

// The settings as the functions above use them. Settings whose texts would
// not read back as the same date and time (a picture without the year or the
// seconds, a 12-hour clock without two distinct designators, month names
// missing or repeated, a separator that makes the fixed form ambiguous, a
// picture element that has no meaning here such as weekday names) are
// replaced part by part: the month names by Jan..Dec, the separator by "/",
// the long time by "HH:mm:ss", the short date by "M/d/yyyy".
// The result stays valid until the next call with other settings.
const DateSettings& UsableDateSettings(const DateSettings& settings);

}  // namespace tavrolin
