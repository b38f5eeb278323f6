// Tag-list encodings on Windows: the system's code pages, found by the name
// an XML declaration gives it.
#include "platform/text_decoder.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "common/ascii.h"

namespace tavrolin {
namespace {

// The digits after `prefix` as a number, when `name` is `prefix` and digits.
std::optional<uint32_t> NumberAfter(std::string_view name,
                                    std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix ||
      name.size() - prefix.size() > 5) {
    return std::nullopt;
  }
  uint32_t number = 0;
  for (const char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  return number;
}

// The code page an encoding name stands for (the names of the IANA
// character-set registry and the usual aliases).
std::optional<uint32_t> CodePageOf(std::string_view encoding) {
  const std::string name = LowerCase(encoding);
  struct Alias {
    const char* name;
    uint32_t code_page;
  };
  static constexpr Alias kAliases[] = {
      {"utf-8", CP_UTF8}, {"utf8", CP_UTF8},       {"shift_jis", 932},
      {"shift-jis", 932}, {"sjis", 932},           {"windows-31j", 932},
      {"cp932", 932},     {"euc-jp", 20932},       {"gbk", 936},
      {"gb2312", 936},    {"cp936", 936},          {"gb18030", 54936},
      {"euc-kr", 949},    {"ks_c_5601-1987", 949}, {"cp949", 949},
      {"big5", 950},      {"big5-hkscs", 950},     {"cp950", 950},
      {"koi8-r", 20866},  {"koi8-u", 21866},       {"us-ascii", 20127},
      {"ascii", 20127},   {"macintosh", 10000},    {"x-mac-roman", 10000},
      {"tis-620", 874},   {"latin1", 28591},       {"l1", 28591},
  };
  for (const Alias& alias : kAliases) {
    if (name == alias.name) return alias.code_page;
  }
  for (const std::string_view prefix : {"windows-", "cp", "ibm", "x-cp"}) {
    if (const auto number = NumberAfter(name, prefix)) return number;
  }
  for (const std::string_view prefix : {"iso-8859-", "iso8859-", "iso_8859-"}) {
    const auto part = NumberAfter(name, prefix);
    if (part && *part >= 1 && *part <= 16) return 28590 + *part;
  }
  return std::nullopt;
}

class CodePageDecoder : public TextDecoder {
 public:
  DecodedText ToUtf8(std::string_view encoding,
                     std::string_view bytes) const override {
    DecodedText result;
    const std::optional<uint32_t> code_page =
        IsTagListEncoding(encoding) ? CodePageOf(encoding) : std::nullopt;
    CPINFO info;
    if (!code_page || !GetCPInfo(*code_page, &info)) {
      result.status = DecodedText::Status::kUnknownEncoding;
      return result;
    }
    if (bytes.empty()) return result;
    if (bytes.size() > static_cast<std::size_t>(INT32_MAX) / 2) {
      result.status = DecodedText::Status::kInvalidBytes;
      return result;
    }
    const int length = static_cast<int>(bytes.size());
    // Invalid bytes fail the conversion rather than becoming U+FFFD; a few
    // code pages (the ISO-2022 and GB18030 families) take no flags.
    DWORD flags = MB_ERR_INVALID_CHARS;
    int wide_length = MultiByteToWideChar(*code_page, flags, bytes.data(),
                                          length, nullptr, 0);
    if (wide_length <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
      flags = 0;
      wide_length = MultiByteToWideChar(*code_page, flags, bytes.data(), length,
                                        nullptr, 0);
    }
    if (wide_length <= 0) {
      result.status = DecodedText::Status::kInvalidBytes;
      return result;
    }
    std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
    MultiByteToWideChar(*code_page, flags, bytes.data(), length, wide.data(),
                        wide_length);
    const int utf8_length = WideCharToMultiByte(
        CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    result.text.resize(static_cast<std::size_t>(utf8_length));
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length,
                        result.text.data(), utf8_length, nullptr, nullptr);
    return result;
  }
};

}  // namespace

const TextDecoder& SystemTextDecoder() {
  static const CodePageDecoder decoder;
  return decoder;
}

}  // namespace tavrolin
