#include "tests/support/stand_in_historian.h"

#include <sstream>

#include "tests/support/posix_compat.h"

namespace tavrolin::testing {

std::vector<std::string> LookedUp(const std::string& call_log) {
  std::istringstream log(call_log);
  std::vector<std::string> names;
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream words(line);
    std::string verb, name;
    words >> verb >> name;
    if (verb == "pipt_findpoint") names.push_back(name);
  }
  return names;
}

WorkingFolder::WorkingFolder(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(folder);
}

WorkingFolder::~WorkingFolder() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

StandInHistorian::StandInHistorian(const TempDir& folder) : folder_(folder) {
  unsetenv("STUB_HISTORIAN_SCRIPT");
  setenv("STUB_HISTORIAN_LOG", folder_.File("calls.log").c_str(), 1);
}

StandInHistorian::~StandInHistorian() {
  unsetenv("STUB_HISTORIAN_SCRIPT");
  unsetenv("STUB_HISTORIAN_LOG");
}

void StandInHistorian::Script(const std::string& text) const {
  folder_.Write("script.txt", text);
  setenv("STUB_HISTORIAN_SCRIPT", folder_.File("script.txt").c_str(), 1);
}

void StandInHistorian::StopLog() const { unsetenv("STUB_HISTORIAN_LOG"); }

std::string StandInHistorian::Calls() const {
  return ReadFileOrEmpty(folder_.File("calls.log"));
}

}  // namespace tavrolin::testing
