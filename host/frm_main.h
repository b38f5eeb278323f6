// The host window: start-up and command line, the service events, the error
// report, the refresh cycle and the report builders' error traps.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "reports/report_services.h"

namespace tavrolin {

// What one refresh did, for the service's status line.
struct RefreshTally {
  int written = 0;          // reports written
  int failed = 0;           // reports that failed, leaving the previous file
  std::size_t values = 0;   // values in the reports written
  std::size_t unknown = 0;  // names in them the historian does not know
};

// The status line after a refresh that began at `at` and took `duration`:
// "Last refresh 2026-12-07 14:03:30: 3 reports written, 0 failed, 54
// values, 0 unknown points, 0.21 s".
std::string RefreshStatusText(const LocalDateTime& at,
                              const RefreshTally& tally,
                              std::chrono::steady_clock::duration duration);

// The warning about a report whose tag list names points the historian does
// not know: "tags3.xml: 3 of 480 points are unknown to the historian: FI10l,
// TI-102, U7.PI301", at most the first 20 names, then the count of the rest.
std::string UnknownPointsText(const std::string& tag_list,
                              std::size_t looked_up,
                              const std::vector<std::string>& unknown);
// The entry once such a report finds all its points again.
std::string AllPointsFoundText(const std::string& tag_list,
                               std::size_t looked_up);

// Exit statuses of the process.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;  // failed (un)install, start-up error
inline constexpr int kExitInvalidOption = 2;  // "Invalid command option"

class frmMain : private WindowEvents {
 public:
  static constexpr int kTimer1IntervalMs = 30000;

  explicit frmMain(Platform& platform);

  // Loads the window: runs Form_Load, then the message loop until the window
  // closes. Returns the process's exit status.
  int Show();

  void Form_Load();
  void NTService1_Start(bool& result);
  void NTService1_Stop();
  void Timer1_Timer();
  void Command1_Click();
  // Builds a report into the file of that name in the report folder; a
  // failure, that of finding the folder included, is reported and ends
  // the build.
  void BuildCategoryReport();
  void BuildTemplateReport(const std::string& input_file,
                           const std::string& output_file);
  // Writes the error to the event log as "[number] description".
  void ReportError(const Error& error);

  // Raised while a report builder runs; a timer tick that finds it set
  // builds nothing.
  bool Busy = false;

 private:
  void OnTimer1() override { Timer1_Timer(); }
  void OnCommand1Click() override { Command1_Click(); }
  void OnServiceStart(bool& result) override { NTService1_Start(result); }
  void OnServiceStop() override { NTService1_Stop(); }

  using ReportMaker = void (*)(ReportServices&, const std::string&,
                               const std::string&);
  // The report builders' one error trap, over every step of a build.
  void BuildReport(const std::string& input_file,
                   const std::string& output_file, ReportMaker make);
  std::string OutputPath(const std::string& file_name);
  // Under a service manager: one note naming the working folder, the report
  // folder and the historian client library's file name, a second one with
  // the library file that the first call into it loaded, and the status line
  // of each refresh.
  void NoteStart();
  void NoteClientLibrary();
  // Runs one report build; once it has written its report, says whether the
  // set of point names that the historian did not know has changed.
  template <typename Build>
  void BuildAndWatch(const std::string& tag_list, Build build);
  void WatchUnknownPoints(const std::string& tag_list);
  void ShowRefreshStatus(const LocalDateTime& at,
                         std::chrono::steady_clock::time_point started);
  // Removes what earlier runs, killed while writing, left of the reports.
  void RemoveReportLeftovers();

  Platform& platform_;
  basPI_API pi_api_;
  Module1 readers_;
  ReportServices report_services_;
  RefreshTally tally_;
  // Per tag list, the sorted names its last written report did not find.
  std::map<std::string, std::vector<std::string>> unknown_points_;
  bool client_library_noted_ = false;
};

}  // namespace tavrolin
