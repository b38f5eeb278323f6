// The user's date and time settings, from LC_TIME of the environment.
#pragma once

#include <array>
#include <string>

#include "platform/date_settings.h"

namespace tavrolin::posix {

// Reads the settings of the locale that LC_ALL, LC_TIME or LANG name (the
// first that is set and not empty); the C and POSIX locales, and a locale
// that cannot be made, give United States English settings.
DateSettings ReadDateSettings();

// The settings of the named locale, as ReadDateSettings reads them.
DateSettings DateSettingsOfLocale(const std::string& name);

// What a locale says about dates and times, in its own strftime formats and
// as UTF-8 text.
struct LocaleTimeFormats {
  std::string date_format;                          // D_FMT
  std::string time_format;                          // T_FMT
  std::string time_format_ampm;                     // T_FMT_AMPM
  std::string am;                                   // AM_STR
  std::string pm;                                   // PM_STR
  std::array<std::string, 12> month_abbreviations;  // ABMON_1..ABMON_12
};

// The settings those formats make. A format with an element that has no
// picture (weekday names, day of the year, ...) gives the United States
// English setting in its place; so do missing month names.
DateSettings DateSettingsFromFormats(const LocaleTimeFormats& formats);

}  // namespace tavrolin::posix
