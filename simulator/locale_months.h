// The month abbreviations that time texts may hold in this process: those
// of the user's locale settings, in the character set that texts reach the
// library in, followed by the English ones. One implementation for each
// system (simulator/posix, simulator/windows).
#pragma once

#include "simulator/core/month_names.h"

namespace tavrolin::simulator {

// The spellings for the locale settings in force now, most specific first,
// English last. Made again when the settings change.
MonthSpellings CurrentMonthSpellings();

}  // namespace tavrolin::simulator
