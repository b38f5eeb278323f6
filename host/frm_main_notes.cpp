// What the service tells the service manager besides its failures: where it
// works and which historian library it uses, once at start-up, and what the
// last refresh did.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "host/frm_main.h"

namespace tavrolin {

void frmMain::NoteStart() {
  ServiceStatus& status = platform_.service_status();
  if (!status.Listening()) return;
  std::error_code error;
  const std::filesystem::path working = std::filesystem::current_path(error);
  std::string library;
  try {
    const HistorianLibraryFile file = pi_api_.ClientLibraryFile();
    library = file.path;
    if (file.simulator) {
      library += " (the project's historian simulator, not a historian)";
    }
  } catch (const std::exception& e) {
    // The note is no failure of its own: a library that cannot be loaded
    // now is reported by the first refresh that needs it.
    library = "not loaded (" + ErrorReportMessage(ToError(e)) + ")";
  }
  status.Note("Corvane Service started: tag lists from the working folder " +
              (error ? std::string("(unknown)") : working.string()) +
              ", reports to " + platform_.process().ReportDirectory() +
              ", historian client library " + library);
}

void frmMain::ShowRefreshStatus(const LocalDateTime& at,
                                std::chrono::steady_clock::time_point started) {
  platform_.service_status().ShowStatus(RefreshStatusText(
      at, tally_, std::chrono::steady_clock::now() - started));
}

std::string RefreshStatusText(const LocalDateTime& at,
                              const RefreshTally& tally,
                              std::chrono::steady_clock::duration duration) {
  char when[32];
  // Both texts fit their buffers whatever the numbers: nothing to check.
  (void)std::snprintf(when, sizeof when, "%04d-%02d-%02d %02d:%02d:%02d",
                      at.year, at.month, at.day, at.hour, at.minute, at.second);
  const auto centiseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(duration).count() /
      10;
  char took[32];
  (void)std::snprintf(took, sizeof took, "%lld.%02lld s",
                      static_cast<long long>(centiseconds / 100),
                      static_cast<long long>(centiseconds % 100));
  return std::string("Last refresh ") + when + ": " +
         std::to_string(tally.written) +
         (tally.written == 1 ? " report" : " reports") + " written, " +
         std::to_string(tally.failed) + " failed, " +
         std::to_string(tally.values) +
         (tally.values == 1 ? " value" : " values") + ", " + took;
}

}  // namespace tavrolin
