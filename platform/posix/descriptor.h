// File descriptors: one owned and closed when it goes out of scope, and
// writing all of a text through one.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace tavrolin::posix {

// A file descriptor closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int get() const { return fd_; }
  // Closes now; returns the errno of a failed close, 0 on success.
  int Close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0 ? 0 : errno;
  }
  // Closes now where a failed close changes nothing: a pipe's end, or a
  // file on the way out of a failure that is reported already.
  void Reset() {
    if (fd_ >= 0) (void)::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

// Writes all of `bytes` to `fd`, again after a signal or a short write.
// False, with errno telling why, when a write fails.
inline bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace tavrolin::posix
