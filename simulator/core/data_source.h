// Where the simulator's data come from: the file named by the environment
// variable TAVROLIN_SIMULATOR_DATA, or else a default file (the library's
// "simulator.dat"). The file is read at the first use and again whenever its
// path, size or time of last change differ from the last reading. A file
// that cannot be read or holds a fault leaves a historian that knows no
// points, and one message naming the file (and the line) on the message
// stream.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>

#include "simulator/core/simulated_historian.h"

namespace tavrolin::simulator {

inline constexpr const char* kDataVariable = "TAVROLIN_SIMULATOR_DATA";
inline constexpr const char* kDefaultDataFile = "simulator.dat";
inline constexpr const char* kMessagePrefix = "tavrolin simulator: ";

class DataSource {
 public:
  // `default_path` is asked for the default file when the variable is unset
  // or empty.
  DataSource(std::function<std::filesystem::path()> default_path,
             std::ostream& messages);

  // The historian for the file as it is now.
  const SimulatedHistorian& Current();

  // The data file now in force.
  std::filesystem::path Path() const;

 private:
  void Load(const std::filesystem::path& path);

  std::function<std::filesystem::path()> default_path_;
  std::ostream& messages_;
  bool loaded_ = false;
  std::string key_;
  SimulatedHistorian historian_;
};

}  // namespace tavrolin::simulator
