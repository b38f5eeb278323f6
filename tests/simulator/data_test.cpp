// The data file: its lines, its faults, and the historian made from it.
#include "simulator/core/data.h"

#include <gtest/gtest.h>

#include <string>

#include "simulator/core/simulated_historian.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

using testing::SetTimeZone;

constexpr Seconds kNow = 1796539409;    // 2026-12-06 06:43:29 UTC
constexpr Seconds kToday = 1796515200;  // 2026-12-06 00:00:00 UTC

constexpr const char* kSample = R"(# A sample
states PUMP STOPPED RUNNING
states BREAKER OPEN CLOSED TRIPPED   # codes 3, 4, 5

point FI101 101 analog
event FI101 yesterday+06:00 12.5
event FI101 today+06:00 14
event FI101 today+12:00 99      # later than now: not yet in the archive
point CB1 401 digital BREAKER
event CB1 2026-12-01T00:00:00Z closed
event CB1 today+01:00 2
point TI102 102 analog
signal TI102 sine 50 10 4h every 10m
point P101 301 digital pump
signal P101 cycle 2m
)";

class DataTest : public ::testing::Test {
 protected:
  void SetUp() override { SetTimeZone("UTC0"); }
};

TEST_F(DataTest, ReadsPointsEventsAndSignals) {
  const Data data = ParseData(kSample);
  ASSERT_EQ(data.state_sets.size(), 2u);
  EXPECT_EQ(data.state_sets[1].first_code, 3);
  ASSERT_EQ(data.points.size(), 4u);
  EXPECT_EQ(data.points[0].events.size(), 3u);
  EXPECT_EQ(data.points[1].events[0].value, 1);  // "closed" is state 1
  ASSERT_TRUE(data.points[2].signal.has_value());
  EXPECT_EQ(data.points[2].signal->every, 600);
}

TEST_F(DataTest, AnswersLookupsStatesAndSnapshots) {
  const SimulatedHistorian historian(ParseData(kSample));
  ASSERT_NE(historian.FindPoint("fi101"), nullptr);
  EXPECT_EQ(historian.FindPoint(" FI101 ")->number, 101);
  EXPECT_EQ(historian.FindPoint("FI10"), nullptr);
  EXPECT_EQ(historian.PointByNumber(401)->name, "CB1");
  EXPECT_EQ(historian.PointByNumber(999), nullptr);
  EXPECT_EQ(*historian.StateName(1), "STOPPED");
  EXPECT_EQ(*historian.StateName(5), "TRIPPED");
  EXPECT_EQ(historian.StateName(0), nullptr);
  EXPECT_EQ(historian.StateName(6), nullptr);

  // The newest event at or before now; the one at 12:00 is still to come.
  const auto flow = historian.Snapshot(*historian.FindPoint("FI101"), kNow);
  ASSERT_TRUE(flow.has_value());
  EXPECT_EQ(flow->value, 14);
  EXPECT_EQ(flow->time, kToday + 6 * 3600);
  EXPECT_EQ(flow->status, 0);
  const auto breaker = historian.Snapshot(*historian.FindPoint("CB1"), kNow);
  EXPECT_EQ(breaker->value, 2);
  EXPECT_EQ(breaker->status, 5);  // TRIPPED
  // Before the first event there is no current value: on 30 November at
  // 00:30, the fixed event is still to come, and so is "today+01:00".
  const Seconds november30 = kToday - 6 * kDay + 1800;
  EXPECT_FALSE(
      historian.Snapshot(*historian.FindPoint("CB1"), november30).has_value());
}

TEST_F(DataTest, SignalsChangeWithTimeAndTheirArchiveIsSampled) {
  const SimulatedHistorian historian(ParseData(kSample));
  const Point& sine = *historian.FindPoint("TI102");
  const auto now = historian.Snapshot(sine, kNow);
  const auto later = historian.Snapshot(sine, kNow + 30);
  ASSERT_TRUE(now && later);
  EXPECT_NE(now->value, later->value);
  EXPECT_EQ(now->time, kNow);

  // Samples every 10 minutes around [from, to], then one at now.
  const Series series =
      historian.SeriesFor(sine, kNow - 3600, kNow + 3600, kNow);
  ASSERT_GE(series.events.size(), 3u);
  EXPECT_EQ(series.events.front().time, kNow - 3600 - (kNow - 3600) % 600);
  EXPECT_EQ(series.events.back().time, kNow);
  EXPECT_EQ(series.events.back().value, now->value);
  for (std::size_t i = 0; i + 2 < series.events.size(); ++i) {
    EXPECT_EQ(series.events[i + 1].time - series.events[i].time, 600);
  }
  // The archive at now is the current value.
  EXPECT_EQ(ArchiveValue(series, kNow, kInterpolated)->value, now->value);
  // Nothing older than the signal's history.
  const Series old =
      historian.SeriesFor(sine, kNow - 30 * kDay, kNow - 20 * kDay, kNow);
  EXPECT_FALSE(
      Summarise(old, kNow - 30 * kDay, kNow - 20 * kDay, kAverage).has_value());

  // A sine over whole periods averages to its mean (trapezoids of samples).
  const Series day = historian.SeriesFor(sine, kToday - kDay, kToday, kNow);
  EXPECT_NEAR(Summarise(day, kToday - kDay, kToday, kAverage)->value, 50, 1e-9);

  // A cycle steps through the states; its status is the state code.
  const Point& pump = *historian.FindPoint("P101");
  const auto first = historian.Snapshot(pump, kToday);
  const auto second = historian.Snapshot(pump, kToday + 120);
  EXPECT_NE(first->status, second->status);
  EXPECT_TRUE(first->status == 1 || first->status == 2);
}

TEST_F(DataTest, FaultsNameTheirLine) {
  struct Case {
    const char* text;
    int line;
    const char* says;
  };
  const Case cases[] = {
      {"points FI101 1 analog", 1, "unknown keyword"},
      {"\n\npoint FI101 analog", 3, "expected: point"},
      {"point FI101 0 analog", 1, "not a whole number"},
      {"point FI101 2147483648 analog", 1, "not a whole number"},
      {"point FI101 1 analogue", 1, "expected: point"},
      {"point CB1 1 digital", 1, "expected: point"},
      {"point CB1 1 digital NOSET", 1, "unknown state set"},
      {"point A 1 analog\npoint a 2 analog", 2, "declared twice"},
      {"point A 1 analog\npoint B 1 analog", 2, "used twice"},
      {"states S\n", 1, "expected: states"},
      {"states S A B\nstates s C", 2, "defined twice"},
      {"event FI101 today 1", 1, "unknown point"},
      {"point A 1 analog\nevent A today", 2, "expected: event"},
      {"point A 1 analog\nevent A tomorrow 1", 2, "bad time"},
      {"point A 1 analog\nevent A today 1,5", 2, "bad value"},
      {"point A 1 analog\nevent A today nan", 2, "bad value"},
      {"states S X Y\npoint A 1 digital S\nevent A today Z", 3, "not a state"},
      {"states S X Y\npoint A 1 digital S\nevent A today 2", 3, "not a state"},
      {"point A 1 analog\nsignal A square 1 2 3", 2, "expected: signal"},
      {"point A 1 analog\nsignal A sine 1 2", 2, "expected: signal"},
      {"point A 1 analog\nsignal A sine 1 2 0", 2, "bad period"},
      {"point A 1 analog\nsignal A ramp 1 2 1h every 2d", 2,
       "bad sample spacing"},
      {"point A 1 analog\nsignal A walk 1 2 -3", 2, "bad seed"},
      {"point A 1 analog\nsignal A cycle 1m", 2, "needs a digital point"},
      {"states S X\npoint A 1 digital S\nsignal A sine 1 2 3", 3,
       "needs an analog point"},
      {"point A 1 analog\nsignal A sine 1 2 1h\nsignal A sine 1 2 1h", 3,
       "second signal"},
      {"point A 1 analog\nsignal A sine 1 2 1h\nevent A today 1", 3,
       "has a signal"},
      {"point A 1 analog\nevent A today 1\nsignal A sine 1 2 1h", 3,
       "has recorded events"},
  };
  for (const Case& c : cases) {
    try {
      ParseData(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const DataError& e) {
      EXPECT_EQ(e.line(), c.line) << c.text;
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos)
          << c.text << " -> " << e.what();
    }
  }
}

TEST_F(DataTest, CommentsBlankLinesAndWindowsLineEndsAreFine) {
  const Data data =
      ParseData("# only a comment\r\n\r\n   \t\r\npoint A 1 analog # A\r\n");
  ASSERT_EQ(data.points.size(), 1u);
  EXPECT_EQ(data.points[0].name, "A");
  EXPECT_TRUE(ParseData("").points.empty());
}

}  // namespace
}  // namespace tavrolin::simulator
