#include "simulator/core/archive.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tavrolin::simulator {
namespace {

// The first event after `time`, or events.end().
std::vector<Event>::const_iterator FirstAfter(const std::vector<Event>& events,
                                              Seconds time) {
  return std::upper_bound(
      events.begin(), events.end(), time,
      [](Seconds t, const Event& event) { return t < event.time; });
}

// The first event at or after `time`, or events.end().
std::vector<Event>::const_iterator FirstAtOrAfter(
    const std::vector<Event>& events, Seconds time) {
  return std::lower_bound(
      events.begin(), events.end(), time,
      [](const Event& event, Seconds t) { return event.time < t; });
}

double Lerp(double v0, double v1, Seconds t0, Seconds t1, Seconds t) {
  if (t1 == t0) return v0;
  const double share =
      static_cast<double>(t - t0) / static_cast<double>(t1 - t0);
  return v0 + (v1 - v0) * share;
}

// Totals of the value over the covered part of a period.
struct Accumulator {
  double covered = 0;      // seconds
  double integral = 0;     // value * seconds
  double shift = 0;        // the first value; squares are taken about it
  double integral_sq = 0;  // (value - shift)^2 * seconds
  double minimum = std::numeric_limits<double>::infinity();
  double maximum = -std::numeric_limits<double>::infinity();

  // A piece from t0 to t1 along which the value goes straight from v0 to v1
  // (v1 being the limit at t1).
  void Add(Seconds t0, Seconds t1, double v0, double v1) {
    if (t1 <= t0) return;
    const double dt = static_cast<double>(t1 - t0);
    if (covered == 0) shift = v0;
    covered += dt;
    integral += dt * (v0 + v1) / 2;
    const double a = v0 - shift;
    const double b = v1 - shift;
    integral_sq += dt * (a * a + a * b + b * b) / 3;
    minimum = std::min({minimum, v0, v1});
    maximum = std::max({maximum, v0, v1});
  }
};

// The event average over [start, end): the mean of the events in it, with
// the share of the period that the series covers, as for the others.
std::optional<SummaryResult> EventAverage(const Series& series, Seconds start,
                                          Seconds end) {
  const auto& events = series.events;
  double sum = 0;
  std::size_t count = 0;
  for (auto it = FirstAtOrAfter(events, start);
       it != events.end() && it->time < end; ++it) {
    sum += it->value;
    ++count;
  }
  if (count == 0) return std::nullopt;
  Accumulator cover;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Seconds t0 = std::max(events[i].time, start);
    const Seconds t1 =
        std::min(i + 1 < events.size() ? events[i + 1].time : series.end, end);
    cover.Add(t0, t1, 0, 0);
  }
  return SummaryResult{sum / static_cast<double>(count),
                       100 * cover.covered / static_cast<double>(end - start)};
}

// The totals of the series' value over [start, end): the pieces between
// consecutive events, and from the last event to the end of the series,
// each cut to the period. Only the pieces from the event at or before
// `start` on can reach into it.
Accumulator Accumulate(const Series& series, Seconds start, Seconds end) {
  const auto& events = series.events;
  Accumulator acc;
  auto first = FirstAfter(events, start);
  if (first != events.begin()) --first;
  for (auto it = first; it != events.end() && it->time < end; ++it) {
    const auto next = it + 1;
    const Seconds piece_end = next != events.end() ? next->time : series.end;
    const double end_value =
        next != events.end() && series.linear ? next->value : it->value;
    const Seconds t0 = std::max(it->time, start);
    const Seconds t1 = std::min(piece_end, end);
    if (t1 <= t0) continue;
    acc.Add(t0, t1, Lerp(it->value, end_value, it->time, piece_end, t0),
            Lerp(it->value, end_value, it->time, piece_end, t1));
  }
  return acc;
}

// The time-based summary `code` (0 to 5) of totals that cover some of the
// period.
double SummaryValue(const Accumulator& acc, int32_t code) {
  const double mean = acc.integral / acc.covered;
  switch (code) {
    case kTotal:
      return acc.integral / kDay;
    case kMinimum:
      return acc.minimum;
    case kMaximum:
      return acc.maximum;
    case kStdDev: {
      const double offset = mean - acc.shift;
      return std::sqrt(
          std::max(0.0, acc.integral_sq / acc.covered - offset * offset));
    }
    case kRange:
      return acc.maximum - acc.minimum;
    default:  // kAverage
      return mean;
  }
}

}  // namespace

std::optional<Event> ArchiveValue(const Series& series, Seconds time,
                                  int32_t mode) {
  const auto& events = series.events;
  const auto after = FirstAfter(events, time);
  switch (mode) {
    case kAtOrBefore:
      if (after == events.begin()) return std::nullopt;
      return *(after - 1);
    case kAtOrAfter: {
      const auto found = FirstAtOrAfter(events, time);
      if (found == events.end()) return std::nullopt;
      return *found;
    }
    case kInterpolated: {
      if (after == events.begin()) return std::nullopt;
      const Event& before = *(after - 1);
      Event result = before;
      result.time = time;
      if (series.linear && after != events.end() && before.time != time) {
        result.value =
            Lerp(before.value, after->value, before.time, after->time, time);
      }
      return result;
    }
    default:
      return std::nullopt;
  }
}

std::optional<SummaryResult> Summarise(const Series& series, Seconds start,
                                       Seconds end, int32_t code) {
  if (code < kTotal || code > kEventAverage || end <= start) {
    return std::nullopt;
  }
  if (code == kEventAverage) return EventAverage(series, start, end);
  const Accumulator acc = Accumulate(series, start, end);
  if (acc.covered <= 0) return std::nullopt;
  SummaryResult result;
  result.percent_good = 100 * acc.covered / static_cast<double>(end - start);
  result.value = SummaryValue(acc, code);
  return result;
}

}  // namespace tavrolin::simulator
