// Start-up: what each argument text makes the host window ask of the service
// control, what it shows, and how the program ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "host/frm_main.h"
#include "tests/support/fake_platform.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

using Calls = std::vector<std::string>;

// Each test gets its own call log of the stand-in login library, to see
// whether start-up registered with the historian.
class StartUpTest : public ::testing::Test {
 protected:
  std::string HistorianCalls() const { return historian_.Calls(); }

  // Runs Form_Load; the status the program ended with, or nothing when it
  // went on running.
  std::optional<int> Load(FakePlatform& platform) {
    frmMain form(platform);
    try {
      form.Form_Load();
    } catch (const ProcessEnded& ended) {
      return ended.status;
    }
    return std::nullopt;
  }

  TempDir folder_;
  StandInHistorian historian_{folder_};
};

struct ArgumentCase {
  std::string argument_text;
  std::string name = "Corvane Service";
  bool install_result = true;
  bool uninstall_result = true;
  Calls calls;
  std::vector<std::string> messages;
  std::optional<int> status;  // nothing: the program goes on
};

void PrintTo(const ArgumentCase& c, std::ostream* out) {
  *out << '"' << c.argument_text << "\" (name \"" << c.name << "\")";
}

class FormLoadTest : public StartUpTest,
                     public ::testing::WithParamInterface<ArgumentCase> {};

TEST_P(FormLoadTest, CallsShowsAndEndsAsTheArgumentTextSays) {
  const ArgumentCase& c = GetParam();
  FakePlatform platform;
  platform.process_.argument_text = c.argument_text;
  platform.service.name = c.name;
  platform.service.install_result = c.install_result;
  platform.service.uninstall_result = c.uninstall_result;

  EXPECT_EQ(Load(platform), c.status);
  EXPECT_EQ(platform.service.calls, c.calls);
  EXPECT_EQ(platform.window_.messages, c.messages);
  EXPECT_TRUE(platform.service.log.empty());
  // Only a start-up that goes on registers with the historian, once.
  EXPECT_EQ(HistorianCalls(), c.status ? "" : "pilg_registerapp piapi32.dll\n");
}

const Calls kInvalid = {"Name"};
const std::vector<std::string> kInvalidMessage = {"Invalid command option"};

INSTANTIATE_TEST_SUITE_P(
    ArgumentTexts, FormLoadTest,
    ::testing::Values(
        ArgumentCase{.argument_text = "-bogus",
                     .calls = kInvalid,
                     .messages = kInvalidMessage,
                     .status = kExitInvalidOption},
        ArgumentCase{.argument_text = "-INSTALL",
                     .calls = kInvalid,
                     .messages = kInvalidMessage,
                     .status = kExitInvalidOption},
        ArgumentCase{.argument_text = "-install ",
                     .calls = kInvalid,
                     .messages = kInvalidMessage,
                     .status = kExitInvalidOption},
        ArgumentCase{.argument_text = "-install -debug",
                     .calls = kInvalid,
                     .messages = kInvalidMessage,
                     .status = kExitInvalidOption},
        ArgumentCase{.argument_text = " ",
                     .calls = kInvalid,
                     .messages = kInvalidMessage,
                     .status = kExitInvalidOption},
        ArgumentCase{.argument_text = "",
                     .calls = {"Name", "Start"},
                     .messages = {},
                     .status = std::nullopt},
        ArgumentCase{.argument_text = "-debug",
                     .calls = {"Name", "SetDebug(1)", "Start"},
                     .messages = {},
                     .status = std::nullopt},
        ArgumentCase{.argument_text = "-install",
                     .calls = {"Name", "Install"},
                     .messages = {"Corvane Service installed successfully"},
                     .status = kExitSuccess},
        ArgumentCase{.argument_text = "-install",
                     .install_result = false,
                     .calls = {"Name", "Install", "ExplainFailure"},
                     .messages = {"Corvane Service failed to install"},
                     .status = kExitFailure},
        ArgumentCase{.argument_text = "-install",
                     .name = "",
                     .calls = {"Name", "Install"},
                     .messages = {" installed successfully"},
                     .status = kExitSuccess},
        ArgumentCase{.argument_text = "-uninstall",
                     .calls = {"Name", "Uninstall"},
                     .messages = {"Corvane Service uninstalled successfully"},
                     .status = kExitSuccess},
        ArgumentCase{.argument_text = "-uninstall",
                     .uninstall_result = false,
                     .calls = {"Name", "Uninstall", "ExplainFailure"},
                     .messages = {"Corvane Service failed to uninstall"},
                     .status = kExitFailure},
        ArgumentCase{.argument_text = "-uninstall",
                     .name = "",
                     .uninstall_result = false,
                     .calls = {"Name", "Uninstall", "ExplainFailure"},
                     .messages = {" failed to uninstall"},
                     .status = kExitFailure}));

// The login library cannot be loaded: the start call has been made, the
// failure is one event-log entry, nothing is shown, and the program ends.
TEST_F(StartUpTest, MissingLoginLibraryIsReportedOnceAndEnds) {
  for (const std::string argument_text : {"", "-debug"}) {
    SCOPED_TRACE('"' + argument_text + '"');
    FakePlatform platform;
    platform.process_.argument_text = argument_text;
    platform.library_names.login = "libno_such_pilog32.so";

    EXPECT_EQ(Load(platform), kExitFailure);
    ASSERT_EQ(platform.service.log.size(), 1u);
    EXPECT_EQ(platform.service.log[0].message,
              "[53] File not found: libno_such_pilog32.so");
    EXPECT_EQ(platform.service.calls.back(), "LogEvent");
    EXPECT_NE(std::find(platform.service.calls.begin(),
                        platform.service.calls.end(), "Start"),
              platform.service.calls.end());
    EXPECT_TRUE(platform.window_.messages.empty());
  }
}

// When the event log cannot be written either, start-up still ends, and the
// report is tried exactly once.
TEST_F(StartUpTest, FailingEventLogDoesNotStopTheEnd) {
  FakePlatform platform;
  platform.library_names.login = "libno_such_pilog32.so";
  platform.service.log_throws = true;

  EXPECT_EQ(Load(platform), kExitFailure);
  EXPECT_EQ(std::count(platform.service.calls.begin(),
                       platform.service.calls.end(), "LogEvent"),
            1);
  EXPECT_TRUE(platform.window_.messages.empty());
}

// Loading the window runs start-up and then the loop; the stop event is the
// normal end, with status 0.
TEST_F(StartUpTest, ShowRunsTheLoopAndEndsWithZero) {
  FakePlatform platform;
  frmMain form(platform);
  EXPECT_EQ(form.Show(), kExitSuccess);
  EXPECT_TRUE(platform.window_.loop_ran);
  EXPECT_FALSE(form.Busy);
}

TEST_F(StartUpTest, ShowEndsBeforeTheLoopOnAnInvalidOption) {
  FakePlatform platform;
  platform.process_.argument_text = "-bogus";
  frmMain form(platform);
  try {
    form.Show();
    FAIL() << "the program did not end";
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, kExitInvalidOption);
  }
  EXPECT_FALSE(platform.window_.loop_ran);
}

}  // namespace
}  // namespace tavrolin::testing
