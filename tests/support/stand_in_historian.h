// The tests' stand-in historian libraries as one test drives them: their
// call log and script live in the test's folder and are named to them
// through the environment, and the test runs in that folder.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace tavrolin::testing {

// The point names looked up (pipt_findpoint) in a stand-in's call log, in
// call order.
std::vector<std::string> LookedUp(const std::string& call_log);

// Makes `folder` the working folder while it lives; the previous one after.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::filesystem::path& folder);
  ~WorkingFolder();
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// Points the stand-in's call log at "calls.log" in `folder` and runs it
// without a script (every point found, default answers) until Script() is
// called; both settings are removed at the end.
class StandInHistorian {
 public:
  explicit StandInHistorian(const TempDir& folder);
  ~StandInHistorian();
  StandInHistorian(const StandInHistorian&) = delete;
  StandInHistorian& operator=(const StandInHistorian&) = delete;

  // Writes `text` as the stand-in's script, "script.txt" in the folder.
  void Script(const std::string& text) const;
  // No call log from here on, which keeps runs of many calls fast.
  void StopLog() const;
  // The call log, one call a line; empty when nothing was called.
  std::string Calls() const;
  std::vector<std::string> LookedUp() const {
    return testing::LookedUp(Calls());
  }

 private:
  const TempDir& folder_;
};

// A test that runs in a folder of its own: its working folder, which also
// holds the stand-in historian's call log and script.
class StandInFolderTest : public ::testing::Test {
 protected:
  TempDir folder_;
  WorkingFolder working_folder_{folder_.path()};
  StandInHistorian historian_{folder_};
};

}  // namespace tavrolin::testing
