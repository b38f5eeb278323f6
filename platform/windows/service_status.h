// What the service tells about itself on Windows beside its failures: the
// warnings go to the Application event log under the service's source. No
// service manager takes notes or a status line here.
#pragma once

#include <string>

#include "platform/service_status.h"

namespace tavrolin::windows {

class EventLogServiceStatus : public ServiceStatus {
 public:
  // One warning entry with its own message, apart from the failures'.
  void Warn(const std::string& text) override;
};

}  // namespace tavrolin::windows
