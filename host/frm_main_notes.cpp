// What the service tells the service manager besides its failures: where it
// works and which historian library it uses, what the last refresh did, and
// which points of a report the historian does not know.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "host/frm_main.h"

namespace tavrolin {

void frmMain::NoteStart() {
  ServiceStatus& status = platform_.service_status();
  if (!status.Listening()) return;
  std::error_code error;
  const std::filesystem::path working = std::filesystem::current_path(error);
  // The library is not loaded for the note: its own start-up code runs at
  // the first refresh, as without a service manager. The file it is comes
  // in a second note then.
  status.Note("Corvane Service started: tag lists from the working folder " +
              (error ? std::string("(unknown)") : working.string()) +
              ", reports to " + platform_.process().ReportDirectory() +
              ", historian client library " +
              platform_.historian_library_names().client +
              " (loaded at the first refresh)");
}

void frmMain::NoteClientLibrary() {
  if (client_library_noted_) return;
  const std::optional<HistorianLibraryFile> file =
      pi_api_.LoadedClientLibraryFile();
  // Not loaded yet: no call has needed it, or it could not be loaded, which
  // the refresh has reported.
  if (!file) return;
  client_library_noted_ = true;
  platform_.service_status().Note(
      "Historian client library loaded: " + file->path +
      (file->simulator ? " (the project's historian simulator, not a "
                         "historian)"
                       : ""));
}

void frmMain::WatchUnknownPoints(const std::string& tag_list) {
  const std::vector<std::string>& unknown = readers_.unknown_points();
  tally_.unknown += unknown.size();
  std::vector<std::string> names = unknown;
  std::sort(names.begin(), names.end());
  std::vector<std::string>& last = unknown_points_[tag_list];
  if (names == last) return;
  const std::string text =
      names.empty()
          ? AllPointsFoundText(tag_list, readers_.looked_up())
          : UnknownPointsText(tag_list, readers_.looked_up(), unknown);
  last = std::move(names);
  try {
    platform_.service_status().Warn(text);
  } catch (const std::exception&) {
    // A warning that cannot be written is lost; the report stands.
  }
}

std::string UnknownPointsText(const std::string& tag_list,
                              std::size_t looked_up,
                              const std::vector<std::string>& unknown) {
  constexpr std::size_t kNamesShown = 20;
  std::string text =
      tag_list + ": " + std::to_string(unknown.size()) + " of " +
      std::to_string(looked_up) + (looked_up == 1 ? " point " : " points ") +
      (unknown.size() == 1 ? "is" : "are") + " unknown to the historian: ";
  const std::size_t shown = std::min(unknown.size(), kNamesShown);
  for (std::size_t i = 0; i < shown; ++i) {
    if (i > 0) text += ", ";
    text += Abridged(unknown[i]);
  }
  if (unknown.size() > shown) {
    text += " and " + std::to_string(unknown.size() - shown) + " more";
  }
  return Abridged(text, kMessageLimit);
}

std::string AllPointsFoundText(const std::string& tag_list,
                               std::size_t looked_up) {
  return tag_list + ": all points found in the historian again (" +
         std::to_string(looked_up) + (looked_up == 1 ? " point)" : " points)");
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
         (tally.values == 1 ? " value" : " values") + ", " +
         std::to_string(tally.unknown) +
         (tally.unknown == 1 ? " unknown point" : " unknown points") + ", " +
         took;
}

}  // namespace tavrolin
