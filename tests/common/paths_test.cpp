// Splitting paths by the rule of the system they are of.
#include "common/paths.h"

#include <gtest/gtest.h>

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
  }
}

}  // namespace
}  // namespace tavrolin
