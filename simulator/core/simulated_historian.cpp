#include "simulator/core/simulated_historian.h"

#include <algorithm>
#include <cmath>

#include "common/ascii.h"

namespace tavrolin::simulator {
namespace {

// Names are looked up without the white space around them and without
// regard to the case of ASCII letters, in every locale alike.
std::string Key(std::string_view name) {
  return LowerCase(TrimAsciiSpace(name));
}

Seconds FloorTo(Seconds time, Seconds step) {
  const Seconds q = time / step - ((time % step != 0 && time < 0) ? 1 : 0);
  return q * step;
}

// At most this many samples of a signal go into one series.
constexpr Seconds kMaxSamples = 2'000'000;

}  // namespace

SimulatedHistorian::SimulatedHistorian(Data data) : data_(std::move(data)) {
  for (std::size_t i = 0; i < data_.points.size(); ++i) {
    by_name_[Key(data_.points[i].name)] = i;
    by_number_[data_.points[i].number] = i;
  }
  for (std::size_t s = 0; s < data_.state_sets.size(); ++s) {
    const StateSet& set = data_.state_sets[s];
    if (set.states.empty()) continue;
    by_code_[set.first_code] = {s, set.states.size()};
  }
}

const Point* SimulatedHistorian::FindPoint(std::string_view name) const {
  const auto found = by_name_.find(Key(name));
  return found == by_name_.end() ? nullptr : &data_.points[found->second];
}

const Point* SimulatedHistorian::PointByNumber(int32_t number) const {
  const auto found = by_number_.find(number);
  return found == by_number_.end() ? nullptr : &data_.points[found->second];
}

const std::string* SimulatedHistorian::StateName(int32_t code) const {
  auto found = by_code_.upper_bound(code);
  if (found == by_code_.begin()) return nullptr;
  --found;
  const int64_t offset = static_cast<int64_t>(code) - found->first;
  if (offset < 0 || offset >= static_cast<int64_t>(found->second.second)) {
    return nullptr;
  }
  return &data_.state_sets[found->second.first].states[offset];
}

std::size_t SimulatedHistorian::StateCount(const Point& point) const {
  if (point.kind != PointKind::kDigital) return 0;
  return data_.state_sets[point.state_set].states.size();
}

int32_t SimulatedHistorian::StateCode(const Point& point, double index) const {
  if (point.kind != PointKind::kDigital) return 0;
  return data_.state_sets[point.state_set].first_code +
         static_cast<int32_t>(index);
}

std::optional<Event> SimulatedHistorian::Snapshot(const Point& point,
                                                  Seconds now) const {
  if (point.signal) {
    const double value = point.signal->Value(now, StateCount(point));
    return Event{now, value, StateCode(point, value)};
  }
  std::optional<Event> newest;
  for (const RecordedEvent& recorded : point.events) {
    const Seconds time = recorded.time.Resolve(now);
    if (time > now || (newest && time < newest->time)) continue;
    newest = Event{time, recorded.value, StateCode(point, recorded.value)};
  }
  return newest;
}

Series SimulatedHistorian::SeriesFor(const Point& point, Seconds from,
                                     Seconds to, Seconds now) const {
  Series series;
  series.end = now;
  series.linear = point.kind == PointKind::kAnalog;
  if (!point.signal) {
    for (const RecordedEvent& recorded : point.events) {
      const Seconds time = recorded.time.Resolve(now);
      if (time > now) continue;
      series.events.push_back(
          Event{time, recorded.value, StateCode(point, recorded.value)});
    }
    std::stable_sort(
        series.events.begin(), series.events.end(),
        [](const Event& a, const Event& b) { return a.time < b.time; });
    return series;
  }

  const Signal& signal = *point.signal;
  const std::size_t states = StateCount(point);
  const Seconds oldest = now - kSignalHistory;
  const Seconds step = signal.every;
  // The samples from the one at or before `from` to the one at or after
  // `to`, within the signal's history.
  Seconds first = FloorTo(std::clamp(from, oldest, now), step);
  if (first < oldest) first += step;
  Seconds last = FloorTo(std::clamp(to, oldest, now), step);
  if (last < to && last + step <= now) last += step;
  if (last < first) last = first;  // [from, to] lies before the history
  if ((last - first) / step > kMaxSamples) first = last - kMaxSamples * step;
  for (Seconds t = first; t <= last && t <= now; t += step) {
    const double value = signal.Value(t, states);
    series.events.push_back(Event{t, value, StateCode(point, value)});
  }
  // The sample at `now` follows the last grid sample before it.
  if (last + step > now &&
      (series.events.empty() || series.events.back().time < now)) {
    const double value = signal.Value(now, states);
    series.events.push_back(Event{now, value, StateCode(point, value)});
  }
  return series;
}

}  // namespace tavrolin::simulator
