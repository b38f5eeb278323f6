#include "platform/windows/process.h"

#include <windows.h>

#include "common/paths.h"
#include "platform/error.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring ArgumentTextOf(std::wstring_view command_line) {
  std::size_t at = 0;
  while (at < command_line.size() && IsBlank(command_line[at])) ++at;
  if (at < command_line.size() && command_line[at] == L'"') {
    // A quoted path ends at its closing quote.
    const std::size_t close = command_line.find(L'"', at + 1);
    at = close == std::wstring_view::npos ? command_line.size() : close + 1;
  } else {
    while (at < command_line.size() && !IsBlank(command_line[at])) ++at;
  }
  while (at < command_line.size() && IsBlank(command_line[at])) ++at;
  return std::wstring(command_line.substr(at));
}

std::wstring ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(),
                                            static_cast<DWORD>(path.size()));
    if (length == 0) {
      throw Error(errnum::kPathAccess, "Cannot read the executable's path: " +
                                           SystemErrorText(GetLastError()));
    }
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::string Win32Process::ArgumentText() {
  return WideToUtf8(ArgumentTextOf(GetCommandLineW()));
}

std::string Win32Process::ExecutableDirectory() {
  const std::wstring path = ExecutablePath();
  return WideToUtf8(FolderOf(path, PathStyle::kWindows));
}

void Win32Process::End(int status) {
  if (before_end_) before_end_(status);
  ExitProcess(static_cast<UINT>(status));
}

}  // namespace tavrolin::windows
