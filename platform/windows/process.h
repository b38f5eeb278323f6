// The process: its command line, the folder of its executable, its end.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/process.h"

namespace tavrolin::windows {

class Win32Process : public Process {
 public:
  std::string ArgumentText() override;
  std::string ExecutableDirectory() override;
  // Reports go beside the executable.
  std::string ReportDirectory() override { return ExecutableDirectory(); }
  std::string PathSeparator() override { return "\\"; }
  [[noreturn]] void End(int status) override;

  // Runs just before the process ends through End(), so that a service
  // can tell the service manager that it has stopped.
  void SetBeforeEnd(std::function<void(int)> before_end) {
    before_end_ = std::move(before_end);
  }

 private:
  std::function<void(int)> before_end_;
};

// The argument text of a command line: what follows the program's path
// (quoted or not), without the blanks in front of it; the rest as it stands.
std::wstring ArgumentTextOf(std::wstring_view command_line);

// The full path of the running executable.
std::wstring ExecutablePath();

}  // namespace tavrolin::windows
