#include "historian/time_text.h"

#include <charconv>
#include <chrono>
#include <optional>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "common/calendar.h"
#include "platform/error.h"

namespace tavrolin {
namespace {

const std::array<std::string, 12> kEnglishMonths = {"Jan", "Feb", "Mar", "Apr",
                                                    "May", "Jun", "Jul", "Aug",
                                                    "Sep", "Oct", "Nov", "Dec"};

// Appends `number` with zeros before it up to `width` digits.
void AppendNumber(int number, int width, std::string& out) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  for (auto length = end - digits; length < width; ++length) out += '0';
  out.append(digits, end);
}

// The length of the UTF-8 character that starts `text`.
std::size_t FirstCharacterLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = lead < 0x80    ? 1
                       : lead >= 0xF0 ? 4
                       : lead >= 0xE0 ? 3
                                      : 2;
  return length < text.size() ? length : text.size();
}

// One element of a picture.
enum class Part {
  kLiteral,
  kSeparator,
  kDay,
  kMonth,
  kMonthName,
  kYear2,
  kYear4,
  kHour12,
  kHour24,
  kMinute,
  kSecond,
  kDesignator,       // "tt": the whole AM or PM designator
  kDesignatorFirst,  // "t": its first character
};

struct Element {
  Element(Part element_part, int element_width = 1,
          std::string literal = std::string())
      : part(element_part), width(element_width), text(std::move(literal)) {}

  Part part;
  int width;         // digits written at least (numbers)
  std::string text;  // literal text
};

// Appends literal text to `elements`, to the literal that ends them if any.
void AppendLiteral(std::vector<Element>& elements, std::string_view text) {
  if (!elements.empty() && elements.back().part == Part::kLiteral) {
    elements.back().text += text;
  } else {
    elements.push_back({Part::kLiteral, 0, std::string(text)});
  }
}

// Reads the quoted literal that starts at `picture[start]` (a quote) into
// `elements`; returns the position after it. '' is a quote; a literal that is
// never closed runs to the end of the picture.
std::size_t ReadQuoted(std::string_view picture, std::size_t start,
                       std::vector<Element>& elements) {
  const auto end = picture.find('\'', start + 1);
  if (end == start + 1) {
    AppendLiteral(elements, "'");
    return start + 2;
  }
  const auto stop = end == std::string_view::npos ? picture.size() : end;
  AppendLiteral(elements, picture.substr(start + 1, stop - start - 1));
  return stop == picture.size() ? stop : stop + 1;
}

// The element that a run of one letter repeated `run` times stands for; a
// letter that names no field gives a literal (without its text), and a run
// that has no meaning here (weekday names) gives nothing.
std::optional<Element> RunElement(char letter, std::size_t run) {
  const int padded = run >= 2 ? 2 : 1;
  switch (letter) {
    case 'd':
      if (run > 2) return std::nullopt;
      return Element{Part::kDay, padded};
    case 'M':
      return run > 2 ? Element{Part::kMonthName}
                     : Element{Part::kMonth, padded};
    case 'y':
      return run > 2 ? Element{Part::kYear4, 4} : Element{Part::kYear2, padded};
    case 'h':
      return Element{Part::kHour12, padded};
    case 'H':
      return Element{Part::kHour24, padded};
    case 'm':
      return Element{Part::kMinute, padded};
    case 's':
      return Element{Part::kSecond, padded};
    case 't':
      return Element{run >= 2 ? Part::kDesignator : Part::kDesignatorFirst};
    default:
      return Element{Part::kLiteral};
  }
}

// Splits a picture into its elements; nothing when it holds an element that
// has no meaning here (weekday names).
std::optional<std::vector<Element>> SplitPicture(std::string_view picture) {
  std::vector<Element> elements;
  std::size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      i = ReadQuoted(picture, i, elements);
      continue;
    }
    if (c == '/') {
      elements.push_back({Part::kSeparator});
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    std::optional<Element> element = RunElement(c, run);
    if (!element) return std::nullopt;
    if (element->part == Part::kLiteral) {
      AppendLiteral(elements, picture.substr(i, run));
    } else {
      elements.push_back(std::move(*element));
    }
    i += run;
  }
  return elements;
}

void WritePicture(const std::vector<Element>& elements,
                  const LocalDateTime& when, const DateSettings& settings,
                  std::string& out) {
  const std::string& designator =
      when.hour < 12 ? settings.am_designator : settings.pm_designator;
  for (const Element& element : elements) {
    switch (element.part) {
      case Part::kLiteral:
        out += element.text;
        break;
      case Part::kSeparator:
        out += settings.date_separator;
        break;
      case Part::kDay:
        AppendNumber(when.day, element.width, out);
        break;
      case Part::kMonth:
        AppendNumber(when.month, element.width, out);
        break;
      case Part::kMonthName:
        out += settings.month_abbreviations[when.month - 1];
        break;
      case Part::kYear2:
        AppendNumber(when.year % 100, element.width, out);
        break;
      case Part::kYear4:
        AppendNumber(when.year, 4, out);
        break;
      case Part::kHour12:
        AppendNumber(when.hour % 12 == 0 ? 12 : when.hour % 12, element.width,
                     out);
        break;
      case Part::kHour24:
        AppendNumber(when.hour, element.width, out);
        break;
      case Part::kMinute:
        AppendNumber(when.minute, element.width, out);
        break;
      case Part::kSecond:
        AppendNumber(when.second, element.width, out);
        break;
      case Part::kDesignator:
        out += designator;
        break;
      case Part::kDesignatorFirst:
        out += designator.substr(0, FirstCharacterLength(designator));
        break;
    }
  }
}

// What reading a text found so far.
struct Reading {
  std::optional<int> day, month, year, hour12, hour24, minute, second;
  std::optional<bool> pm;

  // Records a field; false when it was read before with another value.
  static bool Set(std::optional<int>& field, int value) {
    if (field && *field != value) return false;
    field = value;
    return true;
  }

  std::optional<LocalDateTime> Result() const {
    if (!day || !month || !year) return std::nullopt;
    LocalDateTime when{*year, *month, *day, 0, 0, 0};
    if (!IsCalendarDate(*year, *month, *day)) return std::nullopt;
    if (hour24) {
      if (*hour24 > 23) return std::nullopt;
      when.hour = *hour24;
      if (hour12 && *hour12 % 12 != *hour24 % 12) return std::nullopt;
    } else if (hour12) {
      if (*hour12 < 1 || *hour12 > 12) return std::nullopt;
      when.hour = *hour12 % 12 + (pm.value_or(false) ? 12 : 0);
    }
    when.minute = minute.value_or(0);
    when.second = second.value_or(0);
    if (when.minute > 59 || when.second > 59) return std::nullopt;
    return when;
  }
};

// Matches the longest of `candidates` at the start of `text`; its index, or
// -1 when none matches.
int LongestMatch(std::string_view text, const std::string* candidates,
                 int count) {
  int best = -1;
  for (int i = 0; i < count; ++i) {
    const std::string& candidate = candidates[i];
    if (candidate.empty() || !text.starts_with(candidate)) continue;
    if (best < 0 || candidate.size() > candidates[best].size()) best = i;
  }
  return best;
}

// The field of `reading` that a number element fills.
std::optional<int>& NumberField(Reading& reading, Part part) {
  switch (part) {
    case Part::kDay:
      return reading.day;
    case Part::kMonth:
      return reading.month;
    case Part::kYear2:
    case Part::kYear4:
      return reading.year;
    case Part::kHour12:
      return reading.hour12;
    case Part::kHour24:
      return reading.hour24;
    case Part::kMinute:
      return reading.minute;
    default:
      return reading.second;
  }
}

// Reads the digits of a number element (at most four for a four-digit year,
// two otherwise) from the start of `rest` into its field; advances
// `position`. A two-digit year is one of 2000 to 2099.
bool ReadNumber(const Element& element, std::string_view rest,
                std::size_t& position, Reading& reading) {
  const std::size_t most = element.part == Part::kYear4 ? 4 : 2;
  std::size_t count = 0;
  int number = 0;
  while (count < most && count < rest.size() && IsDigit(rest[count])) {
    number = number * 10 + (rest[count] - '0');
    ++count;
  }
  if (count == 0) return false;
  position += count;
  if (element.part == Part::kYear2) number += 2000;
  return Reading::Set(NumberField(reading, element.part), number);
}

// Reads the AM or PM designator, or its first character alone, from the
// start of `rest`; advances `position`.
bool ReadDesignator(const Element& element, std::string_view rest,
                    std::size_t& position, const DateSettings& settings,
                    Reading& reading) {
  std::string designators[2] = {settings.am_designator, settings.pm_designator};
  if (element.part == Part::kDesignatorFirst) {
    for (auto& designator : designators) {
      designator.resize(FirstCharacterLength(designator));
    }
  }
  const int found = LongestMatch(rest, designators, 2);
  if (found < 0) return false;
  if (reading.pm && *reading.pm != (found == 1)) return false;
  reading.pm = found == 1;
  position += designators[found].size();
  return true;
}

// Reads `text` from `position` by the picture; advances `position`.
bool ReadPicture(const std::vector<Element>& elements, std::string_view text,
                 std::size_t& position, const DateSettings& settings,
                 Reading& reading) {
  for (const Element& element : elements) {
    const std::string_view rest = text.substr(position);
    switch (element.part) {
      case Part::kLiteral:
      case Part::kSeparator: {
        const std::string& expected = element.part == Part::kLiteral
                                          ? element.text
                                          : settings.date_separator;
        if (!rest.starts_with(expected)) return false;
        position += expected.size();
        break;
      }
      case Part::kMonthName: {
        const int found =
            LongestMatch(rest, settings.month_abbreviations.data(),
                         static_cast<int>(settings.month_abbreviations.size()));
        if (found < 0 || !Reading::Set(reading.month, found + 1)) return false;
        position += settings.month_abbreviations[found].size();
        break;
      }
      case Part::kDesignator:
      case Part::kDesignatorFirst:
        if (!ReadDesignator(element, rest, position, settings, reading)) {
          return false;
        }
        break;
      default:
        if (!ReadNumber(element, rest, position, reading)) return false;
        break;
    }
  }
  return true;
}

void WriteGeneral(const LocalDateTime& when, const DateSettings& settings,
                  const std::vector<Element>& date,
                  const std::vector<Element>& time, std::string& text) {
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
                                         const std::vector<Element>& date,
                                         const std::vector<Element>& time) {
  Reading reading;
  std::size_t position = 0;
  if (!ReadPicture(date, text, position, settings, reading)) {
    return std::nullopt;
  }
  if (position < text.size()) {
    if (text[position] != ' ') return std::nullopt;
    ++position;
    Reading time_reading;
    if (!ReadPicture(time, text, position, settings, time_reading) ||
        position != text.size()) {
      return std::nullopt;
    }
    // The time picture may repeat date fields; they must agree.
    if ((time_reading.day && !Reading::Set(reading.day, *time_reading.day)) ||
        (time_reading.month &&
         !Reading::Set(reading.month, *time_reading.month)) ||
        (time_reading.year &&
         !Reading::Set(reading.year, *time_reading.year))) {
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
  Reading reading;
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

}  // namespace

namespace {

// Usable settings with their pictures split once.
struct Usable {
  DateSettings given;
  DateSettings settings;
  std::vector<Element> date;
  std::vector<Element> time;
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
