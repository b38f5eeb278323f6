// A watchdog inside the process, for systems whose service manager has none:
// while a report is being built, a thread of its own looks at the time of the
// last sign of progress (an item built, a historian call begun); when that is
// older than the bound, it calls the stall handler once with a description
// of what hangs: the report and the historian call in progress. The handler
// normally ends the process, so that the service manager restarts it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/progress.h"

namespace tavrolin {

class RefreshWatchdog : public Progress {
 public:
  using StallHandler = std::function<void(const std::string& description)>;

  // A bound of zero watches nothing and starts no thread.
  RefreshWatchdog(std::chrono::milliseconds bound, StallHandler on_stall);
  ~RefreshWatchdog() override;
  RefreshWatchdog(const RefreshWatchdog&) = delete;
  RefreshWatchdog& operator=(const RefreshWatchdog&) = delete;

  std::chrono::milliseconds bound() const { return bound_; }

  void Advance() override;
  void Started(const std::string& report) override;
  void Finished() override;
  void Calling(const char* function) override;

  // "No progress for 300 s while building <report>: the call <function>
  // into the historian library has not returned".
  static std::string StallDescription(std::chrono::milliseconds bound,
                                      const std::string& report,
                                      const char* function);

 private:
  using Clock = std::chrono::steady_clock;
  void Watch();
  void Touch() {
    last_sign_.store(Clock::now().time_since_epoch().count(),
                     std::memory_order_relaxed);
  }

  const std::chrono::milliseconds bound_;
  const StallHandler on_stall_;
  // Written by the work at every sign of progress, read by the watcher.
  std::atomic<Clock::rep> last_sign_{0};
  std::atomic<const char*> function_{nullptr};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool armed_ = false;     // a report is being built
  bool stopping_ = false;  // the watchdog is going away
  std::string report_;
  std::thread watcher_;
};

}  // namespace tavrolin
