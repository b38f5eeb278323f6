// The simulator's client library: the historian functions that the service
// calls, answered from the simulator's data file. Each call takes the data
// as the file holds them at that moment (see DataSource) under one lock, and
// never lets an exception out.
#include <cstring>
#include <iostream>
#include <limits>
#include <mutex>
#include <string_view>

#include "simulator/core/archive.h"
#include "simulator/core/data_source.h"
#include "simulator/core/sim_time.h"
#include "simulator/export.h"
#include "simulator/library_folder.h"
#include "simulator/locale_months.h"

namespace {

using tavrolin::simulator::DataSource;
using tavrolin::simulator::Seconds;
using tavrolin::simulator::SimulatedHistorian;
namespace status = tavrolin::simulator;

std::mutex& Mutex() {
  static std::mutex mutex;
  return mutex;
}

// The historian as the data file now defines it. Call with the lock held.
const SimulatedHistorian& Historian() {
  static DataSource source(
      [] {
        return tavrolin::simulator::LibraryFolder() /
               tavrolin::simulator::kDefaultDataFile;
      },
      std::cerr);
  return source.Current();
}

// Runs `body` under the lock; an escaping exception becomes a failure.
template <typename Body>
int32_t Guarded(Body body) {
  try {
    std::lock_guard lock(Mutex());
    return body();
  } catch (...) {
    return status::kInternalFailure;
  }
}

// Runs `read` under Guarded on the archive of the point numbered
// `point_number` over [from, to] as it stands now, once the point is known
// and `code` lies in [lowest, highest].
template <typename Read>
int32_t ReadArchive(int32_t point_number, int32_t code, int32_t lowest,
                    int32_t highest, Seconds from, Seconds to, Read read) {
  return Guarded([&] {
    const auto& historian = Historian();
    const auto* point = historian.PointByNumber(point_number);
    if (point == nullptr) return status::kUnknownPoint;
    if (code < lowest || code > highest) return status::kBadCode;
    return read(
        historian.SeriesFor(*point, from, to, tavrolin::simulator::Now()));
  });
}

bool Fits(Seconds time) { return tavrolin::simulator::FitsHistorianTime(time); }

// Tells, on standard error, of the first time text that cannot be read; the
// later ones go unreported, since a caller that hands over texts the
// simulator does not read usually does so on every call. Call with the lock
// held.
void ReportUnreadableTime(std::string_view text, bool out_of_range) {
  static bool reported = false;
  if (reported) return;
  reported = true;
  std::cerr << tavrolin::simulator::kMessagePrefix
            << (out_of_range ? "the time text \""
                             : "cannot read the time text \"")
            << text
            << (out_of_range ? "\" lies outside the historian's time range"
                             : "\"")
            << "; pitm_parsetime returns -2 (later time texts that cannot "
               "be read are not reported)"
            << std::endl;
}

}  // namespace

// The entry points keep the client library's signatures, pointers to
// non-const data where it declares them so, though these only read them.
// NOLINTNEXTLINE(readability-non-const-parameter)
SIMULATOR_EXPORT int32_t PIAPI_CALL pipt_findpoint(char* tag_name,
                                                   int32_t* point_number) {
  if (tag_name == nullptr || point_number == nullptr) {
    return status::kBadArgument;
  }
  return Guarded([&] {
    const auto* point = Historian().FindPoint(tag_name);
    if (point == nullptr) return status::kUnknownPoint;
    *point_number = point->number;
    return status::kOk;
  });
}

SIMULATOR_EXPORT int32_t PIAPI_CALL pisn_getsnapshot(int32_t point_number,
                                                     float* value,
                                                     int32_t* state,
                                                     int32_t* time) {
  if (value == nullptr || state == nullptr || time == nullptr) {
    return status::kBadArgument;
  }
  return Guarded([&] {
    const auto& historian = Historian();
    const auto* point = historian.PointByNumber(point_number);
    if (point == nullptr) return status::kUnknownPoint;
    const auto event = historian.Snapshot(*point, tavrolin::simulator::Now());
    if (!event || !Fits(event->time)) return status::kNoData;
    *value = static_cast<float>(event->value);
    *state = event->status;
    *time = static_cast<int32_t>(event->time);
    return status::kOk;
  });
}

SIMULATOR_EXPORT int32_t PIAPI_CALL pipt_digstate(int32_t state_code,
                                                  char* state, int32_t length) {
  if (state == nullptr || length < 1) return status::kBadArgument;
  return Guarded([&] {
    const auto* name = Historian().StateName(state_code);
    if (name == nullptr) return status::kUnknownState;
    const auto count = std::min<std::size_t>(
        name->size(), static_cast<std::size_t>(length) - 1);
    std::memcpy(state, name->data(), count);
    state[count] = '\0';
    return status::kOk;
  });
}

SIMULATOR_EXPORT int32_t PIAPI_CALL pitm_systime() {
  const Seconds now = tavrolin::simulator::Now();
  if (now > std::numeric_limits<int32_t>::max()) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(now);
}

SIMULATOR_EXPORT int32_t PIAPI_CALL pitm_parsetime(const char* time_text,
                                                   int32_t base_time,
                                                   int32_t* time) {
  if (time_text == nullptr || time == nullptr) return status::kBadArgument;
  return Guarded([&] {
    const auto months = tavrolin::simulator::CurrentMonthSpellings();
    const auto parsed =
        tavrolin::simulator::ParseTimeText(time_text, base_time, *months);
    if (!parsed || !Fits(*parsed)) {
      ReportUnreadableTime(time_text, parsed.has_value());
      return status::kBadTime;
    }
    *time = static_cast<int32_t>(*parsed);
    return status::kOk;
  });
}

SIMULATOR_EXPORT int32_t PIAPI_CALL
// NOLINTNEXTLINE(readability-non-const-parameter)
piar_summary(int32_t point_number, int32_t* start_time, int32_t* end_time,
             float* value, float* percent_good, int32_t code) {
  if (start_time == nullptr || end_time == nullptr || value == nullptr ||
      percent_good == nullptr) {
    return status::kBadArgument;
  }
  const Seconds start = *start_time;
  const Seconds end = *end_time;
  return ReadArchive(point_number, code, tavrolin::simulator::kTotal,
                     tavrolin::simulator::kEventAverage, start, end,
                     [&](const tavrolin::simulator::Series& series) {
                       const auto result = tavrolin::simulator::Summarise(
                           series, start, end, code);
                       if (!result) return status::kNoData;
                       *value = static_cast<float>(result->value);
                       *percent_good = static_cast<float>(result->percent_good);
                       return status::kOk;
                     });
}

SIMULATOR_EXPORT int32_t PIAPI_CALL piar_value(int32_t point_number,
                                               int32_t* time, int32_t mode,
                                               float* value, int32_t* state) {
  if (time == nullptr || value == nullptr || state == nullptr) {
    return status::kBadArgument;
  }
  const Seconds at = *time;
  return ReadArchive(point_number, mode, tavrolin::simulator::kAtOrBefore,
                     tavrolin::simulator::kInterpolated, at, at,
                     [&](const tavrolin::simulator::Series& series) {
                       const auto event =
                           tavrolin::simulator::ArchiveValue(series, at, mode);
                       if (!event || !Fits(event->time)) return status::kNoData;
                       *value = static_cast<float>(event->value);
                       *state = event->status;
                       *time = static_cast<int32_t>(event->time);
                       return status::kOk;
                     });
}

// Tells the program that the client library it loaded is this simulator
// rather than the historian's own; the text is the simulator's version.
SIMULATOR_EXPORT const char* PIAPI_CALL tavrolin_simulator_version() {
  return "Tavrolin historian simulator 2.0";
}
