// Which locale the environment names for times, and whether a locale name
// is the C locale. Shared by the service's date settings and the
// simulator's month names, which must follow the same locale.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

namespace tavrolin::posix {

// The first of LC_ALL, LC_TIME and LANG that is set and not empty; "C" when
// none is.
inline std::string EnvironmentTimeLocale() {
  for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

// True for the C locale under any of its names ("C", "POSIX", "C.UTF-8",
// and the empty name, which stands for it), whose times follow no country.
inline bool IsCLocale(std::string_view name) {
  return name.empty() || name == "C" || name == "POSIX" ||
         name.starts_with("C.");
}

}  // namespace tavrolin::posix
