// Tag lists on Linux: opened with O_NONBLOCK, so that a FIFO without a
// writer or a device that waits for a carrier does not hold the service in
// open(), and read only once fstat says that a regular file was opened.
#include "platform/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <utility>

#include "platform/error.h"
#include "platform/posix/descriptor.h"

namespace tavrolin {
namespace {

std::string ErrnoText(int error_number) {
  return std::generic_category().message(error_number);
}

FileKind KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return FileKind::kFolder;
  if (S_ISFIFO(mode)) return FileKind::kFifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::kDevice;
  if (S_ISSOCK(mode)) return FileKind::kSocket;
  return FileKind::kOther;
}

// The file is opened as it is made; Open checks what was opened.
class PosixInputFile : public InputFile {
 public:
  explicit PosixInputFile(std::string path)
      : path_(std::move(path)),
        fd_(::open(path_.c_str(),
                   O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)),
        open_error_(errno) {}

  // Throws Error unless a regular file was opened; `given` is the path as
  // the caller gave it.
  void Check(const std::string& given) {
    if (fd_.get() < 0) {
      if (open_error_ == ENOENT || open_error_ == ENOTDIR) {
        ThrowNotAFile(given, FileKind::kMissing);
      }
      // A socket cannot be opened at all (ENXIO): say what it is.
      struct stat status {};
      if (::stat(path_.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        ThrowNotAFile(given, KindOf(status.st_mode));
      }
      throw Error(
          errnum::kObjectNotSet,
          "Cannot open " + path_ + " for reading: " + ErrnoText(open_error_));
    }
    struct stat status {};
    if (::fstat(fd_.get(), &status) != 0) Fail();
    if (!S_ISREG(status.st_mode)) ThrowNotAFile(given, KindOf(status.st_mode));
    size_ = static_cast<std::size_t>(status.st_size);
    // A regular file never blocks: it is read the ordinary way.
    const int flags = ::fcntl(fd_.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) < 0) {
      Fail();
    }
  }

  // Fills the buffer unless the file ends first: a short count means the
  // end to the reader.
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t done = 0;
    while (done < size) {
      const ssize_t count = ::read(fd_.get(), buffer + done, size - done);
      if (count == 0) break;
      if (count > 0) {
        done += static_cast<std::size_t>(count);
      } else if (errno != EINTR) {
        Fail();
      }
    }
    return done;
  }
  void Rewind() override {
    if (::lseek(fd_.get(), 0, SEEK_SET) < 0) Fail();
  }
  std::size_t SizeHint() const override { return size_; }
  const std::string& path() const override { return path_; }

 private:
  [[noreturn]] void Fail() const {
    throw Error(errnum::kObjectNotSet,
                "Cannot read " + path_ + ": " + ErrnoText(errno));
  }

  std::string path_;
  posix::Descriptor fd_;
  int open_error_;
  std::size_t size_ = 0;
};

}  // namespace

std::unique_ptr<InputFile> OpenInputFile(const std::string& path) {
  auto file = std::make_unique<PosixInputFile>(AbsolutePath(path));
  file->Check(path);
  return file;
}

}  // namespace tavrolin
