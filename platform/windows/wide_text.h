// Conversions between the program's UTF-8 texts and the system's UTF-16
// texts, and the system's description of an error code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tavrolin::windows {

// A text's length as the conversion functions take it; throws when the text
// is too long for them.
int CheckedLength(std::size_t size);

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// The system's message for a Win32 error code, without the trailing line
// break; "%1" in it stands for `subject` when that is given. Falls back to
// "error N" when the system has no message.
std::string SystemErrorText(uint32_t code, std::string_view subject = {});

}  // namespace tavrolin::windows
