// The system's 8-bit code page: texts handed to the historian library and
// the bytes of report files. Inside the program texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace tavrolin {

class CodePage {
 public:
  virtual ~CodePage() = default;
  // UTF-8 to the code page; a character the code page lacks becomes its
  // substitute character.
  virtual std::string FromUtf8(std::string_view text) const = 0;
  // The code page back to UTF-8.
  virtual std::string ToUtf8(std::string_view bytes) const = 0;
  // The encoding's name as an XML declaration writes it ("UTF-8",
  // "windows-1252", ...).
  virtual std::string XmlEncodingName() const = 0;
  // True when every character can be written (a UTF-8 code page).
  virtual bool IsUtf8() const = 0;
};

// A code page that is UTF-8 itself (Linux's): texts pass through unchanged.
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

}  // namespace tavrolin
