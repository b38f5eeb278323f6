// The host window: loading it starts the program. Start-up reads the command
// line, the service events answer the service manager, and ReportError is
// where every trapped failure ends.
#include "host/frm_main.h"

#include <chrono>
#include <exception>
#include <string>

namespace tavrolin {
namespace {

// The event-log entry's type and number for a reported failure.
constexpr int16_t kErrorEventType = 109;
constexpr int32_t kErrorEventId = 1;

}  // namespace

frmMain::frmMain(Platform& platform)
    : platform_(platform),
      pi_api_(platform.library_loader(), platform.historian_library_names(),
              &platform.progress()),
      readers_(pi_api_, platform.date_settings(), platform.code_page()),
      report_services_{readers_,
                       platform.clock(),
                       platform.date_settings(),
                       platform.code_page(),
                       platform.report_writer(),
                       &platform.progress()} {}

int frmMain::Show() {
  Window& window = platform_.window();
  // The timer runs from the moment the window loads; its first tick comes
  // once the message loop runs.
  try {
    window.StartTimer(std::chrono::milliseconds(kTimer1IntervalMs));
  } catch (const std::exception& e) {
    ReportError(ToError(e));
    return kExitFailure;
  }
  Form_Load();
  // The timer tick and the button arm no trap of their own: a failure that
  // escapes them ends the program, reported like any other.
  try {
    window.RunMessageLoop(*this);
  } catch (const std::exception& e) {
    ReportError(ToError(e));
    return kExitFailure;
  }
  return kExitSuccess;
}

void frmMain::Form_Load() {
  ServiceControl& service = platform_.service_control();
  Process& process = platform_.process();
  Window& window = platform_.window();
  try {
    const std::string name = service.Name();
    if (process.ArgumentText() == "-install") {
      const bool installed = service.Install();
      window.ShowMessage(name + (installed ? " installed successfully"
                                           : " failed to install"));
      if (!installed) service.ExplainFailure();
      process.End(installed ? kExitSuccess : kExitFailure);
    }
    if (process.ArgumentText() == "-uninstall") {
      const bool uninstalled = service.Uninstall();
      window.ShowMessage(name + (uninstalled ? " uninstalled successfully"
                                             : " failed to uninstall"));
      if (!uninstalled) service.ExplainFailure();
      process.End(uninstalled ? kExitSuccess : kExitFailure);
    }
    if (process.ArgumentText() == "-debug") {
      service.SetDebug(true);
    } else if (!process.ArgumentText().empty()) {
      window.ShowMessage("Invalid command option");
      process.End(kExitInvalidOption);
    }
    RemoveReportLeftovers();
    service.Start();
    pi_api_.pilg_registerapp("piapi32.dll");  // its result tells nothing
    NoteStart();
  } catch (const std::exception& e) {
    ReportError(ToError(e));
    process.End(kExitFailure);
  }
}

// An event handler of the window like the others, though it needs none of
// the window's state.
// NOLINTNEXTLINE(readability-convert-member-functions-to-static)
void frmMain::NTService1_Start(bool& result) { result = true; }

void frmMain::NTService1_Stop() {
  try {
    platform_.window().Close();
  } catch (const std::exception& e) {
    ReportError(ToError(e));
  }
}

void frmMain::RemoveReportLeftovers() {
  for (const char* report : {"out.xml", "out3.xml", "out2.xml"}) {
    // A leftover that stays takes room but harms no report: it is reported,
    // and the service starts all the same.
    try {
      platform_.report_writer().RemoveLeftovers(OutputPath(report));
    } catch (const std::exception& e) {
      ReportError(ToError(e));
    }
  }
}

void frmMain::ReportError(const Error& error) {
  try {
    platform_.service_control().LogEvent(kErrorEventType, kErrorEventId,
                                         ErrorReportMessage(error));
  } catch (const std::exception&) {
    // The event log is the only place a failure can go: when it cannot be
    // written either, the failure is dropped rather than reported again.
  }
}

}  // namespace tavrolin
