// Opening a tag list: only a regular file is read, and whatever else stands
// at the name (nothing, a folder, a FIFO without a writer, a device, a
// socket) fails at once with the name and what it is.
#include "platform/input_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/errors.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace tavrolin {
namespace {

using testing::TempDir;

TEST(InputFileTest, ReadsARegularFileAndRewinds) {
  TempDir folder;
  const std::string content(100000, 'x');
  folder.Write("tags.xml", content + "end");
  const auto file = OpenInputFile(folder.File("tags.xml"));
  EXPECT_EQ(file->path(), folder.File("tags.xml"));
  EXPECT_EQ(file->SizeHint(), content.size() + 3);
  std::string read(content.size() + 10, '\0');
  // A short count means the end to the parser: the buffer is filled.
  EXPECT_EQ(file->Read(read.data(), 70000), 70000u);
  EXPECT_EQ(file->Read(read.data() + 70000, 40000), content.size() + 3 - 70000);
  EXPECT_EQ(file->Read(read.data(), 10), 0u);
  file->Rewind();
  EXPECT_EQ(file->Read(read.data(), 3), 3u);
  EXPECT_EQ(read.substr(0, 3), "xxx");
}

struct KindCase {
  const char* label;
  // Makes what stands at the name in `folder`; returns the name to open.
  std::function<std::string(const TempDir& folder)> make;
  // The description, "@" standing for the folder's path.
  std::string description;
};

std::vector<KindCase> KindCases() {
  std::vector<KindCase> cases = {
      {"missing", [](const TempDir& f) { return f.File("tags.xml"); },
       "tags.xml not found in @"},
      {"folder", [](const TempDir& f) { return f.path().string(); },
       "A folder, not a file: @"},
#ifdef _WIN32
      {"device", [](const TempDir&) { return std::string("\\\\.\\NUL"); },
       "A device, not a file: \\\\.\\NUL"},
#else
      {"device", [](const TempDir&) { return std::string("/dev/null"); },
       "A device, not a file: /dev/null"},
      // No writer: an open() that waits would hang here.
      {"FIFO",
       [](const TempDir& f) {
         EXPECT_EQ(::mkfifo(f.File("tags.xml").c_str(), 0600), 0);
         return f.File("tags.xml");
       },
       "A FIFO, not a file: @/tags.xml"},
      {"socket",
       [](const TempDir& f) {
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         f.File("s").copy(address.sun_path, sizeof address.sun_path - 1);
         EXPECT_EQ(
             ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address),
             0);
         ::close(fd);
         return f.File("s");
       },
       "A socket, not a file: @/s"},
      {"link to a FIFO",
       [](const TempDir& f) {
         EXPECT_EQ(::mkfifo(f.File("fifo").c_str(), 0600), 0);
         std::filesystem::create_symlink(f.File("fifo"), f.File("tags.xml"));
         return f.File("tags.xml");
       },
       "A FIFO, not a file: @/tags.xml"},
#endif
  };
  return cases;
}

TEST(InputFileTest, WhatIsNoRegularFileFailsNamingIt) {
  for (const KindCase& c : KindCases()) {
    SCOPED_TRACE(c.label);
    TempDir folder;
    const std::string name = c.make(folder);
    const Error error = testing::ErrorOf([&] { OpenInputFile(name); });
    std::string expected = c.description;
    if (const auto at = expected.find('@'); at != std::string::npos) {
      expected.replace(at, 1, folder.path().string());
    }
    EXPECT_EQ(error.number(), errnum::kObjectNotSet);
    EXPECT_EQ(error.description(), expected);
  }
}

TEST(InputFileTest, ABareNameIsLookedForInTheWorkingFolder) {
  TempDir folder;
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  const Error error = testing::ErrorOf([] { OpenInputFile("tags.xml"); });
  std::filesystem::current_path(before);
  EXPECT_EQ(error.description(), "tags.xml not found in " +
                                     folder.path().string() +
                                     " (the working folder)");
}

}  // namespace
}  // namespace tavrolin
