// Pictures of dates and times: the short-date and long-time patterns of the
// date settings ("M/d/yyyy", "HH:mm:ss", "dd. MMM yyyy", ...) split into
// their elements, and texts written and read by them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/date_settings.h"

namespace tavrolin {

// One element of a picture.
enum class PicturePart {
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

struct PictureElement {
  PictureElement(PicturePart element_part, int element_width = 1,
                 std::string literal = std::string())
      : part(element_part), width(element_width), text(std::move(literal)) {}

  PicturePart part;
  int width;         // digits written at least (numbers)
  std::string text;  // literal text
};

using Picture = std::vector<PictureElement>;

// What reading a text found so far.
struct TimeReading {
  std::optional<int> day, month, year, hour12, hour24, minute, second;
  std::optional<bool> pm;

  // Records a field; false when it was read before with another value.
  static bool Set(std::optional<int>& field, int value) {
    if (field && *field != value) return false;
    field = value;
    return true;
  }

  // The date and time read; nothing when a date field is missing or a field
  // is out of its range.
  std::optional<LocalDateTime> Result() const;
};

// Splits a picture into its elements; nothing when it holds an element that
// has no meaning here (weekday names).
std::optional<Picture> SplitPicture(std::string_view picture);

// Appends `when` written by the picture to `out`.
void WritePicture(const Picture& elements, const LocalDateTime& when,
                  const DateSettings& settings, std::string& out);

// Reads `text` from `position` by the picture; advances `position`.
bool ReadPicture(const Picture& elements, std::string_view text,
                 std::size_t& position, const DateSettings& settings,
                 TimeReading& reading);

// Appends `number` with zeros before it up to `width` digits.
void AppendNumber(int number, int width, std::string& out);

}  // namespace tavrolin
