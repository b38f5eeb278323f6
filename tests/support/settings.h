// Code pages and date settings the tests run the program under.
#pragma once

#include <string>
#include <string_view>

#include "historian/time_text.h"
#include "platform/code_page.h"
#include "platform/date_settings.h"

#if defined(_WIN32)
#include "platform/windows/code_page.h"
#endif

namespace tavrolin::testing {

// The system's own UTF-8 code page: texts pass through unchanged.
#if defined(_WIN32)
class Utf8CodePage : public windows::AnsiCodePage {
 public:
  Utf8CodePage() : AnsiCodePage(65001) {}
};
#else
using Utf8CodePage = tavrolin::Utf8CodePage;
#endif

// An 8-bit code page that is not UTF-8: Latin-1, "?" for what it lacks.
class Latin1CodePage : public CodePage {
 public:
  std::string FromUtf8(std::string_view text) const override;
  std::string ToUtf8(std::string_view bytes) const override;
  std::string XmlEncodingName() const override { return "ISO-8859-1"; }
  bool IsUtf8() const override { return false; }
};

// Day first, dots, 24-hour clock, German month names.
DateSettings GermanDateSettings();

// What AppendParserTime and AppendParserTimeText append, as a text.
std::string FormatParserTime(const LocalDateTime& when,
                             const DateSettings& settings);
std::string ParserTimeText(std::string_view time_text,
                           const DateSettings& settings);

}  // namespace tavrolin::testing
