#include "simulator/local_time.h"

namespace tavrolin::simulator {

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  // The outcome is not checked: the times are the simulated clock's and the
  // days around it, which always convert.
  (void)localtime_s(&local, &time);
  return local;
}

}  // namespace tavrolin::simulator
