// The Windows backend in one place.
#include "platform/platform.h"

#include <memory>

#include "platform/windows/clock.h"
#include "platform/windows/code_page.h"
#include "platform/windows/locale_settings.h"
#include "platform/windows/process.h"
#include "platform/windows/service_control.h"
#include "platform/windows/service_status.h"
#include "platform/windows/window.h"

namespace tavrolin {
namespace {

class WindowsPlatform : public Platform {
 public:
  WindowsPlatform()
      : service_control_(window_),
        library_loader_(CreateLibraryLoader()),
        date_settings_(windows::ReadDateSettings()),
        report_writer_(CreateReportFileWriter()) {
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
  Progress& progress() override { return progress_; }

 private:
  windows::frmMainWindow window_;
  windows::ScmServiceControl service_control_;
  windows::Win32Process process_;
  std::unique_ptr<LibraryLoader> library_loader_;
  windows::LocalClock clock_;
  DateSettings date_settings_;
  windows::AnsiCodePage code_page_;
  std::unique_ptr<ReportFileWriter> report_writer_;
  windows::EventLogServiceStatus status_;
  NoProgress progress_;
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
