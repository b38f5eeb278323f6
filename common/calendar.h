// Calendar dates of the proleptic Gregorian calendar, through <chrono>.
#pragma once

#include <chrono>

namespace tavrolin {

// Whether year, month and day name a day of the calendar: month 1 to 12 and
// a day that the month has (29 February in leap years only).
constexpr bool IsCalendarDate(int year, int month, int day) {
  namespace chrono = std::chrono;
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  return chrono::year_month_day(chrono::year(year),
                                chrono::month(static_cast<unsigned>(month)),
                                chrono::day(static_cast<unsigned>(day)))
      .ok();
}

}  // namespace tavrolin
