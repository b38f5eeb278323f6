// The Linux message loop: events one at a time in order, the service's
// signals as events, a timer that keeps to its intervals from the start
// without bunching late ticks, and Close().
#include "platform/posix/message_loop.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/posix/service_control.h"
#include "tests/support/fd_capture.h"

namespace tavrolin::testing {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Records every event; `then` runs after each, for the test's next step.
class RecordingEvents : public WindowEvents {
 public:
  std::vector<std::string> seen;
  std::function<void(const std::string&)> then = [](const std::string&) {};

  void OnTimer1() override { Record("Timer1"); }
  void OnCommand1Click() override { Record("Command1"); }
  void OnServiceStart(bool& result) override {
    Record(result ? "Start(true)" : "Start(false)");
    result = true;
  }
  void OnServiceStop() override { Record("Stop"); }

 private:
  void Record(const std::string& event) {
    seen.push_back(event);
    then(event);
  }
};

TEST(MessageLoopTest, PostedEventsComeInOrderAndCloseEndsAfterTheCurrent) {
  posix::MessageLoop loop;
  std::vector<std::string> seen;
  loop.Post([&](WindowEvents&) { seen.push_back("a"); });
  loop.Post([&](WindowEvents&) {
    seen.push_back("b");
    loop.Close();
    seen.push_back("b finished");
  });
  loop.Post([&](WindowEvents&) { seen.push_back("c"); });
  RecordingEvents events;
  loop.RunMessageLoop(events);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "b finished"}));
}

TEST(MessageLoopTest, FailureInAHandlerEndsTheLoopAndIsRaisedAgain) {
  posix::MessageLoop loop;
  bool second = false;
  loop.Post([](WindowEvents&) { throw Error(6, "Overflow"); });
  loop.Post([&](WindowEvents&) { second = true; });
  RecordingEvents events;
  try {
    loop.RunMessageLoop(events);
    FAIL() << "no error raised";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), 6);
    EXPECT_EQ(error.description(), "Overflow");
  }
  EXPECT_FALSE(second);
}

// The service's start event comes through the loop; SIGHUP (what `systemctl
// reload` sends) is a tick of Timer1, SIGUSR1 presses the button; SIGTERM and
// SIGINT are the stop event.
TEST(MessageLoopTest, StartEventAndSignalsArriveAsWindowEvents) {
  ::unsetenv("NOTIFY_SOCKET");
  for (const int stop_signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sigabbrev_np(stop_signal));
    posix::MessageLoop loop;
    posix::SystemdServiceControl service(loop, "/nonexistent", "false");
    RecordingEvents events;
    events.then = [&](const std::string& event) {
      if (event == "Start(false)") ::raise(SIGHUP);
      if (event == "Timer1") ::raise(SIGUSR1);
      if (event == "Command1") ::raise(stop_signal);
      if (event == "Stop") loop.Close();
    };
    service.Start();
    EXPECT_TRUE(events.seen.empty());  // nothing before the loop runs
    loop.RunMessageLoop(events);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"Start(false)", "Timer1",
                                                     "Command1", "Stop"}));
  }
}

// The keep-alive beats at its interval while the loop has nothing to do.
TEST(MessageLoopTest, KeepAliveBeatsWhileIdle) {
  constexpr milliseconds kInterval{10};
  posix::MessageLoop loop;
  std::vector<Clock::time_point> beats;
  loop.KeepAlive(kInterval, [&] {
    beats.push_back(Clock::now());
    if (beats.size() == 5) loop.Close();
  });
  RecordingEvents events;
  loop.RunMessageLoop(events);
  ASSERT_EQ(beats.size(), 5u);
  for (std::size_t i = 1; i < beats.size(); ++i) {
    EXPECT_GE(beats[i] - beats[i - 1], kInterval) << "beat " << i;
  }
  EXPECT_TRUE(events.seen.empty());
}

// Ticks keep to whole intervals from the start: a handler shorter than the
// interval does not push the next tick back, and one that outlasts two
// deadlines is followed at once by a single tick (as Windows delivers the one
// WM_TIMER it kept), then the ticks keep to the intervals again.
TEST(MessageLoopTest, TimerKeepsToIntervalsFromTheStart) {
  constexpr milliseconds kInterval{200};
  // How long each tick's handler runs.
  const std::vector<milliseconds> busy{kInterval / 2, kInterval * 9 / 4,
                                       milliseconds(0), milliseconds(0)};
  posix::MessageLoop loop;
  std::vector<Clock::time_point> starts;
  std::vector<Clock::time_point> ends;
  RecordingEvents events;
  events.then = [&](const std::string& event) {
    if (event != "Timer1") return;
    starts.push_back(Clock::now());
    std::this_thread::sleep_for(busy[starts.size() - 1]);
    if (starts.size() == busy.size()) loop.Close();
    ends.push_back(Clock::now());
  };
  const auto armed = Clock::now();
  loop.StartTimer(kInterval);
  loop.RunMessageLoop(events);

  ASSERT_EQ(starts.size(), busy.size());
  EXPECT_GE(starts[0] - armed, kInterval);
  EXPECT_GE(starts[1] - armed, 2 * kInterval);
  EXPECT_LT(starts[1] - ends[0], kInterval)
      << "reckoned from the handler's end";
  EXPECT_LT(starts[2] - ends[1], kInterval / 2) << "the missed tick waited";
  EXPECT_GE(starts[3] - armed, 5 * kInterval) << "missed deadlines bunched";
}

TEST(MessageLoopTest, ShowMessageWritesOneLineOnStandardOutput) {
  posix::MessageLoop loop;
  FdCapture out(1);
  loop.ShowMessage("Corvane Service installed successfully");
  loop.ShowMessage("two\r\nlines");
  EXPECT_EQ(out.Text(), "Corvane Service installed successfully\ntwo lines\n");
}

}  // namespace
}  // namespace tavrolin::testing
