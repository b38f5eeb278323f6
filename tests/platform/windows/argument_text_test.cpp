// The argument text taken from the command line as the system hands it over.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/windows/process.h"
#include "tests/support/fake_platform.h"

namespace tavrolin::windows {
namespace {

struct Case {
  const wchar_t* command_line;
  const wchar_t* argument_text;
};

class ArgumentTextTest : public ::testing::TestWithParam<Case> {};

TEST_P(ArgumentTextTest, FollowsTheProgramsPath) {
  EXPECT_EQ(ArgumentTextOf(GetParam().command_line), GetParam().argument_text);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ArgumentTextTest,
    ::testing::Values(
        // Quoted paths, with blanks inside the quotes.
        Case{L"\"C:\\Program Files\\Corvane\\tavrolin.exe\" -install",
             L"-install"},
        Case{L"\"C:\\Program Files\\Corvane\\tavrolin.exe\"", L""},
        Case{L"\"C:\\Program Files\\Corvane\\tavrolin.exe\"   -debug",
             L"-debug"},
        Case{L"\"C:\\a b\\tavrolin.exe\"-debug", L"-debug"},
        // Unquoted paths end at the first blank.
        Case{L"C:\\Corvane\\tavrolin.exe -uninstall", L"-uninstall"},
        Case{L"tavrolin.exe", L""}, Case{L"tavrolin.exe \t -debug", L"-debug"},
        // The rest stands as it is: trailing blanks, inner blanks, case.
        Case{L"tavrolin.exe -install ", L"-install "},
        Case{L"tavrolin.exe -install -debug", L"-install -debug"},
        Case{L"tavrolin.exe -INSTALL", L"-INSTALL"},
        Case{L"tavrolin.exe \"quoted arg\"  x", L"\"quoted arg\"  x"},
        // A quote that never closes leaves no argument text.
        Case{L"\"C:\\a b\\tavrolin.exe -install", L""}, Case{L"", L""}));

TEST(ArgumentText, ProcessTextIsUtf8OfTheCommandLine) {
  // Under any runner the test's own command line yields some text; what
  // matters is that it does not contain the program's path.
  Win32Process process;
  const std::string text = process.ArgumentText();
  EXPECT_EQ(text.find(".exe"), std::string::npos) << text;
}

TEST(ExecutableDirectory, HoldsTheExecutableWithoutTrailingSeparator) {
  Win32Process process;
  const std::string directory = process.ExecutableDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_NE(directory.back(), '\\');
  EXPECT_EQ(process.PathSeparator(), "\\");
  // The build puts the stand-in historian libraries beside the test.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(directory) /
                                      testing::StubLibraryFile("stub_piapi32")))
      << directory;
}

}  // namespace
}  // namespace tavrolin::windows
