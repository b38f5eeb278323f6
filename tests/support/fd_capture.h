// Catches what the code under test writes to one of the process's standard
// file descriptors, in a file of its own, until the capture ends.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "tests/support/temp_dir.h"

namespace tavrolin::testing {

class FdCapture {
 public:
  explicit FdCapture(int fd) : fd_(fd), saved_(::dup(fd)) {
    const int file =
        ::open(folder_.File("captured").c_str(), O_WRONLY | O_CREAT, 0600);
    if (saved_ < 0 || file < 0 || ::dup2(file, fd) < 0) {
      throw std::runtime_error("cannot capture a file descriptor");
    }
    ::close(file);
  }
  ~FdCapture() { Restore(); }
  FdCapture(const FdCapture&) = delete;
  FdCapture& operator=(const FdCapture&) = delete;

  // Puts the descriptor back and returns everything written to it.
  std::string Text() {
    Restore();
    return ReadFile(folder_.File("captured"));
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
  }

  TempDir folder_;
  int fd_;
  int saved_;
};

}  // namespace tavrolin::testing
