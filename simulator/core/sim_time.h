// The simulator's clock and its readings of time texts. Times are seconds
// since 1970-01-01 00:00:00 UTC; the library hands them out as 32-bit
// numbers, the simulator computes with 64 bits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "simulator/core/month_names.h"

namespace tavrolin::simulator {

using Seconds = int64_t;

inline constexpr Seconds kDay = 86400;

// The current time, to the whole second.
Seconds Now();

// Whether the fields name a real date and time: year 1900..9999, month
// 1..12, day within the month, hour 0..23, minute and second 0..59.
bool ValidDateTime(int year, int month, int day, int hour, int minute,
                   int second);

// The local date and time given, as seconds; nullopt when a field is out of
// range (month 1..12, day within the month, hour 0..23, minute and second
// 0..59) or the system cannot convert it.
std::optional<Seconds> LocalToSeconds(int year, int month, int day, int hour,
                                      int minute, int second);

// Local midnight of the day that holds `time`, moved by `day_offset`
// calendar days.
Seconds LocalMidnight(Seconds time, int day_offset);

// A duration such as "90", "90s", "15m", "2h", "1d" or "1.5h"; nullopt for
// anything else. Bare numbers are seconds.
std::optional<double> ParseDuration(std::string_view text);

// Reads a time text as pitm_parsetime does, against `base`:
//   "DD-MMM-YY hh:mm:ss"   local time; a month abbreviation of `months`
//                          (see FindMonth); a four-digit year, a one-digit
//                          day or hour and a missing ":ss" or time part are
//                          accepted
//   "*"                    the base time
//   "t", "y"               local midnight of the base time's day, or of the
//                          day before
// each of the last three optionally followed by terms "+N" or "-N" with a
// unit s, m, h or d (d counts calendar days after "t" and "y"), such as
// "*-1h", "*+30m", "y+6h". Blanks around the text are ignored; anything else,
// the empty text included, gives nullopt.
std::optional<Seconds> ParseTimeText(std::string_view text, Seconds base,
                                     std::span<const MonthSpelling> months);

// As above, with the English month abbreviations alone.
std::optional<Seconds> ParseTimeText(std::string_view text, Seconds base);

// Whether `time` fits the library's 32-bit time cells.
bool FitsHistorianTime(Seconds time);

}  // namespace tavrolin::simulator
