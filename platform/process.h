// The process the program runs in: its command line, its folder, its end.
#pragma once

#include <string>

namespace tavrolin {

class Process {
 public:
  virtual ~Process() = default;

  // The argument text: everything after the program's own path, as one text.
  virtual std::string ArgumentText() = 0;
  // The folder that holds the executable, without a trailing separator.
  virtual std::string ExecutableDirectory() = 0;
  // The folder the reports are written to, without a trailing separator:
  // the state folder the service manager gave the service where it gives
  // one, else the executable's folder.
  virtual std::string ReportDirectory() = 0;
  // The separator joined between a folder and a file name ("/" or "\").
  virtual std::string PathSeparator() = 0;
  // Ends the process at once with the given status; runs no further code.
  [[noreturn]] virtual void End(int status) = 0;
};

}  // namespace tavrolin
