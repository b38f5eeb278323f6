#include "platform/posix/service_control.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <utility>

#include "platform/error.h"
#include "platform/posix/descriptor.h"
#include "platform/posix/one_line.h"
#include "platform/posix/process.h"
#include "platform/posix/unit_template.h"

namespace tavrolin::posix {
namespace {

// systemd refuses an executable path holding a control character, a quote
// or a backslash, whatever the quoting.
bool IsUnsafeInUnit(const std::string& path) {
  for (const char c : path) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f || c == '"' ||
        c == '\'' || c == '\\') {
      return true;
    }
  }
  return false;
}

// A unit file's "%" starts a specifier; "%%" is a plain percent sign.
std::string EscapeSpecifiers(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') escaped += '%';
    escaped += c;
  }
  return escaped;
}

// Writes a new file; false, leaving nothing behind, when the file exists
// already or cannot be written in full.
bool WriteNewFile(const std::string& path, const std::string& content) {
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (written && closed) return true;
  // Already failing: a file that cannot be taken away either is left.
  (void)::unlink(path.c_str());
  return false;
}

// "what: the system's reason", with a hint where the reason is a lack of
// rights.
std::string FileFailure(const std::string& what, int error_number) {
  std::string text = what + ": " + std::strerror(error_number);
  if (error_number == EACCES || error_number == EPERM ||
      error_number == EROFS) {
    text += " (installing the service needs root)";
  }
  return text;
}

// Said after a failing systemctl when systemd does not run this machine.
std::string SystemdHint() {
  return sd_booted() > 0 ? std::string()
                         : " (systemd is not running on this machine)";
}

// The path with every symbolic link resolved; empty (errno telling why) when
// it cannot be resolved.
std::string ResolvedPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(
      ::realpath(path.c_str(), nullptr), &std::free);
  return resolved == nullptr ? std::string() : std::string(resolved.get());
}

struct Placeholder {
  std::string_view name;
  std::string value;
};

// The unit template with each "@NAME@" of `values` replaced by its value.
std::string FillTemplate(std::string_view text,
                         const std::vector<Placeholder>& values) {
  std::string filled;
  for (;;) {
    const std::size_t at = text.find('@');
    if (at == std::string_view::npos) break;
    filled.append(text.substr(0, at));
    text.remove_prefix(at);
    const Placeholder* found = nullptr;
    for (const Placeholder& value : values) {
      const std::size_t size = value.name.size();
      if (text.size() > size + 1 && text.substr(1, size) == value.name &&
          text[size + 1] == '@') {
        found = &value;
      }
    }
    if (found == nullptr) {
      filled += '@';
      text.remove_prefix(1);
    } else {
      filled += found->value;
      text.remove_prefix(found->name.size() + 2);
    }
  }
  filled.append(text);
  return filled;
}

void Notify(const char* state) {
  // Outside systemd there is no notification socket and this does nothing;
  // under systemd a lost notification shows there as a start or stop that
  // takes too long, which is all that could be done about it here as well.
  (void)sd_notify(0, state);
}

void Stop(WindowEvents& events) {
  Notify("STOPPING=1");
  events.OnServiceStop();
}

}  // namespace

std::string ServiceUnitText(const std::string& executable_path) {
  if (executable_path.empty() || executable_path.front() != '/' ||
      IsUnsafeInUnit(executable_path)) {
    return std::string();
  }
  const std::string directory = DirectoryOf(executable_path);
  // The unit parser strips trailing blanks from WorkingDirectory=.
  if (directory.back() == ' ') return std::string();
  const std::string folder = EscapeSpecifiers(directory);
  return FillTemplate(
      kUnitTemplate,
      {// Quoted, so that blanks in the path do not split it into words.
       {"EXEC_START", '"' + EscapeSpecifiers(executable_path) + '"'},
       {"WORKING_DIRECTORY", folder},
       {"ACCOUNT_AND_FILES",
        "# Runs as root from a folder only root can change, and writes its\n"
        "# reports beside the executable: the only folder it can write\n"
        "# besides its private /tmp.\n"
        "ProtectHome=read-only\n"
        "ReadWritePaths=\"" +
            folder + "\""}});
}

std::string ChangeableByOthers(const std::string& path) {
  std::string current = ResolvedPath(path);
  if (current.empty()) {
    return path + " (cannot be checked: " + std::strerror(errno) + ")";
  }
  for (;;) {
    struct stat status {};
    if (::lstat(current.c_str(), &status) != 0) {
      return current + " (cannot be checked: " + std::strerror(errno) + ")";
    }
    if (status.st_uid != 0) {
      return current + " (owner uid " + std::to_string(status.st_uid) + ")";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      char mode[16];
      // Four octal digits of at most 07777 always fit.
      (void)std::snprintf(mode, sizeof mode, "%04o",
                          static_cast<unsigned>(status.st_mode & 07777));
      return current + " (mode " + mode + ")";
    }
    if (current == "/") return std::string();
    current = DirectoryOf(current);
  }
}

bool StandardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (stream == nullptr) return false;
  struct stat status {};
  if (::fstat(STDERR_FILENO, &status) != 0) return false;
  const std::string expected =
      std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  return expected == stream;
}

SystemdServiceControl::SystemdServiceControl(MessageLoop& loop,
                                             std::string unit_folder,
                                             std::string systemctl,
                                             std::string executable)
    : loop_(loop),
      unit_folder_(std::move(unit_folder)),
      systemctl_(std::move(systemctl)),
      executable_(std::move(executable)) {}

std::string SystemdServiceControl::UnitPath() const {
  return unit_folder_ + "/" + kUnitFileName;
}

bool SystemdServiceControl::Install() {
  failure_reason_.clear();
  // The unit names the file itself, not a link to it that could change.
  const std::string given =
      executable_.empty() ? ExecutablePath() : executable_;
  const std::string resolved = ResolvedPath(given);
  const std::string executable = resolved.empty() ? given : resolved;
  const std::string unit = ServiceUnitText(executable);
  if (unit.empty()) {
    return Fail("systemd cannot run the executable at " + executable +
                ": its path must be absolute and hold no quote, backslash "
                "or control character, and its folder's name cannot end in "
                "a blank");
  }
  // The service runs as root: whoever could replace the executable, or a
  // library beside it, would run code as root.
  const std::string changeable = ChangeableByOthers(executable);
  if (!changeable.empty()) {
    return Fail("refusing to install " + executable +
                " as a service run by root: the executable and every folder "
                "above it must be root's and writable by root alone, and " +
                changeable + " is not");
  }
  const std::string path = UnitPath();
  if (!WriteNewFile(path, unit)) {
    if (errno == EEXIST) {
      return Fail(path +
                  " exists already: the service is installed (uninstall it "
                  "first)");
    }
    return Fail(FileFailure("cannot write " + path, errno));
  }
  // On the way back after a failed step the install fails whatever the
  // clean-up's outcome; each step of it is tried.
  if (!RunSystemctl({"daemon-reload"})) {
    (void)::unlink(path.c_str());
    return false;
  }
  if (!RunSystemctl({"enable", kUnitFileName})) {
    const std::string reason = failure_reason_;
    (void)::unlink(path.c_str());
    (void)RunSystemctl({"daemon-reload"});
    failure_reason_ = reason;
    return false;
  }
  return true;
}

bool SystemdServiceControl::Uninstall() {
  failure_reason_.clear();
  const std::string path = UnitPath();
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) {
      return Fail("the service is not installed: " + path + " does not exist");
    }
    return Fail(FileFailure("cannot read " + path, errno));
  }
  if (!RunSystemctl({"disable", kUnitFileName})) return false;
  if (::unlink(path.c_str()) != 0) {
    return Fail(FileFailure("cannot remove " + path, errno));
  }
  return RunSystemctl({"daemon-reload"});
}

void SystemdServiceControl::ExplainFailure() {
  if (failure_reason_.empty()) return;
  // Standard error is the only place the reason can go: when it cannot be
  // written there, nothing else can tell of it.
  (void)std::fflush(stderr);
  (void)WriteAll(STDERR_FILENO, OneLine(failure_reason_) + "\n");
}

bool SystemdServiceControl::Fail(const std::string& reason) {
  failure_reason_ = reason;
  return false;
}

void SystemdServiceControl::Start() {
  loop_.OnSignal(SIGTERM, Stop);
  loop_.OnSignal(SIGINT, Stop);
  loop_.OnSignal(SIGUSR1,
                 [](WindowEvents& events) { events.OnCommand1Click(); });
  // `systemctl reload` (SIGHUP) refreshes every report at once, as a tick of
  // the timer does.
  loop_.OnSignal(SIGHUP, [](WindowEvents& events) { events.OnTimer1(); });
  // The loop runs once start-up, the historian registration included, has
  // returned: only then is the service ready.
  loop_.Post([](WindowEvents& events) {
    Notify("READY=1");
    // systemd learnt of the start above; the answer changes nothing here.
    bool result = false;
    events.OnServiceStart(result);
  });
}

std::string LogLine(const std::string& message) {
  return (StandardErrorIsJournal() ? "<3>" : "") + OneLine(message) + "\n";
}

void SystemdServiceControl::LogEvent(int16_t, int32_t,
                                     const std::string& message) {
  const std::string line = LogLine(message);
  // Anything the C library holds goes first; a failure shows in the write.
  (void)std::fflush(stderr);
  if (!WriteAll(STDERR_FILENO, line)) {
    throw Error(
        errnum::kPathAccess,
        std::string("Cannot write the event log: ") + std::strerror(errno));
  }
}

namespace {

// Sets up a child that starts with the signals the message loop blocked
// unblocked and at their defaults, its standard output discarded (it would
// mix with the messages) and its standard error on `error_fd`.
bool PrepareChild(posix_spawnattr_t& attributes,
                  posix_spawn_file_actions_t& actions, int error_fd) {
  sigset_t none;
  sigemptyset(&none);
  sigset_t defaults;
  sigemptyset(&defaults);
  for (const int signal_number : {SIGTERM, SIGINT, SIGUSR1, SIGHUP, SIGPIPE}) {
    sigaddset(&defaults, signal_number);
  }
  return posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
         posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
         posix_spawnattr_setflags(
             &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) ==
             0 &&
         posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null",
                                          O_WRONLY, 0) == 0 &&
         posix_spawn_file_actions_adddup2(&actions, error_fd, STDERR_FILENO) ==
             0;
}

// What can be read from `fd` until its end or a failure.
std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[512];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;
    }
  }
}

}  // namespace

bool SystemdServiceControl::RunSystemctl(
    const std::vector<std::string>& arguments) {
  std::vector<std::string> words{systemctl_};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  std::string command = "systemctl";
  for (const std::string& argument : arguments) command += " " + argument;

  // systemctl's own complaint is kept for the reason of the failure.
  int error_pipe[2];
  if (::pipe2(error_pipe, O_CLOEXEC) != 0) {
    return Fail(FileFailure("cannot run " + command, errno));
  }
  Descriptor read_end(error_pipe[0]);
  Descriptor write_end(error_pipe[1]);

  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) {
    return Fail("cannot prepare to run " + command);
  }
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) {
    (void)posix_spawnattr_destroy(&attributes);  // fails only for bad input
    return Fail("cannot prepare to run " + command);
  }
  const bool prepared = PrepareChild(attributes, actions, write_end.get());
  pid_t child = 0;
  const int spawned = prepared
                          ? posix_spawn(&child, systemctl_.c_str(), &actions,
                                        &attributes, argv.data(), environ)
                          : 0;
  // Both fail only for objects that were never initialised.
  (void)posix_spawn_file_actions_destroy(&actions);
  (void)posix_spawnattr_destroy(&attributes);
  write_end.Reset();
  if (!prepared) return Fail("cannot prepare to run " + command);
  if (spawned != 0) {
    return Fail(FileFailure("cannot run " + command + " (" + systemctl_ + ")",
                            spawned) +
                SystemdHint());
  }

  std::string complaint = ReadToEnd(read_end.get());
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return Fail("cannot wait for " + command);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  while (!complaint.empty() &&
         (complaint.back() == '\n' || complaint.back() == ' ')) {
    complaint.pop_back();
  }
  std::string reason = command + " failed";
  if (WIFEXITED(status)) {
    reason += " with status " + std::to_string(WEXITSTATUS(status));
  }
  if (!complaint.empty()) reason += ": " + complaint;
  return Fail(reason + SystemdHint());
}

}  // namespace tavrolin::posix
