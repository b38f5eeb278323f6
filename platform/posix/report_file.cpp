#include "platform/posix/report_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/error.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/process.h"

namespace tavrolin::posix {
namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& what,
                       int error_number) {
  throw Error(errnum::kPathAccess,
              "Cannot write the report file " + path + ": " + what + ": " +
                  std::generic_category().message(error_number));
}

// The temporary file beside the report, removed again unless it has been
// renamed over the report.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!kept_) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  const std::string& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  std::string path_;
  bool kept_ = false;
};

std::string TemporaryName(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  const std::string folder =
      slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  // Hidden, so that software watching the folder for reports passes it by.
  return folder + "." + name + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter++) + "." + std::to_string(attempt) + ".tmp";
}

void WriteAllTo(int fd, std::string_view bytes, const std::string& path) {
  if (!WriteAll(fd, bytes)) Fail(path, "writing failed", errno);
}

// Collects the bytes in a buffer of fixed size and writes it to the file
// whenever it is full.
class BufferedFileSink : public ReportSink {
 public:
  BufferedFileSink(int fd, const std::string& path) : fd_(fd), path_(path) {
    buffer_.reserve(kCapacity);
  }

  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kCapacity) {
      Flush();
      if (bytes.size() >= kCapacity) {
        WriteAllTo(fd_, bytes, path_);
        return;
      }
    }
    buffer_.append(bytes);
  }

  void Flush() {
    WriteAllTo(fd_, buffer_, path_);
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kCapacity = std::size_t{64} * 1024;

  int fd_;
  const std::string& path_;
  std::string buffer_;
};

// The number at the start of `text` up to `end`, when `text` holds only
// digits there; nothing otherwise.
std::optional<long long> DigitsUpTo(std::string_view text, char end,
                                    std::size_t& length) {
  length = 0;
  long long value = 0;
  while (length < text.size() && text[length] >= '0' && text[length] <= '9' &&
         length < 18) {
    value = value * 10 + (text[length] - '0');
    ++length;
  }
  if (length == 0 || length >= text.size() || text[length] != end) {
    return std::nullopt;
  }
  return value;
}

// The process number of a temporary file of the report `name`
// (".NAME.PID.COUNTER.ATTEMPT.tmp"); nothing for any other file name.
std::optional<pid_t> WriterOfTemporary(std::string_view file,
                                       const std::string& name) {
  const std::string prefix = "." + name + ".";
  if (file.substr(0, prefix.size()) != prefix) return std::nullopt;
  file.remove_prefix(prefix.size());
  std::size_t length = 0;
  const auto pid = DigitsUpTo(file, '.', length);
  if (!pid) return std::nullopt;
  file.remove_prefix(length + 1);
  if (!DigitsUpTo(file, '.', length)) return std::nullopt;
  file.remove_prefix(length + 1);
  if (!DigitsUpTo(file, '.', length)) return std::nullopt;
  file.remove_prefix(length + 1);
  if (file != "tmp") return std::nullopt;
  return static_cast<pid_t>(*pid);
}

bool IsRunning(pid_t pid) {
  return pid == ::getpid() || ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

void AtomicReportFileWriter::RemoveLeftovers(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::string name =
      slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string folder = DirectoryOf(path);
  DIR* listing = ::opendir(folder.c_str());
  // A folder that is not there holds no leftovers.
  if (listing == nullptr && errno == ENOENT) return;
  if (listing == nullptr) {
    throw Error(errnum::kPathAccess,
                "Cannot look for leftover temporary files of " + path + ": " +
                    std::generic_category().message(errno));
  }
  std::string failure;
  while (const dirent* entry = ::readdir(listing)) {
    const auto writer = WriterOfTemporary(entry->d_name, name);
    if (!writer || IsRunning(*writer)) continue;
    const std::string leftover =
        (folder == "/" ? folder : folder + "/") + entry->d_name;
    if (::unlink(leftover.c_str()) != 0 && errno != ENOENT && failure.empty()) {
      failure = "Cannot remove the leftover temporary file " + leftover + ": " +
                std::generic_category().message(errno);
    }
  }
  // Closing a listing that was only read cannot lose anything.
  (void)::closedir(listing);
  if (!failure.empty()) throw Error(errnum::kPathAccess, failure);
}

void AtomicReportFileWriter::ReplaceWith(const std::string& path,
                                         const ReportProducer& produce) {
  // Create the temporary file; a name already taken (another writer, an
  // old leftover) is passed over for the next.
  std::string temporary_path;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temporary_path = TemporaryName(path, attempt);
    fd = ::open(temporary_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                0666);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) {
      Fail(path, "cannot create a file in its folder", errno);
    }
  }
  Descriptor file(fd);
  TemporaryFile temporary(temporary_path);

  // A report that is replaced keeps the permission bits it had.
  struct stat previous {};
  if (::stat(path.c_str(), &previous) == 0 && S_ISREG(previous.st_mode) &&
      ::fchmod(file.get(), previous.st_mode & 07777) != 0) {
    Fail(path, "cannot keep its permissions", errno);
  }

  BufferedFileSink sink(file.get(), path);
  produce(sink);
  sink.Flush();
  while (::fsync(file.get()) != 0) {
    if (errno != EINTR) Fail(path, "flushing to disk failed", errno);
  }
  if (const int error = file.Close(); error != 0) {
    Fail(path, "closing failed", error);
  }
  if (::rename(temporary.path().c_str(), path.c_str()) != 0) {
    Fail(path, "cannot replace the previous file", errno);
  }
  temporary.Keep();

  // Make the rename itself durable. The new report is in place by now, so a
  // folder that cannot be flushed (some file systems refuse) is no failure.
  const int folder_fd =
      ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd >= 0) {
    Descriptor folder(folder_fd);
    (void)::fsync(folder.get());
  }
}

}  // namespace tavrolin::posix

namespace tavrolin {

std::unique_ptr<ReportFileWriter> CreateReportFileWriter() {
  return std::make_unique<posix::AtomicReportFileWriter>();
}

}  // namespace tavrolin
