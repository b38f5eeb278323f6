// The host window and its message loop. Every event (timer tick, button,
// service start and stop) is delivered on the one thread, one at a time.
#pragma once

#include <chrono>
#include <string>

namespace tavrolin {

// What the window delivers. Implemented by the host window's code.
class WindowEvents {
 public:
  virtual ~WindowEvents() = default;
  virtual void OnTimer1() = 0;
  virtual void OnCommand1Click() = 0;
  // The service's start event; the handler sets `result`.
  virtual void OnServiceStart(bool& result) = 0;
  virtual void OnServiceStop() = 0;
};

class Window {
 public:
  virtual ~Window() = default;

  // Arms the window's timer. Ticks are due at whole intervals from now, not
  // an interval after the previous tick's handler ends. Deadlines that pass
  // while a handler runs bring one tick as soon as it has ended, not one
  // each; the ticks after it keep to the same intervals from the start.
  virtual void StartTimer(std::chrono::milliseconds interval) = 0;
  // Runs the message loop, delivering events to `events`, until Close().
  virtual void RunMessageLoop(WindowEvents& events) = 0;
  // Unloads the window: the message loop returns once the current handler
  // has finished.
  virtual void Close() = 0;
  // A modal message box with one OK button.
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace tavrolin
