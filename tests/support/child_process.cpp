#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tavrolin::testing {
namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::strerror(error));
}

std::vector<std::string> ChildEnvironment(
    const std::map<std::string, std::optional<std::string>>& changes) {
  std::map<std::string, std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    variables[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables[name] = *value;
    } else {
      variables.erase(name);
    }
  }
  std::vector<std::string> result;
  for (const auto& [name, value] : variables)
    result.push_back(name + "=" + value);
  return result;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

ExitStatus FromWaitStatus(int status) {
  if (WIFSIGNALED(status)) return {-1, WTERMSIG(status)};
  return {WEXITSTATUS(status), 0};
}

}  // namespace

std::filesystem::path TestBinDirectory() {
  const char* bin = std::getenv("TAVROLIN_TEST_BIN");
  if (bin == nullptr || *bin == '\0') {
    throw std::runtime_error("TAVROLIN_TEST_BIN is not set");
  }
  return bin;
}

std::filesystem::path TavrolinPath() { return TestBinDirectory() / "tavrolin"; }

std::string Describe(const ExitStatus& status) {
  if (status.signal != 0) return "signal " + std::to_string(status.signal);
  return "exit " + std::to_string(status.code);
}

ChildProcess::ChildProcess(const ChildOptions& options) {
  if (options.argv.empty()) throw std::runtime_error("no program to run");
  std::vector<std::string> argv = options.argv;
  std::vector<std::string> environment = ChildEnvironment(options.environment);
  std::vector<char*> argv_pointers = Pointers(argv);
  std::vector<char*> environment_pointers = Pointers(environment);
  const std::string out = capture_.File("stdout");
  const std::string err = capture_.File("stderr");

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null",
                                   O_RDONLY, 0);
  int pipe_fds[2] = {-1, -1};
  if (options.stdout_closed_pipe) {
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) Fail("pipe2", errno);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string directory = options.working_directory.string();
  if (!directory.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
  }
  // The child starts with no signal blocked and every signal at its default,
  // whatever the test process has done with its own.
  sigset_t none;
  sigemptyset(&none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  const int spawned =
      posix_spawn(&pid_, argv[0].c_str(), &actions, &attributes,
                  argv_pointers.data(), environment_pointers.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  for (const int fd : pipe_fds) {
    if (fd >= 0) ::close(fd);
  }
  if (spawned != 0) Fail("cannot start " + argv[0], spawned);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void ChildProcess::Signal(int signal_number) {
  if (status_) throw std::runtime_error("the child has already ended");
  if (::kill(pid_, signal_number) != 0) Fail("kill", errno);
}

std::optional<ExitStatus> ChildProcess::Wait(
    std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!status_) {
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      status_ = FromWaitStatus(status);
      break;
    }
    if (ended < 0 && errno != EINTR) Fail("waitpid", errno);
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return status_;
}

std::string ChildProcess::Stdout() const {
  return ReadFileOrEmpty(capture_.File("stdout"));
}

std::string ChildProcess::Stderr() const {
  return ReadFileOrEmpty(capture_.File("stderr"));
}

ChildResult RunChild(const ChildOptions& options,
                     std::chrono::milliseconds timeout) {
  ChildProcess child(options);
  ChildResult result;
  result.status = child.Wait(timeout);
  if (!result.status) {
    child.Signal(SIGKILL);
    child.Wait(std::chrono::seconds(10));
  }
  result.out = child.Stdout();
  result.err = child.Stderr();
  return result;
}

NotifySocket::NotifySocket(std::filesystem::path path)
    : path_(path.empty() ? std::filesystem::path(folder_.File("notify"))
                         : std::move(path)) {
  const std::string socket_path = path_.string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.size() >= sizeof(address.sun_path)) {
    throw std::runtime_error("socket path too long: " + socket_path);
  }
  std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) Fail("socket", errno);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address),
             sizeof(address)) != 0) {
    const int error = errno;
    ::close(fd_);
    Fail("bind " + socket_path, error);
  }
}

NotifySocket::~NotifySocket() {
  if (fd_ >= 0) ::close(fd_);
}

bool NotifySocket::WaitFor(std::string_view state,
                           std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (const std::string& seen : states_) {
      if (seen == state) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Receive(deadline);
  }
}

std::vector<std::chrono::steady_clock::time_point> NotifySocket::Collect(
    std::string_view state, std::chrono::milliseconds period) {
  const std::size_t first = states_.size();
  const auto deadline = std::chrono::steady_clock::now() + period;
  while (std::chrono::steady_clock::now() < deadline) Receive(deadline);
  std::vector<std::chrono::steady_clock::time_point> times;
  for (std::size_t i = first; i < states_.size(); ++i) {
    if (states_[i] == state) times.push_back(times_[i]);
  }
  return times;
}

void NotifySocket::Receive(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  if (left.count() <= 0) return;
  pollfd poll_fd{fd_, POLLIN, 0};
  const int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
  if (ready < 0 && errno != EINTR) Fail("poll", errno);
  if (ready <= 0) return;
  char buffer[4096];
  const ssize_t length = ::recv(fd_, buffer, sizeof(buffer), 0);
  if (length < 0) {
    if (errno == EINTR) return;
    Fail("recv", errno);
  }
  const auto now = std::chrono::steady_clock::now();
  std::istringstream lines(std::string(buffer, static_cast<size_t>(length)));
  for (std::string line; std::getline(lines, line);) {
    states_.push_back(line);
    times_.push_back(now);
  }
}

}  // namespace tavrolin::testing
