// The service control on the service control manager: installs and removes
// the service "CorvaneService", connects the process to the manager, and
// writes the event log. The manager's start and stop requests reach the
// host window as posted messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/service_control.h"
#include "platform/windows/window.h"

namespace tavrolin::windows {

inline constexpr wchar_t kServiceName[] = L"CorvaneService";
inline constexpr wchar_t kDisplayName[] = L"Corvane Service";
// The process's exit status when the watchdog ends a refresh that hangs.
inline constexpr UINT kExitStalled = 3;

// Writes one entry of `type` with the message table's message `message_id`
// under the service's source, `message` as its one insertion string. Raises
// Error when the log cannot be written.
void WriteEventLog(WORD type, DWORD message_id, const std::string& message);

class ScmServiceControl : public ServiceControl {
 public:
  explicit ScmServiceControl(frmMainWindow& window);
  ~ScmServiceControl() override;
  ScmServiceControl(const ScmServiceControl&) = delete;
  ScmServiceControl& operator=(const ScmServiceControl&) = delete;

  std::string Name() override;
  bool Install() override;
  bool Uninstall() override;
  void SetDebug(bool on) override;
  void Start() override;
  void LogEvent(int16_t event_type, int32_t event_id,
                const std::string& message) override;

  // The window has closed: the service reports that it has stopped, and
  // the service manager's thread ends.
  void WindowClosed();
  // The process ends with `status` while the service runs.
  void ProcessEnding(int status);
  // A failure found before the host started, raised by Start(), so that the
  // host reports it as a start-up failure.
  void SetStartFailure(const Error& failure) { start_failure_ = failure; }
  // Writes one event-log entry about a refresh that makes no progress and
  // ends the process at once with kExitStalled, without telling the service
  // manager: it takes that for a failure and applies the recovery actions.
  [[noreturn]] static void EndStalledService(const std::string& description);

 private:
  static DWORD WINAPI DispatcherThread(void* context);
  static void WINAPI ServiceMain(DWORD argc, wchar_t** argv);
  static DWORD WINAPI ControlHandler(DWORD control, DWORD event_type,
                                     void* event_data, void* context);
  void RunService();
  // Ends a process whose window did not close in time after a stop request.
  [[noreturn]] void EndHungService();
  void ReportStatus(DWORD state, DWORD exit_code = NO_ERROR,
                    DWORD service_exit_code = 0);

  frmMainWindow& window_;
  bool debug_ = false;
  // The thread that runs the service manager's dispatcher.
  HANDLE dispatcher_ = nullptr;
  // Set when the window has closed; the service's main function waits for
  // it before it reports the service stopped.
  HANDLE window_closed_ = nullptr;
  // Set when the service manager has asked the service to stop.
  HANDLE stop_requested_ = nullptr;
  SERVICE_STATUS_HANDLE status_handle_ = nullptr;
  CRITICAL_SECTION status_lock_;
  DWORD state_ = 0;
  DWORD checkpoint_ = 0;
  std::optional<Error> start_failure_;
};

}  // namespace tavrolin::windows
