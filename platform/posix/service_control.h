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

// systemctl by its absolute path: never looked up through PATH, which root
// may have been given by someone else.
inline constexpr char kSystemctl[] = "/bin/systemctl";

class SystemdServiceControl : public ServiceControl {
 public:
  // `unit_folder` receives the unit file; `systemctl` is the path of the
  // program run for daemon-reload, enable and disable; `executable` is the
  // program the unit runs (empty: the running executable). All three are
  // set apart so that tests need neither root nor systemd.
  explicit SystemdServiceControl(MessageLoop& loop,
                                 std::string unit_folder = kSystemUnitFolder,
                                 std::string systemctl = kSystemctl,
                                 std::string executable = {});

  std::string Name() override { return kServiceDisplayName; }
  // Writes the unit file (never over an existing one), reloads systemd and
  // enables the unit. The unit runs the executable as root, so it is
  // refused when the executable or any folder above it can be changed by
  // another account (ChangeableByOthers). False when any of it cannot be
  // done; a unit written before a later step failed is taken away again.
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
  std::string executable_;
  std::string failure_reason_;
};

// The unit file that runs `executable_path` as the service, as root, with
// its folder as working folder and the one folder it may write: the
// package's unit template filled in for a hand-placed executable. Empty when
// systemd could not run it from a unit (not absolute; a control character,
// quote or backslash in it; a folder name ending in a blank).
std::string ServiceUnitText(const std::string& executable_path);

// The first of `path` (symbolic links resolved) and the folders above it
// that an account other than root can change, with the reason:
// "/tmp (mode 1777)", "/home/ann/bin (owner uid 1000)". A name is
// changeable when root does not own it or its group or others may write it,
// sticky bit or not; one that cannot be looked at counts as changeable.
// Empty when root alone can change every one of them.
std::string ChangeableByOthers(const std::string& path);

// The line LogEvent writes for `message`, line break included.
std::string LogLine(const std::string& message);

// True when standard error is the journal stream that systemd named in
// JOURNAL_STREAM ("device:inode").
bool StandardErrorIsJournal();

}  // namespace tavrolin::posix
