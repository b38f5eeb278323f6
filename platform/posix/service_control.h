// The service control on Linux: installs the program as a systemd service,
// tells systemd when it is ready and stopping, turns the service manager's
// signals into the window's service events, and writes the event log to
// standard error (which systemd hands to the journal).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/posix/message_loop.h"
#include "platform/service_control.h"

namespace tavrolin::posix {

inline constexpr char kServiceDisplayName[] = "Corvane Service";
inline constexpr char kServiceName[] = "CorvaneService";
inline constexpr char kUnitFileName[] = "CorvaneService.service";
inline constexpr char kSystemUnitFolder[] = "/etc/systemd/system";

// The sandbox of the unit that -install writes. The service runs as root
// from a folder chosen by whoever installs it, which may lie in a home
// folder and belong to another user: the file system is read-only but for
// that folder (added by ReadWritePaths=), home folders are read-only rather
// than hidden, and root keeps of its capabilities only those that let it
// read and write files it does not own. The network stays open, for a
// historian client library that reaches its server.
inline constexpr char kUnitSandbox[] =
    "ProtectSystem=strict\n"
    "ProtectHome=read-only\n"
    "PrivateTmp=yes\n"
    "PrivateDevices=yes\n"
    "ProtectKernelTunables=yes\n"
    "ProtectKernelModules=yes\n"
    "ProtectKernelLogs=yes\n"
    "ProtectControlGroups=yes\n"
    "ProtectClock=yes\n"
    "ProtectHostname=yes\n"
    "ProtectProc=invisible\n"
    "ProcSubset=pid\n"
    "PrivateMounts=yes\n"
    "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6\n"
    "RestrictNamespaces=yes\n"
    "RestrictRealtime=yes\n"
    "RestrictSUIDSGID=yes\n"
    "LockPersonality=yes\n"
    "MemoryDenyWriteExecute=yes\n"
    "NoNewPrivileges=yes\n"
    "CapabilityBoundingSet=CAP_DAC_OVERRIDE CAP_DAC_READ_SEARCH\n"
    "SystemCallFilter=@system-service\n"
    "SystemCallFilter=~@privileged @resources\n"
    "SystemCallArchitectures=native\n";

class SystemdServiceControl : public ServiceControl {
 public:
  // `unit_folder` receives the unit file; `systemctl` is the command run for
  // daemon-reload, enable and disable (searched on PATH when it holds no
  // slash). Both are set apart so that tests need neither root nor systemd.
  explicit SystemdServiceControl(MessageLoop& loop,
                                 std::string unit_folder = kSystemUnitFolder,
                                 std::string systemctl = "systemctl");

  std::string Name() override { return kServiceDisplayName; }
  // Writes the unit file (never over an existing one), reloads systemd and
  // enables the unit. False when any of it cannot be done; a unit written
  // before a later step failed is taken away again.
  bool Install() override;
  // Disables the unit, removes its file and reloads systemd. False when the
  // unit is not installed or any step fails.
  bool Uninstall() override;
  // Writes the reason of the last failed Install() or Uninstall() (not
  // root, no systemd, already installed, not installed, systemctl's own
  // message) as one line on standard error.
  void ExplainFailure() override;
  // The service runs the same way with the debug switch as without it.
  void SetDebug(bool /*on*/) override {}
  // Hooks SIGTERM and SIGINT (stop), SIGUSR1 (Command1) and SIGHUP (a tick
  // of Timer1), and queues the start event, which first tells systemd the
  // service is ready: the loop delivers it once start-up has returned.
  void Start() override;
  // One line on standard error holding the message; "<3>" (err) before it
  // when standard error is the journal.
  void LogEvent(int16_t event_type, int32_t event_id,
                const std::string& message) override;

 private:
  std::string UnitPath() const;
  // Runs systemctl with the arguments; true when it exits with status 0.
  // On failure keeps systemctl's complaint on standard error as the reason.
  bool RunSystemctl(const std::vector<std::string>& arguments);
  // Keeps the reason of a failure; returns false.
  bool Fail(const std::string& reason);

  MessageLoop& loop_;
  std::string unit_folder_;
  std::string systemctl_;
  std::string failure_reason_;
};

// The unit file that runs `executable_path` as the service, with its folder
// as working folder. Empty when systemd could not run it from a unit (not
// absolute; a control character, quote or backslash in it; a folder name
// ending in a blank).
std::string ServiceUnitText(const std::string& executable_path);

// The line LogEvent writes for `message`, line break included.
std::string LogLine(const std::string& message);

// True when standard error is the journal stream that systemd named in
// JOURNAL_STREAM ("device:inode").
bool StandardErrorIsJournal();

}  // namespace tavrolin::posix
