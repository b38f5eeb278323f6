#include "simulator/core/data.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <sstream>
#include <unordered_map>
#include <unordered_set>

#include "common/ascii.h"

namespace tavrolin::simulator {
namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsAsciiSpace(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !IsAsciiSpace(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::optional<double> Number(std::string_view text) {
  // std::from_chars for double is not everywhere yet; strtod on a copy.
  const std::string copy(text);
  if (copy.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

template <typename Int>
std::optional<Int> Integer(std::string_view text) {
  Int value{};
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// Seconds since 1970 of a UTC date and time (proleptic Gregorian calendar),
// whose fields ValidDateTime accepts.
Seconds UtcSeconds(int year, int month, int day, int hour, int minute,
                   int second) {
  namespace chrono = std::chrono;
  const chrono::sys_days date{chrono::year_month_day(
      chrono::year(year), chrono::month(static_cast<unsigned>(month)),
      chrono::day(static_cast<unsigned>(day)))};
  return chrono::duration_cast<chrono::seconds>((date + chrono::hours(hour) +
                                                 chrono::minutes(minute) +
                                                 chrono::seconds(second))
                                                    .time_since_epoch())
      .count();
}

// "YYYY-MM-DD" with an optional "Thh:mm[:ss]" and an optional "Z"; returns
// the time and the length read.
std::optional<std::pair<Seconds, std::size_t>> FixedTime(
    std::string_view text) {
  auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (!IsDigit(text[i])) return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto year = digits(0, 4);
  if (!year || text.size() < 10 || text[4] != '-' || text[7] != '-') {
    return std::nullopt;
  }
  const auto month = digits(5, 2);
  const auto day = digits(8, 2);
  if (!month || !day) return std::nullopt;
  std::size_t pos = 10;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (pos < text.size() && (text[pos] == 'T' || text[pos] == 't')) {
    const auto h = digits(pos + 1, 2);
    const auto m = digits(pos + 4, 2);
    if (!h || !m || text[pos + 3] != ':') return std::nullopt;
    hour = *h;
    minute = *m;
    pos += 6;
    if (pos < text.size() && text[pos] == ':') {
      const auto s = digits(pos + 1, 2);
      if (!s) return std::nullopt;
      second = *s;
      pos += 3;
    }
  }
  const bool utc = pos < text.size() && (text[pos] == 'Z' || text[pos] == 'z');
  if (utc) {
    if (!ValidDateTime(*year, *month, *day, hour, minute, second)) {
      return std::nullopt;
    }
    return std::make_pair(UtcSeconds(*year, *month, *day, hour, minute, second),
                          pos + 1);
  }
  const auto local = LocalToSeconds(*year, *month, *day, hour, minute, second);
  if (!local) return std::nullopt;
  return std::make_pair(*local, pos);
}

// A term of an event time: "+6h", "-90m", "+1d", "+06:00", "-00:30:15".
bool AddTerm(std::string_view term, EventTime& time) {
  if (term.size() < 2 || (term[0] != '+' && term[0] != '-')) return false;
  const Seconds sign = term[0] == '-' ? -1 : 1;
  term.remove_prefix(1);
  if (term.find(':') != std::string_view::npos) {
    const auto first = term.find(':');
    const auto second = term.find(':', first + 1);
    const auto h = Integer<int>(term.substr(0, first));
    const auto m = Integer<int>(term.substr(
        first + 1, second == std::string_view::npos ? std::string_view::npos
                                                    : second - first - 1));
    std::optional<int> s = 0;
    if (second != std::string_view::npos) {
      s = Integer<int>(term.substr(second + 1));
    }
    if (!h || !m || !s || *h < 0 || *h > 999 || *m < 0 || *m > 59 || *s < 0 ||
        *s > 59) {
      return false;
    }
    time.seconds += sign * (*h * 3600 + *m * 60 + *s);
    return true;
  }
  const char unit = term.back();
  if (unit != 's' && unit != 'm' && unit != 'h' && unit != 'd') return false;
  if (unit == 'd' && time.anchor == EventTime::Anchor::kToday) {
    const auto days = Integer<int>(term.substr(0, term.size() - 1));
    if (!days || *days > 100000) return false;
    time.days += static_cast<int>(sign) * *days;
    return true;
  }
  const auto amount = ParseDuration(term);
  if (!amount || *amount != std::floor(*amount)) return false;
  time.seconds += sign * static_cast<Seconds>(*amount);
  return true;
}

double UnitHash(uint64_t seed, int64_t n) {
  // splitmix64 of the seed and the sample number, as a number in [-1, 1].
  uint64_t z = seed + 0x9e3779b97f4a7c15ULL * (static_cast<uint64_t>(n) + 1);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) / static_cast<double>(1ULL << 52) - 1.0;
}

int64_t FloorDiv(Seconds a, Seconds b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

// The walk's value at sample n: the sum of the last 64 random moves, each
// older one weakened by 0.9, so that the walk wanders about its centre.
double WalkSample(const Signal& signal, int64_t n) {
  double sum = 0;
  double weight = 1;
  for (int j = 0; j < 64; ++j) {
    sum += weight * UnitHash(signal.seed, n - j);
    weight *= 0.9;
  }
  return signal.a + signal.b * sum;
}

class Parser {
 public:
  Data Parse(std::string_view text) {
    int line_number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      ++line_number;
      line_ = line_number;
      std::string_view line = text.substr(pos, end - pos);
      const auto hash = line.find('#');
      if (hash != std::string_view::npos) line = line.substr(0, hash);
      ParseLine(Words(line));
      pos = end + 1;
    }
    return std::move(data_);
  }

 private:
  [[noreturn]] void Fail(const std::string& message) const {
    throw DataError(line_, message);
  }

  void ParseLine(const std::vector<std::string_view>& words) {
    if (words.empty()) return;
    const std::string verb(words[0]);
    if (verb == "states") {
      States(words);
    } else if (verb == "point") {
      DeclarePoint(words);
    } else if (verb == "event") {
      AddEvent(words);
    } else if (verb == "signal") {
      AddSignal(words);
    } else {
      Fail("unknown keyword \"" + verb +
           "\" (expected states, point, event or signal)");
    }
  }

  void States(const std::vector<std::string_view>& words) {
    if (words.size() < 3) Fail("expected: states SET STATE0 STATE1 ...");
    const std::string key = LowerCase(words[1]);
    if (set_index_.contains(key)) {
      Fail("state set \"" + std::string(words[1]) + "\" is defined twice");
    }
    StateSet set;
    set.name = std::string(words[1]);
    set.first_code = next_code_;
    for (std::size_t i = 2; i < words.size(); ++i) {
      set.states.emplace_back(words[i]);
    }
    if (set.states.size() > 1000000) Fail("too many states");
    next_code_ += static_cast<int32_t>(set.states.size());
    set_index_[key] = static_cast<int>(data_.state_sets.size());
    data_.state_sets.push_back(std::move(set));
  }

  void DeclarePoint(const std::vector<std::string_view>& words) {
    static const char* kUsage =
        "expected: point NAME NUMBER analog, or point NAME NUMBER digital SET";
    if (words.size() < 4) Fail(kUsage);
    Point point;
    point.name = std::string(words[1]);
    const auto number = Integer<int32_t>(words[2]);
    if (!number || *number <= 0) {
      Fail("point number \"" + std::string(words[2]) +
           "\" is not a whole number from 1 to 2147483647");
    }
    point.number = *number;
    if (words[3] == "analog" && words.size() == 4) {
      point.kind = PointKind::kAnalog;
    } else if (words[3] == "digital" && words.size() == 5) {
      point.kind = PointKind::kDigital;
      const auto set = set_index_.find(LowerCase(words[4]));
      if (set == set_index_.end()) {
        Fail("unknown state set \"" + std::string(words[4]) +
             "\" (define it with a states line first)");
      }
      point.state_set = set->second;
    } else {
      Fail(kUsage);
    }
    const std::string key = LowerCase(point.name);
    if (point_index_.contains(key)) {
      Fail("point \"" + point.name + "\" is declared twice");
    }
    if (!numbers_.insert(point.number).second) {
      Fail("point number " + std::to_string(point.number) + " is used twice");
    }
    point_index_[key] = data_.points.size();
    data_.points.push_back(std::move(point));
  }

  Point& KnownPoint(std::string_view name) {
    const auto found = point_index_.find(LowerCase(name));
    if (found == point_index_.end()) {
      Fail("unknown point \"" + std::string(name) +
           "\" (declare it with a point line first)");
    }
    return data_.points[found->second];
  }

  void AddEvent(const std::vector<std::string_view>& words) {
    if (words.size() != 4) Fail("expected: event NAME TIME VALUE");
    Point& point = KnownPoint(words[1]);
    if (point.signal) {
      Fail("point \"" + point.name + "\" has a signal and cannot have events");
    }
    RecordedEvent event;
    const auto time = ParseEventTime(words[2]);
    if (!time) {
      Fail("bad time \"" + std::string(words[2]) +
           "\" (expected e.g. 2026-12-06T06:00:00, today+06:00, "
           "yesterday+6h or now-15m)");
    }
    event.time = *time;
    if (point.kind == PointKind::kAnalog) {
      const auto value = Number(words[3]);
      if (!value) Fail("bad value \"" + std::string(words[3]) + "\"");
      event.value = *value;
    } else {
      event.value = StateIndex(point, words[3]);
    }
    point.events.push_back(event);
  }

  double StateIndex(const Point& point, std::string_view word) {
    const StateSet& set = data_.state_sets[point.state_set];
    const std::string key = LowerCase(word);
    for (std::size_t i = 0; i < set.states.size(); ++i) {
      if (LowerCase(set.states[i]) == key) return static_cast<double>(i);
    }
    const auto index = Integer<int>(word);
    if (index && *index >= 0 &&
        static_cast<std::size_t>(*index) < set.states.size()) {
      return *index;
    }
    Fail("\"" + std::string(word) + "\" is not a state of set \"" + set.name +
         "\"");
  }

  double Param(std::string_view word, const char* what) {
    const auto value = Number(word);
    if (!value)
      Fail(std::string("bad ") + what + " \"" + std::string(word) + "\"");
    return *value;
  }

  double Duration(std::string_view word, const char* what,
                  double most = 366.0 * kDay) {
    const auto value = ParseDuration(word);
    if (!value || *value < 1 || *value > most) {
      Fail(std::string("bad ") + what + " \"" + std::string(word) +
           "\" (expected a duration from 1s to " +
           (most == kDay ? "1d" : "366d") + ", e.g. 90s, 15m, 2h)");
    }
    return *value;
  }

  void AddSignal(const std::vector<std::string_view>& words) {
    static const char* kUsage =
        "expected: signal NAME ramp LOW HIGH PERIOD, signal NAME sine MEAN "
        "AMPLITUDE PERIOD, signal NAME walk CENTRE STEP SEED (each with an "
        "optional \"every SPACING\"), or signal NAME cycle PERIOD";
    if (words.size() < 3) Fail(kUsage);
    Point& point = KnownPoint(words[1]);
    if (point.signal) Fail("point \"" + point.name + "\" has a second signal");
    if (!point.events.empty()) {
      Fail("point \"" + point.name +
           "\" has recorded events and cannot have a signal");
    }
    std::vector<std::string_view> params(words.begin() + 3, words.end());
    Signal signal;
    const std::string_view kind = words[2];
    if (kind != "cycle" && params.size() >= 2 &&
        params[params.size() - 2] == "every") {
      signal.every = static_cast<Seconds>(
          std::llround(Duration(params.back(), "sample spacing", kDay)));
      params.resize(params.size() - 2);
    }
    const bool digital = point.kind == PointKind::kDigital;
    if (kind == "cycle") {
      if (!digital) Fail("a cycle signal needs a digital point");
      if (params.size() != 1) Fail(kUsage);
      signal.kind = SignalKind::kCycle;
      signal.period = static_cast<double>(
          std::llround(Duration(params[0], "period", kDay)));
      signal.every = static_cast<Seconds>(signal.period);
    } else if (kind == "ramp" || kind == "sine" || kind == "walk") {
      if (digital) {
        Fail("a " + std::string(kind) + " signal needs an analog point");
      }
      if (params.size() != 3) Fail(kUsage);
      if (kind == "ramp") {
        signal.kind = SignalKind::kRamp;
        signal.a = Param(params[0], "low value");
        signal.b = Param(params[1], "high value");
        signal.period = Duration(params[2], "period");
      } else if (kind == "sine") {
        signal.kind = SignalKind::kSine;
        signal.a = Param(params[0], "mean");
        signal.b = Param(params[1], "amplitude");
        signal.period = Duration(params[2], "period");
      } else {
        signal.kind = SignalKind::kWalk;
        signal.a = Param(params[0], "centre");
        signal.b = Param(params[1], "step");
        const auto seed = Integer<uint64_t>(params[2]);
        if (!seed) Fail("bad seed \"" + std::string(params[2]) + "\"");
        signal.seed = *seed;
      }
    } else {
      Fail(kUsage);
    }
    point.signal = signal;
  }

  Data data_;
  int line_ = 0;
  int32_t next_code_ = 1;
  std::unordered_map<std::string, int> set_index_;
  std::unordered_map<std::string, std::size_t> point_index_;
  std::unordered_set<int32_t> numbers_;
};

}  // namespace

Seconds EventTime::Resolve(Seconds now) const {
  switch (anchor) {
    case Anchor::kNow:
      return now + seconds;
    case Anchor::kToday:
      return LocalMidnight(now, days) + seconds;
    default:
      return seconds;
  }
}

double Signal::Value(Seconds time, std::size_t state_count) const {
  switch (kind) {
    case SignalKind::kRamp: {
      const double phase = std::fmod(static_cast<double>(time), period);
      const double share = (phase < 0 ? phase + period : phase) / period;
      return a + (b - a) * share;
    }
    case SignalKind::kSine:
      return a + b * std::sin(2 * std::numbers::pi *
                              std::fmod(static_cast<double>(time), period) /
                              period);
    case SignalKind::kWalk: {
      const int64_t n = FloorDiv(time, every);
      const Seconds at = n * every;
      const double v0 = WalkSample(*this, n);
      if (at == time) return v0;
      const double v1 = WalkSample(*this, n + 1);
      return v0 + (v1 - v0) * static_cast<double>(time - at) /
                      static_cast<double>(every);
    }
    case SignalKind::kCycle: {
      if (state_count == 0) return 0;
      const int64_t n = FloorDiv(time, static_cast<Seconds>(period));
      const auto count = static_cast<int64_t>(state_count);
      return static_cast<double>(((n % count) + count) % count);
    }
  }
  return 0;
}

std::optional<EventTime> ParseEventTime(std::string_view text) {
  EventTime time;
  std::size_t pos = 0;
  if (text.starts_with("now")) {
    time.anchor = EventTime::Anchor::kNow;
    pos = 3;
  } else if (text.starts_with("today")) {
    time.anchor = EventTime::Anchor::kToday;
    pos = 5;
  } else if (text.starts_with("yesterday")) {
    time.anchor = EventTime::Anchor::kToday;
    time.days = -1;
    pos = 9;
  } else {
    const auto fixed = FixedTime(text);
    if (!fixed) return std::nullopt;
    time.seconds = fixed->first;
    pos = fixed->second;
  }
  // Terms, each starting at a sign.
  while (pos < text.size()) {
    std::size_t end = pos + 1;
    while (end < text.size() && text[end] != '+' && text[end] != '-') ++end;
    if (!AddTerm(text.substr(pos, end - pos), time)) return std::nullopt;
    pos = end;
  }
  return time;
}

Data ParseData(std::string_view text) { return Parser().Parse(text); }

}  // namespace tavrolin::simulator
