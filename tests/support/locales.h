// The C library's locales that tests run under. scripts/setup-locales.sh
// generates them; a test that needs a missing one fails and says so, rather
// than passing without having tested anything.
#pragma once

#include <locale.h>

#include <string>

namespace tavrolin::testing {

inline constexpr char kLocaleSetUp[] =
    "is not installed; generate the tests' locales with "
    "scripts/setup-locales.sh";

// Whether the system has the named locale.
inline bool HasLocale(const std::string& name) {
  const locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), nullptr);
  if (locale == nullptr) return false;
  freelocale(locale);
  return true;
}

}  // namespace tavrolin::testing
