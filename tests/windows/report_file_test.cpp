// Report files replaced in one step.
#include "platform/windows/report_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::windows {
namespace {

std::size_t FileCount(const std::filesystem::path& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(folder)) {
    ++count;
  }
  return count;
}

TEST(ReportFile, WritesTheBytesAsGiven) {
  testing::TempDir folder;
  AtomicReportFileWriter writer;
  const std::string bytes = "<a>\xFC</a>\r\n";
  writer.Replace(folder.File("out.xml"), bytes);
  EXPECT_EQ(testing::ReadFile(folder.File("out.xml")), bytes);
  EXPECT_EQ(FileCount(folder.path()), 1u);
}

TEST(ReportFile, ReplacesThePreviousReport) {
  testing::TempDir folder;
  folder.Write("out.xml", "a much longer previous report\r\n");
  AtomicReportFileWriter writer;
  writer.Replace(folder.File("out.xml"), "<new/>\r\n");
  EXPECT_EQ(testing::ReadFile(folder.File("out.xml")), "<new/>\r\n");
  EXPECT_EQ(FileCount(folder.path()), 1u);
}

TEST(ReportFile, FailureNamesTheFileAndKeepsThePreviousReport) {
  testing::TempDir folder;
  folder.Write("out.xml", "previous\r\n");
  const std::wstring target = folder.path().wstring() + L"\\out.xml";
  // A reader that holds the report open without letting it be replaced.
  HANDLE reader = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  AtomicReportFileWriter writer;
  try {
    writer.Replace(folder.File("out.xml"), "<new/>\r\n");
    ADD_FAILURE() << "the report was replaced while held open";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_NE(error.description().find(folder.File("out.xml")),
              std::string::npos)
        << error.description();
  }
  CloseHandle(reader);
  EXPECT_EQ(testing::ReadFile(folder.File("out.xml")), "previous\r\n");
  EXPECT_EQ(FileCount(folder.path()), 1u) << "a temporary file was left";
}

TEST(ReportFile, MissingFolderIsPathAccessError) {
  testing::TempDir folder;
  AtomicReportFileWriter writer;
  const std::string path = folder.File("absent") + "\\out.xml";
  try {
    writer.Replace(path, "<a/>");
    FAIL() << "written into a missing folder";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_EQ(error.description().rfind("Cannot write " + path + ": ", 0), 0u)
        << error.description();
  }
}

}  // namespace
}  // namespace tavrolin::windows
