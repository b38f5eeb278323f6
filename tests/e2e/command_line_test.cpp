// The program's command line, its run until the service manager stops it,
// and a start-up failure, as seen from outside the process.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

using std::chrono::seconds;

// Generous: the sanitizer build starts slowly on a busy machine.
constexpr seconds kTimeout{20};

std::vector<std::string> Command(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), TavrolinPath().string());
  return arguments;
}

// Which argument texts are invalid is the start-up tests' part; here the
// real program's answer to one.
TEST(InvalidOptionTest, PrintsInvalidCommandOptionAndExits2) {
  TempDir work;
  const ChildResult result =
      RunChild({Command({"-install", "-debug"}), work.path(), {}}, kTimeout);
  ASSERT_TRUE(result.status);
  EXPECT_EQ(*result.status, Exited(2)) << Describe(*result.status);
  EXPECT_EQ(result.out, "Invalid command option\n");
  EXPECT_EQ(result.err, "");
}

struct StopCase {
  std::vector<std::string> arguments;
  int signal;
};

void PrintTo(const StopCase& stop_case, std::ostream* out) {
  *out << (stop_case.arguments.empty() ? "no option" : "-debug") << ", "
       << sigabbrev_np(stop_case.signal);
}

class RunUntilStoppedTest : public ::testing::TestWithParam<StopCase> {};

// The service tells systemd it is ready, stays quiet while it runs, and on
// the stop signal says it is stopping and ends with status 0.
TEST_P(RunUntilStoppedTest, RunsQuietlyAndExits0OnTheStopSignal) {
  TempDir work;
  NotifySocket notify;
  ChildProcess child(
      {Command(GetParam().arguments),
       work.path(),
       {{"NOTIFY_SOCKET", notify.path()}, {"JOURNAL_STREAM", std::nullopt}}});
  ASSERT_TRUE(notify.WaitFor("READY=1", kTimeout)) << child.Stderr();
  EXPECT_FALSE(child.Wait(std::chrono::milliseconds(100)));

  child.Signal(GetParam().signal);
  const auto status = child.Wait(kTimeout);
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, Exited(0)) << Describe(*status);
  EXPECT_TRUE(notify.WaitFor("STOPPING=1", seconds(1)));
  EXPECT_EQ(child.Stdout(), "");
  EXPECT_EQ(child.Stderr(), "");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, RunUntilStoppedTest,
    ::testing::Values(StopCase{{"-debug"}, SIGTERM}, StopCase{{}, SIGTERM},
                      StopCase{{"-debug"}, SIGINT}),
    [](const ::testing::TestParamInfo<StopCase>& test) {
      return std::string(test.param.arguments.empty() ? "NoOption" : "Debug") +
             "_SIG" + sigabbrev_np(test.param.signal);
    });

// Copied alone into a folder of its own, the program finds no login library:
// the start-up failure is one event-log line and status 1, no message.
TEST(StartUpFailureTest, MissingLoginLibraryIsReportedAndExits1) {
  TempDir alone;
  const auto copy = alone.path() / "tavrolin";
  std::filesystem::copy_file(TavrolinPath(), copy);
  const ChildResult result = RunChild(
      {{copy.string(), "-debug"},
       alone.path(),
       {{"LD_LIBRARY_PATH", std::nullopt}, {"JOURNAL_STREAM", std::nullopt}}},
      kTimeout);
  ASSERT_TRUE(result.status);
  EXPECT_EQ(*result.status, Exited(1)) << Describe(*result.status);
  EXPECT_EQ(result.err, "[53] File not found: libpilog32.so\n");
  EXPECT_EQ(result.out, "");
}

}  // namespace
}  // namespace tavrolin::testing
