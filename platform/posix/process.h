// The process on Linux: its arguments, the folder of its executable, its end.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace tavrolin::posix {

class LinuxProcess : public Process {
 public:
  LinuxProcess(int argc, char** argv);

  // The arguments after the program's path joined by single blanks; no
  // arguments give the empty text.
  std::string ArgumentText() override;
  std::string ExecutableDirectory() override;
  // The first folder of STATE_DIRECTORY (which systemd sets, colon-separated,
  // for a unit with StateDirectory=) when it is an absolute path, else the
  // executable's folder.
  std::string ReportDirectory() override;
  std::string PathSeparator() override { return "/"; }
  // Flushes standard output and standard error, then ends the process
  // without running destructors or exit handlers.
  [[noreturn]] void End(int status) override;

 private:
  std::vector<std::string> arguments_;
};

// The absolute path of the running executable (from /proc/self/exe). Throws
// Error when the system does not tell it.
std::string ExecutablePath();

// The first entry of a STATE_DIRECTORY value when it is an absolute path,
// without a trailing separator; empty otherwise.
std::string FirstStateDirectory(const char* value);

// The folder part of a path, without a trailing separator ("/" for a file in
// the root folder, "." for a bare file name).
std::string DirectoryOf(const std::string& path);

}  // namespace tavrolin::posix
