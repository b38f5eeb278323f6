#include "platform/refresh_watchdog.h"

#include <algorithm>
#include <utility>

namespace tavrolin {
namespace {

// How often the watcher looks: often enough that the stall is seen within a
// small part of the bound, seldom enough to cost nothing.
std::chrono::milliseconds LookInterval(std::chrono::milliseconds bound) {
  return std::clamp(bound / 8, std::chrono::milliseconds(20),
                    std::chrono::milliseconds(1000));
}

}  // namespace

RefreshWatchdog::RefreshWatchdog(std::chrono::milliseconds bound,
                                 StallHandler on_stall)
    : bound_(bound), on_stall_(std::move(on_stall)) {
  if (bound_.count() > 0) watcher_ = std::thread([this] { Watch(); });
}

RefreshWatchdog::~RefreshWatchdog() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (watcher_.joinable()) watcher_.join();
}

void RefreshWatchdog::Advance() {
  Touch();
  // The item is done: whatever call it made has returned.
  function_.store(nullptr, std::memory_order_relaxed);
}

void RefreshWatchdog::Calling(const char* function) {
  Touch();
  function_.store(function, std::memory_order_relaxed);
}

void RefreshWatchdog::Started(const std::string& report) {
  Touch();
  function_.store(nullptr, std::memory_order_relaxed);
  const std::lock_guard lock(mutex_);
  report_ = report;
  armed_ = true;
}

void RefreshWatchdog::Finished() {
  const std::lock_guard lock(mutex_);
  armed_ = false;
}

void RefreshWatchdog::Watch() {
  const auto interval = LookInterval(bound_);
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    wake_.wait_for(lock, interval);
    if (stopping_ || !armed_) continue;
    const Clock::time_point last{
        Clock::duration(last_sign_.load(std::memory_order_relaxed))};
    if (Clock::now() - last < bound_) continue;
    const std::string description = StallDescription(
        bound_, report_, function_.load(std::memory_order_relaxed));
    // Once per stall: a handler that returns (in a test) is not called
    // again until the next report starts.
    armed_ = false;
    lock.unlock();
    on_stall_(description);
    lock.lock();
  }
}

std::string RefreshWatchdog::StallDescription(std::chrono::milliseconds bound,
                                              const std::string& report,
                                              const char* function) {
  std::string text = "No progress for ";
  // Whole seconds as such; a shorter bound (in tests) in milliseconds.
  if (bound.count() % 1000 == 0) {
    text += std::to_string(bound.count() / 1000) + " s";
  } else {
    text += std::to_string(bound.count()) + " ms";
  }
  text += " while building " + report;
  if (function != nullptr) {
    text += std::string(": the call ") + function +
            " into the historian library has not returned";
  } else {
    text += ", outside the calls into the historian library";
  }
  return text;
}

}  // namespace tavrolin
