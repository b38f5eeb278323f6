// The archive maths: values at a time and summaries over a period, computed
// from a point's events.
//
// A series is the point's events in time order, all at or before its end
// (the current time). Between two events the value is a straight line from
// the one to the next for analog points, and the earlier value held for
// digital points. After the last event the last value holds until the end
// of the series. Before the first event, and after the end, there are no
// data.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "simulator/core/sim_time.h"

namespace tavrolin::simulator {

struct Event {
  Seconds time = 0;
  double value = 0;
  int32_t status = 0;  // 0 for analog points, the state code for digital
};

struct Series {
  std::vector<Event> events;  // in time order, none after `end`
  Seconds end = 0;            // the time up to which the last value holds
  bool linear = true;         // false: the earlier value holds (digital)
};

// Archive value modes of piar_value.
enum ArchiveMode : int32_t {
  kAtOrBefore = 1,
  kAtOrAfter = 2,
  kInterpolated = 3,
};

// The value at `time`: mode 1 the newest event at or before it, mode 2 the
// oldest event at or after it, mode 3 the value of the series at that time
// (the line between the events around it for a linear series, the earlier
// value otherwise, the last value after the last event), with the status of
// the event at or before it. nullopt when there is no such event or the mode
// is unknown. The result's time is the event's for modes 1 and 2, `time` for
// mode 3.
std::optional<Event> ArchiveValue(const Series& series, Seconds time,
                                  int32_t mode);

// Summary codes of piar_summary.
enum SummaryCode : int32_t {
  kTotal = 0,
  kMinimum = 1,
  kMaximum = 2,
  kStdDev = 3,
  kRange = 4,
  kAverage = 5,
  kEventAverage = 6,
};

struct SummaryResult {
  double value = 0;
  double percent_good = 0;  // covered share of [start, end), in percent
};

// A summary over [start, end). The time-based figures (codes 0 to 5) look at
// the value as a function of time on the covered part of the period, the
// times of [start, end) where the series has data:
//   0 total: the integral of the value over the covered time, time counted
//     in days (a rate per day gives the period's quantity)
//   1, 2 minimum, maximum of the value on the covered time (for a line, its
//     values at both ends; the value at `end` itself is the line's limit)
//   3 standard deviation of the value weighted by time (population form)
//   4 range: maximum minus minimum
//   5 time-weighted average: the integral divided by the covered time
//   6 event average: the plain mean of the events at or after `start` and
//     before `end`
// nullopt for another code, an empty or reversed period, or a period
// without data (code 6: without events).
std::optional<SummaryResult> Summarise(const Series& series, Seconds start,
                                       Seconds end, int32_t code);

}  // namespace tavrolin::simulator
