#include "platform/posix/watchdog.h"

#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/posix/clock.h"

namespace tavrolin::posix {
namespace {

// The last words live where a signal handler may read them: written once
// before the handler is installed, never freed.
char last_words[512];
std::size_t last_words_length = 0;

void OnAbort(int, siginfo_t* info, void*) {
  // Only a SIGABRT sent by another process (the service manager) is the
  // watchdog's; abort() in this process says its own piece.
  if (info != nullptr &&
      (info->si_code == SI_USER || info->si_code == SI_QUEUE)) {
    // Nothing more can be done when standard error is gone.
    (void)!::write(STDERR_FILENO, last_words, last_words_length);
  }
  // The default action follows once the handler returns.
  (void)signal(SIGABRT, SIG_DFL);
  (void)raise(SIGABRT);
}

}  // namespace

SystemdWatchdog::SystemdWatchdog() {
  uint64_t usec = 0;
  // WATCHDOG_PID names another process, or no watchdog is asked for.
  if (sd_watchdog_enabled(0, &usec) > 0 && usec > 0) {
    period_ = std::chrono::microseconds(usec);
  }
}

void SystemdWatchdog::Advance() {
  if (!enabled()) return;
  if (MonotonicNow() - last_feed_ < interval()) return;
  Feed();
}

void SystemdWatchdog::Feed() {
  if (!enabled()) return;
  last_feed_ = MonotonicNow();
  // A feed that does not arrive shows as a missed keep-alive; there is
  // nothing better to do about a lost notification than the next attempt.
  (void)sd_notify(0, "WATCHDOG=1");
}

// Not const: it sets the process-wide words and the signal handler.
// NOLINTNEXTLINE(readability-make-member-function-const)
void SystemdWatchdog::SetLastWords(const std::string& line) {
  if (!enabled()) return;
  last_words_length = std::min(line.size(), sizeof(last_words));
  std::memcpy(last_words, line.data(), last_words_length);
  struct sigaction action {};
  action.sa_sigaction = OnAbort;
  action.sa_flags = SA_SIGINFO;
  sigemptyset(&action.sa_mask);
  if (sigaction(SIGABRT, &action, nullptr) != 0) {
    throw Error(errnum::kInternal,
                std::string("Cannot prepare for the watchdog's signal: ") +
                    std::strerror(errno));
  }
}

}  // namespace tavrolin::posix
