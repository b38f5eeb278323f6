// Everything the program needs of the system it runs on, in one place. The
// backend (platform/posix or platform/windows) makes it; tests replace parts.
#pragma once

#include <memory>

#include "platform/code_page.h"
#include "platform/date_settings.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "platform/progress.h"
#include "platform/report_file.h"
#include "platform/service_control.h"
#include "platform/service_status.h"
#include "platform/window.h"

namespace tavrolin {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual ServiceControl& service_control() = 0;
  virtual Window& window() = 0;
  virtual Process& process() = 0;
  virtual LibraryLoader& library_loader() = 0;
  virtual HistorianLibraryNames historian_library_names() = 0;
  virtual Clock& clock() = 0;
  virtual const DateSettings& date_settings() = 0;
  virtual const CodePage& code_page() = 0;
  virtual ReportFileWriter& report_writer() = 0;
  // Where nothing listens, a status that takes nothing.
  virtual ServiceStatus& service_status() {
    static ServiceStatus nobody;
    return nobody;
  }
  virtual Progress& progress() = 0;
};

// Called as the first statement of main, before anything else runs: holds
// back the signals the service answers (until its message loop takes them)
// and ignores those that must not end it (a closed pipe on standard output).
void PrepareProcessSignals();

// Made by the backend this build is for.
std::unique_ptr<Platform> CreatePlatform(int argc, char** argv);

}  // namespace tavrolin
