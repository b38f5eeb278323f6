#include "platform/posix/message_loop.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/error.h"
#include "platform/posix/clock.h"
#include "platform/posix/one_line.h"

namespace tavrolin::posix {
namespace {

// Ticks may come up to this late; a report refresh needs no finer timing.
constexpr uint64_t kTimerAccuracyUsec = 1000;

Error LoopError(const char* what, int negative_errno) {
  return Error(errnum::kInternal, std::string("The message loop failed (") +
                                      what +
                                      "): " + std::strerror(-negative_errno));
}

[[noreturn]] void ThrowLoopError(const char* what, int negative_errno) {
  throw LoopError(what, negative_errno);
}

// A time on the monotonic clock as sd-event takes it.
uint64_t Usec(std::chrono::microseconds time) {
  return static_cast<uint64_t>(time.count());
}

// The deadline of the next tick, on the grid of whole intervals from the
// start, once the handler of the tick due at `deadline` has ended at `now`.
// Deadlines that passed while the handler ran are not each made up for: the
// latest of them is the next deadline, already due, so one tick comes at
// once and the ticks after it keep to the grid. Windows' timer does the same
// (one WM_TIMER waits while the thread is busy, however many periods pass).
std::chrono::microseconds NextDeadline(std::chrono::microseconds deadline,
                                       std::chrono::microseconds interval,
                                       std::chrono::microseconds now) {
  const auto passed = (now - deadline) / interval;
  return deadline + interval * std::max<std::int64_t>(passed, 1);
}

}  // namespace

MessageLoop::MessageLoop() {
  sd_event* event = nullptr;
  const int r = sd_event_new(&event);
  if (r < 0) ThrowLoopError("sd_event_new", r);
  event_.reset(event);

  sd_event_source* post = nullptr;
  const int d = sd_event_add_defer(event_.get(), &post, OnPostSource, this);
  if (d < 0) ThrowLoopError("sd_event_add_defer", d);
  post_source_.reset(post);
  const int e = sd_event_source_set_enabled(post, SD_EVENT_OFF);
  if (e < 0) ThrowLoopError("sd_event_source_set_enabled", e);
}

MessageLoop::~MessageLoop() = default;

void MessageLoop::StartTimer(std::chrono::milliseconds interval) {
  timer_.reset();
  timer_interval_ = interval;
  if (interval.count() <= 0) return;
  timer_deadline_ = MonotonicNow() + interval;
  sd_event_source* timer = nullptr;
  const int r = sd_event_add_time(event_.get(), &timer, CLOCK_MONOTONIC,
                                  Usec(timer_deadline_), kTimerAccuracyUsec,
                                  OnTimerSource, this);
  if (r < 0) ThrowLoopError("sd_event_add_time", r);
  timer_.reset(timer);
}

void MessageLoop::KeepAlive(std::chrono::microseconds interval,
                            std::function<void()> beat) {
  keep_alive_.reset();
  keep_alive_interval_ = interval;
  keep_alive_beat_ = std::move(beat);
  if (interval.count() <= 0) return;
  sd_event_source* source = nullptr;
  const int r = sd_event_add_time(event_.get(), &source, CLOCK_MONOTONIC,
                                  Usec(MonotonicNow()), kTimerAccuracyUsec,
                                  OnKeepAliveSource, this);
  if (r < 0) ThrowLoopError("sd_event_add_time", r);
  keep_alive_.reset(source);
}

void MessageLoop::RunMessageLoop(WindowEvents& events) {
  events_ = &events;
  const int r = sd_event_loop(event_.get());
  events_ = nullptr;
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  if (r < 0) ThrowLoopError("sd_event_loop", r);
}

void MessageLoop::Close() {
  const int r = sd_event_exit(event_.get(), 0);
  if (r < 0) ThrowLoopError("sd_event_exit", r);
}

void MessageLoop::ShowMessage(const std::string& text) {
  // Nobody waits to close it: the text goes out and the program goes on.
  // Standard output may be closed, a pipe without reader or a full disk: a
  // message that nobody can read is no failure of the service (SIGPIPE is
  // ignored, so a closed pipe is only a failed write).
  const std::string line = OneLine(text) + "\n";
  const bool written =
      std::fwrite(line.data(), 1, line.size(), stdout) == line.size() &&
      std::fflush(stdout) == 0;
  if (!written) std::clearerr(stdout);
}

void MessageLoop::Post(Handler handler) {
  posted_.push_back(std::move(handler));
  const int r =
      sd_event_source_set_enabled(post_source_.get(), SD_EVENT_ONESHOT);
  if (r < 0) ThrowLoopError("sd_event_source_set_enabled", r);
}

void MessageLoop::OnSignal(int signal_number, Handler handler) {
  signal_handlers_[signal_number] = std::move(handler);
  if (signal_sources_.contains(signal_number)) return;
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  const int b = pthread_sigmask(SIG_BLOCK, &set, nullptr);
  if (b != 0) ThrowLoopError("pthread_sigmask", -b);
  sd_event_source* source = nullptr;
  const int r = sd_event_add_signal(event_.get(), &source, signal_number,
                                    OnSignalSource, this);
  if (r < 0) {
    signal_handlers_.erase(signal_number);
    ThrowLoopError("sd_event_add_signal", r);
  }
  signal_sources_[signal_number].reset(source);
}

int MessageLoop::OnTimerSource(sd_event_source* source, uint64_t,
                               void* userdata) {
  auto* loop = static_cast<MessageLoop*>(userdata);
  loop->Deliver([](WindowEvents& events) { events.OnTimer1(); });
  // The handler may have stopped or replaced the timer. The loop's own idea
  // of "now" is the start of this turn: the clock is read again as the
  // handler ends, to see which deadlines it outlasted.
  if (loop->timer_.get() == source) {
    loop->timer_deadline_ = NextDeadline(loop->timer_deadline_,
                                         loop->timer_interval_, MonotonicNow());
    loop->Rearm(source, Usec(loop->timer_deadline_), "re-arming Timer1");
  }
  return 0;
}

int MessageLoop::OnKeepAliveSource(sd_event_source* source, uint64_t,
                                   void* userdata) {
  auto* loop = static_cast<MessageLoop*>(userdata);
  try {
    loop->keep_alive_beat_();
  } catch (...) {
    loop->Abandon(std::current_exception());
    return 0;
  }
  loop->Rearm(source, Usec(MonotonicNow() + loop->keep_alive_interval_),
              "re-arming the watchdog's timer");
  return 0;
}

void MessageLoop::Rearm(sd_event_source* source, uint64_t usec,
                        const char* what) {
  int r = sd_event_source_set_time(source, usec);
  if (r >= 0) r = sd_event_source_set_enabled(source, SD_EVENT_ONESHOT);
  if (r < 0) Abandon(std::make_exception_ptr(LoopError(what, r)));
}

int MessageLoop::OnPostSource(sd_event_source* source, void* userdata) {
  auto* loop = static_cast<MessageLoop*>(userdata);
  if (loop->posted_.empty()) return 0;
  Handler handler = std::move(loop->posted_.front());
  loop->posted_.pop_front();
  if (!loop->posted_.empty()) {
    const int r = sd_event_source_set_enabled(source, SD_EVENT_ONESHOT);
    if (r < 0) {
      loop->Abandon(
          std::make_exception_ptr(LoopError("sd_event_source_set_enabled", r)));
      return 0;
    }
  }
  loop->Deliver(handler);
  return 0;
}

int MessageLoop::OnSignalSource(sd_event_source*,
                                const struct signalfd_siginfo* info,
                                void* userdata) {
  auto* loop = static_cast<MessageLoop*>(userdata);
  const auto found =
      loop->signal_handlers_.find(static_cast<int>(info->ssi_signo));
  if (found == loop->signal_handlers_.end()) return 0;
  const Handler handler = found->second;  // may be replaced while it runs
  loop->Deliver(handler);
  return 0;
}

void MessageLoop::Deliver(const Handler& handler) {
  if (events_ == nullptr || failure_) return;
  try {
    handler(*events_);
  } catch (...) {
    // Nothing may unwind through the loop's own frames: keep the failure,
    // end the loop, and raise it again in RunMessageLoop.
    Abandon(std::current_exception());
  }
}

void MessageLoop::Abandon(std::exception_ptr failure) {
  if (!failure_) failure_ = std::move(failure);
  // sd_event_exit fails only for a loop that has already finished, which
  // then returns to RunMessageLoop anyway.
  (void)sd_event_exit(event_.get(), -ECANCELED);
}

}  // namespace tavrolin::posix
