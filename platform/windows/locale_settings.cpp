#include "platform/windows/locale_settings.h"

#include <windows.h>

#include <optional>

#include "platform/windows/system_text.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

std::optional<std::string> LocaleText(const wchar_t* locale_name, LCTYPE item) {
  const auto text = LocaleInfo(locale_name, item);
  if (!text) return std::nullopt;
  return WideToUtf8(*text);
}

void Take(std::string& setting, std::optional<std::string> value) {
  if (value) setting = std::move(*value);
}

}  // namespace

std::string DatePictureWithSeparator(std::string_view picture,
                                     std::string_view separator) {
  std::string result;
  std::size_t at = 0;
  while (at < picture.size()) {
    if (picture[at] == '\'') {
      const std::size_t end = picture.find('\'', at + 1);
      const std::size_t stop =
          end == std::string_view::npos ? picture.size() : end + 1;
      result.append(picture.substr(at, stop - at));
      at = stop;
    } else if (!separator.empty() &&
               picture.substr(at, separator.size()) == separator) {
      result += '/';
      at += separator.size();
    } else if (picture[at] == '/') {
      result += "'/'";
      ++at;
    } else {
      result += picture[at];
      ++at;
    }
  }
  return result;
}

DateSettings ReadDateSettings(const wchar_t* locale_name) {
  DateSettings settings;
  Take(settings.date_separator, LocaleText(locale_name, LOCALE_SDATE));
  if (auto short_date = LocaleText(locale_name, LOCALE_SSHORTDATE)) {
    settings.short_date =
        DatePictureWithSeparator(*short_date, settings.date_separator);
  }
  Take(settings.long_time, LocaleText(locale_name, LOCALE_STIMEFORMAT));
  Take(settings.am_designator, LocaleText(locale_name, LOCALE_S1159));
  Take(settings.pm_designator, LocaleText(locale_name, LOCALE_S2359));
  for (int month = 0; month < 12; ++month) {
    Take(settings.month_abbreviations[static_cast<std::size_t>(month)],
         LocaleText(locale_name,
                    static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + month)));
  }
  return settings;
}

}  // namespace tavrolin::windows
