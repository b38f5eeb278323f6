#include "simulator/windows/locale_months.h"

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/windows/system_text.h"
#include "simulator/locale_months.h"

namespace tavrolin::simulator {
namespace windows {
namespace {

// Reads `text` in `code_page` and maps it to lower case by the locale's
// rules.
std::optional<std::wstring> Fold(const std::wstring& locale_name,
                                 UINT code_page, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int wide_length = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS,
                                              text.data(), length, nullptr, 0);
  if (wide_length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), length,
                      wide.data(), wide_length);
  const wchar_t* locale = locale_name.empty() ? nullptr : locale_name.c_str();
  const int lower_length =
      LCMapStringEx(locale, LCMAP_LOWERCASE, wide.data(), wide_length, nullptr,
                    0, nullptr, nullptr, 0);
  if (lower_length <= 0) return std::nullopt;
  std::wstring lower(static_cast<std::size_t>(lower_length), L'\0');
  LCMapStringEx(locale, LCMAP_LOWERCASE, wide.data(), wide_length, lower.data(),
                lower_length, nullptr, nullptr, 0);
  return lower;
}

}  // namespace

std::optional<MonthSpelling> SpellingOfLocale(const wchar_t* locale_name,
                                              uint32_t code_page) {
  std::array<std::string, 12> names;
  for (int month = 0; month < 12; ++month) {
    const auto name = tavrolin::windows::LocaleInfo(
        locale_name, static_cast<LCTYPE>(LOCALE_SABBREVMONTHNAME1 + month));
    if (!name) return std::nullopt;
    auto bytes = tavrolin::windows::WideToCodePage(*name, code_page);
    if (!bytes) return std::nullopt;
    names[static_cast<std::size_t>(month)] = std::move(*bytes);
  }
  const std::wstring locale = locale_name != nullptr ? locale_name : L"";
  return MonthSpelling(names, [locale, code_page](std::string_view text) {
    return Fold(locale, code_page, text);
  });
}

}  // namespace windows

MonthSpellings CurrentMonthSpellings() {
  static MonthSpellingCache cache;
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  if (GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) <= 0) name[0] = 0;
  const UINT code_page = GetACP();
  std::string key = std::to_string(code_page);
  for (const wchar_t* c = name; *c != 0; ++c) {
    key += static_cast<char>(*c < 0x80 ? *c : '?');
  }
  return cache.Get(key, [&] {
    std::vector<MonthSpelling> spellings;
    if (auto user = windows::SpellingOfLocale(nullptr, code_page)) {
      spellings.push_back(std::move(*user));
    }
    spellings.push_back(EnglishMonths());
    return spellings;
  });
}

}  // namespace tavrolin::simulator
