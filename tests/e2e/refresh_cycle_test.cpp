// The running service's refresh cycle and manual run, seen from outside: the
// real program in a folder of its own, tag lists in its working folder, and
// the tests' stand-in historian found through LD_LIBRARY_PATH.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

using std::chrono::milliseconds;
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

constexpr char kCategoryListWithoutBreaker[] =
    "<tags><analog><tag><d>Feed</d><n>C1</n></tag></analog>"
    "<analog2/><digital/></tags>";

std::string TemplateList(const std::string& mode, const std::string& systems,
                         const std::string& suffix, int items = 1) {
  std::string list = "<root><system><sel><mode>" + mode + "</mode><list>" +
                     systems + "</list></sel></system><XXX>";
  for (int i = 0; i < items; ++i) {
    list += "<item><n>Flow</n><p>XXX." + suffix + std::to_string(i) +
            "</p><k>snapshot</k></item>";
  }
  return list + "</XXX></root>";
}

bool WaitUntil(const std::function<bool()>& condition, seconds timeout) {
  const auto deadline = steady_clock::now() + timeout;
  while (!condition()) {
    if (steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return true;
}

// The program copied into a folder of its own, where its reports land; the
// stand-in historian under the client library's names in a third folder.
class RefreshCycleEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(TavrolinPath(),
                               program_folder_.path() / "tavrolin");
    std::filesystem::copy_file(TestBinDirectory() / "libstub_piapi32.so",
                               library_folder_.path() / "libpiapi32.so");
    std::filesystem::copy_file(TestBinDirectory() / "libstub_pilog32.so",
                               library_folder_.path() / "libpilog32.so");
  }

  std::unique_ptr<ChildProcess> Start() {
    auto child = std::make_unique<ChildProcess>(
        ChildOptions{{(program_folder_.path() / "tavrolin").string(), "-debug"},
                     work_.path(),
                     {{"LD_LIBRARY_PATH", library_folder_.path().string()},
                      {"STUB_HISTORIAN_LOG", work_.File("calls.log")},
                      {"STUB_HISTORIAN_SCRIPT", script_},
                      {"NOTIFY_SOCKET", notify_.path()},
                      {"JOURNAL_STREAM", std::nullopt}}});
    EXPECT_TRUE(notify_.WaitFor("READY=1", kStartTimeout)) << child->Stderr();
    started_ = steady_clock::now();
    return child;
  }

  void Stop(ChildProcess& child) {
    child.Signal(SIGTERM);
    const auto status = child.Wait(kStartTimeout);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, Exited(0)) << Describe(*status);
  }

  std::filesystem::path Report(const std::string& name) const {
    return program_folder_.path() / name;
  }
  bool Exists(const std::string& name) const {
    return std::filesystem::exists(Report(name));
  }

  // The point names the historian was asked for, in call order.
  std::vector<std::string> LookedUp() const {
    std::istringstream log(ReadFileOrEmpty(work_.File("calls.log")));
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

  // Only the report files and nothing left over from writing them.
  std::vector<std::string> ProgramFolderContent() const {
    std::vector<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(program_folder_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  TempDir work_;
  TempDir program_folder_;
  TempDir library_folder_;
  NotifySocket notify_;
  std::string script_;  // empty: the stand-in's default answers
  steady_clock::time_point started_;
};

TEST_F(RefreshCycleEndToEndTest, ButtonSignalBuildsOnlyTheFirstTemplate) {
  work_.Write("tags.xml", kCategoryList);
  work_.Write("tags3.xml", TemplateList("custom", "U1,U2", "T3_"));
  work_.Write("tags2.xml", TemplateList("range", "1,2", "T2_"));
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
  Stop(*child);
  EXPECT_EQ(child->Stderr(), "");
}

// One 30-second wait checks the whole first tick: when it comes, what it
// writes, and in which order it asks for the points.
TEST_F(RefreshCycleEndToEndTest, FirstTickAfter30SecondsWritesAllThree) {
  work_.Write("tags.xml", kCategoryList);
  work_.Write("tags3.xml", TemplateList("custom", "U1", "T3_"));
  work_.Write("tags2.xml", TemplateList("range", "1,2", "T2_"));
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

TEST_F(RefreshCycleEndToEndTest, FailingCategoryReportDoesNotStopTheTick) {
  work_.Write("tags.xml", kCategoryListWithoutBreaker);
  work_.Write("tags3.xml", TemplateList("custom", "U1", "T3_"));
  work_.Write("tags2.xml", TemplateList("range", "1,1", "T2_"));
  const std::string previous = "<previous report/>\r\n";
  std::ofstream(Report("out.xml"), std::ios::binary) << previous;
  auto child = Start();

  ASSERT_TRUE(WaitUntil([&] { return Exists("out2.xml"); }, kFirstTickTimeout))
      << child->Stderr();
  Stop(*child);

  EXPECT_TRUE(Exists("out3.xml"));
  EXPECT_EQ(ReadFile(Report("out.xml")), previous);
  EXPECT_EQ(LookedUp(),
            (std::vector<std::string>{"C1", "U1.T3_0", "A01.T2_0"}));
  // Exactly one event-log line, naming what is missing.
  const std::string errors = child->Stderr();
  EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
  EXPECT_EQ(errors.rfind("[", 0), 0u) << errors;
  EXPECT_NE(errors.find("breaker"), std::string::npos) << errors;
}

// The stop signal arriving while a report is being built waits for the
// build: the report is complete, the process ends with status 0.
TEST_F(RefreshCycleEndToEndTest, StopDuringABuildLetsItFinish) {
  constexpr int kItems = 12;
  const TempDir script_folder;
  script_folder.Write("script", "delay_ms 150\nsnapshot 0 2.5 0\n");
  script_ = script_folder.File("script");
  work_.Write("tags3.xml", TemplateList("custom", "U1", "T3_", kItems));
  std::ofstream(Report("out3.xml"), std::ios::binary) << "<previous/>\r\n";
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
