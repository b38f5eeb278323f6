// The refresh cycle and the manual run, driven directly on the host window
// with a fake platform and the tests' stand-in historian.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/frm_main.h"
#include "tests/support/fake_platform.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using testing::FakePlatform;

constexpr char kCategoryList[] =
    "<tags><analog><tag><d>a</d><n>A1</n></tag></analog><analog2/>"
    "<digital><tag><d>d</d><n>D1</n></tag></digital><breaker/></tags>";

std::string TemplateList(const std::string& suffix) {
  return "<root><system><sel><mode>custom</mode><list>U1</list></sel>"
         "</system><XXX><item><n>Flow</n><p>XXX." +
         suffix + "</p><k>snapshot</k></item></XXX></root>";
}

// Runs each test in a folder of its own, which is also the "executable's
// folder" of the fake platform, with the stand-in historian logging calls.
class RefreshCycleTest : public testing::StandInFolderTest {
 protected:
  void SetUp() override {
    platform_.process_.executable_directory = folder_.path().string();
  }

  void WriteAllTagLists() {
    folder_.Write("tags.xml", kCategoryList);
    folder_.Write("tags3.xml", TemplateList("T3"));
    folder_.Write("tags2.xml", TemplateList("T2"));
  }

  std::vector<std::string> LookedUp() const { return historian_.LookedUp(); }

  bool Exists(const std::string& name) {
    return std::filesystem::exists(folder_.path() / name);
  }

  FakePlatform platform_;
};

TEST_F(RefreshCycleTest, TickWhileBusyBuildsNothingAndTouchesNoFile) {
  WriteAllTagLists();
  frmMain form(platform_);
  form.Busy = true;

  form.Timer1_Timer();

  EXPECT_TRUE(form.Busy);
  EXPECT_FALSE(Exists("out.xml"));
  EXPECT_FALSE(Exists("out3.xml"));
  EXPECT_FALSE(Exists("out2.xml"));
  EXPECT_TRUE(LookedUp().empty());
  EXPECT_TRUE(platform_.service.log.empty());
}

TEST_F(RefreshCycleTest, TickBuildsTheThreeReportsInOrder) {
  WriteAllTagLists();
  frmMain form(platform_);

  form.Timer1_Timer();

  EXPECT_FALSE(form.Busy);
  EXPECT_EQ(LookedUp(),
            (std::vector<std::string>{"A1", "D1", "U1.T3", "U1.T2"}));
  EXPECT_TRUE(Exists("out.xml"));
  EXPECT_TRUE(Exists("out3.xml"));
  EXPECT_TRUE(Exists("out2.xml"));
  EXPECT_TRUE(platform_.service.log.empty());
  EXPECT_TRUE(platform_.window_.messages.empty());
}

TEST_F(RefreshCycleTest, FailingCategoryReportIsFollowedByBothTemplates) {
  WriteAllTagLists();
  folder_.Write("tags.xml", "<tags><analog/><analog2/><digital/></tags>");
  frmMain form(platform_);

  form.Timer1_Timer();

  EXPECT_FALSE(form.Busy);
  ASSERT_EQ(platform_.service.log.size(), 1u);
  EXPECT_NE(platform_.service.log[0].message.find("breaker"),
            std::string::npos);
  EXPECT_FALSE(Exists("out.xml"));
  EXPECT_TRUE(Exists("out3.xml"));
  EXPECT_TRUE(Exists("out2.xml"));
}

// Each item built is a sign of progress for the service manager's watchdog;
// each report and each historian call is named for a watchdog to say what
// hangs.
TEST_F(RefreshCycleTest, EveryItemBuiltIsReportedAsProgress) {
  WriteAllTagLists();
  folder_.Write(
      "tags2.xml",
      "<root><system><sel><mode>range</mode><list>1,3</list></sel>"
      "</system><XXX><item><n>a</n><p>XXX.a</p><k>snapshot</k>"
      "</item><item><n>b</n><p>XXX.b</p><k>x</k></item></XXX></root>");
  frmMain form(platform_);

  form.Timer1_Timer();

  EXPECT_TRUE(platform_.service.log.empty());
  // Two category items, one template item, three systems of two items.
  EXPECT_EQ(platform_.progress_.advances, 2 + 1 + 6);
  const std::vector<std::string>& events = platform_.progress_.events;
  std::vector<std::string> reports;
  for (const std::string& event : events) {
    if (event.rfind("call ", 0) != 0) reports.push_back(event);
  }
  const std::string folder = platform_.process().ExecutableDirectory() +
                             platform_.process().PathSeparator();
  EXPECT_EQ(reports,
            (std::vector<std::string>{
                "start " + folder + "out.xml from tags.xml", "finish",
                "start " + folder + "out3.xml from tags3.xml", "finish",
                "start " + folder + "out2.xml from tags2.xml", "finish"}));
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[1], "call pipt_findpoint");
}

// A writer that has run out of memory.
class OutOfMemoryWriter : public ReportFileWriter {
 public:
  void ReplaceWith(const std::string&, const ReportProducer&) override {
    throw std::bad_alloc();
  }
  void RemoveLeftovers(const std::string&) override {}
};

TEST_F(RefreshCycleTest, OutOfMemoryNamesTheReportAndTheCycleGoesOn) {
  WriteAllTagLists();
  platform_.writer = std::make_unique<OutOfMemoryWriter>();
  frmMain form(platform_);

  form.Timer1_Timer();

  EXPECT_FALSE(form.Busy);
  const std::string folder = folder_.path().string();
  ASSERT_EQ(platform_.service.log.size(), 3u);
  EXPECT_EQ(
      platform_.service.log[0].message,
      "[7] Out of memory (building " + folder + "/out.xml from tags.xml)");
  EXPECT_EQ(
      platform_.service.log[1].message,
      "[7] Out of memory (building " + folder + "/out3.xml from tags3.xml)");
  EXPECT_EQ(
      platform_.service.log[2].message,
      "[7] Out of memory (building " + folder + "/out2.xml from tags2.xml)");
}

// Every step of a build is inside its trap, finding the report folder
// included: each report fails on its own, Busy is down before each failure
// is reported, and the next tick runs all the same.
TEST_F(RefreshCycleTest, AReportFolderThatCannotBeFoundFailsEachReport) {
  WriteAllTagLists();
  platform_.process_.directory_failure = Error(5, "no folder");
  frmMain form(platform_);
  std::vector<bool> busy_when_reported;
  platform_.service.on_log = [&] { busy_when_reported.push_back(form.Busy); };

  form.Timer1_Timer();
  form.Timer1_Timer();
  form.Command1_Click();

  EXPECT_FALSE(form.Busy);
  EXPECT_EQ(busy_when_reported, std::vector<bool>(7, false));
  ASSERT_EQ(platform_.service.log.size(), 7u);
  EXPECT_EQ(platform_.service.log[0].message,
            "[5] no folder (building out.xml from tags.xml)");
  EXPECT_EQ(platform_.service.log[2].message,
            "[5] no folder (building out2.xml from tags2.xml)");
  EXPECT_EQ(platform_.service.log[6].message,
            "[5] no folder (building out3.xml from tags3.xml)");
  EXPECT_TRUE(LookedUp().empty());
  EXPECT_EQ(platform_.window_.messages, (std::vector<std::string>{"done"}));
}

TEST_F(RefreshCycleTest, ButtonBuildsOnlyTheFirstTemplateReportAndSaysDone) {
  WriteAllTagLists();
  frmMain form(platform_);

  form.Command1_Click();

  EXPECT_EQ(LookedUp(), (std::vector<std::string>{"U1.T3"}));
  EXPECT_TRUE(Exists("out3.xml"));
  EXPECT_FALSE(Exists("out.xml"));
  EXPECT_FALSE(Exists("out2.xml"));
  EXPECT_EQ(platform_.window_.messages, (std::vector<std::string>{"done"}));
}

TEST_F(RefreshCycleTest, ButtonSaysDoneAlsoWhenTheBuildFails) {
  frmMain form(platform_);
  form.Busy = true;  // the button does not look at Busy

  form.Command1_Click();

  EXPECT_FALSE(form.Busy);
  EXPECT_EQ(platform_.service.log.size(), 1u);
  EXPECT_EQ(platform_.window_.messages, (std::vector<std::string>{"done"}));
}

}  // namespace
}  // namespace tavrolin
