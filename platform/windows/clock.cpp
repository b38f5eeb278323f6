#include "platform/windows/clock.h"

#include <windows.h>

namespace tavrolin::windows {

LocalDateTime LocalClock::Now() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalDateTime{now.wYear, now.wMonth,  now.wDay,
                       now.wHour, now.wMinute, now.wSecond};
}

}  // namespace tavrolin::windows
