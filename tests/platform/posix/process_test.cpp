// The Linux process: the argument text, the executable's folder.
#include "platform/posix/process.h"

#include <gtest/gtest.h>

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

TEST(ProcessTest, ExecutableDirectoryHasNoTrailingSeparator) {
  posix::LinuxProcess process(0, nullptr);
  const std::string directory = process.ExecutableDirectory();
  EXPECT_EQ(directory,
            std::filesystem::read_symlink("/proc/self/exe").parent_path());
  EXPECT_NE(directory.back(), '/');
  EXPECT_EQ(process.PathSeparator(), "/");
}

TEST(ProcessTest, DirectoryOfAPath) {
  EXPECT_EQ(posix::DirectoryOf("/opt/corvane plant/tavrolin"),
            "/opt/corvane plant");
  EXPECT_EQ(posix::DirectoryOf("/tavrolin"), "/");
}

}  // namespace
}  // namespace tavrolin::testing
