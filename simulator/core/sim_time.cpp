#include "simulator/core/sim_time.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>
#include <string>

#include "common/ascii.h"
#include "common/calendar.h"
#include "simulator/local_time.h"

namespace tavrolin::simulator {
namespace {

// A small reader over a time text.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool AtEnd() const { return pos_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') ++pos_;
  }
  // An unsigned number of `min` to `max` digits.
  std::optional<int> Digits(std::size_t min, std::size_t max) {
    std::size_t count = 0;
    int value = 0;
    while (count < max && IsDigit(Peek())) {
      value = value * 10 + (text_[pos_++] - '0');
      ++count;
    }
    if (count < min) return std::nullopt;
    return value;
  }
  std::string_view Rest() const { return text_.substr(pos_); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

std::optional<Seconds> ParseAbsolute(std::string_view text,
                                     std::span<const MonthSpelling> spellings) {
  Cursor in(text);
  const auto day = in.Digits(1, 2);
  if (!day || !in.Take('-')) return std::nullopt;
  // The month name runs to the last hyphen: the year and the time after it
  // hold none, while a name may (and no character set of a locale has a
  // hyphen's byte inside a multi-byte character).
  const auto dash = in.Rest().rfind('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const auto month = FindMonth(in.Rest().substr(0, dash), spellings);
  if (!month) return std::nullopt;
  for (std::size_t i = 0; i <= dash; ++i) in.Take(in.Peek());
  const auto year_start = in.Rest().size();
  auto year = in.Digits(2, 4);
  if (!year) return std::nullopt;
  const auto year_digits = year_start - in.Rest().size();
  if (year_digits == 3) return std::nullopt;
  if (year_digits == 2) *year += *year < 70 ? 2000 : 1900;
  int hour = 0;
  int minute = 0;
  int second = 0;
  in.SkipBlanks();
  if (!in.AtEnd()) {
    const auto h = in.Digits(1, 2);
    if (!h || !in.Take(':')) return std::nullopt;
    const auto m = in.Digits(2, 2);
    if (!m) return std::nullopt;
    hour = *h;
    minute = *m;
    if (in.Take(':')) {
      const auto s = in.Digits(2, 2);
      if (!s) return std::nullopt;
      second = *s;
    }
    in.SkipBlanks();
    if (!in.AtEnd()) return std::nullopt;
  }
  return LocalToSeconds(*year, *month, *day, hour, minute, second);
}

// Terms "+N<unit>" / "-N<unit>" after "*", "t" or "y". Seconds go to
// `seconds`, days to `days` (kept apart so that "t" can count calendar
// days).
bool ParseTerms(std::string_view text, double& seconds, double& days) {
  Cursor in(text);
  for (;;) {
    in.SkipBlanks();
    if (in.AtEnd()) return true;
    double sign = 1;
    if (in.Take('-')) {
      sign = -1;
    } else if (!in.Take('+')) {
      return false;
    }
    in.SkipBlanks();
    const std::string_view rest = in.Rest();
    std::size_t length = 0;
    while (length < rest.size() &&
           (IsDigit(rest[length]) || rest[length] == '.')) {
      ++length;
    }
    if (length < rest.size() && IsAsciiLetter(rest[length])) ++length;
    const std::string_view term = rest.substr(0, length);
    if (term.empty()) return false;
    const char unit = LowerCase(term.back());
    if (unit == 'd') {
      const auto amount = ParseDuration(term.substr(0, term.size() - 1));
      if (!amount) return false;
      days += sign * *amount;
    } else {
      const auto amount = ParseDuration(term);
      if (!amount) return false;
      seconds += sign * *amount;
    }
    for (std::size_t i = 0; i < length; ++i) in.Take(in.Peek());
  }
}

// Whether a double count of seconds stays within a range that the
// conversions below can take without overflow.
bool Reasonable(double value) {
  return std::isfinite(value) && std::fabs(value) < 1e15;
}

}  // namespace

Seconds Now() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool ValidDateTime(int year, int month, int day, int hour, int minute,
                   int second) {
  return year >= 1900 && year <= 9999 && IsCalendarDate(year, month, day) &&
         hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
         second >= 0 && second <= 59;
}

std::optional<Seconds> LocalToSeconds(int year, int month, int day, int hour,
                                      int minute, int second) {
  if (!ValidDateTime(year, month, day, hour, minute, second)) {
    return std::nullopt;
  }
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  const std::time_t result = std::mktime(&local);
  if (result == static_cast<std::time_t>(-1) &&
      !(year == 1969 || year == 1970)) {
    return std::nullopt;
  }
  return static_cast<Seconds>(result);
}

Seconds LocalMidnight(Seconds time, int day_offset) {
  std::tm local = LocalTime(static_cast<std::time_t>(time));
  local.tm_hour = 0;
  local.tm_min = 0;
  local.tm_sec = 0;
  local.tm_mday += day_offset;
  local.tm_isdst = -1;
  return static_cast<Seconds>(std::mktime(&local));
}

std::optional<double> ParseDuration(std::string_view text) {
  if (text.empty()) return std::nullopt;
  double unit = 1;
  switch (LowerCase(text.back())) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = kDay;
      break;
    default:
      unit = 0;
  }
  if (unit != 0) {
    text.remove_suffix(1);
  } else {
    unit = 1;
  }
  if (text.empty() || text.front() == '.' || text.back() == '.') {
    return std::nullopt;
  }
  double value = 0;
  double scale = 0;  // 0 before the full stop, then 0.1, 0.01, ...
  for (char c : text) {
    if (c == '.') {
      if (scale != 0) return std::nullopt;
      scale = 0.1;
    } else if (IsDigit(c)) {
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        value += (c - '0') * scale;
        scale /= 10;
      }
    } else {
      return std::nullopt;
    }
  }
  const double result = value * unit;
  if (!Reasonable(result)) return std::nullopt;
  return result;
}

std::optional<Seconds> ParseTimeText(std::string_view text, Seconds base) {
  static const MonthSpelling english = EnglishMonths();
  return ParseTimeText(text, base, std::span<const MonthSpelling>(&english, 1));
}

std::optional<Seconds> ParseTimeText(std::string_view text, Seconds base,
                                     std::span<const MonthSpelling> months) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  const char first = LowerCase(text.front());
  if (first != '*' && first != 't' && first != 'y') {
    return ParseAbsolute(text, months);
  }
  double seconds = 0;
  double days = 0;
  if (!ParseTerms(text.substr(1), seconds, days)) return std::nullopt;
  double result = 0;
  if (first == '*') {
    result = static_cast<double>(base) + seconds + days * kDay;
  } else {
    if (days != std::floor(days) || std::fabs(days) > 1e6) return std::nullopt;
    const int day_offset = static_cast<int>(days) - (first == 'y' ? 1 : 0);
    result = static_cast<double>(LocalMidnight(base, day_offset)) + seconds;
  }
  if (!Reasonable(result)) return std::nullopt;
  return static_cast<Seconds>(std::llround(result));
}

bool FitsHistorianTime(Seconds time) {
  return time >= std::numeric_limits<int32_t>::min() &&
         time <= std::numeric_limits<int32_t>::max();
}

}  // namespace tavrolin::simulator
