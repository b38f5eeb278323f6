// The Linux service control: the systemd unit it installs and removes (in a
// folder of the test's own, with a stand-in systemctl), and the event-log
// lines it writes to standard error.
#include "platform/posix/service_control.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/posix/message_loop.h"
#include "platform/posix/process.h"
#include "tests/platform/fd_capture.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

namespace fs = std::filesystem;
using posix::SystemdServiceControl;

std::string ExpectedUnit(const std::string& exec_start,
                         const std::string& working_directory) {
  return "[Unit]\n"
         "Description=Corvane Service\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" +
         exec_start +
         "\n"
         "WorkingDirectory=" +
         working_directory +
         "\n"
         "SyslogIdentifier=CorvaneService\n"
         "Restart=on-failure\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

// A unit folder and a stand-in systemctl that records its arguments, one
// call a line, and fails the command named in the file "fail".
class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools_.Write("systemctl",
                 "#!/bin/sh\n"
                 "dir=$(dirname \"$0\")\n"
                 "echo \"$*\" >> \"$dir/calls\"\n"
                 "if [ -f \"$dir/fail\" ] && [ \"$1\" = \"$(cat "
                 "\"$dir/fail\")\" ]; then exit 1; fi\n"
                 "exit 0\n");
    fs::permissions(tools_.File("systemctl"), fs::perms::owner_all);
  }

  SystemdServiceControl Control(const std::string& unit_folder) {
    return SystemdServiceControl(loop_, unit_folder, tools_.File("systemctl"));
  }
  SystemdServiceControl Control() { return Control(units_.path().string()); }
  void FailOn(const std::string& command) { tools_.Write("fail", command); }
  std::string Calls() const { return ReadFileOrEmpty(tools_.File("calls")); }
  std::string UnitPath() const { return units_.File("CorvaneService.service"); }
  bool UnitExists() const { return fs::exists(UnitPath()); }

  posix::MessageLoop loop_;
  TempDir units_;
  TempDir tools_;
};

TEST_F(InstallTest, NameIsTheDisplayName) {
  EXPECT_EQ(Control().Name(), "Corvane Service");
}

TEST_F(InstallTest, InstallWritesTheUnitReloadsAndEnables) {
  auto control = Control();
  control.SetInstallOption(true);
  ASSERT_TRUE(control.Install());
  const std::string executable = posix::ExecutablePath();
  EXPECT_EQ(ReadFile(UnitPath()),
            ExpectedUnit('"' + executable + '"',
                         fs::path(executable).parent_path().string()));
  EXPECT_EQ(Calls(), "daemon-reload\nenable CorvaneService.service\n");
  struct stat status {};
  ASSERT_EQ(::stat(UnitPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
}

TEST_F(InstallTest, InstalledUnitIsNeverOverwritten) {
  units_.Write("CorvaneService.service", "an engineer's own unit\n");
  EXPECT_FALSE(Control().Install());
  EXPECT_EQ(ReadFile(UnitPath()), "an engineer's own unit\n");
  EXPECT_EQ(Calls(), "");
}

TEST_F(InstallTest, FailedReloadLeavesNoUnitBehind) {
  FailOn("daemon-reload");
  EXPECT_FALSE(Control().Install());
  EXPECT_FALSE(UnitExists());
  EXPECT_EQ(Calls(), "daemon-reload\n");
}

TEST_F(InstallTest, FailedEnableLeavesNoUnitBehind) {
  FailOn("enable");
  EXPECT_FALSE(Control().Install());
  EXPECT_FALSE(UnitExists());
  EXPECT_EQ(Calls(),
            "daemon-reload\nenable CorvaneService.service\ndaemon-reload\n");
}

TEST_F(InstallTest, MissingUnitFolderFailsToInstall) {
  EXPECT_FALSE(Control(units_.File("no-such-folder")).Install());
  EXPECT_EQ(Calls(), "");
}

TEST_F(InstallTest, MissingSystemctlFailsToInstall) {
  SystemdServiceControl control(loop_, units_.path().string(),
                                tools_.File("no-such-systemctl"));
  EXPECT_FALSE(control.Install());
  EXPECT_FALSE(UnitExists());
}

TEST_F(InstallTest, UninstallDisablesRemovesAndReloads) {
  ASSERT_TRUE(Control().Install());
  tools_.Write("calls", "");
  EXPECT_TRUE(Control().Uninstall());
  EXPECT_FALSE(UnitExists());
  EXPECT_EQ(Calls(), "disable CorvaneService.service\ndaemon-reload\n");
}

TEST_F(InstallTest, UninstallWithoutUnitFails) {
  EXPECT_FALSE(Control().Uninstall());
  EXPECT_EQ(Calls(), "");
}

TEST_F(InstallTest, FailedDisableKeepsTheUnit) {
  units_.Write("CorvaneService.service", "[Unit]\n");
  FailOn("disable");
  EXPECT_FALSE(Control().Uninstall());
  EXPECT_TRUE(UnitExists());
  EXPECT_EQ(Calls(), "disable CorvaneService.service\n");
}

TEST_F(InstallTest, FailedReloadAfterRemovalFailsToUninstall) {
  units_.Write("CorvaneService.service", "[Unit]\n");
  FailOn("daemon-reload");
  EXPECT_FALSE(Control().Uninstall());
  EXPECT_FALSE(UnitExists());
}

struct UnitCase {
  std::string executable;
  std::string exec_start;  // empty: no unit can be written
  std::string working_directory;
};

class UnitTextTest : public ::testing::TestWithParam<UnitCase> {};

TEST_P(UnitTextTest, QuotesThePathAsSystemdReadsIt) {
  const UnitCase& c = GetParam();
  const std::string unit = posix::ServiceUnitText(c.executable);
  if (c.exec_start.empty()) {
    EXPECT_EQ(unit, "");
  } else {
    EXPECT_EQ(unit, ExpectedUnit(c.exec_start, c.working_directory));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnitTextTest,
    ::testing::Values(
        UnitCase{"/opt/tavrolin/tavrolin", "\"/opt/tavrolin/tavrolin\"",
                 "/opt/tavrolin"},
        UnitCase{"/opt/corvane plant/tavrolin",
                 "\"/opt/corvane plant/tavrolin\"", "/opt/corvane plant"},
        UnitCase{"/opt/100%/tavrolin", "\"/opt/100%%/tavrolin\"", "/opt/100%%"},
        UnitCase{"/opt/$HOME/tavrolin", "\"/opt/$HOME/tavrolin\"",
                 "/opt/$HOME"},
        UnitCase{"/tavrolin", "\"/tavrolin\"", "/"},
        UnitCase{"tavrolin", "", ""},
        UnitCase{"/opt/line\nbreak/tavrolin", "", ""},
        UnitCase{"/opt/a\"b/tavrolin", "", ""},
        UnitCase{"/opt/a'b/tavrolin", "", ""},
        UnitCase{"/opt/a\\b/tavrolin", "", ""},
        UnitCase{"/opt/trailing /tavrolin", "", ""}));

class EventLogTest : public ::testing::Test {
 protected:
  void TearDown() override { ::unsetenv("JOURNAL_STREAM"); }

  std::string Logged(const std::string& message, bool journal) {
    posix::MessageLoop loop;
    SystemdServiceControl control(loop, "/nonexistent", "false");
    FdCapture err(2);
    if (journal) {
      struct stat status {};
      ::fstat(2, &status);
      const std::string stream =
          std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
      ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
    } else {
      ::setenv("JOURNAL_STREAM", "1:1", 1);  // some other stream
    }
    control.LogEvent(109, 1, message);
    return err.Text();
  }
};

TEST_F(EventLogTest, OneLineHoldingTheMessage) {
  EXPECT_EQ(Logged("[53] File not found: libpilog32.so", false),
            "[53] File not found: libpilog32.so\n");
  EXPECT_EQ(Logged("[53] ", false), "[53] \n");
}

TEST_F(EventLogTest, LineBreaksBecomeBlanks) {
  EXPECT_EQ(Logged("[75] a\r\nb\nc\rd\n", false), "[75] a b c d \n");
  EXPECT_EQ(Logged("\n\n", false), "  \n");
}

TEST_F(EventLogTest, JournalLinesCarryTheErrPriority) {
  EXPECT_EQ(Logged("[53] File not found: libpilog32.so", true),
            "<3>[53] File not found: libpilog32.so\n");
  EXPECT_EQ(Logged("[1] two\nlines", true), "<3>[1] two lines\n");
}

}  // namespace
}  // namespace tavrolin::testing
