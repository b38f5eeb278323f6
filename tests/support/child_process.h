// Running the program as a child process in end-to-end tests: start it with
// its arguments, working folder and environment, capture what it writes,
// send it signals, wait for its end; and listen to what it tells systemd.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrolin::testing {

// The folder that holds the built program and its libraries (named by
// TAVROLIN_TEST_BIN); throws when the variable is not set.
std::filesystem::path TestBinDirectory();
// The built program.
std::filesystem::path TavrolinPath();

struct ChildOptions {
  // argv[0] is the path of the program to run.
  std::vector<std::string> argv;
  // Empty: the test's own working folder.
  std::filesystem::path working_directory;
  // Changes to the test's environment: a value sets the variable, nothing
  // removes it.
  std::map<std::string, std::optional<std::string>> environment;
  // Standard output a pipe whose reading end is closed at once.
  bool stdout_closed_pipe = false;
};

struct ExitStatus {
  int code = -1;   // the exit status, or -1 when a signal ended the child
  int signal = 0;  // the signal that ended the child, or 0

  friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
};
// "exit 2" or "signal 15", for test messages.
std::string Describe(const ExitStatus& status);
inline ExitStatus Exited(int code) { return {code, 0}; }

class ChildProcess {
 public:
  // Starts the child with standard input from /dev/null and standard output
  // and error into files of its own. Throws std::runtime_error when the
  // child cannot be started.
  explicit ChildProcess(const ChildOptions& options);
  // A child still running is killed and reaped.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signal_number);
  // The child's exit status once it has ended; nothing when it is still
  // running after `timeout`.
  std::optional<ExitStatus> Wait(std::chrono::milliseconds timeout);
  // Everything the child has written so far.
  std::string Stdout() const;
  std::string Stderr() const;

 private:
  TempDir capture_;
  pid_t pid_ = -1;
  std::optional<ExitStatus> status_;
};

// What a child that ran to its end left behind.
struct ChildResult {
  std::optional<ExitStatus> status;  // nothing: killed after the timeout
  std::string out;
  std::string err;
};
ChildResult RunChild(const ChildOptions& options,
                     std::chrono::milliseconds timeout);

// A stand-in for systemd's notification socket: pass path() as NOTIFY_SOCKET
// to the child and wait for the states it reports ("READY=1", ...). Bound at
// `path` when given (a socket systemd keeps at a fixed path, such as the
// journal's), else in a folder of its own.
class NotifySocket {
 public:
  NotifySocket() : NotifySocket(std::filesystem::path()) {}
  explicit NotifySocket(std::filesystem::path path);
  ~NotifySocket();
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  std::string path() const { return path_.string(); }
  // True once a notification holding the line `state` has arrived; false
  // when none has within `timeout`.
  bool WaitFor(std::string_view state, std::chrono::milliseconds timeout);
  // The lines of every notification received so far.
  const std::vector<std::string>& states() const { return states_; }
  // Receives notifications for `period`; returns the times at which the
  // line `state` arrived in that period.
  std::vector<std::chrono::steady_clock::time_point> Collect(
      std::string_view state, std::chrono::milliseconds period);

 private:
  // Receives what has arrived, waiting until `deadline` for something.
  void Receive(std::chrono::steady_clock::time_point deadline);

  TempDir folder_;
  std::filesystem::path path_;
  int fd_ = -1;
  std::vector<std::string> states_;
  std::vector<std::chrono::steady_clock::time_point> times_;
};

}  // namespace tavrolin::testing
