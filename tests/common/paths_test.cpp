// Splitting paths by the rule of the system they are of.
#include "common/paths.h"

#include <gtest/gtest.h>

namespace tavrolin {
namespace {

TEST(PathsTest, FolderAndFileNameByEachSystemsSeparators) {
  struct Case {
    const char* path;
    PathStyle style;
    const char* folder;
    const char* file_name;
  };
  for (const Case& c : {
           Case{"/opt/corvane plant/out.xml", PathStyle::kPosix,
                "/opt/corvane plant", "out.xml"},
           Case{"/out.xml", PathStyle::kPosix, "", "out.xml"},
           Case{"out.xml", PathStyle::kPosix, "", "out.xml"},
           Case{"/opt/bin/", PathStyle::kPosix, "/opt/bin", ""},
           // A backslash is part of a POSIX file name.
           Case{"/opt/a\\b.xml", PathStyle::kPosix, "/opt", "a\\b.xml"},
           Case{"C:\\Corvane\\out.xml", PathStyle::kWindows, "C:\\Corvane",
                "out.xml"},
           Case{"C:\\Corvane/bin\\out.xml", PathStyle::kWindows,
                "C:\\Corvane/bin", "out.xml"},
           Case{"C:/Corvane/out.xml", PathStyle::kWindows, "C:/Corvane",
                "out.xml"},
           Case{"out.xml", PathStyle::kWindows, "", "out.xml"},
       }) {
    EXPECT_EQ(FolderOf(c.path, c.style), c.folder) << c.path;
    EXPECT_EQ(FileNameOf(c.path, c.style), c.file_name) << c.path;
  }
}

}  // namespace
}  // namespace tavrolin
