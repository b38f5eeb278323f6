#include "platform/windows/service_control.h"

#include <atomic>
#include <exception>
#include <string>

#include "messages.h"
#include "platform/error.h"
#include "platform/windows/process.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

constexpr wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\"
    L"CorvaneService";
constexpr wchar_t kDescription[] =
    L"Publishes values of the process-data historian as XML report files.";
// After a stop request the service reports progress (STOP_PENDING with a
// new checkpoint) at every step while the window closes; a window that has
// not closed after the limit (a historian call that does not return) ends
// the process, with an event-log entry. The wait hint covers one step.
constexpr DWORD kStopStepMs = 2000;
constexpr DWORD kStopWaitHintMs = 2 * kStopStepMs;
constexpr DWORD kStopLimitMs = 20000;
// How long the window's thread waits for the service manager's thread at
// the end.
constexpr DWORD kDispatcherEndWaitMs = 30000;
// The recovery action after a failure: restart after a minute; the count of
// failures starts again after a day without one.
constexpr DWORD kRestartDelayMs = 60000;
constexpr DWORD kFailureResetSeconds = 24 * 60 * 60;

// The one control whose service the dispatcher runs.
std::atomic<ScmServiceControl*> running_control{nullptr};

class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~ServiceHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

bool SetRecoveryActions(SC_HANDLE service) {
  SC_ACTION actions[3] = {{SC_ACTION_RESTART, kRestartDelayMs},
                          {SC_ACTION_RESTART, kRestartDelayMs},
                          {SC_ACTION_RESTART, kRestartDelayMs}};
  SERVICE_FAILURE_ACTIONSW failure_actions{};
  failure_actions.dwResetPeriod = kFailureResetSeconds;
  failure_actions.cActions = 3;
  failure_actions.lpsaActions = actions;
  if (ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS,
                            &failure_actions)) {
    return true;
  }
  // A service manager without recovery actions still runs the service.
  return GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ||
         GetLastError() == ERROR_INVALID_LEVEL;
}

bool AddEventSource(const std::wstring& executable) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD types =
      EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
  const bool done =
      RegSetValueExW(key, L"EventMessageFile", 0, REG_EXPAND_SZ,
                     reinterpret_cast<const BYTE*>(executable.c_str()),
                     static_cast<DWORD>((executable.size() + 1) *
                                        sizeof(wchar_t))) == ERROR_SUCCESS &&
      RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                     reinterpret_cast<const BYTE*>(&types),
                     sizeof(types)) == ERROR_SUCCESS;
  (void)RegCloseKey(key);  // the values are written or not by now
  return done;
}

}  // namespace

ScmServiceControl::ScmServiceControl(frmMainWindow& window) : window_(window) {
  InitializeCriticalSection(&status_lock_);
}

ScmServiceControl::~ScmServiceControl() {
  // Handles of this object only; they fail only when closed already.
  if (window_closed_ != nullptr) (void)SetEvent(window_closed_);
  if (dispatcher_ != nullptr) {
    // A dispatcher that has not ended by then ends with the process.
    (void)WaitForSingleObject(dispatcher_, kDispatcherEndWaitMs);
    (void)CloseHandle(dispatcher_);
  }
  if (window_closed_ != nullptr) (void)CloseHandle(window_closed_);
  if (stop_requested_ != nullptr) (void)CloseHandle(stop_requested_);
  ScmServiceControl* self = this;
  running_control.compare_exchange_strong(self, nullptr);
  DeleteCriticalSection(&status_lock_);
}

std::string ScmServiceControl::Name() { return WideToUtf8(kDisplayName); }

bool ScmServiceControl::Install() {
  ServiceHandle manager(
      OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
  if (!manager) return false;
  const std::wstring executable = ExecutablePath();
  const std::wstring image_path = L"\"" + executable + L"\"";
  ServiceHandle service(CreateServiceW(
      manager.get(), kServiceName, kDisplayName,
      SERVICE_CHANGE_CONFIG | SERVICE_START | DELETE, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, image_path.c_str(), nullptr,
      nullptr, nullptr, nullptr, nullptr));
  // Among the reasons: the service exists already.
  if (!service) return false;

  SERVICE_DESCRIPTIONW description{const_cast<wchar_t*>(kDescription)};
  // The description is only shown to operators; the service runs without.
  (void)ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION,
                              &description);
  if (!SetRecoveryActions(service.get()) || !AddEventSource(executable)) {
    // Half an installation is none: take the service away again.
    // The install fails whatever the clean-up's outcome.
    (void)DeleteService(service.get());
    (void)RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    return false;
  }
  return true;
}

bool ScmServiceControl::Uninstall() {
  ServiceHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
  if (!manager) return false;
  ServiceHandle service(OpenServiceW(manager.get(), kServiceName, DELETE));
  if (!service || !DeleteService(service.get())) return false;
  // The service is gone; an event source left behind only names it.
  (void)RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
  return true;
}

void ScmServiceControl::SetDebug(bool on) {
  debug_ = on;
  window_.SetVisible(on);
}

void ScmServiceControl::Start() {
  if (start_failure_) throw *start_failure_;
  // The window belongs to this thread, which runs its message loop; the
  // service manager's thread only posts to it.
  window_.Handle();
  if (debug_) {
    window_.PostServiceStart();
    return;
  }
  if (dispatcher_ != nullptr) return;
  window_closed_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stop_requested_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (window_closed_ == nullptr || stop_requested_ == nullptr) {
    throw Error(errnum::kInternal,
                "Cannot start the service: " + SystemErrorText(GetLastError()));
  }
  running_control = this;
  dispatcher_ = CreateThread(nullptr, 0, &ScmServiceControl::DispatcherThread,
                             this, 0, nullptr);
  if (dispatcher_ == nullptr) {
    throw Error(errnum::kInternal,
                "Cannot start the service: " + SystemErrorText(GetLastError()));
  }
}

DWORD WINAPI ScmServiceControl::DispatcherThread(void*) {
  SERVICE_TABLE_ENTRYW table[] = {
      {const_cast<wchar_t*>(kServiceName), &ScmServiceControl::ServiceMain},
      {nullptr, nullptr}};
  // Returns once the service has stopped, or at once (with an error) when
  // the process was not started by the service manager.
  return StartServiceCtrlDispatcherW(table) ? NO_ERROR : GetLastError();
}

void WINAPI ScmServiceControl::ServiceMain(DWORD, wchar_t**) {
  if (ScmServiceControl* self = running_control.load()) self->RunService();
}

void ScmServiceControl::RunService() {
  SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerExW(
      kServiceName, &ScmServiceControl::ControlHandler, this);
  if (handle == nullptr) return;
  EnterCriticalSection(&status_lock_);
  status_handle_ = handle;
  LeaveCriticalSection(&status_lock_);
  ReportStatus(SERVICE_RUNNING);
  window_.PostServiceStart();
  const HANDLE either[2] = {window_closed_, stop_requested_};
  if (WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    for (DWORD waited = 0;
         WaitForSingleObject(window_closed_, kStopStepMs) == WAIT_TIMEOUT;
         waited += kStopStepMs) {
      if (waited + kStopStepMs >= kStopLimitMs) EndHungService();
      ReportStatus(SERVICE_STOP_PENDING);
    }
  }
  ReportStatus(SERVICE_STOPPED);
}

void ScmServiceControl::EndHungService() {
  try {
    LogEvent(0, 0,
             ErrorReportMessage(Error(
                 errnum::kInternal,
                 "The service did not stop within " +
                     std::to_string(kStopLimitMs / 1000) +
                     " s of the stop request: a report build or a call into "
                     "the historian library has not returned; the process "
                     "ends")));
  } catch (const std::exception&) {
    // The process ends all the same; the service manager records the exit.
  }
  ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 1);
  // The window's thread is stuck in a call that never returns: the process
  // ends without waiting for it or running its clean-up.
  (void)TerminateProcess(GetCurrentProcess(), 1);
  ExitProcess(1);  // not reached
}

DWORD WINAPI ScmServiceControl::ControlHandler(DWORD control, DWORD, void*,
                                               void* context) {
  auto* self = static_cast<ScmServiceControl*>(context);
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      self->ReportStatus(SERVICE_STOP_PENDING);
      if (self->stop_requested_ != nullptr)
        (void)SetEvent(self->stop_requested_);
      self->window_.PostServiceStop();
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void ScmServiceControl::ReportStatus(DWORD state, DWORD exit_code,
                                     DWORD service_exit_code) {
  EnterCriticalSection(&status_lock_);
  if (status_handle_ != nullptr && state_ != SERVICE_STOPPED) {
    const bool pending =
        state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN
                                 : 0;
    status.dwWin32ExitCode = exit_code;
    status.dwServiceSpecificExitCode = service_exit_code;
    status.dwCheckPoint = pending ? ++checkpoint_ : 0;
    status.dwWaitHint = pending ? kStopWaitHintMs : 0;
    state_ = state;
    // The service manager's own record; nothing else could tell it.
    (void)SetServiceStatus(status_handle_, &status);
  }
  LeaveCriticalSection(&status_lock_);
}

void ScmServiceControl::WindowClosed() {
  if (window_closed_ == nullptr) return;
  (void)SetEvent(window_closed_);  // fails only for a handle closed already
  if (dispatcher_ != nullptr) {
    // A dispatcher that has not ended by then ends with the process.
    (void)WaitForSingleObject(dispatcher_, kDispatcherEndWaitMs);
  }
}

void ScmServiceControl::ProcessEnding(int status) {
  if (status == 0) {
    ReportStatus(SERVICE_STOPPED);
  } else {
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR,
                 static_cast<DWORD>(status));
  }
}

void ScmServiceControl::LogEvent(int16_t, int32_t, const std::string& message) {
  // Every failure is an error entry with the message table's first message,
  // named by its whole identifier (severity and facility bits included) so
  // that the event viewer finds its text in the program's message table.
  // A log that cannot be written raises, as on every system; the host drops
  // that failure rather than reporting it again.
  WriteEventLog(EVENTLOG_ERROR_TYPE, MSG_SERVICE_REPORT, message);
}

void ScmServiceControl::EndStalledService(const std::string& description) {
  try {
    WriteEventLog(EVENTLOG_ERROR_TYPE, MSG_SERVICE_STALLED,
                  ErrorReportMessage(
                      Error(errnum::kInternal,
                            description + "; the process ends, for the service "
                                          "manager to start it again")));
  } catch (const std::exception&) {
    // The process ends all the same; the service manager records the exit.
  }
  // The window's thread is stuck in a call that never returns: the process
  // ends without waiting for it or running its clean-up.
  (void)TerminateProcess(GetCurrentProcess(), kExitStalled);
  ExitProcess(kExitStalled);  // not reached
}

void WriteEventLog(WORD type, DWORD message_id, const std::string& message) {
  const std::wstring text = Utf8ToWide(message);
  HANDLE source = RegisterEventSourceW(nullptr, kServiceName);
  if (source == nullptr) {
    throw Error(errnum::kPathAccess, "Cannot write the event log: " +
                                         SystemErrorText(GetLastError()));
  }
  const wchar_t* strings[1] = {text.c_str()};
  const bool written = ReportEventW(source, type, 0, message_id, nullptr, 1, 0,
                                    strings, nullptr) != 0;
  const DWORD failure = GetLastError();
  // Only the handle opened above is closed; that cannot lose the entry.
  (void)DeregisterEventSource(source);
  if (!written) {
    throw Error(errnum::kPathAccess,
                "Cannot write the event log: " + SystemErrorText(failure));
  }
}

}  // namespace tavrolin::windows
