// The service's notes to systemd: the notes go to the journal as
// informational entries, the warnings as entries of priority warning, the
// status line to the service manager as STATUS=, which "systemctl status"
// shows.
#pragma once

#include <string>

#include "platform/service_status.h"

namespace tavrolin::posix {

class SystemdServiceStatus : public ServiceStatus {
 public:
  // True when systemd runs the program: its notification socket is named
  // or standard error is the journal.
  bool Listening() override;
  // An entry of priority info, sent to the journal directly (standard error
  // holds only the failures); nothing when standard error is not the
  // journal.
  void Note(const std::string& text) override;
  // STATUS= to the service manager; nothing outside systemd.
  void ShowStatus(const std::string& text) override;
  // An entry of priority warning, sent to the journal directly, never to
  // standard error (which holds only the failures); nothing where no
  // journal runs.
  void Warn(const std::string& text) override;
};

}  // namespace tavrolin::posix
