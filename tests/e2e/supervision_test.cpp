// The service as systemd supervises it: readiness only after the historian
// registration, the watchdog fed while the service makes progress and
// starved while a historian call hangs, signals that never end it by
// accident, and log lines of bounded length.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/service_under_test.h"

namespace tavrolin::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr seconds kTimeout{20};
const ServiceUnderTest::StartOptions kWatchdog2s{
    {{"WATCHDOG_USEC", "2000000"}}};

// The longest time without a notification in [from, from + period].
milliseconds LongestGap(const std::vector<steady_clock::time_point>& times,
                        steady_clock::time_point from, milliseconds period) {
  auto previous = from;
  milliseconds longest{0};
  for (const auto at : times) {
    longest = std::max(longest,
                       std::chrono::duration_cast<milliseconds>(at - previous));
    previous = at;
  }
  return std::max(longest, std::chrono::duration_cast<milliseconds>(
                               from + period - previous));
}

class SupervisionTest : public ::testing::Test {
 protected:
  ServiceUnderTest service_;
};

TEST_F(SupervisionTest, ReadyOnlyOnceTheHistorianRegistrationHasReturned) {
  service_.Script("register_delay_ms 1500\n");
  const auto started = steady_clock::now();
  ServiceUnderTest::StartOptions options;
  options.wait_until_ready = false;
  auto child = service_.Start(options);
  ASSERT_TRUE(service_.notify().WaitFor("READY=1", kTimeout));
  EXPECT_GE(steady_clock::now() - started, milliseconds(1400));
  // The stand-in logs the registration as it returns.
  EXPECT_NE(service_.Calls().find("pilg_registerapp piapi32.dll"),
            std::string::npos);
  ExpectStopsCleanly(*child, kTimeout);
  EXPECT_TRUE(service_.notify().WaitFor("STOPPING=1", milliseconds(100)));
}

TEST_F(SupervisionTest, WatchdogIsFedWhileIdleAndDuringALongReport) {
  constexpr int kItems = 40;  // 100 ms each: a build of 4 seconds
  service_.Script("delay_ms 100\n");
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "L", kItems));
  auto child = service_.Start(kWatchdog2s);

  const milliseconds period(3000);
  auto from = steady_clock::now();
  const auto idle = service_.notify().Collect("WATCHDOG=1", period);
  EXPECT_LE(LongestGap(idle, from, period), milliseconds(1000))
      << idle.size() << " keep-alives while idle";

  child->Signal(SIGUSR1);
  ASSERT_TRUE(WaitUntil(
      [&] { return Count(service_.Calls(), "pisn_getsnapshot") >= 2; },
      kTimeout));
  from = steady_clock::now();
  const auto building = service_.notify().Collect("WATCHDOG=1", period);
  EXPECT_EQ(child->Stdout(), "") << "the build ended before the check";
  EXPECT_LE(LongestGap(building, from, period), milliseconds(1000))
      << building.size() << " keep-alives during the build";
  ASSERT_TRUE(WaitUntil([&] { return child->Stdout() == "done\n"; }, kTimeout));
  ExpectStopsCleanly(*child, kTimeout);
}

TEST_F(SupervisionTest, WatchdogStarvesWhileAHistorianCallHangs) {
  service_.Script("hang_on U1.H0\n");
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "H"));
  auto child = service_.Start(kWatchdog2s);

  child->Signal(SIGUSR1);
  // What systemd does when the watchdog runs out: SIGABRT. The service
  // says why before it goes.
  ASSERT_NO_FATAL_FAILURE(service_.ExpectWatchdogStarvesThenAbort(
      *child, milliseconds(2500), kTimeout));
  const std::string errors = child->Stderr();
  EXPECT_EQ(Count(errors, "\n"), 1u) << errors;
  EXPECT_NE(errors.find("watchdog"), std::string::npos) << errors;
}

// The process number's /proc entry shows the program itself (not the test
// that forked it) and the service's signals blocked.
bool SignalsHeld(pid_t pid) {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink(
      "/proc/" + std::to_string(pid) + "/exe", error);
  if (error || exe.filename() != "tavrolin") return false;
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigBlk:", 0) == 0) {
      const unsigned long long blocked =
          std::stoull(line.substr(7), nullptr, 16);
      return (blocked & (1ull << (SIGUSR1 - 1))) != 0;
    }
  }
  return false;
}

TEST_F(SupervisionTest, EarlyPressReloadAndStopAreAnsweredNeverFatal) {
  service_.WriteTagList("tags.xml",
                        "<tags><analog/><analog2/><digital/><breaker/></tags>");
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "T3_"));
  service_.WriteTagList("tags2.xml", TemplateList("range", "1,2", "T2_"));
  ServiceUnderTest::StartOptions options;
  options.wait_until_ready = false;
  auto child = service_.Start(options);
  ASSERT_TRUE(WaitUntil([&] { return SignalsHeld(child->pid()); }, kTimeout));
  child->Signal(SIGUSR1);  // long before the service is ready
  ASSERT_TRUE(service_.notify().WaitFor("READY=1", kTimeout))
      << child->Stderr();
  ASSERT_TRUE(WaitUntil([&] { return child->Stdout() == "done\n"; }, kTimeout))
      << child->Stderr();

  child->Signal(SIGHUP);  // systemctl reload: all three reports at once
  ASSERT_TRUE(WaitUntil(
      [&] { return service_.Exists("out.xml") && service_.Exists("out2.xml"); },
      kTimeout))
      << child->Stderr();
  EXPECT_FALSE(child->Wait(milliseconds(200)));
  EXPECT_EQ(child->Stdout(), "done\n");
  ExpectStopsCleanly(*child, kTimeout);
  EXPECT_EQ(child->Stderr(), "");
}

TEST_F(SupervisionTest, ClosedStandardOutputLeavesItRunning) {
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "T3_"));
  ServiceUnderTest::StartOptions options;
  options.stdout_closed_pipe = true;
  auto child = service_.Start(options);
  for (int press = 1; press <= 2; ++press) {
    child->Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil(
        [&] {
          return Count(service_.Calls(), "pipt_findpoint") ==
                 static_cast<std::size_t>(press);
        },
        kTimeout));
    EXPECT_FALSE(child->Wait(milliseconds(300))) << "press " << press;
  }
  ExpectStopsCleanly(*child, kTimeout);
}

// A press or a reload that arrives while a report is being built is served
// once the build has finished; several presses may be served by one build.
TEST_F(SupervisionTest, PressesAndReloadDuringABuildAreServedAfterIt) {
  service_.Script("delay_ms 100\n");
  service_.WriteTagList("tags.xml",
                        "<tags><analog/><analog2/><digital/><breaker/></tags>");
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "B", 8));
  service_.WriteTagList("tags2.xml", TemplateList("custom", "U2", "B", 1));
  auto child = service_.Start();
  child->Signal(SIGUSR1);
  ASSERT_TRUE(WaitUntil(
      [&] { return Count(service_.Calls(), "pisn_getsnapshot") >= 1; },
      kTimeout));
  child->Signal(SIGUSR1);
  child->Signal(SIGUSR1);
  child->Signal(SIGHUP);
  ASSERT_TRUE(WaitUntil([&] { return service_.Exists("out2.xml"); }, kTimeout))
      << child->Stderr();
  ASSERT_TRUE(WaitUntil([&] { return Count(child->Stdout(), "done\n") >= 2; },
                        kTimeout));
  // The first build, the presses served after it (one or two builds), and
  // the reload's two template reports.
  const std::size_t builds = Count(service_.Calls(), "pipt_findpoint U1.B0");
  EXPECT_GE(builds, 3u);
  EXPECT_LE(builds, 4u);
  ExpectStopsCleanly(*child, kTimeout);
  EXPECT_EQ(child->Stderr(), "");
}

// Fails the template report and returns the one log line it wrote.
class BoundedFailureTest : public SupervisionTest {
 protected:
  std::string FailingBuildLogLine(const std::string& tag_list) {
    service_.WriteTagList("tags3.xml", tag_list);
    service_.WriteReport("out3.xml", "<previous/>\r\n");
    auto child = service_.Start();
    child->Signal(SIGUSR1);
    EXPECT_TRUE(
        WaitUntil([&] { return child->Stdout() == "done\n"; }, kTimeout));
    ExpectStopsCleanly(*child, kTimeout);
    EXPECT_EQ(ReadFile(service_.Report("out3.xml")), "<previous/>\r\n");
    EXPECT_TRUE(service_.Leftovers().empty());
    return child->Stderr();
  }
};

TEST_F(BoundedFailureTest, AMegabyteBadValueGivesALineUnder4KiB) {
  const std::string bad(1000000, '7');
  const std::string line =
      FailingBuildLogLine(TemplateList("range", "1," + bad + "x", "R"));
  EXPECT_EQ(Count(line, "\n"), 1u);
  EXPECT_LT(line.size(), 4096u);
  EXPECT_NE(line.find("(1,000,001 characters)"), std::string::npos) << line;
  EXPECT_NE(line.find("tags3.xml"), std::string::npos) << line;
}

TEST_F(BoundedFailureTest, PointNamesExpandingBeyondTheBoundFailNamingTheFile) {
  // 300 kB of placeholders, each expanding to a 3,000-character system
  // name: 300 MB for one point name.
  std::string pattern;
  for (int i = 0; i < 100000; ++i) pattern += "XXX";
  const std::string list = "<root><system><sel><mode>custom</mode><list>" +
                           std::string(3000, 'S') +
                           "</list></sel></system><XXX><item><n>F</n><p>" +
                           pattern + "</p><k>snapshot</k></item></XXX></root>";
  const std::string line = FailingBuildLogLine(list);
  EXPECT_EQ(line.rfind("[7] ", 0), 0u) << line.substr(0, 400);
  EXPECT_NE(line.find("tags3.xml"), std::string::npos) << line.substr(0, 400);
  EXPECT_LT(line.size(), 4096u);
}

}  // namespace
}  // namespace tavrolin::testing
