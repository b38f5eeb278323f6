#include "simulator/local_time.h"

namespace tavrolin::simulator {

std::tm LocalTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

}  // namespace tavrolin::simulator
