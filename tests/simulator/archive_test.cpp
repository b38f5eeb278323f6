// The archive maths on series whose answers are worked out by hand.
#include "simulator/core/archive.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace tavrolin::simulator {
namespace {

// A ramp: 0 at t=0, 10 at t=100 (analog, linear), data up to t=1000.
Series Ramp() { return Series{{{0, 0, 0}, {100, 10, 0}}, 1000, true}; }

// A step: 0 from t=0, 10 from t=100 (digital, held), data up to t=200.
Series Step() { return Series{{{0, 0, 1}, {100, 10, 2}}, 200, false}; }

double Summary(const Series& series, Seconds start, Seconds end, int code) {
  const auto result = Summarise(series, start, end, code);
  EXPECT_TRUE(result.has_value()) << "code " << code;
  return result ? result->value : std::nan("");
}

TEST(ArchiveValueTest, ModesOnARamp) {
  const Series ramp = Ramp();
  struct Case {
    Seconds time;
    int mode;
    std::optional<double> value;
    Seconds result_time;
  };
  const Case cases[] = {
      {50, kAtOrBefore, 0, 0},
      {50, kAtOrAfter, 10, 100},
      {50, kInterpolated, 5, 50},
      {25, kInterpolated, 2.5, 25},
      {100, kAtOrBefore, 10, 100},
      {100, kAtOrAfter, 10, 100},
      {100, kInterpolated, 10, 100},
      {0, kAtOrAfter, 0, 0},
      // After the last event the last value holds.
      {500, kInterpolated, 10, 500},
      {500, kAtOrBefore, 10, 100},
      {500, kAtOrAfter, std::nullopt, 0},
      // Before the first event there is nothing.
      {-1, kAtOrBefore, std::nullopt, 0},
      {-1, kInterpolated, std::nullopt, 0},
      {-1, kAtOrAfter, 0, 0},
      // Other modes.
      {50, 0, std::nullopt, 0},
      {50, 4, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    const auto event = ArchiveValue(ramp, c.time, c.mode);
    ASSERT_EQ(event.has_value(), c.value.has_value())
        << "t=" << c.time << " mode=" << c.mode;
    if (!event) continue;
    EXPECT_DOUBLE_EQ(event->value, *c.value)
        << "t=" << c.time << " mode=" << c.mode;
    EXPECT_EQ(event->time, c.result_time)
        << "t=" << c.time << " mode=" << c.mode;
  }
}

TEST(ArchiveValueTest, DigitalPointsKeepThePreviousStateAndItsCode) {
  const auto event = ArchiveValue(Step(), 99, kInterpolated);
  ASSERT_TRUE(event.has_value());
  EXPECT_EQ(event->value, 0);
  EXPECT_EQ(event->status, 1);
  EXPECT_EQ(ArchiveValue(Step(), 100, kInterpolated)->status, 2);
}

TEST(ArchiveValueTest, EqualTimesGiveTheLaterEvent) {
  const Series series{
      {{0, 1, 0}, {10, 2, 0}, {10, 3, 0}, {20, 4, 0}}, 100, true};
  EXPECT_EQ(ArchiveValue(series, 10, kAtOrBefore)->value, 3);
  EXPECT_EQ(ArchiveValue(series, 15, kInterpolated)->value, 3.5);
}

TEST(SummaryTest, ARampOverItsWholeLength) {
  // f(t) = t/10 on [0, 100): integral 500, mean 5, min 0, max 10 (the limit
  // at the end), variance 100/3 - 25 = 25/3.
  const Series ramp = Ramp();
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kTotal), 500.0 / 86400);
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kMinimum), 0);
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kMaximum), 10);
  EXPECT_NEAR(Summary(ramp, 0, 100, kStdDev), std::sqrt(25.0 / 3), 1e-12);
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kRange), 10);
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kAverage), 5);
  // Only the event at 0 lies in [0, 100): the one at 100 is the end.
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 100, kEventAverage), 0);
  EXPECT_DOUBLE_EQ(Summary(ramp, 0, 101, kEventAverage), 5);
  EXPECT_DOUBLE_EQ(Summarise(ramp, 0, 100, kAverage)->percent_good, 100);
}

TEST(SummaryTest, AStep) {
  // 0 on [0, 100), 10 on [100, 200): mean 5, deviation 5.
  const Series step = Step();
  EXPECT_DOUBLE_EQ(Summary(step, 0, 200, kAverage), 5);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 200, kStdDev), 5);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 200, kTotal), 1000.0 / 86400);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 200, kMinimum), 0);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 200, kMaximum), 10);
  // [50, 150): half at 0, half at 10.
  EXPECT_DOUBLE_EQ(Summary(step, 50, 150, kAverage), 5);
  // The step at 100 is the end of [0, 100) and does not count there.
  EXPECT_DOUBLE_EQ(Summary(step, 0, 100, kMaximum), 0);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 100, kStdDev), 0);
  EXPECT_DOUBLE_EQ(Summary(step, 0, 100, kRange), 0);
}

TEST(SummaryTest, ASingleEventHoldsToTheEndOfTheData) {
  // One event 4 at t=100, data up to t=1000; the period [0, 200) is covered
  // from 100 on: half of it.
  const Series single{{{100, 4, 0}}, 1000, true};
  const auto average = Summarise(single, 0, 200, kAverage);
  ASSERT_TRUE(average.has_value());
  EXPECT_DOUBLE_EQ(average->value, 4);
  EXPECT_DOUBLE_EQ(average->percent_good, 50);
  EXPECT_DOUBLE_EQ(Summary(single, 0, 200, kTotal), 400.0 / 86400);
  EXPECT_DOUBLE_EQ(Summary(single, 0, 200, kStdDev), 0);
  EXPECT_DOUBLE_EQ(Summary(single, 0, 200, kEventAverage), 4);
  // A period that ends before the event, or starts after the data, is empty.
  EXPECT_FALSE(Summarise(single, 0, 100, kAverage).has_value());
  EXPECT_FALSE(Summarise(single, 1000, 2000, kAverage).has_value());
  // Up to the end of the data, [900, 1100) is half covered.
  EXPECT_DOUBLE_EQ(Summarise(single, 900, 1100, kAverage)->percent_good, 50);
}

TEST(SummaryTest, AnIntervalWithoutEvents) {
  // Inside the ramp, [40, 60) holds no event: the line goes from 4 to 6.
  const Series ramp = Ramp();
  EXPECT_DOUBLE_EQ(Summary(ramp, 40, 60, kAverage), 5);
  EXPECT_DOUBLE_EQ(Summary(ramp, 40, 60, kMinimum), 4);
  EXPECT_DOUBLE_EQ(Summary(ramp, 40, 60, kMaximum), 6);
  EXPECT_DOUBLE_EQ(Summary(ramp, 40, 60, kTotal), 100.0 / 86400);
  EXPECT_NEAR(Summary(ramp, 40, 60, kStdDev), std::sqrt(1.0 / 3), 1e-12);
  EXPECT_FALSE(Summarise(ramp, 40, 60, kEventAverage).has_value());
  // The step holds its earlier value.
  EXPECT_DOUBLE_EQ(Summary(Step(), 40, 60, kAverage), 0);
  EXPECT_DOUBLE_EQ(Summary(Step(), 140, 160, kAverage), 10);
}

TEST(SummaryTest, AConstantHasNoSpread) {
  const Series flat{{{0, 1234.5678, 0}, {50, 1234.5678, 0}}, 100, true};
  EXPECT_EQ(Summary(flat, 0, 100, kStdDev), 0);
  EXPECT_EQ(Summary(flat, 0, 100, kRange), 0);
}

TEST(SummaryTest, OtherCodesAndEmptyPeriodsGiveNothing) {
  const Series ramp = Ramp();
  for (int code : {-1, 7, 100}) {
    EXPECT_FALSE(Summarise(ramp, 0, 100, code).has_value()) << code;
  }
  EXPECT_FALSE(Summarise(ramp, 50, 50, kAverage).has_value());
  EXPECT_FALSE(Summarise(ramp, 60, 40, kAverage).has_value());
  EXPECT_FALSE(Summarise(Series{{}, 1000, true}, 0, 100, kAverage).has_value());
}

}  // namespace
}  // namespace tavrolin::simulator
