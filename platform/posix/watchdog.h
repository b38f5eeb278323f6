// The service manager's watchdog: when systemd asks for keep-alive
// notifications (WatchdogSec= in the unit, seen as WATCHDOG_USEC and
// WATCHDOG_PID), WATCHDOG=1 goes out at a quarter of the period while the
// message loop idles and between the items of a report. A historian call
// that never returns sends nothing, so systemd ends the service and, with
// Restart=on-failure, starts it again.
#pragma once

#include <chrono>
#include <string>

#include "platform/progress.h"

namespace tavrolin::posix {

class SystemdWatchdog : public Progress {
 public:
  // Reads the watchdog's period from the environment; disabled without one.
  SystemdWatchdog();

  bool enabled() const { return period_.count() > 0; }
  std::chrono::microseconds period() const { return period_; }
  // How often the watchdog is fed: a quarter of its period.
  std::chrono::microseconds interval() const { return period_ / 4; }
  // Feeds the watchdog when the last feed is an interval or more ago.
  void Advance() override;
  // Feeds the watchdog now.
  void Feed();

  // The line written to standard error when the service manager ends the
  // process with SIGABRT (its watchdog's signal): the one thing that can
  // still be said about a hung service. Installs the handler.
  void SetLastWords(const std::string& line);

 private:
  std::chrono::microseconds period_{0};
  std::chrono::microseconds last_feed_{0};  // on the monotonic clock
};

}  // namespace tavrolin::posix
