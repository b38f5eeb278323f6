// Month abbreviations of Windows locales, in an ANSI code page.
#pragma once

#include <cstdint>
#include <optional>

#include "simulator/core/month_names.h"

namespace tavrolin::simulator::windows {

// The abbreviated month names (LOCALE_SABBREVMONTHNAME1 to 12) of the named
// locale (nullptr: the user's) converted to `code_page` as programs convert
// texts for the library: a character the code page lacks becomes its
// default character. Letter case is folded by the locale's rules. Nothing
// when the system does not know the locale.
std::optional<MonthSpelling> SpellingOfLocale(const wchar_t* locale_name,
                                              uint32_t code_page);

}  // namespace tavrolin::simulator::windows
