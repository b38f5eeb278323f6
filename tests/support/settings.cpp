#include "tests/support/settings.h"

#include <cstddef>

namespace tavrolin::testing {

std::string Latin1CodePage::FromUtf8(std::string_view text) const {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      out.push_back(text[i]);
    } else if ((byte == 0xC2 || byte == 0xC3) && i + 1 < text.size()) {
      out.push_back(
          static_cast<char>(((byte & 0x03) << 6) | (text[++i] & 0x3F)));
    } else {
      out.push_back('?');
      while (i + 1 < text.size() && (text[i + 1] & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

std::string Latin1CodePage::ToUtf8(std::string_view bytes) const {
  std::string out;
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c < 0x80) {
      out.push_back(byte);
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

DateSettings GermanDateSettings() {
  return {.short_date = "d/M/yyyy",
          .long_time = "HH:mm:ss",
          .date_separator = ".",
          .am_designator = "",
          .pm_designator = "",
          .month_abbreviations = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun",
                                  "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"}};
}

std::string FormatParserTime(const LocalDateTime& when,
                             const DateSettings& settings) {
  std::string text;
  AppendParserTime(when, settings, text);
  return text;
}

std::string ParserTimeText(std::string_view time_text,
                           const DateSettings& settings) {
  std::string text;
  AppendParserTimeText(time_text, settings, text);
  return text;
}

}  // namespace tavrolin::testing
