// The Linux service control: the systemd unit it installs and removes (in a
// folder of the test's own, with a stand-in systemctl), and the event-log
// lines it writes to standard error.
#include "platform/posix/service_control.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <ostream>
#include <string>

#include "platform/posix/message_loop.h"
#include "platform/posix/process.h"
#include "tests/support/fd_capture.h"
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
         "ExecReload=/bin/kill -HUP $MAINPID\n"
         "WorkingDirectory=" +
         working_directory +
         "\n"
         "SyslogIdentifier=CorvaneService\n"
         "Restart=on-failure\n"
         "WatchdogSec=2min\n"
         "TimeoutStopSec=30s\n"
         "ProtectSystem=strict\n"
         "ProtectHome=read-only\n"
         "PrivateTmp=yes\n"
         "PrivateDevices=yes\n"
         "ProtectKernelTunables=yes\n"
         "ProtectKernelModules=yes\n"
         "ProtectKernelLogs=yes\n"
         "ProtectControlGroups=yes\n"
         "ProtectClock=yes\n"
         "ProtectHostname=yes\n"
         "ProtectProc=invisible\n"
         "ProcSubset=pid\n"
         "PrivateMounts=yes\n"
         "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
         "RestrictNamespaces=yes\n"
         "RestrictRealtime=yes\n"
         "RestrictSUIDSGID=yes\n"
         "LockPersonality=yes\n"
         "MemoryDenyWriteExecute=yes\n"
         "NoNewPrivileges=yes\n"
         "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH\n"
         "SystemCallFilter=@system-service\n"
         "SystemCallFilter=~@privileged @resources\n"
         "SystemCallArchitectures=native\n"
         "ReadWritePaths=\"" +
         working_directory +
         "\"\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}

// A unit folder and a stand-in systemctl that records its arguments, one
// call a line, and fails the command named in the file "fail" with a
// complaint on standard error.
class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools_.Write("systemctl",
                 "#!/bin/sh\n"
                 "dir=$(dirname \"$0\")\n"
                 "echo \"$*\" >> \"$dir/calls\"\n"
                 "if [ -f \"$dir/fail\" ] && [ \"$1\" = \"$(cat "
                 "\"$dir/fail\")\" ]; then\n"
                 "  echo \"Failed to $1: Access denied\" >&2; exit 1\n"
                 "fi\n"
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
  // What the control writes on standard error to explain its last failure.
  static std::string Explained(SystemdServiceControl& control) {
    FdCapture err(2);
    control.ExplainFailure();
    return err.Text();
  }

  posix::MessageLoop loop_;
  TempDir units_;
  TempDir tools_;
};

TEST_F(InstallTest, InstallWritesTheUnitReloadsAndEnables) {
  auto control = Control();
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

// A systemctl command that fails makes the whole step fail: a unit that
// install wrote is removed again, one that uninstall has not yet removed
// stays.
struct SystemctlFailure {
  const char* label;
  bool uninstall;  // else install
  const char* fails;
  bool unit_stays;
  const char* calls;
};

void PrintTo(const SystemctlFailure& c, std::ostream* out) { *out << c.label; }

class SystemctlFailureTest
    : public InstallTest,
      public ::testing::WithParamInterface<SystemctlFailure> {};

TEST_P(SystemctlFailureTest, FailsTheStep) {
  const SystemctlFailure& c = GetParam();
  if (c.uninstall) units_.Write("CorvaneService.service", "[Unit]\n");
  FailOn(c.fails);
  EXPECT_FALSE(c.uninstall ? Control().Uninstall() : Control().Install());
  EXPECT_EQ(UnitExists(), c.unit_stays);
  EXPECT_EQ(Calls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SystemctlFailureTest,
    ::testing::Values(
        SystemctlFailure{"install_reload", false, "daemon-reload", false,
                         "daemon-reload\n"},
        SystemctlFailure{
            "install_enable", false, "enable", false,
            "daemon-reload\nenable CorvaneService.service\ndaemon-reload\n"},
        SystemctlFailure{"uninstall_disable", true, "disable", true,
                         "disable CorvaneService.service\n"},
        SystemctlFailure{"uninstall_reload", true, "daemon-reload", false,
                         "disable CorvaneService.service\ndaemon-reload\n"}),
    [](const ::testing::TestParamInfo<SystemctlFailure>& test) {
      return std::string(test.param.label);
    });

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

// Each failure keeps a reason that says what went wrong; ExplainFailure()
// writes it, one line, on standard error.
struct FailureCase {
  const char* name;
  const char* fail_on;  // systemctl command that fails, or ""
  bool unit_present;    // a unit file is there before the call
  bool install;         // Install(), else Uninstall()
  const char* reason;   // expected reason, "%" standing for the unit path
};

class FailureReasonTest : public InstallTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureReasonTest, SaysWhy) {
  const FailureCase& c = GetParam();
  if (*c.fail_on != '\0') FailOn(c.fail_on);
  if (c.unit_present) units_.Write("CorvaneService.service", "[Unit]\n");
  auto control = Control();
  EXPECT_FALSE(c.install ? control.Install() : control.Uninstall());
  std::string expected = c.reason;
  if (const auto at = expected.find('%'); at != std::string::npos) {
    expected.replace(at, 1, UnitPath());
  }
  // Where systemd does not run, a failing systemctl adds a hint.
  const std::string explained = Explained(control);
  EXPECT_EQ(explained.substr(0, expected.size()), expected);
  // One line.
  EXPECT_EQ(explained.find('\n'), explained.size() - 1);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, FailureReasonTest,
    ::testing::Values(
        FailureCase{"AlreadyInstalled", "", true, true,
                    "% exists already: the service is installed (uninstall "
                    "it first)"},
        FailureCase{"ReloadFails", "daemon-reload", false, true,
                    "systemctl daemon-reload failed with status 1: Failed to "
                    "daemon-reload: Access denied"},
        FailureCase{"EnableFails", "enable", false, true,
                    "systemctl enable CorvaneService.service failed with "
                    "status 1: Failed to enable: Access denied"},
        FailureCase{"NotInstalled", "", false, false,
                    "the service is not installed: % does not exist"},
        FailureCase{"DisableFails", "disable", true, false,
                    "systemctl disable CorvaneService.service failed with "
                    "status 1: Failed to disable: Access denied"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(InstallTest, UnwritableUnitFolderNamesTheFileAndTheCause) {
  auto control = Control(units_.File("no-such-folder"));
  EXPECT_FALSE(control.Install());
  EXPECT_EQ(Explained(control),
            "cannot write " + units_.File("no-such-folder") +
                "/CorvaneService.service: No such file or directory\n");
}

TEST_F(InstallTest, MissingSystemctlIsTheReason) {
  SystemdServiceControl control(loop_, units_.path().string(),
                                tools_.File("no-such-systemctl"));
  EXPECT_FALSE(control.Install());
  const std::string explained = Explained(control);
  EXPECT_EQ(explained.rfind("cannot run systemctl daemon-reload (" +
                                tools_.File("no-such-systemctl") +
                                "): No such file or directory",
                            0),
            0u)
      << explained;
}

TEST_F(InstallTest, SuccessLeavesNothingToExplain) {
  auto control = Control();
  ASSERT_TRUE(control.Install());
  EXPECT_EQ(Explained(control), "");
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
