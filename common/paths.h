// Splitting a path into its folder and its file name by the rule of the
// system that the path is of, which need not be the system the code runs
// on (a Windows path read in a Linux build takes either separator).
#pragma once

#include <cstddef>
#include <string_view>

namespace tavrolin {

// The separators of a path: the slash alone on POSIX systems; on Windows
// either the backslash or the slash.
enum class PathStyle { kPosix, kWindows };

// Where the file name starts: just after the last separator, or 0.
constexpr std::size_t FileNameStart(std::string_view path, PathStyle style) {
  for (std::size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (c == '/' || (style == PathStyle::kWindows && c == '\\')) return i;
  }
  return 0;
}

// What follows the last separator; the whole path when it has none.
constexpr std::string_view FileNameOf(std::string_view path, PathStyle style) {
  return path.substr(FileNameStart(path, style));
}

// What precedes the last separator, without it: "/opt/a" for "/opt/a/b"; the
// empty text for "/b" and for a path with no separator.
constexpr std::string_view FolderOf(std::string_view path, PathStyle style) {
  const std::size_t start = FileNameStart(path, style);
  return path.substr(0, start == 0 ? 0 : start - 1);
}

}  // namespace tavrolin
