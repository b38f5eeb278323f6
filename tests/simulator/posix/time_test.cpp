// Time texts under the C library's rules for a zone with daylight saving
// time (the C run-time of Windows knows no such rules).
#include <gtest/gtest.h>

#include "simulator/core/sim_time.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

TEST(TimeTest, TodayAndYesterdayFollowTheCalendarAcrossDaylightSaving) {
  testing::SetTimeZone("CET-1CEST,M3.5.0,M10.5.0/3");
  // 30 March 2026, 12:00 local summer time; summer time began on the 29th.
  const Seconds noon = 1774828800 - 7200 + 12 * 3600;
  EXPECT_EQ(ParseTimeText("t", noon), 1774828800 - 7200);
  EXPECT_EQ(ParseTimeText("y", noon), 1774742400 - 3600);  // 23 hours earlier
  EXPECT_EQ(ParseTimeText("30-Mar-26 00:00:00", 0), 1774828800 - 7200);
}

}  // namespace
}  // namespace tavrolin::simulator
