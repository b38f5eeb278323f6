#include "simulator/local_time.h"

namespace tavrolin::simulator {

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_s(&local, &time);
  return local;
}

}  // namespace tavrolin::simulator
