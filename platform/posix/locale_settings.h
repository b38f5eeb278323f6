// The user's date and time settings, from LC_TIME of the environment.
#pragma once

#include "platform/date_settings.h"

namespace tavrolin::posix {

// Reads the settings of the locale that LC_ALL, LC_TIME or LANG name; the
// C and POSIX locales give United States English settings.
DateSettings ReadDateSettings();

}  // namespace tavrolin::posix
