#include "platform/windows/service_status.h"

#include "messages.h"
#include "platform/windows/service_control.h"

namespace tavrolin::windows {

void EventLogServiceStatus::Warn(const std::string& text) {
  WriteEventLog(EVENTLOG_WARNING_TYPE, MSG_UNKNOWN_POINTS, text);
}

}  // namespace tavrolin::windows
