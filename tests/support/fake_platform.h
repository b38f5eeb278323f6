// A platform for tests: records what the program asks of the system and
// answers as the test says. The historian binding uses the real loader, so
// that the tests' stand-in libraries are loaded as they would be in service.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "tests/support/posix_compat.h"
#include "tests/support/settings.h"

namespace tavrolin::testing {

// Thrown by FakeProcess::End so that a test sees where the program ended.
struct ProcessEnded {
  int status;
};

class FakeServiceControl : public ServiceControl {
 public:
  std::string name = "Corvane Service";
  bool install_result = true;
  bool uninstall_result = true;
  bool log_throws = false;
  std::function<void()> on_log;    // called as each entry is written
  std::vector<std::string> calls;  // "Name", "Install", "SetDebug(1)", ...
  // The entries' messages; no backend reads the event type and number.
  struct Entry {
    std::string message;
  };
  std::vector<Entry> log;

  std::string Name() override {
    calls.push_back("Name");
    return name;
  }
  bool Install() override {
    calls.push_back("Install");
    return install_result;
  }
  bool Uninstall() override {
    calls.push_back("Uninstall");
    return uninstall_result;
  }
  void ExplainFailure() override { calls.push_back("ExplainFailure"); }
  void SetDebug(bool on) override {
    calls.push_back("SetDebug(" + std::to_string(on) + ")");
  }
  void Start() override { calls.push_back("Start"); }
  void LogEvent(int16_t event_type, int32_t event_id,
                const std::string& message) override;
};

// A service manager that takes notes and status lines when `listening`, and
// a log that takes warnings.
class FakeServiceStatus : public ServiceStatus {
 public:
  bool listening = false;
  std::vector<std::string> notes;
  std::vector<std::string> statuses;
  std::vector<std::string> warnings;

  void Warn(const std::string& text) override { warnings.push_back(text); }
  bool Listening() override { return listening; }
  void Note(const std::string& text) override { notes.push_back(text); }
  void ShowStatus(const std::string& text) override {
    statuses.push_back(text);
  }
};

class FakeWindow : public Window {
 public:
  std::vector<std::string> messages;
  std::chrono::milliseconds timer_interval{0};
  bool closed = false;
  bool loop_ran = false;

  void StartTimer(std::chrono::milliseconds interval) override {
    timer_interval = interval;
  }
  void RunMessageLoop(WindowEvents&) override { loop_ran = true; }
  void Close() override { closed = true; }
  void ShowMessage(const std::string& text) override {
    messages.push_back(text);
  }
};

class FakeProcess : public Process {
 public:
  std::string argument_text;
  std::string executable_directory = ".";
  std::optional<Error> directory_failure;  // thrown when the folder is asked

  std::string ArgumentText() override { return argument_text; }
  std::string ExecutableDirectory() override {
    if (directory_failure) throw *directory_failure;
    return executable_directory;
  }
  std::string ReportDirectory() override { return ExecutableDirectory(); }
  std::string PathSeparator() override { return "/"; }
  [[noreturn]] void End(int status) override { throw ProcessEnded{status}; }
};

class FakeClock : public Clock {
 public:
  LocalDateTime now{2026, 12, 6, 6, 43, 30};
  LocalDateTime Now() override { return now; }
};

// The names of the tests' stand-in historian libraries on this system.
HistorianLibraryNames StubLibraryNames();
// The file name of a stand-in library on this system: "stub_piapi32_partial"
// gives "libstub_piapi32_partial.so" or "stub_piapi32_partial.dll".
std::string StubLibraryFile(const std::string& stem);

class FakePlatform : public Platform {
 public:
  FakeServiceControl service;
  FakeServiceStatus status;
  FakeWindow window_;
  FakeProcess process_;
  FakeClock clock_;
  DateSettings date_settings_;
  Utf8CodePage code_page_;
  std::unique_ptr<LibraryLoader> loader = CreateLibraryLoader();
  std::unique_ptr<ReportFileWriter> writer = CreateReportFileWriter();
  HistorianLibraryNames library_names = StubLibraryNames();

  ServiceControl& service_control() override { return service; }
  Window& window() override { return window_; }
  Process& process() override { return process_; }
  LibraryLoader& library_loader() override { return *loader; }
  HistorianLibraryNames historian_library_names() override {
    return library_names;
  }
  Clock& clock() override { return clock_; }
  const DateSettings& date_settings() override { return date_settings_; }
  const CodePage& code_page() override { return code_page_; }
  ReportFileWriter& report_writer() override { return *writer; }
  ServiceStatus& service_status() override { return status; }
  Progress& progress() override { return progress_; }

  // Counts the items the report builders report as built, and records the
  // reports ("start <report>", "finish") and the historian calls ("call
  // <function>") in their order.
  class CountingProgress : public Progress {
   public:
    int advances = 0;
    std::vector<std::string> events;
    void Advance() override { ++advances; }
    void Started(const std::string& report) override {
      events.push_back("start " + report);
    }
    void Finished() override { events.push_back("finish"); }
    void Calling(const char* function) override {
      events.push_back(std::string("call ") + function);
    }
  };
  CountingProgress progress_;
};

}  // namespace tavrolin::testing
