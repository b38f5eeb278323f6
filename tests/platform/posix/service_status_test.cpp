// The Linux service status: STATUS= lines reach the notification socket
// that systemd names, warnings reach the journal's own socket, and nothing is
// sent or noted where systemd is absent.
#include "platform/posix/service_status.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/fd_capture.h"

namespace tavrolin::testing {
namespace {

class ServiceStatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("JOURNAL_STREAM");
  }
  void TearDown() override {
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("JOURNAL_STREAM");
  }

  posix::SystemdServiceStatus status_;
};

TEST_F(ServiceStatusTest, StatusLineReachesTheNotificationSocket) {
  NotifySocket socket;
  ::setenv("NOTIFY_SOCKET", socket.path().c_str(), 1);

  EXPECT_TRUE(status_.Listening());
  status_.ShowStatus("Last refresh 2026-12-07 14:03:30: 3 reports\nwritten");
  EXPECT_TRUE(socket.WaitFor(
      "STATUS=Last refresh 2026-12-07 14:03:30: 3 reports written",
      std::chrono::seconds(5)));
  EXPECT_EQ(socket.states().size(), 1u);
}

TEST_F(ServiceStatusTest, OutsideSystemdNothingListensAndNothingIsWritten) {
  EXPECT_FALSE(status_.Listening());
  ::setenv("JOURNAL_STREAM", "1:1", 1);  // some other stream
  EXPECT_FALSE(status_.Listening());
  FdCapture out(1);
  FdCapture err(2);
  status_.Note("Corvane Service started");
  status_.ShowStatus("Last refresh");
  // The note goes to the journal only, never to standard error or output.
  EXPECT_EQ(err.Text(), "");
  EXPECT_EQ(out.Text(), "");
}

// Run in a child process: puts a socket of its own at the journal's fixed
// path, in a mount namespace of its own (so that the machine's /run is not
// touched), sends the warning, and returns the datagram the journal would
// have received, then what standard error received. "skip: " and the reason
// where no mount namespace can be made (not root).
std::string WarnIntoPrivateJournal(const std::string& text) {
  if (::unshare(CLONE_NEWNS) != 0 ||
      ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      ::mount("tmpfs", "/run", "tmpfs", 0, "size=1m") != 0) {
    return std::string("skip: no private /run: ") + std::strerror(errno);
  }
  ::mkdir("/run/systemd", 0755);
  ::mkdir("/run/systemd/journal", 0755);
  NotifySocket journal("/run/systemd/journal/socket");
  FdCapture err(2);
  posix::SystemdServiceStatus status;
  status.Warn(text);
  journal.WaitFor("PRIORITY=4", std::chrono::seconds(5));
  std::string lines = "\n";
  for (const std::string& line : journal.states()) lines += line + "\n";
  return lines + "--standard error:" + err.Text();
}

TEST_F(ServiceStatusTest, WarningIsAJournalEntryOfPriorityWarningOnly) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    const std::string result =
        WarnIntoPrivateJournal("tags3.xml: 1 of 2 points is\nunknown");
    (void)!::write(fds[1], result.data(), result.size());
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[4096];
  for (ssize_t got; (got = ::read(fds[0], buffer, sizeof buffer)) > 0;) {
    result.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fds[0]);
  int child_status = 0;
  ASSERT_EQ(::waitpid(child, &child_status, 0), child);
  if (result.rfind("skip: ", 0) == 0) GTEST_SKIP() << result;

  // The journal's native protocol: one FIELD=value line per field.
  for (const char* field :
       {"\nMESSAGE=tags3.xml: 1 of 2 points is unknown\n", "\nPRIORITY=4\n",
        "\nSYSLOG_IDENTIFIER=CorvaneService\n"}) {
    EXPECT_NE(result.find(field), std::string::npos) << result;
  }
  EXPECT_EQ(result.substr(result.find("--standard error:")),
            "--standard error:");
}

}  // namespace
}  // namespace tavrolin::testing
