// The running service's refresh cycle and manual run, seen from outside: the
// real program in a folder of its own, tag lists in its working folder, and
// the tests' stand-in historian found through LD_LIBRARY_PATH.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/service_under_test.h"
#include "tests/support/stand_in_historian.h"

namespace tavrolin::testing {
namespace {

using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr seconds kStartTimeout{20};
// The first tick comes 30 s after start; allow for a slow sanitizer build.
constexpr seconds kFirstTickTimeout{60};

constexpr char kCategoryList[] =
    "<tags>\n"
    "  <analog><tag><d>Feed</d><n>C1</n></tag></analog>\n"
    "  <analog2><tag><d>Return</d><n>C2</n></tag></analog2>\n"
    "  <digital><tag><d>Pump</d><n>C3</n></tag></digital>\n"
    "  <breaker><tag><d>Main</d><n>C4</n></tag></breaker>\n"
    "</tags>\n";

// The program copied into a folder of its own, where its reports land; the
// stand-in historian under the client library's names in a third folder.
class RefreshCycleEndToEndTest : public ::testing::Test {
 protected:
  std::unique_ptr<ChildProcess> Start() {
    ServiceUnderTest::StartOptions options;
    options.wait_until_ready = false;
    auto child = service_.Start(options);
    EXPECT_TRUE(service_.notify().WaitFor("READY=1", kStartTimeout))
        << child->Stderr();
    started_ = steady_clock::now();
    return child;
  }

  void Stop(ChildProcess& child) { ExpectStopsCleanly(child, kStartTimeout); }

  std::filesystem::path Report(const std::string& name) const {
    return service_.Report(name);
  }
  bool Exists(const std::string& name) const { return service_.Exists(name); }

  // The point names the historian was asked for, in call order.
  std::vector<std::string> LookedUp() const {
    return testing::LookedUp(service_.Calls());
  }

  // Only the report files and nothing left over from writing them.
  std::vector<std::string> ProgramFolderContent() const {
    return service_.ProgramFolderContent();
  }

  ServiceUnderTest service_;  // without a script: the stand-in's defaults
  steady_clock::time_point started_;
};

TEST_F(RefreshCycleEndToEndTest,
       ButtonSignalBuildsOnlyTheFirstTemplateAndAFifoFailsAtOnce) {
  service_.WriteTagList("tags.xml", kCategoryList);
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1,U2", "T3_"));
  service_.WriteTagList("tags2.xml", TemplateList("range", "1,2", "T2_"));
  auto child = Start();

  child->Signal(SIGUSR1);
  ASSERT_TRUE(
      WaitUntil([&] { return child->Stdout() == "done\n"; }, kStartTimeout))
      << child->Stdout() << child->Stderr();

  EXPECT_EQ(LookedUp(), (std::vector<std::string>{"U1.T3_0", "U2.T3_0"}));
  EXPECT_EQ(ProgramFolderContent(),
            (std::vector<std::string>{"out3.xml", "tavrolin"}));
  const std::string report = ReadFile(Report("out3.xml"));
  EXPECT_NE(report.find("<Pointid>U2.T3_0</Pointid><Value> 1.5</Value>"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
  EXPECT_EQ(child->Stderr(), "");

  // A FIFO in the tag list's place, with no writer: the run fails at once
  // naming it, the report stays, and the service still answers the stop.
  std::filesystem::remove(service_.TagList("tags3.xml"));
  ASSERT_EQ(::mkfifo(service_.TagList("tags3.xml").c_str(), 0600), 0);
  const auto pressed = steady_clock::now();
  child->Signal(SIGUSR1);
  ASSERT_TRUE(WaitUntil([&] { return child->Stdout() == "done\ndone\n"; },
                        kStartTimeout))
      << child->Stdout() << child->Stderr();
  EXPECT_LT(steady_clock::now() - pressed, seconds(1));
  EXPECT_EQ(child->Stderr(), "[91] A FIFO, not a file: " +
                                 service_.TagList("tags3.xml").string() + "\n");
  EXPECT_EQ(ReadFile(Report("out3.xml")), report);
  Stop(*child);
}

// Under systemd with StateDirectory=, the reports go to the state folder and
// nothing is written beside the program.
TEST_F(RefreshCycleEndToEndTest, ReportsGoToTheStateFolderSystemdNames) {
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "T3_"));
  TempDir state;
  ServiceUnderTest::StartOptions options;
  options.environment["STATE_DIRECTORY"] = state.path().string() + ":/nowhere";
  auto child = service_.Start(options);

  child->Signal(SIGUSR1);
  ASSERT_TRUE(
      WaitUntil([&] { return child->Stdout() == "done\n"; }, kStartTimeout))
      << child->Stdout() << child->Stderr();
  Stop(*child);
  EXPECT_EQ(child->Stderr(), "");
  EXPECT_NE(ReadFile(state.File("out3.xml")).find("<Pointid>U1.T3_0</Pointid>"),
            std::string::npos);
  EXPECT_EQ(ProgramFolderContent(), (std::vector<std::string>{"tavrolin"}));
}

// One 30-second wait checks the whole first tick: when it comes, what it
// writes, and in which order it asks for the points.
TEST_F(RefreshCycleEndToEndTest, FirstTickAfter30SecondsWritesAllThree) {
  service_.WriteTagList("tags.xml", kCategoryList);
  service_.WriteTagList("tags3.xml", TemplateList("custom", "U1", "T3_"));
  service_.WriteTagList("tags2.xml", TemplateList("range", "1,2", "T2_"));
  auto child = Start();

  ASSERT_TRUE(WaitUntil([&] { return Exists("out2.xml"); }, kFirstTickTimeout))
      << child->Stderr();
  const auto elapsed = steady_clock::now() - started_;
  EXPECT_GE(elapsed, seconds(29));

  EXPECT_EQ(LookedUp(),
            (std::vector<std::string>{"C1", "C2", "C3", "C4", "U1.T3_0",
                                      "A01.T2_0", "A02.T2_0"}));
  EXPECT_EQ(ProgramFolderContent(),
            (std::vector<std::string>{"out.xml", "out2.xml", "out3.xml",
                                      "tavrolin"}));
  EXPECT_EQ(ReadFile(Report("out.xml")),
            "<tags><analog><tag><d>Feed</d><n>C1</n><Value> 1.5</Value></tag>"
            "</analog><analog2><tag><d>Return</d><n>C2</n><Value> 1.5</Value>"
            "</tag></analog2><digital><tag><d>Pump</d><n>C3</n><Value>ON"
            "</Value></tag></digital><breaker><tag><d>Main</d><n>C4</n>"
            "<Value>ON</Value></tag></breaker></tags>\r\n");
  Stop(*child);
  EXPECT_EQ(child->Stderr(), "");
  EXPECT_EQ(child->Stdout(), "");
}

// The stop signal arriving while a report is being built waits for the
// build: the report is complete, the process ends with status 0.
TEST_F(RefreshCycleEndToEndTest, StopDuringABuildLetsItFinish) {
  constexpr int kItems = 12;
  service_.Script("delay_ms 150\nsnapshot 0 2.5 0\n");
  service_.WriteTagList("tags3.xml",
                        TemplateList("custom", "U1", "T3_", kItems));
  service_.WriteReport("out3.xml", "<previous/>\r\n");
  auto child = Start();

  child->Signal(SIGUSR1);
  ASSERT_TRUE(WaitUntil([&] { return LookedUp().size() >= 2; }, kStartTimeout));
  child->Signal(SIGTERM);
  const auto status = child->Wait(seconds(30));
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, Exited(0)) << Describe(*status);

  EXPECT_EQ(LookedUp().size(), static_cast<std::size_t>(kItems));
  EXPECT_EQ(child->Stdout(), "done\n");
  const std::string report = ReadFile(Report("out3.xml"));
  std::size_t values = 0;
  for (auto at = report.find("<Value> 2.5</Value>"); at != std::string::npos;
       at = report.find("<Value> 2.5</Value>", at + 1)) {
    ++values;
  }
  EXPECT_EQ(values, static_cast<std::size_t>(kItems)) << report;
  EXPECT_EQ(ProgramFolderContent(),
            (std::vector<std::string>{"out3.xml", "tavrolin"}));
}

}  // namespace
}  // namespace tavrolin::testing
