// Reading time texts: the forms that pitm_parsetime takes, the durations and
// event times of the data file.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>

#include "simulator/core/data.h"
#include "simulator/core/sim_time.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

using testing::SetTimeZone;

constexpr Seconds k06Dec26 = 1796515200;  // 2026-12-06 00:00:00 UTC
constexpr Seconds kBase = k06Dec26 + 6 * 3600 + 43 * 60 + 29;

class TimeTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeZone("UTC0"); }
};

// A time text and the time it gives, or nothing when it is refused.
struct Case {
  const char* text;
  std::optional<Seconds> expected;
};

TEST_F(TimeTest, ReadsTheFormsThatTheReadersWrite) {
  const Case cases[] = {
      {"06-Dec-26 06:43:29", kBase},
      {"06-Dec-26 00:00:00", k06Dec26},
      {"06-dec-26 06:43:29", kBase},  // month in any case
      {"06-DEC-26 06:43:29", kBase},
      {"6-Dec-26 6:43:29", kBase},
      {"06-Dec-2026 06:43:29", kBase},
      {"06-Dec-26 06:43", kBase - 29},
      {"06-Dec-26", k06Dec26},
      {"  06-Dec-26 06:43:29  ", kBase},
      {"02-Jan-99 03:04:05", 915246245},  // 70..99 are 19xx
      {"29-Feb-28 00:00:00", 1835395200},
      // Relative to the base time.
      {"*", kBase},
      {"*-1h", kBase - 3600},
      {"*+30m", kBase + 1800},
      {"*-90s", kBase - 90},
      {"*-90", kBase - 90},
      {"*-2d", kBase - 2 * 86400},
      {"*-1.5h", kBase - 5400},
      {"* - 1h + 10m", kBase - 3000},
      {"t", k06Dec26},
      {"T", k06Dec26},
      {"y", k06Dec26 - 86400},
      {"t+6h", k06Dec26 + 6 * 3600},
      {"y-1d", k06Dec26 - 2 * 86400},
      // Anything else writes nothing.
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"now", std::nullopt},
      {"today", std::nullopt},
      {"12/06/2026 00:00", std::nullopt},
      {"12/6/2026 6:43:30 AM", std::nullopt},
      {"06-Dez-26 06:43:29", std::nullopt},
      {"31-Nov-26 00:00:00", std::nullopt},
      {"29-Feb-27 00:00:00", std::nullopt},
      {"06-Dec-26 24:00:00", std::nullopt},
      {"06-Dec-26 06:60:00", std::nullopt},
      {"06-Dec-26 06:43:29 PM", std::nullopt},
      {"06-Dec-262 06:43:29", std::nullopt},
      {"*-1x", std::nullopt},
      {"*1h", std::nullopt},
      {"*-", std::nullopt},
      {"t+1.5d", std::nullopt},
      {"x", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseTimeText(c.text, kBase), c.expected) << "[" << c.text << "]";
  }
}

TEST_F(TimeTest, TimesBeyondThe32BitRangeDoNotFit) {
  const auto late = ParseTimeText("01-Jan-2040 00:00:00", kBase);
  if constexpr (sizeof(std::time_t) < 8) {
    // The 32-bit Windows C run-time's time_t ends in 2038: such a date is
    // not read at all.
    EXPECT_FALSE(late.has_value());
    return;
  }
  ASSERT_TRUE(late.has_value());
  EXPECT_FALSE(FitsHistorianTime(*late));
  EXPECT_TRUE(FitsHistorianTime(kBase));
}

TEST_F(TimeTest, DatesAreLocalTime) {
  SetTimeZone("EST5");
  EXPECT_EQ(ParseTimeText("06-Dec-26 06:43:29", 0), kBase + 5 * 3600);
  EXPECT_EQ(ParseTimeText("t", kBase), k06Dec26 + 5 * 3600);
}

TEST(DurationTest, ReadsNumbersWithUnits) {
  EXPECT_EQ(ParseDuration("90"), 90);
  EXPECT_EQ(ParseDuration("90s"), 90);
  EXPECT_EQ(ParseDuration("15m"), 900);
  EXPECT_EQ(ParseDuration("2h"), 7200);
  EXPECT_EQ(ParseDuration("1d"), 86400);
  EXPECT_EQ(ParseDuration("1.5h"), 5400);
  for (const char* bad : {"", "h", "-1h", "1.h", ".5h", "1..5h", "1w", "1 h"}) {
    EXPECT_EQ(ParseDuration(bad), std::nullopt) << bad;
  }
}

TEST_F(TimeTest, EventTimesAreFixedOrFollowTheClock) {
  const Seconds now = kBase;
  const Case cases[] = {
      {"2026-12-06T06:43:29", kBase},
      {"2026-12-06T06:43:29Z", kBase},
      {"2026-12-06T06:43", kBase - 29},
      {"2026-12-06", k06Dec26},
      {"now", now},
      {"now-15m", now - 900},
      {"now+1h", now + 3600},
      {"today", k06Dec26},
      {"today+06:00", k06Dec26 + 6 * 3600},
      {"today+06:30:15", k06Dec26 + 6 * 3600 + 30 * 60 + 15},
      {"yesterday+6h", k06Dec26 - 86400 + 6 * 3600},
      {"today-2d+18:30", k06Dec26 - 2 * 86400 + 18 * 3600 + 30 * 60},
      {"yesterday-1d", k06Dec26 - 2 * 86400},
      {"2026-12-06+1h", k06Dec26 + 3600},
      {"tomorrow", std::nullopt},
      {"2026-13-01", std::nullopt},
      {"2026-02-30", std::nullopt},
      {"2026-12-06T25:00", std::nullopt},
      {"today+6", std::nullopt},
      {"today+06:75", std::nullopt},
      {"today*2", std::nullopt},
      {"06-Dec-26", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto time = ParseEventTime(c.text);
    if (!c.expected) {
      EXPECT_FALSE(time.has_value()) << c.text;
    } else {
      ASSERT_TRUE(time.has_value()) << c.text;
      EXPECT_EQ(time->Resolve(now), *c.expected) << c.text;
    }
  }
}

TEST_F(TimeTest, EventTimesRelativeToTodayMoveWithTheDay) {
  const auto time = ParseEventTime("today+06:00");
  ASSERT_TRUE(time.has_value());
  EXPECT_EQ(time->Resolve(kBase), k06Dec26 + 6 * 3600);
  EXPECT_EQ(time->Resolve(kBase + 86400), k06Dec26 + 86400 + 6 * 3600);
}

}  // namespace
}  // namespace tavrolin::simulator
