// The Linux platform: an sd-event message loop for the window, systemd for
// the service, the dynamic loader for the historian's libraries.
#include "platform/platform.h"

#include <memory>

#include "platform/posix/clock.h"
#include "platform/posix/code_page.h"
#include "platform/posix/dynamic_library.h"
#include "platform/posix/locale_settings.h"
#include "platform/posix/message_loop.h"
#include "platform/posix/process.h"
#include "platform/posix/service_control.h"
#include "platform/posix/service_status.h"

namespace tavrolin {
namespace posix {
namespace {

class LinuxPlatform : public Platform {
 public:
  LinuxPlatform(int argc, char** argv)
      : service_(window_),
        process_(argc, argv),
        date_settings_(ReadDateSettings()),
        writer_(CreateReportFileWriter()) {}

  ServiceControl& service_control() override { return service_; }
  Window& window() override { return window_; }
  Process& process() override { return process_; }
  LibraryLoader& library_loader() override { return loader_; }
  HistorianLibraryNames historian_library_names() override {
    return {"libpiapi32.so", "libpilog32.so"};
  }
  Clock& clock() override { return clock_; }
  const DateSettings& date_settings() override { return date_settings_; }
  const CodePage& code_page() override { return code_page_; }
  ReportFileWriter& report_writer() override { return *writer_; }
  ServiceStatus& service_status() override { return status_; }

 private:
  MessageLoop window_;
  SystemdServiceControl service_;
  LinuxProcess process_;
  DlLibraryLoader loader_;
  LocalClock clock_;
  DateSettings date_settings_;
  Utf8CodePage code_page_;
  std::unique_ptr<ReportFileWriter> writer_;
  SystemdServiceStatus status_;
};

}  // namespace
}  // namespace posix

std::unique_ptr<Platform> CreatePlatform(int argc, char** argv) {
  return std::make_unique<posix::LinuxPlatform>(argc, argv);
}

}  // namespace tavrolin
