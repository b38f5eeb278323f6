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
#include <functional>
#include <optional>
#include <string>
#include <utility>
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

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) ADD_FAILURE() << "no " << path;
  return info.st_mode & 07777;
}

// The temporary files beside `report` ("." NAME ...).
std::vector<std::string> Temporaries(const std::filesystem::path& folder,
                                     const std::string& report) {
  std::vector<std::string> found;
  for (const auto& name : FolderEntries(folder)) {
    if (name.rfind("." + report + ".", 0) == 0) found.push_back(name);
  }
  return found;
}

// A report is no program: setuid, setgid and sticky never pass to the new
// report, and the temporary file is its owner's alone while it is written.
TEST(AtomicReportFileWriterTest,
     ModeComesFromThePreviousReportWithoutSpecialBits) {
  struct Case {
    std::optional<mode_t> previous;  // nothing: no previous report
    mode_t expected;
  };
  for (const Case& test : {Case{std::nullopt, 0644}, Case{0640, 0640},
                           Case{06777, 0666}, Case{01604, 0604}}) {
    TempDir folder;
    const std::string path = folder.File("out.xml");
    if (test.previous) {
      folder.Write("out.xml", "old");
      ASSERT_EQ(::chmod(path.c_str(), *test.previous), 0);
    }
    const mode_t previous_mask = ::umask(022);
    AtomicReportFileWriter writer;
    ::umask(previous_mask);
    std::vector<mode_t> temporary_modes;
    writer.ReplaceWith(path, [&](ReportSink& sink) {
      // Past the buffer, so that bytes are on disk already.
      sink.Write(std::string(BufferedReportSink::kCapacity + 1, 'x'));
      for (const auto& name : Temporaries(folder.path(), "out.xml")) {
        temporary_modes.push_back(ModeOf(folder.File(name)));
      }
    });
    EXPECT_EQ(temporary_modes, std::vector<mode_t>{0600});
    EXPECT_EQ(ModeOf(path), test.expected) << std::oct << test.expected;
  }
}

// A temporary name that is taken (a leftover of an earlier process with the
// same number) is passed over; the file that has it stays.
TEST(AtomicReportFileWriterTest, ATemporaryNameThatIsTakenIsPassedOver) {
  TempDir folder;
  const std::string own = std::to_string(::getpid());
  for (int counter = 0; counter < 20; ++counter) {
    folder.Write(".out.xml." + own + "." + std::to_string(counter) + ".0.tmp",
                 "taken");
  }
  WriteReport(AtomicReportFileWriter(), folder.File("out.xml"), "report");
  EXPECT_EQ(ReadFile(folder.File("out.xml")), "report");
  EXPECT_EQ(FolderEntries(folder.path()).size(), 21u);
  EXPECT_EQ(ReadFile(folder.File(".out.xml." + own + ".0.0.tmp")), "taken");
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

// Only a regular file is replaced; anything else at the report's name (or
// where its link leads) stays, and the report is not built at all.
TEST(AtomicReportFileWriterTest, APreviousReportThatIsNoFileIsLeftAsItWas) {
  const std::vector<std::pair<std::function<void(const TempDir&)>, std::string>>
      cases = {
          {[](const TempDir& folder) {
             std::filesystem::create_directory(folder.path() / "out.xml");
             folder.Write("out.xml/inside", "kept");
           },
           "it is a folder, not a regular file"},
          {[](const TempDir& folder) {
             ASSERT_EQ(::mkfifo(folder.File("out.xml").c_str(), 0644), 0);
           },
           "it is a FIFO, not a regular file"},
          {[](const TempDir& folder) {
             std::filesystem::create_symlink("/dev/null",
                                             folder.path() / "out.xml");
           },
           "(a link to /dev/null): it is a character device"},
      };
  for (const auto& [make, reason] : cases) {
    TempDir folder;
    make(folder);
    int produced = 0;
    try {
      AtomicReportFileWriter().ReplaceWith(folder.File("out.xml"),
                                           [&](ReportSink&) { ++produced; });
      ADD_FAILURE() << "replaced: " << reason;
    } catch (const Error& error) {
      EXPECT_EQ(error.number(), errnum::kPathAccess);
      EXPECT_NE(error.description().find(folder.File("out.xml")),
                std::string::npos)
          << error.description();
      EXPECT_NE(error.description().find(reason), std::string::npos)
          << error.description();
    }
    EXPECT_EQ(produced, 0);
    EXPECT_EQ(FolderEntries(folder.path()),
              std::vector<std::string>{"out.xml"});
  }
}

// Sites link the report into a web server's folder: the link stays, and the
// file it leads to is replaced in its own folder.
TEST(AtomicReportFileWriterTest, AReportThatIsALinkIsWrittenThroughIt) {
  struct Case {
    const char* label;
    // Name and text of each link; the text "/" stands for the target's
    // absolute path.
    std::vector<std::pair<std::string, std::string>> links;
    bool target_exists;
  };
  const std::vector<Case> cases = {
      {"relative", {{"out.xml", "web/report.xml"}}, true},
      {"absolute", {{"out.xml", "/"}}, true},
      {"chain", {{"out.xml", "hop.xml"}, {"hop.xml", "web/report.xml"}}, true},
      {"dangling", {{"out.xml", "web/report.xml"}}, false},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.label);
    TempDir folder;
    std::filesystem::create_directory(folder.path() / "web");
    if (test.target_exists) folder.Write("web/report.xml", "previous");
    for (const auto& [name, text] : test.links) {
      const std::string resolved =
          text == "/" ? folder.File("web/report.xml") : text;
      std::filesystem::create_symlink(resolved, folder.path() / name);
    }
    WriteReport(AtomicReportFileWriter(), folder.File("out.xml"), "new");
    EXPECT_EQ(ReadFile(folder.File("web/report.xml")), "new");
    EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "out.xml"));
    EXPECT_EQ(FolderEntries(folder.path() / "web"),
              std::vector<std::string>{"report.xml"});
    EXPECT_EQ(FolderEntries(folder.path()).size(), test.links.size() + 1);
  }
}

// A replacement that the system refuses, in a child process: one whose user
// may not write the report (the tests run as root, whom permission bits do
// not stop), and one under a file-size limit, where the first write fails
// (the buffer's part in that is tested with the shared sink). The child
// reports through its exit status whether the replacement failed with the
// reason, after the producer ran as often as expected.
TEST(AtomicReportFileWriterTest, ARefusedReplacementKeepsThePreviousReport) {
  constexpr uid_t kNobody = 65534;
  struct Case {
    const char* reason;
    int produced;
    bool as_nobody;  // else under the file-size limit
  };
  for (const Case& c :
       {Case{"Permission denied", 0, true}, Case{"File too large", 1, false}}) {
    SCOPED_TRACE(c.reason);
    TempDir folder;
    const std::string path = folder.File("out.xml");
    const std::string previous = "<previous report/>\r\n";
    folder.Write("out.xml", previous);
    if (c.as_nobody) {
      ASSERT_EQ(::chmod(folder.path().c_str(), 0777), 0);
      ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0);
      ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    }
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (c.as_nobody && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        ::_exit(3);
      }
      std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{4096, 4096};
      if (!c.as_nobody) ::setrlimit(RLIMIT_FSIZE, &limit);
      int produced = 0;
      try {
        AtomicReportFileWriter().ReplaceWith(path, [&](ReportSink& sink) {
          ++produced;
          sink.Write(std::string(BufferedReportSink::kCapacity, 'x'));
        });
      } catch (const Error& error) {
        ::_exit(error.number() == errnum::kPathAccess &&
                        error.description() == "Cannot write the report file " +
                                                   path + ": " + c.reason &&
                        produced == c.produced
                    ? 0
                    : 2);
      }
      ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(path), previous);
    EXPECT_EQ(FolderEntries(folder.path()),
              std::vector<std::string>{"out.xml"});
  }
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
  // This process writes no report yet: one with its number is a leftover of
  // an earlier process that had the same number.
  const std::string own = std::to_string(::getpid());
  const std::string alive = std::to_string(::getppid());
  const std::vector<std::string> removed = {
      ".out3.xml." + dead + ".0.0.tmp",
      ".out3.xml." + dead + ".17.3.tmp",
      ".out3.xml." + own + ".0.0.tmp",
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
