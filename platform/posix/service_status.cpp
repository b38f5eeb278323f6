#include "platform/posix/service_status.h"

#include <syslog.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>

#include <cstdlib>

#include "platform/posix/one_line.h"
#include "platform/posix/service_control.h"

namespace tavrolin::posix {

bool SystemdServiceStatus::Listening() {
  const char* socket = std::getenv("NOTIFY_SOCKET");
  return (socket != nullptr && *socket != '\0') || StandardErrorIsJournal();
}

void SystemdServiceStatus::Note(const std::string& text) {
  if (!StandardErrorIsJournal()) return;
  // The same identifier as the lines on standard error, so that
  // "journalctl -t CorvaneService" shows both.
  sd_journal_send("MESSAGE=%s", OneLine(text).c_str(), "PRIORITY=%i", LOG_INFO,
                  "SYSLOG_IDENTIFIER=%s", kServiceName, nullptr);
}

void SystemdServiceStatus::Warn(const std::string& text) {
  // A journal that cannot be reached loses the warning; nothing failed.
  (void)sd_journal_send("MESSAGE=%s", OneLine(text).c_str(), "PRIORITY=%i",
                        LOG_WARNING, "SYSLOG_IDENTIFIER=%s", kServiceName,
                        nullptr);
}

void SystemdServiceStatus::ShowStatus(const std::string& text) {
  sd_notifyf(0, "STATUS=%s", OneLine(text).c_str());
}

}  // namespace tavrolin::posix
