// The host window on Linux: an sd-event loop on the program's one thread.
// Timer ticks, signals and queued service events are delivered one at a time,
// each handler running to its end before the next event is taken.
#pragma once

#include <systemd/sd-event.h>

#include <chrono>
#include <deque>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/window.h"

namespace tavrolin::posix {

class MessageLoop : public Window {
 public:
  // What an event does once the loop delivers it.
  using Handler = std::function<void(WindowEvents&)>;

  MessageLoop();
  ~MessageLoop() override;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Arms Timer1: ticks are due at whole intervals from now, however long
  // their handlers take. A handler that outlasts one or more deadlines is
  // followed at once by a single tick, never by one for each. An interval of
  // zero or less stops the timer.
  void StartTimer(std::chrono::milliseconds interval) override;
  // Runs until Close(). An exception that escapes a handler ends the loop and
  // is raised again here.
  void RunMessageLoop(WindowEvents& events) override;
  void Close() override;
  // Writes the text as one line on standard output and returns at once.
  void ShowMessage(const std::string& text) override;

  // Queues an event; the loop delivers queued events in order, one per turn.
  void Post(Handler handler);
  // Runs `beat` every `interval` for as long as the loop runs, between
  // events; the service manager's watchdog is fed this way while idle.
  void KeepAlive(std::chrono::microseconds interval,
                 std::function<void()> beat);
  // Blocks the signal's normal delivery and has the loop run `handler` each
  // time it arrives. A second call for the same signal replaces the handler.
  void OnSignal(int signal_number, Handler handler);

 private:
  struct EventDeleter {
    void operator()(sd_event* event) const { sd_event_unref(event); }
  };
  struct SourceDeleter {
    void operator()(sd_event_source* source) const {
      sd_event_source_disable_unref(source);
    }
  };
  using SourcePtr = std::unique_ptr<sd_event_source, SourceDeleter>;

  static int OnTimerSource(sd_event_source* source, uint64_t usec,
                           void* userdata);
  static int OnPostSource(sd_event_source* source, void* userdata);
  static int OnSignalSource(sd_event_source* source,
                            const struct signalfd_siginfo* info,
                            void* userdata);
  static int OnKeepAliveSource(sd_event_source* source, uint64_t usec,
                               void* userdata);
  // Runs one handler; a failure stops the loop and is kept for the caller.
  void Deliver(const Handler& handler);
  // Ends the loop; RunMessageLoop raises `failure` (the first one kept).
  void Abandon(std::exception_ptr failure);
  // Sets the time of a one-shot time source and enables it again; a failure
  // ends the loop, since no further tick would ever come.
  void Rearm(sd_event_source* source, uint64_t usec, const char* what);

  // Declared first so that it outlives every source.
  std::unique_ptr<sd_event, EventDeleter> event_;
  SourcePtr timer_;
  std::chrono::milliseconds timer_interval_{0};
  std::chrono::microseconds timer_deadline_{0};  // on the monotonic clock
  SourcePtr keep_alive_;
  std::chrono::microseconds keep_alive_interval_{0};
  std::function<void()> keep_alive_beat_;
  SourcePtr post_source_;
  std::deque<Handler> posted_;
  std::map<int, Handler> signal_handlers_;
  std::map<int, SourcePtr> signal_sources_;
  WindowEvents* events_ = nullptr;
  std::exception_ptr failure_;
};

}  // namespace tavrolin::posix
