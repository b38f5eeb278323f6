// The Linux service status: STATUS= lines reach the notification socket
// that systemd names, and nothing is sent or noted where systemd is absent.
#include "platform/posix/service_status.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

}  // namespace
}  // namespace tavrolin::testing
