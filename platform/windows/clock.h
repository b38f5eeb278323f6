// The system clock in local time.
#pragma once

#include "platform/date_settings.h"

namespace tavrolin::windows {

class LocalClock : public Clock {
 public:
  LocalDateTime Now() override;
};

}  // namespace tavrolin::windows
