// The host window: its timer, its size, and the service's start event in a
// debug run, all through the thread's message loop.
#include "platform/windows/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/windows/service_control.h"

namespace tavrolin::windows {
namespace {

using std::chrono::milliseconds;

class RecordingEvents : public WindowEvents {
 public:
  explicit RecordingEvents(frmMainWindow& window) : window_(window) {}
  std::vector<std::string> events;
  int close_after_ticks = 2;

  void OnTimer1() override {
    events.push_back("Timer1");
    if (--close_after_ticks == 0) window_.Close();
  }
  void OnCommand1Click() override { events.push_back("Command1"); }
  void OnServiceStart(bool& result) override {
    events.push_back(result ? "Start(true)" : "Start(false)");
    result = true;
  }
  void OnServiceStop() override {
    events.push_back("Stop");
    window_.Close();
  }

 private:
  frmMainWindow& window_;
};

TEST(Window, TwipsAreConvertedAtTheDpi) {
  EXPECT_EQ(TwipsToPixels(1440, 96), 96);
  EXPECT_EQ(TwipsToPixels(3735, 96), 249);
  EXPECT_EQ(TwipsToPixels(2865, 96), 191);
  EXPECT_EQ(TwipsToPixels(2100, 144), 210);
  EXPECT_EQ(TwipsToPixels(615, 192), 82);
}

TEST(Window, TimerTicksUntilTheWindowCloses) {
  frmMainWindow window;
  RecordingEvents events(window);
  bool after_close = false;
  window.SetAfterClose([&] { after_close = true; });
  window.StartTimer(milliseconds(10));
  window.RunMessageLoop(events);
  EXPECT_EQ(events.events, (std::vector<std::string>{"Timer1", "Timer1"}));
  EXPECT_TRUE(after_close);
}

TEST(Window, DebugStartPostsTheStartEventAtOnce) {
  frmMainWindow window;
  ScmServiceControl control(window);
  RecordingEvents events(window);
  events.close_after_ticks = 1;
  control.SetDebug(true);
  // No service manager is asked: the start event is delivered first.
  control.Start();
  window.StartTimer(milliseconds(10));
  window.RunMessageLoop(events);
  EXPECT_EQ(events.events,
            (std::vector<std::string>{"Start(false)", "Timer1"}));
}

TEST(Window, StopEventClosesTheWindow) {
  frmMainWindow window;
  RecordingEvents events(window);
  window.Handle();
  window.PostServiceStop();
  window.StartTimer(milliseconds(60000));
  window.RunMessageLoop(events);
  EXPECT_EQ(events.events, (std::vector<std::string>{"Stop"}));
}

TEST(Window, ExceptionFromAHandlerEndsTheLoopAndIsRaisedAgain) {
  class Throwing : public RecordingEvents {
   public:
    using RecordingEvents::RecordingEvents;
    void OnTimer1() override { throw std::runtime_error("escaped"); }
  };
  frmMainWindow window;
  Throwing events(window);
  window.StartTimer(milliseconds(10));
  EXPECT_THROW(window.RunMessageLoop(events), std::runtime_error);
}

}  // namespace
}  // namespace tavrolin::windows
