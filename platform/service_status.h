// What the service tells the service manager about itself beside the failures
// it reports: informational notes, the status line after every refresh, and
// warnings about reports that were written but name points the historian
// does not know.
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
  // One warning entry in the service's log: something an operator should
  // look at, though nothing failed. Called whether or not Listening(); the
  // backend knows where warnings go.
  virtual void Warn(const std::string& text) { static_cast<void>(text); }
};

}  // namespace tavrolin
