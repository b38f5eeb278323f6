#include "platform/windows/system_text.h"

#include <limits>

namespace tavrolin::windows {

std::optional<std::wstring> LocaleInfo(const wchar_t* locale_name,
                                       LCTYPE item) {
  const int length = GetLocaleInfoEx(locale_name, item, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring text(static_cast<std::size_t>(length), L'\0');
  if (GetLocaleInfoEx(locale_name, item, text.data(), length) <= 0) {
    return std::nullopt;
  }
  text.resize(static_cast<std::size_t>(length - 1));  // the closing NUL
  return text;
}

std::optional<std::string> WideToCodePage(std::wstring_view wide,
                                          uint32_t code_page) {
  if (wide.empty()) return std::string();
  if (wide.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    SetLastError(ERROR_ARITHMETIC_OVERFLOW);
    return std::nullopt;
  }
  const int length = static_cast<int>(wide.size());
  DWORD flags = code_page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  int narrow_length = WideCharToMultiByte(code_page, flags, wide.data(), length,
                                          nullptr, 0, nullptr, nullptr);
  if (narrow_length <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    flags = 0;  // a code page that takes no flags
    narrow_length = WideCharToMultiByte(code_page, flags, wide.data(), length,
                                        nullptr, 0, nullptr, nullptr);
  }
  if (narrow_length <= 0) return std::nullopt;
  std::string narrow(static_cast<std::size_t>(narrow_length), '\0');
  if (WideCharToMultiByte(code_page, flags, wide.data(), length, narrow.data(),
                          narrow_length, nullptr, nullptr) != narrow_length) {
    return std::nullopt;
  }
  return narrow;
}

}  // namespace tavrolin::windows
