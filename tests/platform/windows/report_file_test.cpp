// Report files replaced in one step.
#include "platform/windows/report_file.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>

#include "platform/error.h"
#include "tests/support/report_writing.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::windows {
namespace {

using tavrolin::testing::WriteReport;

std::size_t FileCount(const std::filesystem::path& folder) {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry :
       std::filesystem::directory_iterator(folder)) {
    ++count;
  }
  return count;
}

// Only temporary files of writers that have ended are removed: an odd
// process id names no process (process ids are multiples of four).
TEST(ReportFile, RemovesOnlyTheLeftoversOfEndedWriters) {
  testing::TempDir folder;
  const std::string dead = "4294967293";
  const std::string alive = std::to_string(GetCurrentProcessId());
  folder.Write("out3.xml." + dead + ".0.tmp", "left over");
  folder.Write("out3.xml." + dead + ".12.tmp", "left over");
  folder.Write("out3.xml." + alive + ".0.tmp", "kept");
  folder.Write("out2.xml." + dead + ".0.tmp", "kept");
  folder.Write("out3.xml." + dead + ".tmp", "kept");
  folder.Write("out3.xml", "kept");
  AtomicReportFileWriter writer;
  writer.RemoveLeftovers(folder.File("out3.xml"));
  EXPECT_EQ(FileCount(folder.path()), 4u);
  EXPECT_FALSE(
      std::filesystem::exists(folder.File("out3.xml." + dead + ".0.tmp")));
  EXPECT_TRUE(
      std::filesystem::exists(folder.File("out3.xml." + alive + ".0.tmp")));
}

TEST(ReportFile, WritesTheBytesAsGiven) {
  testing::TempDir folder;
  AtomicReportFileWriter writer;
  const std::string bytes = "<a>\xFC</a>\r\n";
  WriteReport(writer, folder.File("out.xml"), bytes);
  EXPECT_EQ(testing::ReadFile(folder.File("out.xml")), bytes);
  EXPECT_EQ(FileCount(folder.path()), 1u);
}

TEST(ReportFile, ReplacesThePreviousReport) {
  testing::TempDir folder;
  folder.Write("out.xml", "a much longer previous report\r\n");
  AtomicReportFileWriter writer;
  WriteReport(writer, folder.File("out.xml"), "<new/>\r\n");
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
    WriteReport(writer, folder.File("out.xml"), "<new/>\r\n");
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
    WriteReport(writer, path, "<a/>");
    FAIL() << "written into a missing folder";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_EQ(error.description().rfind("Cannot write " + path + ": ", 0), 0u)
        << error.description();
  }
}

}  // namespace
}  // namespace tavrolin::windows
