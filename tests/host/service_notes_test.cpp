// What the host tells a listening service manager: the start-up note (the
// working folder, the report folder and the historian client library's
// name), the note naming the library file once the first refresh loaded it,
// the status line of every refresh, and the warnings about points the
// historian does not know.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/frm_main.h"
#include "platform/error.h"
#include "tests/support/fake_platform.h"
#include "tests/support/stand_in_historian.h"
#include "tests/support/temp_dir.h"

namespace tavrolin {
namespace {

using namespace std::chrono_literals;
using testing::FakePlatform;
using testing::ProcessEnded;

std::string SimulatorClientFile() {
#if defined(_WIN32)
  return "piapi32.dll";
#else
  return "libpiapi32.so";
#endif
}

class ServiceNotesTest : public testing::StandInFolderTest {
 protected:
  void SetUp() override {
    platform_.process_.executable_directory = "/srv/reports";
    platform_.status.listening = true;
  }

  // Runs start-up with no option; the program goes on.
  void Start() {
    frmMain form(platform_);
    try {
      form.Form_Load();
    } catch (const ProcessEnded& ended) {
      FAIL() << "start-up ended with status " << ended.status;
    }
  }

  std::string Note() const {
    return platform_.status.notes.size() == 1 ? platform_.status.notes[0]
                                              : "(not one note)";
  }

  FakePlatform platform_;
};

// One point the stand-in knows, so that a refresh calls into the library.
constexpr char kOnePointList[] =
    "<tags><analog><tag><d>a</d><n>A1</n></tag></analog><analog2/><digital/>"
    "<breaker/></tags>";

TEST_F(ServiceNotesTest, StartNoteLoadsNoLibraryTheFirstRefreshNamesIt) {
  // The stand-ins' start-up code writes their names here when loaded.
  const std::string loaded = folder_.File("loaded.txt");
  ::setenv("STUB_HISTORIAN_LOADED", loaded.c_str(), 1);
  folder_.Write("tags.xml", kOnePointList);
  frmMain form(platform_);
  form.Form_Load();
  const std::string note = Note();
  ::unsetenv("STUB_HISTORIAN_LOADED");
  EXPECT_EQ(note,
            "Corvane Service started: tag lists from the working "
            "folder " +
                std::filesystem::current_path().string() +
                ", reports to /srv/reports, historian client library " +
                platform_.library_names.client +
                " (loaded at the first refresh)");
  // Registration loads the login library only.
  EXPECT_EQ(testing::ReadFileOrEmpty(loaded), "stub_pilog32\n");
  ::setenv("STUB_HISTORIAN_LOADED", loaded.c_str(), 1);
  form.Timer1_Timer();
  form.Timer1_Timer();
  ::unsetenv("STUB_HISTORIAN_LOADED");
  EXPECT_EQ(testing::ReadFileOrEmpty(loaded), "stub_pilog32\nstub_piapi32\n");
  // The second note, once: the file the loader found, with its whole path.
  ASSERT_EQ(platform_.status.notes.size(), 2u);
  const std::string& second = platform_.status.notes[1];
  EXPECT_EQ(second.rfind("Historian client library loaded: ", 0), 0u) << second;
#if !defined(_WIN32)
  const auto bin = std::filesystem::path(std::getenv("TAVROLIN_TEST_BIN"));
  EXPECT_EQ(second,
            "Historian client library loaded: " +
                (bin / "libstub_piapi32.so").lexically_normal().string());
#endif
}

TEST_F(ServiceNotesTest, SecondNoteTellsWhenTheLibraryIsTheSimulator) {
  platform_.library_names.client = SimulatorClientFile();
  folder_.Write("tags.xml", kOnePointList);
  frmMain form(platform_);
  form.Timer1_Timer();
  ASSERT_EQ(platform_.status.notes.size(), 1u);
  EXPECT_NE(platform_.status.notes[0].find(
                SimulatorClientFile() +
                " (the project's historian simulator, not a historian)"),
            std::string::npos)
      << platform_.status.notes[0];
}

TEST_F(ServiceNotesTest, MissingClientLibraryIsReportedByTheRefreshOnly) {
  platform_.library_names.client = "libno_such_piapi32.so";
  // The state reader raises what the snapshot reader would turn into a value.
  folder_.Write("tags.xml",
                "<tags><analog/><analog2/><digital><tag><d>d</d><n>D1</n>"
                "</tag></digital><breaker/></tags>");
  Start();
  EXPECT_TRUE(platform_.service.log.empty());
  frmMain form(platform_);
  form.Timer1_Timer();
  EXPECT_EQ(platform_.status.notes.size(), 1u);
  ASSERT_FALSE(platform_.service.log.empty());
  EXPECT_EQ(platform_.service.log[0].message.rfind(
                "[53] File not found: libno_such_piapi32.so", 0),
            0u)
      << platform_.service.log[0].message;
}

TEST_F(ServiceNotesTest, NobodyListeningMeansNoNoteNoStatus) {
  platform_.status.listening = false;
  folder_.Write("tags.xml", kOnePointList);
  Start();
  frmMain form(platform_);
  form.Timer1_Timer();
  EXPECT_TRUE(platform_.status.notes.empty());
  EXPECT_TRUE(platform_.status.statuses.empty());
}

// A category list of `names`, all under "analog".
std::string CategoryList(const std::vector<std::string>& names) {
  std::string list = "<tags><analog>";
  for (const std::string& name : names) {
    list += "<tag><d>d</d><n>" + name + "</n></tag>";
  }
  return list + "</analog><analog2/><digital/><breaker/></tags>";
}

// 40 points the historian knows, P01 to P40, with 1.5 as their value.
std::vector<std::string> KnownNames() {
  std::vector<std::string> names;
  for (int i = 1; i <= 40; ++i) {
    names.push_back((i < 10 ? "P0" : "P") + std::to_string(i));
  }
  return names;
}

TEST_F(ServiceNotesTest, UnknownPointsAreWarnedOnceAndTheirEndOnce) {
  std::string script = "snapshot 7 1.5 0\n";
  for (const std::string& name : KnownNames()) {
    script += "point " + name + " 7\n";
  }
  historian_.Script(script);
  std::vector<std::string> names = KnownNames();
  names[4] = "FI10l";
  names[9] = "TI-102";
  names[10] = "U7.PI301";
  folder_.Write("tags.xml", CategoryList(names));
  // tags3.xml and tags2.xml are missing: their reports fail, and say
  // nothing about points.
  platform_.process_.executable_directory = folder_.path().string();
  platform_.status.listening = false;  // warnings go out all the same
  frmMain form(platform_);

  form.Timer1_Timer();
  form.Timer1_Timer();
  const std::string first_report = testing::ReadFile(folder_.File("out.xml"));
  const std::vector<std::string> three = {
      "tags.xml: 3 of 40 points are unknown to the historian: FI10l, "
      "TI-102, U7.PI301"};
  EXPECT_EQ(platform_.status.warnings, three);
  // The value of an unknown point stays what the library gave for it.
  EXPECT_NE(first_report.find("<n>FI10l</n><Value> 0</Value>"),
            std::string::npos)
      << first_report;
  EXPECT_EQ(platform_.service.log.size(), 4u);  // the two missing lists

  // Another set: one more entry. The button's build of tags3.xml fails and
  // changes nothing.
  names[4] = "P05";
  folder_.Write("tags.xml", CategoryList(names));
  platform_.status.listening = true;
  form.Timer1_Timer();
  form.Command1_Click();
  ASSERT_EQ(platform_.status.warnings.size(), 2u);
  EXPECT_EQ(platform_.status.warnings[1],
            "tags.xml: 2 of 40 points are unknown to the historian: TI-102, "
            "U7.PI301");
  ASSERT_EQ(platform_.status.statuses.size(), 1u);
  EXPECT_NE(platform_.status.statuses[0].find(
                "2 failed, 40 values, 2 unknown points, "),
            std::string::npos)
      << platform_.status.statuses[0];

  folder_.Write("tags.xml", CategoryList(KnownNames()));
  form.Timer1_Timer();
  form.Timer1_Timer();
  ASSERT_EQ(platform_.status.warnings.size(), 3u);
  EXPECT_EQ(platform_.status.warnings[2],
            "tags.xml: all points found in the historian again (40 points)");
  EXPECT_NE(platform_.status.statuses.back().find(" 0 unknown points, "),
            std::string::npos);
}

TEST(UnknownPointsTextTest, NamesTheFirstTwentyEachCutAndCountsTheRest) {
  std::vector<std::string> unknown;
  for (int i = 1; i <= 23; ++i) unknown.push_back("N" + std::to_string(i));
  std::string expected =
      "tags2.xml: 23 of 480 points are unknown to the historian: N1";
  for (int i = 2; i <= 20; ++i) expected += ", N" + std::to_string(i);
  EXPECT_EQ(UnknownPointsText("tags2.xml", 480, unknown),
            expected + " and 3 more");

  // One name: singular; a name as long as a log line is cut as the log
  // cuts quoted texts.
  const std::string long_name(5000, 'x');
  EXPECT_EQ(UnknownPointsText("tags.xml", 1, {long_name}),
            "tags.xml: 1 of 1 point is unknown to the historian: " +
                Abridged(long_name));
  // Twenty names each as long stay within one log line (under 4 KiB).
  EXPECT_LT(
      UnknownPointsText("tags.xml", 20, std::vector<std::string>(20, long_name))
          .size(),
      4096u);
}

TEST_F(ServiceNotesTest, EveryRefreshShowsItsOutcome) {
  folder_.Write("tags.xml",
                "<tags><analog><tag><d>a</d><n>A1</n></tag></analog><analog2/>"
                "<digital><tag><d>d</d><n>D1</n></tag></digital><breaker/>"
                "</tags>");
  folder_.Write("tags3.xml",
                "<root><system><sel><mode>custom</mode><list>U1,U2</list>"
                "</sel></system><XXX><item><n>Flow</n><p>XXX.F</p>"
                "<k>snapshot</k></item><item><n>Other</n><p>XXX.O</p>"
                "<k>other</k></item></XXX></root>");
  // tags2.xml is missing: that report fails.
  platform_.process_.executable_directory = folder_.path().string();
  frmMain form(platform_);

  form.Timer1_Timer();
  form.Timer1_Timer();

  ASSERT_EQ(platform_.status.statuses.size(), 2u);
  // out.xml: 2 values; out3.xml: 2 systems x 2 items.
  for (const std::string& status : platform_.status.statuses) {
    EXPECT_EQ(status.rfind("Last refresh 2026-12-06 06:43:30: 2 reports "
                           "written, 1 failed, 6 values, ",
                           0),
              0u)
        << status;
  }
  EXPECT_EQ(platform_.service.log.size(), 2u);
}

struct StatusCase {
  RefreshTally tally;
  std::chrono::steady_clock::duration duration;
  const char* text;
};

class RefreshStatusTextTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(RefreshStatusTextTest, SaysWhenWhatAndHowLong) {
  const StatusCase& c = GetParam();
  EXPECT_EQ(RefreshStatusText({2026, 1, 2, 3, 4, 5}, c.tally, c.duration),
            c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Tallies, RefreshStatusTextTest,
    ::testing::Values(
        StatusCase{{3, 0, 1234, 0},
                   213ms,
                   "Last refresh 2026-01-02 03:04:05: 3 reports written, 0 "
                   "failed, 1234 values, 0 unknown points, 0.21 s"},
        StatusCase{{1, 2, 1, 1},
                   61999ms,
                   "Last refresh 2026-01-02 03:04:05: 1 report written, 2 "
                   "failed, 1 value, 1 unknown point, 61.99 s"},
        StatusCase{{2, 1, 40, 3},
                   0ms,
                   "Last refresh 2026-01-02 03:04:05: 2 reports written, 1 "
                   "failed, 40 values, 3 unknown points, 0.00 s"}));

}  // namespace
}  // namespace tavrolin
