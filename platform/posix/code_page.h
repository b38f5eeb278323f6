// On Linux the 8-bit code page is UTF-8: texts pass through unchanged.
#pragma once

#include "platform/code_page.h"

namespace tavrolin::posix {

class Utf8CodePage : public CodePage {
 public:
  std::string FromUtf8(std::string_view text) const override {
    return std::string(text);
  }
  std::string ToUtf8(std::string_view bytes) const override {
    return std::string(bytes);
  }
  std::string XmlEncodingName() const override { return "UTF-8"; }
  bool IsUtf8() const override { return true; }
};

}  // namespace tavrolin::posix
