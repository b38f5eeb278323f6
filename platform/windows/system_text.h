// Texts from the system: an item of a locale's settings, and UTF-16 text in
// a code page. Shared by the backend and the simulator.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrolin::windows {

// The item `item` (LOCALE_SSHORTDATE, LOCALE_SABBREVMONTHNAME1, ...) of the
// locale `locale_name` (nullptr: the user's), without its closing NUL;
// nothing when the system does not give it.
std::optional<std::wstring> LocaleInfo(const wchar_t* locale_name, LCTYPE item);

// `wide` in the code page `code_page`. A character the code page lacks
// becomes the code page's default character, never a look-alike: a name
// must not turn into another. Nothing when the system cannot convert it
// (GetLastError() tells why).
std::optional<std::string> WideToCodePage(std::wstring_view wide,
                                          uint32_t code_page);

}  // namespace tavrolin::windows
