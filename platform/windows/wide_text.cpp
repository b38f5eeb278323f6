#include "platform/windows/wide_text.h"

#include <windows.h>

#include <limits>

#include "platform/error.h"

namespace tavrolin::windows {
namespace {

[[noreturn]] void ConversionFailed(const char* direction) {
  // The system's own message would need a conversion of its own.
  throw Error(errnum::kInvalidArgument, std::string("Cannot convert text ") +
                                            direction + ": error " +
                                            std::to_string(GetLastError()));
}

}  // namespace

int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    throw Error(errnum::kOutOfMemory, "Text too long to convert");
  }
  return static_cast<int>(size);
}

std::wstring Utf8ToWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = CheckedLength(text.size());
  const int wide_length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (wide_length <= 0) ConversionFailed("from UTF-8");
  std::wstring wide(static_cast<std::size_t>(wide_length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(),
                          wide_length) != wide_length) {
    ConversionFailed("from UTF-8");
  }
  return wide;
}

std::string WideToUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  const int length = CheckedLength(text.size());
  const int narrow_length = WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                                nullptr, 0, nullptr, nullptr);
  if (narrow_length <= 0) ConversionFailed("to UTF-8");
  std::string narrow(static_cast<std::size_t>(narrow_length), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(),
                          narrow_length, nullptr, nullptr) != narrow_length) {
    ConversionFailed("to UTF-8");
  }
  return narrow;
}

std::string SystemErrorText(uint32_t code, std::string_view subject) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring message;
  if (length != 0 && buffer != nullptr) message.assign(buffer, length);
  if (buffer != nullptr) LocalFree(buffer);
  while (!message.empty() &&
         (message.back() == L'\r' || message.back() == L'\n' ||
          message.back() == L' ')) {
    message.pop_back();
  }
  if (message.empty()) return "error " + std::to_string(code);
  std::string text = WideToUtf8(message);
  if (!subject.empty()) {
    for (std::size_t at = text.find("%1"); at != std::string::npos;
         at = text.find("%1", at + subject.size())) {
      text.replace(at, 2, subject);
    }
  }
  return text;
}

}  // namespace tavrolin::windows
