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
#include <vector>

#include "common/paths.h"
#include "platform/error.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/process.h"

namespace tavrolin::posix {
namespace {

[[noreturn]] void Fail(const std::string& file, int error_number) {
  throw ReportFileError(file, std::generic_category().message(error_number));
}

// The file that a report's path ends at, symbolic links followed, with what
// lstat says of it when it exists.
struct ReportTarget {
  std::string path;
  bool exists = false;
  struct stat info {};
};

// Links followed before the chain counts as a loop, as the kernel does.
constexpr int kMaxLinks = 40;

// The text of the symbolic link at `path`; nothing, with errno set, when it
// cannot be read.
std::optional<std::string> LinkText(const std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length =
        ::readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return std::nullopt;
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Follows `report` through its symbolic links to the file they lead to, which
// need not exist yet. A link's relative text starts at the link's folder.
// Returns 0, or the errno of the step that failed.
int FollowLinks(const std::string& report, ReportTarget& target) {
  target.path = report;
  for (int links = 0;; ++links) {
    if (::lstat(target.path.c_str(), &target.info) != 0) {
      return errno == ENOENT ? 0 : errno;
    }
    if (!S_ISLNK(target.info.st_mode)) {
      target.exists = true;
      return 0;
    }
    if (links == kMaxLinks) return ELOOP;
    const auto text = LinkText(target.path);
    if (!text) return errno;
    if (text->front() == '/') {
      target.path = *text;
    } else {
      const std::string folder = DirectoryOf(target.path);
      target.path = (folder == "/" ? "" : folder) + "/" + *text;
    }
  }
}

// The report's name in messages: the link and the file it leads to, when
// they differ.
std::string Shown(const std::string& report, const ReportTarget& target) {
  return target.path == report ? report
                               : report + " (a link to " + target.path + ")";
}

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "something else";
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
  const std::size_t name_start = FileNameStart(path, PathStyle::kPosix);
  const std::string folder = path.substr(0, name_start);
  const std::string name = path.substr(name_start);
  // Hidden, so that software watching the folder for reports passes it by.
  return folder + "." + name + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter++) + "." + std::to_string(attempt) + ".tmp";
}

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

// This process counts as ended: no writer of its own runs yet when the
// leftovers are looked for.
bool IsRunning(pid_t pid) {
  return pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace

AtomicReportFileWriter::AtomicReportFileWriter() {
  const mode_t mask = ::umask(0);
  (void)::umask(mask);  // puts back what was there; returns the 0 just set
  new_file_mode_ = 0666 & ~mask;
}

void AtomicReportFileWriter::RemoveLeftovers(const std::string& path) {
  ReportTarget target;
  if (const int error = FollowLinks(path, target); error != 0) {
    throw Error(errnum::kPathAccess,
                "Cannot look for leftover temporary files of " + path + ": " +
                    std::generic_category().message(error));
  }
  const std::string name(FileNameOf(target.path, PathStyle::kPosix));
  const std::string folder = DirectoryOf(target.path);
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
  // The previous report must be a file this process may write: one it may
  // not is kept as it is, as writing into it would fail.
  ReportTarget target;
  if (const int error = FollowLinks(path, target); error != 0) {
    Fail(path, error);
  }
  const std::string shown = Shown(path, target);
  if (target.exists && !S_ISREG(target.info.st_mode)) {
    throw ReportFileError(shown, std::string("it is ") +
                                     KindOf(target.info.st_mode) +
                                     ", not a regular file");
  }
  if (target.exists &&
      ::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
    Fail(shown, errno);
  }

  // Create the temporary file, readable by its owner only until it is
  // complete; a name already taken (another writer, an old leftover) is
  // passed over for the next.
  std::string temporary_path;
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temporary_path = TemporaryName(target.path, attempt);
    fd = ::open(temporary_path.c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && (errno != EEXIST || attempt >= 100)) Fail(shown, errno);
  }
  Descriptor file(fd);
  TemporaryFile temporary(temporary_path);

  BufferedReportSink sink([&](std::string_view bytes) {
    if (!WriteAll(file.get(), bytes)) Fail(shown, errno);
  });
  produce(sink);
  sink.Flush();
  // The previous report's permission bits, but never setuid, setgid or
  // sticky: a report is no program.
  const mode_t mode =
      target.exists ? (target.info.st_mode & 0666) : new_file_mode_;
  if (::fchmod(file.get(), mode) != 0) Fail(shown, errno);
  while (::fsync(file.get()) != 0) {
    if (errno != EINTR) Fail(shown, errno);
  }
  if (const int error = file.Close(); error != 0) Fail(shown, error);
  if (::rename(temporary.path().c_str(), target.path.c_str()) != 0) {
    Fail(shown, errno);
  }
  temporary.Keep();

  // Make the rename itself durable. The new report is in place by now, so a
  // folder that cannot be flushed (some file systems refuse) is no failure.
  const int folder_fd = ::open(DirectoryOf(target.path).c_str(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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
