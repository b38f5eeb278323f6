// The local time of the system's time zone settings, as the simulator's
// time texts read and write it. One implementation for each system
// (simulator/posix, simulator/windows).
#pragma once

#include <ctime>

namespace tavrolin::simulator {

// `time` broken down into the local date and time; safe to call from any
// thread, unlike std::localtime.
std::tm LocalTime(std::time_t time);

}  // namespace tavrolin::simulator
