// The Linux platform: an sd-event message loop for the window, systemd for
// the service, the dynamic loader for the historian's libraries.
#include "platform/platform.h"

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/posix/clock.h"
#include "platform/posix/locale_settings.h"
#include "platform/posix/message_loop.h"
#include "platform/posix/process.h"
#include "platform/posix/service_control.h"
#include "platform/posix/service_status.h"
#include "platform/posix/watchdog.h"

namespace tavrolin {
namespace posix {
namespace {

class LinuxPlatform : public Platform {
 public:
  LinuxPlatform(int argc, char** argv)
      : service_(window_),
        process_(argc, argv),
        loader_(CreateLibraryLoader()),
        date_settings_(ReadDateSettings()),
        writer_(CreateReportFileWriter()) {
    if (watchdog_.enabled()) {
      window_.KeepAlive(watchdog_.interval(), [this] { watchdog_.Feed(); });
      const auto seconds =
          std::chrono::duration_cast<std::chrono::seconds>(watchdog_.period())
              .count();
      watchdog_.SetLastWords(LogLine(ErrorReportMessage(Error(
          errnum::kInternal,
          "The service manager's watchdog ends the service: no progress "
          "for " +
              std::to_string(seconds) +
              " s, a call into the historian library has not returned"))));
    }
  }

  ServiceControl& service_control() override { return service_; }
  Window& window() override { return window_; }
  Process& process() override { return process_; }
  LibraryLoader& library_loader() override { return *loader_; }
  HistorianLibraryNames historian_library_names() override {
    return {"libpiapi32.so", "libpilog32.so"};
  }
  Clock& clock() override { return clock_; }
  const DateSettings& date_settings() override { return date_settings_; }
  const CodePage& code_page() override { return code_page_; }
  ReportFileWriter& report_writer() override { return *writer_; }
  ServiceStatus& service_status() override { return status_; }
  Progress& progress() override { return watchdog_; }

 private:
  MessageLoop window_;
  SystemdServiceControl service_;
  LinuxProcess process_;
  std::unique_ptr<LibraryLoader> loader_;
  LocalClock clock_;
  DateSettings date_settings_;
  Utf8CodePage code_page_;
  std::unique_ptr<ReportFileWriter> writer_;
  SystemdServiceStatus status_;
  SystemdWatchdog watchdog_;
};

}  // namespace
}  // namespace posix

void PrepareProcessSignals() {
  // The signals the message loop answers wait, blocked, until it reads them
  // (SIGTERM and SIGINT stop, SIGUSR1 presses the button, SIGHUP refreshes):
  // none of them can end a process that is still starting.
  sigset_t held;
  sigemptyset(&held);
  for (const int signal_number : {SIGTERM, SIGINT, SIGUSR1, SIGHUP}) {
    sigaddset(&held, signal_number);
  }
  // Neither call can fail with valid signal numbers.
  (void)sigprocmask(SIG_BLOCK, &held, nullptr);
  // A reader that has gone away makes a write to standard output fail
  // instead of ending the process.
  (void)signal(SIGPIPE, SIG_IGN);
}

std::unique_ptr<Platform> CreatePlatform(int argc, char** argv) {
  return std::make_unique<posix::LinuxPlatform>(argc, argv);
}

}  // namespace tavrolin
