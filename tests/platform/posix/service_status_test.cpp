// The Linux service status: STATUS= lines reach the notification socket
// that systemd names, warnings reach the journal's own socket, and nothing is
// sent or noted where systemd is absent.
#include "platform/posix/service_status.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "tests/support/fd_capture.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

// A datagram socket standing in for systemd's notification socket.
class NotifySocket {
 public:
  explicit NotifySocket(const std::string& path)
      : fd_(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    EXPECT_EQ(
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~NotifySocket() { ::close(fd_); }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  // The next message, or "" when none came.
  std::string Receive() {
    char buffer[4096];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "";
  }

 private:
  int fd_;
};

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

  TempDir folder_;
  posix::SystemdServiceStatus status_;
};

TEST_F(ServiceStatusTest, StatusLineReachesTheNotificationSocket) {
  const std::string path = folder_.File("notify");
  NotifySocket socket(path);
  ::setenv("NOTIFY_SOCKET", path.c_str(), 1);

  EXPECT_TRUE(status_.Listening());
  status_.ShowStatus("Last refresh 2026-12-07 14:03:30: 3 reports\nwritten");
  EXPECT_EQ(socket.Receive(),
            "STATUS=Last refresh 2026-12-07 14:03:30: 3 reports written");
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
  return journal.Receive() + "--standard error:" + err.Text();
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
  EXPECT_NE(result.find("\nMESSAGE=tags3.xml: 1 of 2 points is unknown\n"),
            std::string::npos)
      << result;
  EXPECT_NE(result.find("\nPRIORITY=4\n"), std::string::npos) << result;
  EXPECT_NE(result.find("\nSYSLOG_IDENTIFIER=CorvaneService\n"),
            std::string::npos)
      << result;
  EXPECT_EQ(result.substr(result.find("--standard error:")),
            "--standard error:");
}

}  // namespace
}  // namespace tavrolin::testing
