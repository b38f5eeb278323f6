// Month abbreviations of the C library's locales.
#pragma once

#include <string>
#include <vector>

#include "simulator/core/month_names.h"

namespace tavrolin::simulator::posix {

// The abbreviated month names (ABMON_1 to ABMON_12) of the named locale: as
// the C library gives them, in the locale's own character set, and, when
// that is not UTF-8 and a name is not plain ASCII, converted to UTF-8 as
// well. Nothing for the C and POSIX locales and for a locale the system
// does not have.
std::vector<MonthSpelling> SpellingsOfLocale(const std::string& name);

}  // namespace tavrolin::simulator::posix
