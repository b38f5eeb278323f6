// The host window: start-up and command line, the service events, the error
// report, the refresh cycle and the report builders' error traps.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "reports/report_services.h"

namespace tavrolin {

// What one refresh did, for the service's status line.
struct RefreshTally {
  int written = 0;         // reports written
  int failed = 0;          // reports that failed, leaving the previous file
  std::size_t values = 0;  // values in the reports written
};

// The status line after a refresh that began at `at` and took `duration`:
// "Last refresh 2026-12-07 14:03:30: 3 reports written, 0 failed, 54
// values, 0.21 s".
std::string RefreshStatusText(const LocalDateTime& at,
                              const RefreshTally& tally,
                              std::chrono::steady_clock::duration duration);

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
  void BuildCategoryReport();
  void BuildTemplateReport(const std::string& input_file,
                           const std::string& output_path);
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

  std::string OutputPath(const std::string& file_name);
  // Under a service manager: one note naming the working folder, the report
  // folder and the historian client library (loaded for it), and the status
  // line of each refresh.
  void NoteStart();
  void ShowRefreshStatus(const LocalDateTime& at,
                         std::chrono::steady_clock::time_point started);
  // Removes what earlier runs, killed while writing, left of the reports.
  void RemoveReportLeftovers();

  Platform& platform_;
  basPI_API pi_api_;
  Module1 readers_;
  ReportServices report_services_;
  RefreshTally tally_;
};

}  // namespace tavrolin
