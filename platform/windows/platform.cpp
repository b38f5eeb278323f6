// The Windows backend in one place.
#include "platform/platform.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/refresh_watchdog.h"
#include "platform/windows/clock.h"
#include "platform/windows/code_page.h"
#include "platform/windows/dynamic_library.h"
#include "platform/windows/locale_settings.h"
#include "platform/windows/process.h"
#include "platform/windows/service_control.h"
#include "platform/windows/service_settings.h"
#include "platform/windows/service_status.h"
#include "platform/windows/window.h"

namespace tavrolin {
namespace {

// What the process settles before anything else: where DLLs may come from,
// the administrator's settings, and, for the service, its working folder.
// A failure waits for the host, which reports it as a start-up failure.
struct StartUp {
  StartUp() {
    windows::RestrictDllSearch();
    try {
      settings = windows::ReadServiceSettings();
      // Only the service changes folder: a "-debug" run, started by hand,
      // reads the tag lists from the folder it is started in.
      const bool service_run =
          windows::ArgumentTextOf(GetCommandLineW()).empty();
      if (service_run && settings.working_folder) {
        windows::EnterWorkingFolder(*settings.working_folder);
      }
    } catch (const Error& error) {
      failure = error;
    }
  }

  windows::LibraryFolders LibraryFolders() const {
    windows::LibraryFolders folders = windows::DefaultLibraryFolders();
    folders.historian = settings.historian_folder;
    return folders;
  }

  windows::ServiceSettings settings;
  std::optional<Error> failure;
};

class WindowsPlatform : public Platform {
 public:
  WindowsPlatform()
      : service_control_(window_),
        library_loader_(std::make_unique<windows::Win32LibraryLoader>(
            start_up_.LibraryFolders())),
        date_settings_(windows::ReadDateSettings()),
        report_writer_(CreateReportFileWriter()),
        watchdog_(start_up_.settings.watchdog_bound,
                  [](const std::string& description) {
                    windows::ScmServiceControl::EndStalledService(description);
                  }) {
    if (start_up_.failure) service_control_.SetStartFailure(*start_up_.failure);
    window_.SetAfterClose([this] { service_control_.WindowClosed(); });
    process_.SetBeforeEnd(
        [this](int status) { service_control_.ProcessEnding(status); });
  }

  ServiceControl& service_control() override { return service_control_; }
  Window& window() override { return window_; }
  Process& process() override { return process_; }
  LibraryLoader& library_loader() override { return *library_loader_; }
  HistorianLibraryNames historian_library_names() override {
    return {"piapi32.dll", "pilog32.dll"};
  }
  Clock& clock() override { return clock_; }
  const DateSettings& date_settings() override { return date_settings_; }
  const CodePage& code_page() override { return code_page_; }
  ReportFileWriter& report_writer() override { return *report_writer_; }
  ServiceStatus& service_status() override { return status_; }
  Progress& progress() override { return watchdog_; }

 private:
  StartUp start_up_;  // first: before any other member is made
  windows::frmMainWindow window_;
  windows::ScmServiceControl service_control_;
  windows::Win32Process process_;
  std::unique_ptr<LibraryLoader> library_loader_;
  windows::LocalClock clock_;
  DateSettings date_settings_;
  windows::AnsiCodePage code_page_;
  std::unique_ptr<ReportFileWriter> report_writer_;
  windows::EventLogServiceStatus status_;
  RefreshWatchdog watchdog_;
};

}  // namespace

// Windows has no signals that could end the service while it starts: the
// service manager's requests and the console's control events arrive as
// messages to the window.
void PrepareProcessSignals() {}

// The command line comes from the system (GetCommandLineW), in full and in
// UTF-16, rather than from the C run-time's arguments.
std::unique_ptr<Platform> CreatePlatform(int, char**) {
  return std::make_unique<WindowsPlatform>();
}

}  // namespace tavrolin
