// Helpers of the simulator's tests: environment variables and the time zone.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"

namespace tavrolin::simulator::testing {

// Sets (or, with nullptr, removes) an environment variable of this process.
void SetEnv(const char* name, const char* value);

// Sets the time zone of this process (as the TZ variable spells it).
void SetTimeZone(const char* zone);

// The simulator's libraries as built, in the build's output folder.
HistorianLibraryNames SimulatorLibraryNames();

// The folder of the example tag lists and data.
std::filesystem::path ExamplesFolder();

// One value that the example tag lists ask for: a point, the kind of
// reading ("SNAPSHOT" and "STATE" for the category list, the upper-cased
// kind word of the template lists) and the attributes of the kind node.
struct ExampleReading {
  std::string point;
  std::string kind;
  int code = 0;
  std::string start;  // time words
  std::string end;
  std::string at;
};
std::vector<ExampleReading> ExampleReadings();

}  // namespace tavrolin::simulator::testing
