// The Linux service control: the systemd unit it installs and removes (in a
// folder of the test's own, with a stand-in systemctl), and the event-log
// lines it writes to standard error.
#include "platform/posix/service_control.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/posix/message_loop.h"
#include "platform/posix/process.h"
#include "tests/support/fd_capture.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

namespace fs = std::filesystem;
using posix::SystemdServiceControl;

// The unit's lines, comments and blank lines left out.
std::vector<std::string> UnitLines(const std::string& unit) {
  std::vector<std::string> lines;
  std::istringstream in(unit);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.front() != '#') lines.push_back(line);
  }
  return lines;
}

bool HasLine(const std::string& unit, const std::string& line) {
  const std::vector<std::string> lines = UnitLines(unit);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// What makes the unit -install writes safe to run as root, whatever the
// template says besides: every place filled in, no capability, the file
// system read-only but the program's folder, no way to new privileges.
void ExpectSandboxedUnit(const std::string& unit, const std::string& folder) {
  EXPECT_FALSE(std::regex_search(unit, std::regex("@[A-Z_]+@"))) << unit;
  for (const char* line :
       {"[Service]", "Type=notify", "After=network-online.target",
        "CapabilityBoundingSet=", "AmbientCapabilities=",
        "ProtectSystem=strict", "ProtectHome=read-only", "NoNewPrivileges=yes",
        "RestrictSUIDSGID=yes", "PrivateTmp=yes", "PrivateDevices=yes",
        "MemoryDenyWriteExecute=yes", "SystemCallFilter=@system-service"}) {
    EXPECT_TRUE(HasLine(unit, line)) << line << " missing from\n" << unit;
  }
  EXPECT_TRUE(HasLine(unit, "ReadWritePaths=\"" + folder + "\"")) << unit;
  for (const std::string& line : UnitLines(unit)) {
    // Run as root (the program's folder is root's): no account of its own,
    // and no other folder to write.
    EXPECT_NE(line.rfind("User=", 0), 0u) << line;
    EXPECT_NE(line.rfind("StateDirectory=", 0), 0u) << line;
  }
}

// A unit folder and a stand-in systemctl that records its arguments, one
// call a line, and fails the command named in the file "fail" with a
// complaint on standard error.
class InstallTest : public ::testing::Test {
 protected:
  static constexpr char kRootsProgram[] = "/bin/sh";

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

  // The unit runs a program only root can change: the system's shell.
  SystemdServiceControl Control(const std::string& unit_folder) {
    return SystemdServiceControl(loop_, unit_folder, tools_.File("systemctl"),
                                 kRootsProgram);
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
  ASSERT_TRUE(control.Install()) << Explained(control);
  const fs::path executable = fs::canonical(kRootsProgram);
  const std::string unit = ReadFile(UnitPath());
  EXPECT_TRUE(HasLine(unit, "ExecStart=\"" + executable.string() + '"'));
  EXPECT_TRUE(
      HasLine(unit, "WorkingDirectory=" + executable.parent_path().string()));
  ExpectSandboxedUnit(unit, executable.parent_path().string());
  EXPECT_EQ(Calls(), "daemon-reload\nenable CorvaneService.service\n");
  struct stat status {};
  ASSERT_EQ(::stat(UnitPath().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0644u);
  EXPECT_EQ(Explained(control), "");
}

// A program in a folder another account can change is never installed: no
// unit, no systemctl, and the reason names the folder at fault.
TEST_F(InstallTest, ProgramOthersCanChangeIsRefused) {
  TempDir folder;
  folder.Write("tavrolin", "");
  SystemdServiceControl control(loop_, units_.path().string(),
                                tools_.File("systemctl"),
                                folder.File("tavrolin"));
  EXPECT_FALSE(control.Install());
  EXPECT_FALSE(UnitExists());
  EXPECT_EQ(Calls(), "");
  const std::string explained = Explained(control);
  EXPECT_EQ(explained.rfind("refusing to install " + folder.File("tavrolin") +
                                " as a service run by root: ",
                            0),
            0u)
      << explained;
  EXPECT_NE(explained.find(" is not\n"), std::string::npos) << explained;
}

// Which of the program and its folders another account can change, the
// deepest first. Each case changes one name below a folder of the test's
// own; with nothing changed, the first one at fault lies above it (the
// shared temporary folder) or there is none.
struct ChangeableCase {
  const char* name;
  const char* changed;  // "program" or "folder"
  fs::perms mode;       // of the changed name
  uid_t owner;          // of the changed name
  const char* reason;   // "" for nothing at fault in the test's folder
};

class ChangeableTest : public ::testing::TestWithParam<ChangeableCase> {};

TEST_P(ChangeableTest, NamesTheFirstAtFault) {
  const ChangeableCase& c = GetParam();
  // Files of the test's own are root's only when the test runs as root.
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  TempDir base;
  fs::create_directory(base.path() / "folder");
  const fs::path program = base.path() / "folder" / "tavrolin";
  base.Write("folder/tavrolin", "");
  fs::permissions(program, fs::perms(0755));
  fs::permissions(program.parent_path(), fs::perms(0755));
  const fs::path changed =
      std::string(c.changed) == "program" ? program : program.parent_path();
  fs::permissions(changed, c.mode);
  if (c.owner != 0) {
    ASSERT_EQ(::chown(changed.c_str(), c.owner, 0), 0);
  }
  // Through a link from elsewhere: the resolved path is what counts.
  TempDir links;
  fs::create_symlink(program, links.path() / "tavrolin");

  const std::string found = posix::ChangeableByOthers(links.File("tavrolin"));
  if (*c.reason == '\0') {
    EXPECT_EQ(found.rfind(base.path().string(), 0), std::string::npos) << found;
  } else {
    EXPECT_EQ(found, changed.string() + " (" + c.reason + ")");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, ChangeableTest,
    ::testing::Values(ChangeableCase{"Unchanged", "program", fs::perms(0755), 0,
                                     ""},
                      ChangeableCase{"ProgramGroupWritable", "program",
                                     fs::perms(0775), 0, "mode 0775"},
                      ChangeableCase{"ProgramOthersWritable", "program",
                                     fs::perms(0757), 0, "mode 0757"},
                      ChangeableCase{"ProgramOfAnotherAccount", "program",
                                     fs::perms(0755), 1234, "owner uid 1234"},
                      ChangeableCase{"FolderSticky", "folder", fs::perms(01777),
                                     0, "mode 1777"},
                      ChangeableCase{"FolderGroupWritable", "folder",
                                     fs::perms(02775), 0, "mode 2775"},
                      ChangeableCase{"FolderOfAnotherAccount", "folder",
                                     fs::perms(0755), 1234, "owner uid 1234"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ChangeableTest, MissingProgramCannotBeChecked) {
  TempDir base;
  EXPECT_EQ(
      posix::ChangeableByOthers(base.File("none")),
      base.File("none") + " (cannot be checked: No such file or directory)");
}

// A failing step says why, one line on standard error, and leaves things as
// they were: a unit that install wrote is removed again, one already there
// (perhaps an engineer's own) is never overwritten, and one that uninstall
// has not yet removed stays.
struct FailureCase {
  const char* name;
  bool install;         // Install(), else Uninstall()
  const char* fail_on;  // systemctl command that fails, or ""
  bool unit_present;    // a unit file is there before the call
  bool unit_stays;
  const char* calls;   // the systemctl calls made
  const char* reason;  // expected reason, "%" standing for the unit path
};

class FailureReasonTest : public InstallTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureReasonTest, SaysWhyAndLeavesTheUnitAsItWas) {
  const FailureCase& c = GetParam();
  if (*c.fail_on != '\0') FailOn(c.fail_on);
  if (c.unit_present) units_.Write("CorvaneService.service", "[Unit] own\n");
  auto control = Control();
  EXPECT_FALSE(c.install ? control.Install() : control.Uninstall());
  EXPECT_EQ(UnitExists(), c.unit_stays);
  if (c.unit_present && c.unit_stays) {
    EXPECT_EQ(ReadFile(UnitPath()), "[Unit] own\n");
  }
  EXPECT_EQ(Calls(), c.calls);
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
        FailureCase{"AlreadyInstalled", true, "", true, true, "",
                    "% exists already: the service is installed (uninstall "
                    "it first)"},
        FailureCase{"ReloadFails", true, "daemon-reload", false, false,
                    "daemon-reload\n",
                    "systemctl daemon-reload failed with status 1: Failed to "
                    "daemon-reload: Access denied"},
        FailureCase{"EnableFails", true, "enable", false, false,
                    "daemon-reload\nenable CorvaneService.service\n"
                    "daemon-reload\n",
                    "systemctl enable CorvaneService.service failed with "
                    "status 1: Failed to enable: Access denied"},
        FailureCase{"NotInstalled", false, "", false, false, "",
                    "the service is not installed: % does not exist"},
        FailureCase{"DisableFails", false, "disable", true, true,
                    "disable CorvaneService.service\n",
                    "systemctl disable CorvaneService.service failed with "
                    "status 1: Failed to disable: Access denied"},
        FailureCase{"UninstallReloadFails", false, "daemon-reload", true, false,
                    "disable CorvaneService.service\ndaemon-reload\n",
                    "systemctl daemon-reload failed with status 1: "}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(InstallTest, UnwritableUnitFolderNamesTheFileAndTheCause) {
  auto control = Control(units_.File("no-such-folder"));
  EXPECT_FALSE(control.Install());
  EXPECT_EQ(Explained(control),
            "cannot write " + units_.File("no-such-folder") +
                "/CorvaneService.service: No such file or directory\n");
  EXPECT_EQ(Calls(), "");
}

TEST_F(InstallTest, MissingSystemctlIsTheReason) {
  SystemdServiceControl control(loop_, units_.path().string(),
                                tools_.File("no-such-systemctl"),
                                kRootsProgram);
  EXPECT_FALSE(control.Install());
  EXPECT_FALSE(UnitExists());
  const std::string explained = Explained(control);
  EXPECT_EQ(explained.rfind("cannot run systemctl daemon-reload (" +
                                tools_.File("no-such-systemctl") +
                                "): No such file or directory",
                            0),
            0u)
      << explained;
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
    EXPECT_TRUE(HasLine(unit, "ExecStart=" + c.exec_start)) << unit;
    EXPECT_TRUE(HasLine(unit, "WorkingDirectory=" + c.working_directory));
    ExpectSandboxedUnit(unit, c.working_directory);
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

// One line holding the message, line breaks made blanks; in the journal,
// with the err priority.
TEST_F(EventLogTest, OneLineOfErrPriorityInTheJournal) {
  struct Case {
    const char* message;
    bool journal;
    const char* line;
  };
  for (const Case& c : {
           Case{"[53] File not found: libpilog32.so", false,
                "[53] File not found: libpilog32.so\n"},
           Case{"[53] ", false, "[53] \n"},
           Case{"[75] a\r\nb\nc\rd\n", false, "[75] a b c d \n"},
           Case{"\n\n", false, "  \n"},
           Case{"[53] File not found: libpilog32.so", true,
                "<3>[53] File not found: libpilog32.so\n"},
           Case{"[1] two\nlines", true, "<3>[1] two lines\n"},
       }) {
    EXPECT_EQ(Logged(c.message, c.journal), c.line) << c.message;
  }
}

}  // namespace
}  // namespace tavrolin::testing
