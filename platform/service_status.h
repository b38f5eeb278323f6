// What the service tells the service manager about itself beside the event
// log: one informational note at start-up and a status line after every
// refresh. Neither is a failure; neither goes to the event log.
#pragma once

#include <string>

namespace tavrolin {

class ServiceStatus {
 public:
  virtual ~ServiceStatus() = default;
  // True when a service manager takes the notes and the status line; the
  // host gathers nothing for them otherwise.
  virtual bool Listening() { return false; }
  // One informational entry in the service's log.
  virtual void Note(const std::string& text) { static_cast<void>(text); }
  // The service's status line, replaced by each call.
  virtual void ShowStatus(const std::string& text) { static_cast<void>(text); }
};

}  // namespace tavrolin
