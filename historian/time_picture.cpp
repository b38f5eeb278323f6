#include "historian/time_picture.h"

#include <charconv>

#include "common/ascii.h"
#include "common/calendar.h"

namespace tavrolin {

void AppendNumber(int number, int width, std::string& out) {
  char digits[16];
  char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  for (auto length = end - digits; length < width; ++length) out += '0';
  out.append(digits, end);
}

namespace {

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

// Appends literal text to `elements`, to the literal that ends them if any.
void AppendLiteral(Picture& elements, std::string_view text) {
  if (!elements.empty() && elements.back().part == PicturePart::kLiteral) {
    elements.back().text += text;
  } else {
    elements.push_back({PicturePart::kLiteral, 0, std::string(text)});
  }
}

// Reads the quoted literal that starts at `picture[start]` (a quote) into
// `elements`; returns the position after it. '' is a quote; a literal that is
// never closed runs to the end of the picture.
std::size_t ReadQuoted(std::string_view picture, std::size_t start,
                       Picture& elements) {
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
std::optional<PictureElement> RunElement(char letter, std::size_t run) {
  const int padded = run >= 2 ? 2 : 1;
  switch (letter) {
    case 'd':
      if (run > 2) return std::nullopt;
      return PictureElement{PicturePart::kDay, padded};
    case 'M':
      return run > 2 ? PictureElement{PicturePart::kMonthName}
                     : PictureElement{PicturePart::kMonth, padded};
    case 'y':
      return run > 2 ? PictureElement{PicturePart::kYear4, 4}
                     : PictureElement{PicturePart::kYear2, padded};
    case 'h':
      return PictureElement{PicturePart::kHour12, padded};
    case 'H':
      return PictureElement{PicturePart::kHour24, padded};
    case 'm':
      return PictureElement{PicturePart::kMinute, padded};
    case 's':
      return PictureElement{PicturePart::kSecond, padded};
    case 't':
      return PictureElement{run >= 2 ? PicturePart::kDesignator
                                     : PicturePart::kDesignatorFirst};
    default:
      return PictureElement{PicturePart::kLiteral};
  }
}

}  // namespace

std::optional<Picture> SplitPicture(std::string_view picture) {
  Picture elements;
  std::size_t i = 0;
  while (i < picture.size()) {
    const char c = picture[i];
    if (c == '\'') {
      i = ReadQuoted(picture, i, elements);
      continue;
    }
    if (c == '/') {
      elements.push_back({PicturePart::kSeparator});
      ++i;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == c) ++run;
    std::optional<PictureElement> element = RunElement(c, run);
    if (!element) return std::nullopt;
    if (element->part == PicturePart::kLiteral) {
      AppendLiteral(elements, picture.substr(i, run));
    } else {
      elements.push_back(std::move(*element));
    }
    i += run;
  }
  return elements;
}

void WritePicture(const Picture& elements, const LocalDateTime& when,
                  const DateSettings& settings, std::string& out) {
  const std::string& designator =
      when.hour < 12 ? settings.am_designator : settings.pm_designator;
  for (const PictureElement& element : elements) {
    switch (element.part) {
      case PicturePart::kLiteral:
        out += element.text;
        break;
      case PicturePart::kSeparator:
        out += settings.date_separator;
        break;
      case PicturePart::kDay:
        AppendNumber(when.day, element.width, out);
        break;
      case PicturePart::kMonth:
        AppendNumber(when.month, element.width, out);
        break;
      case PicturePart::kMonthName:
        out += settings.month_abbreviations[when.month - 1];
        break;
      case PicturePart::kYear2:
        AppendNumber(when.year % 100, element.width, out);
        break;
      case PicturePart::kYear4:
        AppendNumber(when.year, 4, out);
        break;
      case PicturePart::kHour12:
        AppendNumber(when.hour % 12 == 0 ? 12 : when.hour % 12, element.width,
                     out);
        break;
      case PicturePart::kHour24:
        AppendNumber(when.hour, element.width, out);
        break;
      case PicturePart::kMinute:
        AppendNumber(when.minute, element.width, out);
        break;
      case PicturePart::kSecond:
        AppendNumber(when.second, element.width, out);
        break;
      case PicturePart::kDesignator:
        out += designator;
        break;
      case PicturePart::kDesignatorFirst:
        out += designator.substr(0, FirstCharacterLength(designator));
        break;
    }
  }
}

std::optional<LocalDateTime> TimeReading::Result() const {
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

namespace {

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
std::optional<int>& NumberField(TimeReading& reading, PicturePart part) {
  switch (part) {
    case PicturePart::kDay:
      return reading.day;
    case PicturePart::kMonth:
      return reading.month;
    case PicturePart::kYear2:
    case PicturePart::kYear4:
      return reading.year;
    case PicturePart::kHour12:
      return reading.hour12;
    case PicturePart::kHour24:
      return reading.hour24;
    case PicturePart::kMinute:
      return reading.minute;
    default:
      return reading.second;
  }
}

// Reads the digits of a number element (at most four for a four-digit year,
// two otherwise) from the start of `rest` into its field; advances
// `position`. A two-digit year is one of 2000 to 2099.
bool ReadNumber(const PictureElement& element, std::string_view rest,
                std::size_t& position, TimeReading& reading) {
  const std::size_t most = element.part == PicturePart::kYear4 ? 4 : 2;
  std::size_t count = 0;
  int number = 0;
  while (count < most && count < rest.size() && IsDigit(rest[count])) {
    number = number * 10 + (rest[count] - '0');
    ++count;
  }
  if (count == 0) return false;
  position += count;
  if (element.part == PicturePart::kYear2) number += 2000;
  return TimeReading::Set(NumberField(reading, element.part), number);
}

// Reads the AM or PM designator, or its first character alone, from the
// start of `rest`; advances `position`.
bool ReadDesignator(const PictureElement& element, std::string_view rest,
                    std::size_t& position, const DateSettings& settings,
                    TimeReading& reading) {
  std::string designators[2] = {settings.am_designator, settings.pm_designator};
  if (element.part == PicturePart::kDesignatorFirst) {
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

}  // namespace

bool ReadPicture(const Picture& elements, std::string_view text,
                 std::size_t& position, const DateSettings& settings,
                 TimeReading& reading) {
  for (const PictureElement& element : elements) {
    const std::string_view rest = text.substr(position);
    switch (element.part) {
      case PicturePart::kLiteral:
      case PicturePart::kSeparator: {
        const std::string& expected = element.part == PicturePart::kLiteral
                                          ? element.text
                                          : settings.date_separator;
        if (!rest.starts_with(expected)) return false;
        position += expected.size();
        break;
      }
      case PicturePart::kMonthName: {
        const int found =
            LongestMatch(rest, settings.month_abbreviations.data(),
                         static_cast<int>(settings.month_abbreviations.size()));
        if (found < 0 || !TimeReading::Set(reading.month, found + 1))
          return false;
        position += settings.month_abbreviations[found].size();
        break;
      }
      case PicturePart::kDesignator:
      case PicturePart::kDesignatorFirst:
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

}  // namespace tavrolin
