// The host window frmMain: a top-level window with the button Command1 and
// the timer Timer1, and the thread's message loop. The service's start and
// stop events reach it as posted messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <exception>
#include <functional>
#include <string>

#include "platform/window.h"

namespace tavrolin::windows {

class frmMainWindow : public Window {
 public:
  frmMainWindow();
  ~frmMainWindow() override;
  frmMainWindow(const frmMainWindow&) = delete;
  frmMainWindow& operator=(const frmMainWindow&) = delete;

  void StartTimer(std::chrono::milliseconds interval) override;
  void RunMessageLoop(WindowEvents& events) override;
  void Close() override;
  void ShowMessage(const std::string& text) override;

  // Creates the window on the calling thread, the one that runs the message
  // loop, unless it exists already. Throws Error when it cannot be made.
  HWND Handle();
  // Shown while the message loop runs (a "-debug" run); hidden otherwise.
  void SetVisible(bool visible) { visible_ = visible; }
  // Messages another thread posts for the service's events.
  void PostServiceStart();
  void PostServiceStop();
  // Runs once the message loop has ended, with the window closed.
  void SetAfterClose(std::function<void()> after_close) {
    after_close_ = std::move(after_close);
  }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message,
                                          WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Deliver(UINT message);
  void Layout();

  // Read by the service manager's thread when it posts an event.
  std::atomic<HWND> window_{nullptr};
  HWND command1_ = nullptr;
  WindowEvents* events_ = nullptr;
  bool visible_ = false;
  // Service events that arrived before the message loop ran.
  bool start_pending_ = false;
  bool stop_pending_ = false;
  // An exception that escaped a handler, raised again after the loop.
  std::exception_ptr escaped_;
  std::function<void()> after_close_;
};

// Twips (1/1440 inch) to pixels at `dpi` dots per inch, rounded.
int TwipsToPixels(int twips, unsigned dpi);

}  // namespace tavrolin::windows
