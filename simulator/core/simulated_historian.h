// The simulated historian: answers lookups, current values, state names and
// archive series from the data read from the data file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "simulator/core/archive.h"
#include "simulator/core/data.h"

namespace tavrolin::simulator {

// How far back the archive of a live signal reaches from the current time.
inline constexpr Seconds kSignalHistory = 10 * kDay;

class SimulatedHistorian {
 public:
  SimulatedHistorian() = default;  // knows no points
  explicit SimulatedHistorian(Data data);

  // The point of that name: letter case and blanks around the name do not
  // matter. nullptr when there is none.
  const Point* FindPoint(std::string_view name) const;
  const Point* PointByNumber(int32_t number) const;
  // The name of the digital state with that code, or nullptr.
  const std::string* StateName(int32_t code) const;

  // The current value: a signal's value at `now`, otherwise the newest
  // recorded event at or before `now`. nullopt when there is none.
  std::optional<Event> Snapshot(const Point& point, Seconds now) const;

  // The point's archive as seen at `now`, holding at least the events in
  // [from, to] and the nearest event on either side of it. Recorded events
  // after `now` are not yet in the archive. A signal's archive holds a
  // sample every `every` seconds (at whole multiples of it since 1970) and
  // one at `now`, reaching back kSignalHistory from `now`.
  Series SeriesFor(const Point& point, Seconds from, Seconds to,
                   Seconds now) const;

 private:
  int32_t StateCode(const Point& point, double index) const;
  std::size_t StateCount(const Point& point) const;

  Data data_;
  std::unordered_map<std::string, std::size_t> by_name_;
  std::unordered_map<int32_t, std::size_t> by_number_;
  std::map<int32_t, std::pair<std::size_t, std::size_t>> by_code_;
};

}  // namespace tavrolin::simulator
