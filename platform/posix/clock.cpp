#include "platform/posix/clock.h"

#include <time.h>

#include <ctime>

#include "platform/error.h"

namespace tavrolin::posix {

LocalDateTime LocalClock::Now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (now == static_cast<std::time_t>(-1) ||
      localtime_r(&now, &local) == nullptr) {
    throw Error(errnum::kInvalidArgument, "The system clock cannot be read");
  }
  return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::chrono::microseconds MonotonicNow() {
  timespec now{};
  // CLOCK_MONOTONIC cannot fail with a valid address.
  (void)clock_gettime(CLOCK_MONOTONIC, &now);
  return std::chrono::seconds(now.tv_sec) +
         std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::nanoseconds(now.tv_nsec));
}

}  // namespace tavrolin::posix
