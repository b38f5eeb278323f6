// The system's ANSI code page: texts handed to the historian library and the
// bytes of report files.
#pragma once

#include <cstdint>

#include "platform/code_page.h"

namespace tavrolin::windows {

class AnsiCodePage : public CodePage {
 public:
  // The system's ANSI code page (GetACP).
  AnsiCodePage();
  // A given code page, such as 1252.
  explicit AnsiCodePage(uint32_t code_page);

  std::string FromUtf8(std::string_view text) const override;
  std::string ToUtf8(std::string_view bytes) const override;
  std::string XmlEncodingName() const override;
  bool IsUtf8() const override;

  uint32_t number() const { return code_page_; }

 private:
  uint32_t code_page_;
};

// The name under which an XML declaration names a Windows code page
// ("windows-1252", "Shift_JIS", "UTF-8", ...).
std::string XmlEncodingNameOf(uint32_t code_page);

}  // namespace tavrolin::windows
