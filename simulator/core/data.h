// The simulator's data: state sets, points, their recorded events and live
// signals, as read from the data file (its format is described in
// docs/simulator.md).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/core/sim_time.h"

namespace tavrolin::simulator {

// A named list of digital states. Each state has a code of its own: the
// states of all sets are numbered 1, 2, 3, ... in the order of the file.
struct StateSet {
  std::string name;
  std::vector<std::string> states;
  int32_t first_code = 1;  // the code of states[0]
};

// The time of a recorded event: a fixed time, or a time relative to the
// moment of the query ("now") or to local midnight of its day ("today").
struct EventTime {
  enum class Anchor { kFixed, kNow, kToday };
  Anchor anchor = Anchor::kFixed;
  Seconds seconds = 0;  // the fixed time, or the offset from the anchor
  int days = 0;         // calendar days from "today"

  Seconds Resolve(Seconds now) const;
};

struct RecordedEvent {
  EventTime time;
  double value = 0;  // analog: the value; digital: the index of the state
};

enum class SignalKind { kRamp, kSine, kWalk, kCycle };

// A live signal: a value that is a function of time.
struct Signal {
  SignalKind kind = SignalKind::kRamp;
  // ramp: low, high, period; sine: mean, amplitude, period; walk: centre,
  // step; cycle: period.
  double a = 0;
  double b = 0;
  double period = 60;
  uint64_t seed = 0;   // walk
  Seconds every = 60;  // the spacing of the archived samples

  // The value at `time` (for a cycle over `state_count` states, the index
  // of the state).
  double Value(Seconds time, std::size_t state_count) const;
};

enum class PointKind { kAnalog, kDigital };

struct Point {
  std::string name;
  int32_t number = 0;
  PointKind kind = PointKind::kAnalog;
  int state_set = -1;  // index into Data::state_sets for digital points
  std::vector<RecordedEvent> events;  // in file order
  std::optional<Signal> signal;
};

struct Data {
  std::vector<StateSet> state_sets;
  std::vector<Point> points;
};

// A fault in the data text, with the number of the line (from 1).
class DataError : public std::runtime_error {
 public:
  DataError(int line, const std::string& message)
      : std::runtime_error(message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// Reads the data text. Throws DataError at the first faulty line.
Data ParseData(std::string_view text);

// Reads an event time such as "2026-12-06T06:00:00", "2026-12-06T06:00Z",
// "today+06:00", "yesterday+6h", "now-90m", "today-2d+18:30"; nullopt when
// the text is none of these.
std::optional<EventTime> ParseEventTime(std::string_view text);

}  // namespace tavrolin::simulator
