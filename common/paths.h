// Splitting a path into its folder and its file name by the rule of the
// system that the path is of, which need not be the system the code runs
// on (a Windows path read in a Linux build takes either separator). For
// narrow paths and for the wide paths of the Windows API alike.
#pragma once

#include <cstddef>
#include <string_view>

namespace tavrolin {

// The separators of a path: the slash alone on POSIX systems; on Windows
// either the backslash or the slash.
enum class PathStyle { kPosix, kWindows };

namespace paths_detail {

template <typename Char>
constexpr std::size_t FileNameStart(std::basic_string_view<Char> path,
                                    PathStyle style) {
  for (std::size_t i = path.size(); i > 0; --i) {
    const Char c = path[i - 1];
    if (c == Char('/') || (style == PathStyle::kWindows && c == Char('\\'))) {
      return i;
    }
  }
  return 0;
}

template <typename Char>
constexpr std::basic_string_view<Char> FolderOf(
    std::basic_string_view<Char> path, PathStyle style) {
  const std::size_t start = FileNameStart(path, style);
  return path.substr(0, start == 0 ? 0 : start - 1);
}

}  // namespace paths_detail

// Where the file name starts: just after the last separator, or 0.
constexpr std::size_t FileNameStart(std::string_view path, PathStyle style) {
  return paths_detail::FileNameStart(path, style);
}
constexpr std::size_t FileNameStart(std::wstring_view path, PathStyle style) {
  return paths_detail::FileNameStart(path, style);
}

// What follows the last separator; the whole path when it has none.
constexpr std::string_view FileNameOf(std::string_view path, PathStyle style) {
  return path.substr(FileNameStart(path, style));
}
constexpr std::wstring_view FileNameOf(std::wstring_view path,
                                       PathStyle style) {
  return path.substr(FileNameStart(path, style));
}

// What precedes the last separator, without it: "/opt/a" for "/opt/a/b"; the
// empty text for "/b" and for a path with no separator.
constexpr std::string_view FolderOf(std::string_view path, PathStyle style) {
  return paths_detail::FolderOf(path, style);
}
constexpr std::wstring_view FolderOf(std::wstring_view path, PathStyle style) {
  return paths_detail::FolderOf(path, style);
}

}  // namespace tavrolin
