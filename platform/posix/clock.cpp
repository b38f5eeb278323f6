#include "platform/posix/clock.h"

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

}  // namespace tavrolin::posix
