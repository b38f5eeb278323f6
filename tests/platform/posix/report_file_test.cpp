// Report files are replaced in one step: the previous report stays whole
// until the new one is complete on disk, and nothing is left behind when the
// replacement fails. The system's own writer; the Windows one has its own
// tests.
#include "platform/posix/report_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "tests/support/report_writing.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::posix {
namespace {

using tavrolin::testing::WriteReport;

using testing::ReadFile;
using testing::TempDir;

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs Replace and returns the error it raised.
Error ReplaceError(const std::string& path, std::string_view bytes) {
  AtomicReportFileWriter writer;
  try {
    WriteReport(writer, path, bytes);
  } catch (const Error& error) {
    return error;
  }
  ADD_FAILURE() << "Replace of " << path << " did not fail";
  return Error(0, "");
}

TEST(AtomicReportFileWriterTest, CreatesAndReplacesTheFileWithExactBytes) {
  TempDir folder;
  const std::string path = folder.File("out.xml");
  AtomicReportFileWriter writer;
  const std::string first("<r>\xc3\xa9\0</r>\r\n", 13);
  WriteReport(writer, path, first);
  EXPECT_EQ(ReadFile(path), first);
  WriteReport(writer, path, "<s/>\r\n");
  EXPECT_EQ(ReadFile(path), "<s/>\r\n");
  WriteReport(writer, path, "");
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"out.xml"});

  // Through the factory, with a relative path.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  WriteReport(*CreateReportFileWriter(), "rel.xml", "x");
  std::filesystem::current_path(previous);
  EXPECT_EQ(ReadFile(folder.File("rel.xml")), "x");
}

TEST(AtomicReportFileWriterTest,
     NewFilesFollowTheUmaskAndOldOnesKeepTheirMode) {
  TempDir folder;
  const std::string path = folder.File("out.xml");
  const mode_t previous_mask = ::umask(022);
  WriteReport(AtomicReportFileWriter(), path, "a");
  ::umask(previous_mask);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);

  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  WriteReport(AtomicReportFileWriter(), path, "b");
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadFile(path), "b");
}

TEST(AtomicReportFileWriterTest, AFolderThatDoesNotExistFailsWithTheReason) {
  TempDir folder;
  const std::string path = folder.File("missing/out.xml");
  const Error error = ReplaceError(path, "x");
  EXPECT_EQ(error.number(), errnum::kPathAccess);
  EXPECT_NE(error.description().find(path), std::string::npos);
  EXPECT_NE(error.description().find("No such file or directory"),
            std::string::npos)
      << error.description();
  EXPECT_TRUE(FolderEntries(folder.path()).empty());
}

TEST(AtomicReportFileWriterTest, ATargetThatIsAFolderIsLeftAsItWas) {
  TempDir folder;
  std::filesystem::create_directory(folder.path() / "out.xml");
  folder.Write("out.xml/inside", "kept");
  const Error error = ReplaceError(folder.File("out.xml"), "new report");
  EXPECT_EQ(error.number(), errnum::kPathAccess);
  EXPECT_NE(error.description().find("cannot replace the previous file"),
            std::string::npos)
      << error.description();
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"out.xml"});
  EXPECT_EQ(ReadFile(folder.File("out.xml/inside")), "kept");
}

// The tests run as root, so permission bits do not stop a write; a file-size
// limit does. The child process writes under the limit and reports how the
// replacement ended through its exit status.
TEST(AtomicReportFileWriterTest, AFailedWriteLeavesThePreviousReportUnchanged) {
  TempDir folder;
  const std::string path = folder.File("out.xml");
  const std::string previous = "<previous report/>\r\n";
  folder.Write("out.xml", previous);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{4096, 4096};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int status = 1;
    try {
      WriteReport(AtomicReportFileWriter(), path, std::string(100000, 'x'));
    } catch (const Error& error) {
      const bool expected =
          error.number() == errnum::kPathAccess &&
          error.description().find(path) != std::string::npos &&
          error.description().find("File too large") != std::string::npos;
      status = expected ? 0 : 2;
    }
    ::_exit(status);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(path), previous);
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{"out.xml"});
}

TEST(AtomicReportFileWriterTest, LeavesNoHandleOpen) {
  TempDir folder;
  const auto open_files = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                         std::filesystem::directory_iterator());
  };
  const auto before = open_files();
  AtomicReportFileWriter writer;
  WriteReport(writer, folder.File("out.xml"), "a");
  ReplaceError(folder.File("missing/out.xml"), "b");
  std::filesystem::create_directory(folder.path() / "dir.xml");
  ReplaceError(folder.File("dir.xml"), "c");
  EXPECT_EQ(open_files(), before);
}

// The number of a process that has ended (and been reaped).
pid_t EndedProcess() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  int status = 0;
  ::waitpid(child, &status, 0);
  return child;
}

TEST(AtomicReportFileWriterTest, RemovesOnlyTheLeftoversOfEndedWriters) {
  TempDir folder;
  const std::string dead = std::to_string(EndedProcess());
  const std::string alive = std::to_string(::getpid());
  const std::vector<std::string> removed = {
      ".out3.xml." + dead + ".0.0.tmp",
      ".out3.xml." + dead + ".17.3.tmp",
  };
  const std::vector<std::string> kept = {
      ".out3.xml." + alive + ".0.0.tmp",  // a writer still running
      ".out2.xml." + dead + ".0.0.tmp",   // another report's
      ".out3.xml." + dead + ".0.tmp",     // not the writer's pattern
      ".out3.xml." + dead + ".0.0.tmp~",  // nor this
      ".out3.xml.x" + dead + ".0.0.tmp",  // nor this
      "out3.xml." + dead + ".0.0.tmp",    // nor this (not hidden)
      "out3.xml",                         // the report itself
  };
  for (const auto& name : removed) folder.Write(name, "left over");
  for (const auto& name : kept) folder.Write(name, "kept");

  AtomicReportFileWriter writer;
  writer.RemoveLeftovers(folder.File("out3.xml"));

  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FolderEntries(folder.path()), expected);
}

TEST(AtomicReportFileWriterTest, LeftoverThatCannotBeRemovedIsNamed) {
  TempDir folder;
  const std::string dead = std::to_string(EndedProcess());
  // A folder of that name cannot be unlinked, by root neither.
  const std::string stuck = ".out.xml." + dead + ".0.0.tmp";
  std::filesystem::create_directory(folder.path() / stuck);
  const std::string removable = ".out.xml." + dead + ".1.0.tmp";
  folder.Write(removable, "left over");
  AtomicReportFileWriter writer;
  try {
    writer.RemoveLeftovers(folder.File("out.xml"));
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), errnum::kPathAccess);
    EXPECT_NE(error.description().find(folder.File(stuck)), std::string::npos)
        << error.description();
  }
  // The others are removed all the same.
  EXPECT_EQ(FolderEntries(folder.path()), std::vector<std::string>{stuck});
}

}  // namespace
}  // namespace tavrolin::posix
