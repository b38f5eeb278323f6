// Splitting paths by the rule of the system they are of.
#include "common/paths.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace tavrolin {
namespace {

TEST(PathsTest, FolderAndFileNameByEachSystemsSeparators) {
  constexpr auto kPosix = PathStyle::kPosix;
  constexpr auto kWindows = PathStyle::kWindows;
  struct Case {
    const char* path;
    PathStyle style;
    const char* folder;
    const char* file_name;
  };
  const auto wide = [](const char* text) {
    return std::wstring(text, text + std::strlen(text));
  };
  for (const Case& c : {
           Case{"/opt/corvane plant/out.xml", kPosix, "/opt/corvane plant",
                "out.xml"},
           Case{"out.xml", kPosix, "", "out.xml"},
           Case{"/opt/bin/", kPosix, "/opt/bin", ""},
           Case{"/opt/a\\b.xml", kPosix, "/opt", "a\\b.xml"},
           Case{"C:\\Corvane/bin\\out.xml", kWindows, "C:\\Corvane/bin",
                "out.xml"},
           Case{"C:/out.xml", kWindows, "C:", "out.xml"},
       }) {
    EXPECT_EQ(FolderOf(c.path, c.style), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path, c.style), c.file_name) << c.path;
    // The same paths as the wide texts of the Windows API.
    EXPECT_EQ(FolderOf(wide(c.path), c.style), wide(c.folder)) << c.path;
    EXPECT_EQ(FileNameOf(wide(c.path), c.style), wide(c.file_name)) << c.path;
  }
}

// Wide characters whose low byte is a separator's ('\u012F' ends in 0x2F,
// '\u015C' in 0x5C) are letters, not separators.
TEST(PathsTest, WideCharactersAreComparedWhole) {
  const std::wstring path = L"C:\\a\u012Fb\\c\u015Cd.xml";
  EXPECT_EQ(FolderOf(path, PathStyle::kWindows), L"C:\\a\u012Fb");
  EXPECT_EQ(FileNameOf(path, PathStyle::kWindows), L"c\u015Cd.xml");
}

}  // namespace
}  // namespace tavrolin
