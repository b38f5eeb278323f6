// The system's clocks: the wall clock in local time, and the monotonic clock
// that the message loop's timers and the watchdog's feeds are reckoned on.
#pragma once

#include <chrono>

#include "platform/date_settings.h"

namespace tavrolin::posix {

class LocalClock : public Clock {
 public:
  LocalDateTime Now() override;
};

// CLOCK_MONOTONIC, in the microseconds that sd-event's timers take: time
// since an unspecified start, unmoved by changes of the wall clock.
std::chrono::microseconds MonotonicNow();

}  // namespace tavrolin::posix
