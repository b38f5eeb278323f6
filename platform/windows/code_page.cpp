#include "platform/windows/code_page.h"

#include <windows.h>

#include <utility>

#include "platform/error.h"
#include "platform/windows/system_text.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
AnsiCodePage::AnsiCodePage() : code_page_(GetACP()) {}

AnsiCodePage::AnsiCodePage(uint32_t code_page) : code_page_(code_page) {}

bool AnsiCodePage::IsUtf8() const { return code_page_ == CP_UTF8; }

std::string AnsiCodePage::FromUtf8(std::string_view text) const {
  if (IsUtf8() || text.empty()) return std::string(text);
  const std::wstring wide = Utf8ToWide(text);
  (void)CheckedLength(wide.size());  // throws for a text beyond the system's
  auto narrow = WideToCodePage(wide, code_page_);
  if (!narrow) {
    throw Error(errnum::kInvalidArgument, "Cannot convert text to code page " +
                                              std::to_string(code_page_) +
                                              ": " +
                                              SystemErrorText(GetLastError()));
  }
  return std::move(*narrow);
}

std::string AnsiCodePage::ToUtf8(std::string_view bytes) const {
  if (IsUtf8() || bytes.empty()) return std::string(bytes);
  const int length = CheckedLength(bytes.size());
  const int wide_length =
      MultiByteToWideChar(code_page_, 0, bytes.data(), length, nullptr, 0);
  if (wide_length <= 0) {
    throw Error(errnum::kInvalidArgument,
                "Cannot convert text from code page " +
                    std::to_string(code_page_) + ": " +
                    SystemErrorText(GetLastError()));
  }
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  if (MultiByteToWideChar(code_page_, 0, bytes.data(), length, wide.data(),
                          wide_length) != wide_length) {
    throw Error(errnum::kInvalidArgument,
                "Cannot convert text from code page " +
                    std::to_string(code_page_) + ": " +
                    SystemErrorText(GetLastError()));
  }
  return WideToUtf8(wide);
}

std::string AnsiCodePage::XmlEncodingName() const {
  return XmlEncodingNameOf(code_page_);
}

std::string XmlEncodingNameOf(uint32_t code_page) {
  switch (code_page) {
    case CP_UTF8:
      return "UTF-8";
    case 874:
      return "windows-874";
    case 932:
      return "Shift_JIS";
    case 936:
      return "GBK";
    case 949:
      return "EUC-KR";
    case 950:
      return "Big5";
    case 20127:
      return "US-ASCII";
    case 28591:
      return "ISO-8859-1";
    default:  // 1250 to 1258 and the rest
      return "windows-" + std::to_string(code_page);
  }
}

}  // namespace tavrolin::windows
