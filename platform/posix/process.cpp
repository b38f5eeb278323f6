#include "platform/posix/process.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "common/paths.h"
#include "platform/error.h"

namespace tavrolin::posix {

LinuxProcess::LinuxProcess(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) arguments_.emplace_back(argv[i]);
}

std::string LinuxProcess::ArgumentText() {
  std::string text;
  for (const std::string& argument : arguments_) {
    if (&argument != &arguments_.front()) text += ' ';
    text += argument;
  }
  return text;
}

std::string LinuxProcess::ExecutableDirectory() {
  return DirectoryOf(ExecutablePath());
}

std::string LinuxProcess::ReportDirectory() {
  const std::string state = FirstStateDirectory(std::getenv("STATE_DIRECTORY"));
  return state.empty() ? ExecutableDirectory() : state;
}

void LinuxProcess::End(int status) {
  // What cannot be flushed any more is lost with the process either way.
  (void)std::fflush(stdout);
  (void)std::fflush(stderr);
  std::_Exit(status);
}

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length =
        readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      throw Error(errnum::kPathAccess,
                  std::string("Cannot find the executable's path: ") +
                      std::strerror(errno));
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string FirstStateDirectory(const char* value) {
  if (value == nullptr || value[0] != '/') return std::string();
  std::string first(value, std::strcspn(value, ":"));
  while (first.size() > 1 && first.back() == '/') first.pop_back();
  return first;
}

std::string DirectoryOf(const std::string& path) {
  const std::string_view folder = FolderOf(path, PathStyle::kPosix);
  if (!folder.empty()) return std::string(folder);
  return path.starts_with('/') ? "/" : ".";
}

}  // namespace tavrolin::posix
