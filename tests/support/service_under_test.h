// The real program run as the service in end-to-end tests: copied into a
// folder of its own (where its reports land), tag lists in a working folder,
// the stand-in historian under the client library's names, scripted, and a
// stand-in for systemd's notification socket.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {

// True once `condition` holds; false when it still does not after `timeout`.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout);

// A template tag list: `systems` in mode `mode` ("custom" or a range), and
// `items` snapshot items whose point names are "XXX." + suffix + number.
std::string TemplateList(const std::string& mode, const std::string& systems,
                         const std::string& suffix, int items = 1);

// How many times `part` occurs in `text`, counted without overlaps.
std::size_t Count(const std::string& text, const std::string& part);

// Sends the stop signal and expects the program to end with status 0 within
// `timeout`.
void ExpectStopsCleanly(ChildProcess& child, std::chrono::milliseconds timeout);

class ServiceUnderTest {
 public:
  // `program_folder`: where the program is copied; a folder of its own
  // when empty.
  explicit ServiceUnderTest(std::filesystem::path program_folder = {});

  struct StartOptions {
    std::map<std::string, std::optional<std::string>> environment;
    bool stdout_closed_pipe = false;
    bool wait_until_ready = true;
  };
  // Starts the program with "-debug"; waits for READY=1 unless told not to.
  std::unique_ptr<ChildProcess> Start(const StartOptions& options);
  std::unique_ptr<ChildProcess> Start() { return Start(StartOptions()); }

  // Writes the stand-in historian's script.
  void Script(const std::string& text);
  void WriteTagList(const std::string& name, const std::string& content) {
    work_.Write(name, content);
  }
  // Where the tag list `name` is read from.
  std::filesystem::path TagList(const std::string& name) const {
    return work_.path() / name;
  }

  // Writes a report into the program's folder, as an earlier run left it.
  void WriteReport(const std::string& name, const std::string& content) const;

  std::filesystem::path Report(const std::string& name) const {
    return program_folder_ / name;
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(Report(name));
  }
  // The names in the program's folder, sorted.
  std::vector<std::string> ProgramFolderContent() const;
  // The temporary files of report writing in the program's folder.
  std::vector<std::string> Leftovers() const;
  // The stand-in historian's call log.
  std::string Calls() const;

  // With the stand-in hanging in a historian call that `child` is about to
  // make: once the call has begun, expects no keep-alive for `starved` (after
  // one that may have been on its way), then ends the program as systemd does
  // when the watchdog runs out and expects it to end by that signal.
  void ExpectWatchdogStarvesThenAbort(ChildProcess& child,
                                      std::chrono::milliseconds starved,
                                      std::chrono::milliseconds timeout);

  NotifySocket& notify() { return *notify_; }
  // A new notification socket, for the next start.
  void ResetNotify() { notify_ = std::make_unique<NotifySocket>(); }

 private:
  TempDir work_;
  TempDir own_program_folder_;
  TempDir library_folder_;
  TempDir script_folder_;
  std::filesystem::path program_folder_;
  std::unique_ptr<NotifySocket> notify_ = std::make_unique<NotifySocket>();
};

}  // namespace tavrolin::testing
