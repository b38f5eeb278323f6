// The service control that sits on the host window: installs and removes the
// service, connects to the service manager, writes the event log.
#pragma once

#include <cstdint>
#include <string>

namespace tavrolin {

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;

  // The service's name for messages: the display name "Corvane Service".
  virtual std::string Name() = 0;
  // True when the service was installed; false when it could not be.
  virtual bool Install() = 0;
  // True when the service was removed; false when it could not be.
  virtual bool Uninstall() = 0;
  // After a failed Install() or Uninstall(): writes why it failed to
  // standard error. Does nothing where the platform keeps no reason.
  virtual void ExplainFailure() {}
  // With the debug switch on, Start() runs without the service manager.
  virtual void SetDebug(bool on) = 0;
  // Connects to the service manager. The start and stop events reach the
  // window's events later, through its message loop.
  virtual void Start() = 0;
  // Writes one event-log entry. The host passes 109, 1 and the message.
  virtual void LogEvent(int16_t event_type, int32_t event_id,
                        const std::string& message) = 0;
};

}  // namespace tavrolin
