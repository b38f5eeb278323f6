// The watchdog inside the process: a report that stops making progress is
// named once, with the historian call in progress; a report that goes on
// making progress, and the quiet between refreshes, are not.
#include "platform/refresh_watchdog.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavrolin {
namespace {

using std::chrono::milliseconds;

class Stalls {
 public:
  RefreshWatchdog::StallHandler Handler() {
    return [this](const std::string& description) {
      const std::lock_guard lock(mutex_);
      descriptions_.push_back(description);
    };
  }
  std::vector<std::string> Seen() {
    const std::lock_guard lock(mutex_);
    return descriptions_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> descriptions_;
};

TEST(RefreshWatchdog, AHungCallIsNamedOnceWithItsReport) {
  Stalls stalls;
  RefreshWatchdog watchdog(milliseconds(100), stalls.Handler());
  watchdog.Started("C:\\svc\\out3.xml from tags3.xml");
  watchdog.Advance();
  watchdog.Calling("pipt_findpoint");
  std::this_thread::sleep_for(milliseconds(600));
  EXPECT_EQ(stalls.Seen(),
            std::vector<std::string>{
                "No progress for 100 ms while building C:\\svc\\out3.xml from "
                "tags3.xml: the call pipt_findpoint into the historian "
                "library has not returned"});
  // The next report is watched again.
  watchdog.Finished();
  watchdog.Started("out.xml from tags.xml");
  std::this_thread::sleep_for(milliseconds(600));
  ASSERT_EQ(stalls.Seen().size(), 2u);
  EXPECT_EQ(stalls.Seen()[1],
            "No progress for 100 ms while building out.xml from tags.xml, "
            "outside the calls into the historian library");
}

TEST(RefreshWatchdog, ProgressAndTheQuietBetweenRefreshesAreNoStall) {
  Stalls stalls;
  RefreshWatchdog watchdog(milliseconds(150), stalls.Handler());
  // A report four times as long as the bound, with an item every 20 ms.
  watchdog.Started("out.xml from tags.xml");
  for (int item = 0; item < 30; ++item) {
    watchdog.Calling("pisn_getsnapshot");
    std::this_thread::sleep_for(milliseconds(10));
    watchdog.Advance();
    std::this_thread::sleep_for(milliseconds(10));
  }
  watchdog.Finished();
  // Between refreshes nothing is built, for longer than the bound.
  std::this_thread::sleep_for(milliseconds(500));
  EXPECT_TRUE(stalls.Seen().empty()) << stalls.Seen().front();
}

TEST(RefreshWatchdog, ABoundOfZeroWatchesNothing) {
  Stalls stalls;
  RefreshWatchdog watchdog(milliseconds(0), stalls.Handler());
  watchdog.Started("out.xml from tags.xml");
  watchdog.Calling("pipt_findpoint");
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_TRUE(stalls.Seen().empty());
}

TEST(RefreshWatchdog, TheBoundIsSaidInSecondsWhenWhole) {
  EXPECT_EQ(RefreshWatchdog::StallDescription(milliseconds(300000), "out2.xml",
                                              "piar_summary"),
            "No progress for 300 s while building out2.xml: the call "
            "piar_summary into the historian library has not returned");
}

}  // namespace
}  // namespace tavrolin
