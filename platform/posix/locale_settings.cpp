#include "platform/posix/locale_settings.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "platform/posix/iconv_text.h"
#include "platform/posix/locale_name.h"

namespace tavrolin::posix {
namespace {

// One piece of a converted format: a picture element or literal text.
struct Piece {
  bool literal;
  bool date_field;
  std::string text;
};

// Expands the compound conversions into their parts.
std::string Expand(std::string_view format, const std::string& ampm_format) {
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 >= format.size()) {
      out += format[i];
      continue;
    }
    const char c = format[i + 1];
    if (c == 'D') {
      out += "%m/%d/%y";
    } else if (c == 'F') {
      out += "%Y-%m-%d";
    } else if (c == 'T') {
      out += "%H:%M:%S";
    } else if (c == 'R') {
      out += "%H:%M";
    } else if (c == 'r') {
      out += ampm_format.empty() || ampm_format.find("%r") != std::string::npos
                 ? std::string("%I:%M:%S %p")
                 : ampm_format;
    } else {
      out += format.substr(i, 2);
    }
    ++i;
  }
  return out;
}

// A strftime conversion that has a picture element: its picture with and
// without leading zeros, whether it has them when no flag says, and whether
// it is a field of the date.
struct FieldConversion {
  char conversion;
  const char* with_zeros;
  const char* without;
  bool zeros_by_default;
  bool date;
};

constexpr FieldConversion kFieldConversions[] = {
    {'d', "dd", "d", true, true},      {'e', "dd", "d", false, true},
    {'m', "MM", "M", true, true},      {'y', "yy", "y", true, true},
    {'Y', "yyyy", "yyyy", true, true}, {'b', "MMM", "MMM", true, true},
    {'h', "MMM", "MMM", true, true},   {'B', "MMM", "MMM", true, true},
    {'H', "HH", "H", true, false},     {'k', "HH", "H", false, false},
    {'I', "hh", "h", true, false},     {'l', "hh", "h", false, false},
    {'M', "mm", "m", true, false},     {'S', "ss", "s", true, false},
    {'p', "tt", "tt", true, false},    {'P', "tt", "tt", true, false},
};

// Skips the flags, width and modifier of the conversion whose text starts at
// `format[i]` (after the "%"); returns whether its flags ask for leading
// zeros ("0") or none ("-", "_"), or nothing when they say neither.
std::optional<bool> SkipFlags(std::string_view format, std::size_t& i) {
  std::optional<bool> padded;
  while (i < format.size() && std::strchr("_-0^#", format[i]) != nullptr) {
    if (format[i] == '-' || format[i] == '_') padded = false;
    if (format[i] == '0') padded = true;
    ++i;
  }
  while (i < format.size() && format[i] >= '0' && format[i] <= '9') ++i;
  if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
  return padded;
}

void AppendLiteral(std::vector<Piece>& pieces, std::string_view text) {
  if (!pieces.empty() && pieces.back().literal) {
    pieces.back().text += text;
  } else {
    pieces.push_back({true, false, std::string(text)});
  }
}

// Splits a strftime format into picture elements and literal text; nothing
// when it holds a conversion that has no picture.
std::optional<std::vector<Piece>> Convert(std::string_view format) {
  std::vector<Piece> pieces;
  std::size_t i = 0;
  while (i < format.size()) {
    if (format[i] != '%') {
      AppendLiteral(pieces, format.substr(i, 1));
      ++i;
      continue;
    }
    ++i;
    const std::optional<bool> padded = SkipFlags(format, i);
    if (i >= format.size()) return std::nullopt;
    const char c = format[i++];
    if (c == 'n' || c == 't') {
      AppendLiteral(pieces, " ");
    } else if (c == '%') {
      AppendLiteral(pieces, "%");
    } else {
      const auto* field =
          std::ranges::find(kFieldConversions, c, &FieldConversion::conversion);
      if (field == std::end(kFieldConversions)) return std::nullopt;
      const bool zeros = padded.value_or(field->zeros_by_default);
      pieces.push_back(
          {false, field->date, zeros ? field->with_zeros : field->without});
    }
  }
  return pieces;
}

// Literal text in a picture: letters, quotes and slashes are quoted.
std::string PictureLiteral(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\'') {
      out += "''";
    } else if (IsAsciiLetter(c) || c == '/') {
      out += '\'';
      out += c;
      out += '\'';
    } else {
      out += c;
    }
  }
  return out;
}

// The short date picture and the date separator of a date format.
std::optional<std::pair<std::string, std::string>> ShortDate(
    std::string_view format) {
  const auto pieces = Convert(format);
  if (!pieces) return std::nullopt;
  // The separator is the literal text between the first two date fields.
  std::string separator;
  for (std::size_t i = 0; i + 2 < pieces->size(); ++i) {
    const Piece& piece = (*pieces)[i];
    if (!piece.literal && piece.date_field && (*pieces)[i + 1].literal &&
        !(*pieces)[i + 2].literal && (*pieces)[i + 2].date_field) {
      separator = (*pieces)[i + 1].text;
      break;
    }
  }
  // Appended rather than assigned: GCC 12 mistakes the assignment of a
  // literal for an overlapping copy (-Wrestrict).
  if (separator.empty()) separator.push_back('/');
  std::string picture;
  for (const Piece& piece : *pieces) {
    if (!piece.literal) {
      picture += piece.text;
    } else if (piece.text == separator) {
      picture += '/';
    } else {
      picture += PictureLiteral(piece.text);
    }
  }
  return std::make_pair(picture, separator);
}

std::optional<std::string> LongTime(std::string_view format) {
  const auto pieces = Convert(format);
  if (!pieces) return std::nullopt;
  std::string picture;
  for (const Piece& piece : *pieces) {
    picture += piece.literal ? PictureLiteral(piece.text) : piece.text;
  }
  return picture;
}

// Text of the locale's character set as UTF-8; nothing when it cannot be
// converted.
std::optional<std::string> ToUtf8(const char* text, const char* codeset) {
  const std::string_view input = text != nullptr ? text : "";
  if (IsAscii(input) || codeset == nullptr ||
      std::strcmp(codeset, "UTF-8") == 0) {
    return std::string(input);
  }
  DecodedText converted = IconvToUtf8(codeset, input);
  if (converted.status != DecodedText::Status::kDone) return std::nullopt;
  return std::move(converted.text);
}

}  // namespace

DateSettings DateSettingsFromFormats(const LocaleTimeFormats& formats) {
  DateSettings settings;
  if (const auto date = ShortDate(Expand(formats.date_format, ""))) {
    settings.short_date = date->first;
    settings.date_separator = date->second;
  }
  const std::string time_format = formats.time_format.empty()
                                      ? formats.time_format_ampm
                                      : formats.time_format;
  if (!time_format.empty()) {
    if (const auto time =
            LongTime(Expand(time_format, formats.time_format_ampm))) {
      settings.long_time = *time;
    }
  }
  if (!formats.am.empty() || !formats.pm.empty()) {
    settings.am_designator = formats.am;
    settings.pm_designator = formats.pm;
  }
  bool names = true;
  for (const auto& name : formats.month_abbreviations) {
    names = names && !name.empty();
  }
  if (names) settings.month_abbreviations = formats.month_abbreviations;
  return settings;
}

DateSettings DateSettingsOfLocale(const std::string& name) {
  if (IsCLocale(name)) return DateSettings{};
  locale_t locale = newlocale(LC_TIME_MASK | LC_CTYPE_MASK, name.c_str(),
                              static_cast<locale_t>(nullptr));
  if (locale == static_cast<locale_t>(nullptr)) return DateSettings{};
  const char* codeset = nl_langinfo_l(CODESET, locale);
  LocaleTimeFormats formats;
  bool readable = true;
  auto read = [&](nl_item item, std::string& into) {
    const auto text = ToUtf8(nl_langinfo_l(item, locale), codeset);
    if (text) {
      into = *text;
    } else {
      readable = false;
    }
  };
  read(D_FMT, formats.date_format);
  read(T_FMT, formats.time_format);
  read(T_FMT_AMPM, formats.time_format_ampm);
  read(AM_STR, formats.am);
  read(PM_STR, formats.pm);
  static constexpr nl_item kMonths[] = {ABMON_1, ABMON_2,  ABMON_3,  ABMON_4,
                                        ABMON_5, ABMON_6,  ABMON_7,  ABMON_8,
                                        ABMON_9, ABMON_10, ABMON_11, ABMON_12};
  for (int month = 0; month < 12; ++month) {
    read(kMonths[month], formats.month_abbreviations[month]);
  }
  freelocale(locale);
  if (!readable) return DateSettings{};
  return DateSettingsFromFormats(formats);
}

DateSettings ReadDateSettings() {
  return DateSettingsOfLocale(EnvironmentTimeLocale());
}

}  // namespace tavrolin::posix
