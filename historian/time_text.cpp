#include "historian/time_text.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "historian/time_picture.h"
#include "platform/error.h"

namespace tavrolin {
namespace {

const std::array<std::string, 12> kEnglishMonths = {"Jan", "Feb", "Mar", "Apr",
                                                    "May", "Jun", "Jul", "Aug",
                                                    "Sep", "Oct", "Nov", "Dec"};

void WriteGeneral(const LocalDateTime& when, const DateSettings& settings,
                  const Picture& date, const Picture& time, std::string& text) {
  WritePicture(date, when, settings, text);
  if (when.hour != 0 || when.minute != 0 || when.second != 0) {
    text += ' ';
    WritePicture(time, when, settings, text);
  }
}

// The general form, by settings that are taken as they are.
std::optional<std::string> WriteGeneral(const LocalDateTime& when,
                                        const DateSettings& settings) {
  const auto date = SplitPicture(settings.short_date);
  const auto time = SplitPicture(settings.long_time);
  if (!date || !time) return std::nullopt;
  std::string text;
  WriteGeneral(when, settings, *date, *time, text);
  return text;
}

std::optional<LocalDateTime> ReadGeneral(std::string_view text,
                                         const DateSettings& settings,
                                         const Picture& date,
                                         const Picture& time) {
  TimeReading reading;
  std::size_t position = 0;
  if (!ReadPicture(date, text, position, settings, reading)) {
    return std::nullopt;
  }
  if (position < text.size()) {
    if (text[position] != ' ') return std::nullopt;
    ++position;
    TimeReading time_reading;
    if (!ReadPicture(time, text, position, settings, time_reading) ||
        position != text.size()) {
      return std::nullopt;
    }
    // The time picture may repeat date fields; they must agree.
    if ((time_reading.day &&
         !TimeReading::Set(reading.day, *time_reading.day)) ||
        (time_reading.month &&
         !TimeReading::Set(reading.month, *time_reading.month)) ||
        (time_reading.year &&
         !TimeReading::Set(reading.year, *time_reading.year))) {
      return std::nullopt;
    }
    reading.hour12 = time_reading.hour12;
    reading.hour24 = time_reading.hour24;
    reading.minute = time_reading.minute;
    reading.second = time_reading.second;
    reading.pm = time_reading.pm;
    if (!reading.hour12 && !reading.hour24) return std::nullopt;
  } else if (reading.hour12 || reading.hour24 || reading.minute ||
             reading.second) {
    return std::nullopt;
  }
  return reading.Result();
}

std::optional<LocalDateTime> ReadGeneral(std::string_view text,
                                         const DateSettings& settings) {
  const auto date = SplitPicture(settings.short_date);
  const auto time = SplitPicture(settings.long_time);
  if (!date || !time) return std::nullopt;
  return ReadGeneral(text, settings, *date, *time);
}

std::string WriteFixed(const LocalDateTime& day, const DateSettings& settings) {
  std::string text;
  AppendNumber(day.month, 2, text);
  text += settings.date_separator;
  AppendNumber(day.day, 2, text);
  text += settings.date_separator;
  AppendNumber(day.year, 4, text);
  text += " 00:00";
  return text;
}

std::optional<LocalDateTime> ReadFixed(std::string_view text,
                                       const DateSettings& settings) {
  const std::string& separator = settings.date_separator;
  if (text.size() != 8 + 2 * separator.size() + 6) return std::nullopt;
  auto number = [&text](std::size_t at, std::size_t digits) -> int {
    int value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      if (!IsDigit(text[i])) return -1;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const std::size_t day_at = 2 + separator.size();
  const std::size_t year_at = day_at + 2 + separator.size();
  if (text.substr(2, separator.size()) != separator ||
      text.substr(day_at + 2, separator.size()) != separator ||
      text.substr(year_at + 4) != " 00:00") {
    return std::nullopt;
  }
  TimeReading reading;
  reading.month = number(0, 2);
  reading.day = number(day_at, 2);
  reading.year = number(year_at, 4);
  if (*reading.month < 0 || *reading.day < 0 || *reading.year < 0) {
    return std::nullopt;
  }
  return reading.Result();
}

std::optional<LocalDateTime> Read(std::string_view text,
                                  const DateSettings& settings) {
  if (auto fixed = ReadFixed(text, settings)) return fixed;
  return ReadGeneral(text, settings);
}

// Dates and times whose texts must read back as themselves: every month,
// both halves of the day, midnight, the minute after midnight, noon, single
// and double digits, a leap day.
std::vector<LocalDateTime> Probes() {
  std::vector<LocalDateTime> probes = {
      {2026, 12, 6, 6, 43, 30},  {2027, 1, 1, 0, 0, 0},
      {2024, 2, 29, 12, 0, 0},   {2000, 10, 10, 0, 0, 1},
      {2049, 7, 31, 12, 59, 59}, {2099, 11, 28, 23, 5, 9},
      {2030, 3, 15, 13, 30, 45}, {2031, 9, 9, 9, 9, 9},
  };
  for (int month = 1; month <= 12; ++month) {
    probes.push_back({2020 + month, month, 2 * month, 2 * month - 1,
                      5 * month - 1, 60 - 4 * month});
  }
  return probes;
}

bool GeneralRoundTrips(const DateSettings& settings) {
  for (const LocalDateTime& probe : Probes()) {
    const auto text = WriteGeneral(probe, settings);
    if (!text) return false;
    const auto back = Read(*text, settings);
    if (!back || !(*back == probe)) return false;
  }
  return true;
}

bool FixedRoundTrips(const DateSettings& settings) {
  for (LocalDateTime probe : Probes()) {
    probe.hour = probe.minute = probe.second = 0;
    const auto back = ReadFixed(WriteFixed(probe, settings), settings);
    if (!back || !(*back == probe)) return false;
  }
  return true;
}

bool MonthNamesUsable(const std::array<std::string, 12>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) return false;
    for (std::size_t j = 0; j < i; ++j) {
      if (names[i] == names[j]) return false;
    }
  }
  return true;
}

bool SameSettings(const DateSettings& a, const DateSettings& b) {
  return a.short_date == b.short_date && a.long_time == b.long_time &&
         a.date_separator == b.date_separator &&
         a.am_designator == b.am_designator &&
         a.pm_designator == b.pm_designator &&
         a.month_abbreviations == b.month_abbreviations;
}

DateSettings MakeUsable(const DateSettings& given) {
  DateSettings settings = given;
  if (!MonthNamesUsable(settings.month_abbreviations)) {
    settings.month_abbreviations = kEnglishMonths;
  }
  if (!FixedRoundTrips(settings)) settings.date_separator = "/";
  if (GeneralRoundTrips(settings)) return settings;
  const std::string short_date = settings.short_date;
  settings.long_time = "HH:mm:ss";
  if (GeneralRoundTrips(settings)) return settings;
  settings.short_date = "M/d/yyyy";
  settings.long_time = given.long_time;
  if (GeneralRoundTrips(settings)) return settings;
  settings.long_time = "HH:mm:ss";
  if (GeneralRoundTrips(settings)) return settings;
  settings.date_separator = "/";
  return settings;
}

[[noreturn]] void ThrowUnreadable(std::string_view text) {
  throw Error(errnum::kTypeMismatch, "Type mismatch: the time text \"" +
                                         std::string(text) +
                                         "\" is not a date and time");
}

// Usable settings with their pictures split once.
struct Usable {
  DateSettings given;
  DateSettings settings;
  Picture date;
  Picture time;
};

// The settings rarely change: the last answer is kept.
const Usable& UsableOf(const DateSettings& settings) {
  thread_local std::optional<Usable> last;
  if (!last || !SameSettings(last->given, settings)) {
    Usable usable{settings, MakeUsable(settings), {}, {}};
    // Usable settings always have pictures that split.
    usable.date = *SplitPicture(usable.settings.short_date);
    usable.time = *SplitPicture(usable.settings.long_time);
    last = std::move(usable);
  }
  return *last;
}

std::optional<LocalDateTime> ReadUsable(std::string_view text,
                                        const Usable& usable) {
  if (auto fixed = ReadFixed(text, usable.settings)) return fixed;
  return ReadGeneral(text, usable.settings, usable.date, usable.time);
}

}  // namespace

const DateSettings& UsableDateSettings(const DateSettings& settings) {
  return UsableOf(settings).settings;
}

std::string FormatGeneralDate(const LocalDateTime& when,
                              const DateSettings& settings) {
  const Usable& usable = UsableOf(settings);
  std::string text;
  WriteGeneral(when, usable.settings, usable.date, usable.time, text);
  return text;
}

std::string FormatFixedDate(const LocalDateTime& day,
                            const DateSettings& settings) {
  return WriteFixed(day, UsableDateSettings(settings));
}

LocalDateTime ReadTimeText(std::string_view text,
                           const DateSettings& settings) {
  const auto when = ReadUsable(text, UsableOf(settings));
  if (!when) ThrowUnreadable(text);
  return *when;
}

void AppendParserTime(const LocalDateTime& when, const DateSettings& settings,
                      std::string& out) {
  const DateSettings& usable = UsableDateSettings(settings);
  AppendNumber(when.day, 2, out);
  out += '-';
  out += usable.month_abbreviations[when.month - 1];
  out += '-';
  AppendNumber(when.year % 100, 2, out);
  out += ' ';
  AppendNumber(when.hour, 2, out);
  out += ':';
  AppendNumber(when.minute, 2, out);
  out += ':';
  AppendNumber(when.second, 2, out);
}

void AppendParserTimeText(std::string_view time_text,
                          const DateSettings& settings, std::string& out) {
  if (time_text.empty()) return;
  AppendParserTime(ReadTimeText(time_text, settings), settings, out);
}

LocalDateTime DayBefore(const LocalDateTime& day) {
  namespace chrono = std::chrono;
  const chrono::year_month_day before{
      chrono::sys_days(chrono::year_month_day(
          chrono::year(day.year),
          chrono::month(static_cast<unsigned>(day.month)),
          chrono::day(static_cast<unsigned>(day.day)))) -
      chrono::days(1)};
  LocalDateTime result = day;
  result.year = static_cast<int>(before.year());
  result.month = static_cast<int>(static_cast<unsigned>(before.month()));
  result.day = static_cast<int>(static_cast<unsigned>(before.day()));
  return result;
}

}  // namespace tavrolin
