// The Linux process: the argument text, the executable's folder.
#include "platform/posix/process.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrolin::testing {
namespace {

std::string ArgumentText(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "/opt/tavrolin/tavrolin");
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix::LinuxProcess process(static_cast<int>(arguments.size()), argv.data());
  return process.ArgumentText();
}

TEST(ProcessTest, ArgumentTextJoinsTheArgumentsWithSingleBlanks) {
  EXPECT_EQ(ArgumentText({}), "");
  EXPECT_EQ(ArgumentText({"-install"}), "-install");
  EXPECT_EQ(ArgumentText({"-install "}), "-install ");
  EXPECT_EQ(ArgumentText({"-install", "-debug"}), "-install -debug");
  EXPECT_EQ(ArgumentText({""}), "");
  EXPECT_EQ(ArgumentText({"", ""}), " ");
}

// The test runs from the build's output folder, which the test's
// environment names.
TEST(ProcessTest, ExecutableDirectoryIsTheFolderOfTheProgram) {
  posix::LinuxProcess process(0, nullptr);
  const std::string directory = process.ExecutableDirectory();
  const char* bin = std::getenv("TAVROLIN_TEST_BIN");
  ASSERT_NE(bin, nullptr);
  EXPECT_EQ(directory, std::filesystem::canonical(bin).string());
  EXPECT_NE(directory.back(), '/');
  EXPECT_EQ(process.PathSeparator(), "/");
}

// systemd names the state folders of a unit in STATE_DIRECTORY, separated by
// colons; reports go to the first. Anything but an absolute path leaves them
// beside the executable.
TEST(ProcessTest, FirstStateDirectory) {
  EXPECT_EQ(posix::FirstStateDirectory("/var/lib/tavrolin"),
            "/var/lib/tavrolin");
  EXPECT_EQ(posix::FirstStateDirectory("/var/lib/tavrolin/:/var/lib/other"),
            "/var/lib/tavrolin");
  EXPECT_EQ(posix::FirstStateDirectory("/"), "/");
  EXPECT_EQ(posix::FirstStateDirectory(nullptr), "");
  EXPECT_EQ(posix::FirstStateDirectory(""), "");
  EXPECT_EQ(posix::FirstStateDirectory(":/var/lib/tavrolin"), "");
  EXPECT_EQ(posix::FirstStateDirectory("var/lib/tavrolin"), "");
}

TEST(ProcessTest, DirectoryOfAPath) {
  EXPECT_EQ(posix::DirectoryOf("/opt/corvane plant/tavrolin"),
            "/opt/corvane plant");
  EXPECT_EQ(posix::DirectoryOf("/tavrolin"), "/");
  EXPECT_EQ(posix::DirectoryOf("tavrolin"), ".");
}

}  // namespace
}  // namespace tavrolin::testing
