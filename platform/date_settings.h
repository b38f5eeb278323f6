// The current local date and time, and the user's date and time settings.
#pragma once

#include <array>
#include <string>

namespace tavrolin {

struct LocalDateTime {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;

  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // The current local date and time, to the whole second.
  virtual LocalDateTime Now() = 0;
};

// Date and time settings in the pictures the user's settings use: "d", "dd"
// (day), "M", "MM" (month), "MMM" (abbreviated month name; longer runs of M
// too), "y", "yy" (two-digit year), "yyyy" (four-digit year; three or more y
// too) for dates; "h", "hh" (12-hour), "H", "HH" (24-hour), "m", "mm", "s",
// "ss", "t" (first character of the AM/PM designator), "tt" (the whole
// designator) for times; a doubled letter means a leading zero. "/" stands
// for the date separator; text in single quotes is literal ("''" is a quote);
// every other character stands for itself. Weekday names ("ddd", "dddd")
// have no place here.
struct DateSettings {
  std::string short_date = "M/d/yyyy";
  std::string long_time = "h:mm:ss tt";
  std::string date_separator = "/";
  std::string am_designator = "AM";
  std::string pm_designator = "PM";
  std::array<std::string, 12> month_abbreviations = {
      "Jan", "Feb", "Mar", "Apr", "May", "Jun",
      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
};

}  // namespace tavrolin
