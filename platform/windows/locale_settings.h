// The user's date and time settings, from the locale's settings.
#pragma once

#include <string>
#include <string_view>

#include "platform/date_settings.h"

namespace tavrolin::windows {

// Reads the settings of a locale by its name ("en-US", "de-DE"); nullptr
// stands for the user's own locale. Settings the locale does not give keep
// their United States English defaults.
DateSettings ReadDateSettings(const wchar_t* locale_name = nullptr);

// Turns a short-date picture of the locale, which writes its date separator
// literally ("dd.MM.yyyy"), into the settings' picture, in which "/" stands
// for the date separator ("dd/MM/yyyy"). Quoted text is kept as it is; a
// literal "/" that is not the separator is quoted.
std::string DatePictureWithSeparator(std::string_view picture,
                                     std::string_view separator);

}  // namespace tavrolin::windows
