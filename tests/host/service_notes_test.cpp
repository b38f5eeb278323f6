// What the host tells a listening service manager: the start-up note (the
// working folder, the report folder and the historian client library that
// was actually loaded) and the status line of every refresh.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/frm_main.h"
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

TEST_F(ServiceNotesTest, StartNoteNamesTheFoldersAndTheLoadedLibrary) {
  Start();
  const std::string note = Note();
  EXPECT_EQ(note.rfind("Corvane Service started: tag lists from the working "
                       "folder " +
                           std::filesystem::current_path().string() +
                           ", reports to /srv/reports, historian client "
                           "library ",
                       0),
            0u)
      << note;
#if !defined(_WIN32)
  // The file the loader found, with its whole path.
  const auto bin = std::filesystem::path(std::getenv("TAVROLIN_TEST_BIN"));
  EXPECT_NE(note.find((bin / "libstub_piapi32.so").lexically_normal().string()),
            std::string::npos)
      << note;
#endif
  EXPECT_EQ(note.find("simulator"), std::string::npos) << note;
  EXPECT_TRUE(platform_.service.log.empty());
}

TEST_F(ServiceNotesTest, StartNoteTellsWhenTheLibraryIsTheSimulator) {
  platform_.library_names.client = SimulatorClientFile();
  Start();
  EXPECT_NE(Note().find(SimulatorClientFile() +
                        " (the project's historian simulator, not a "
                        "historian)"),
            std::string::npos)
      << Note();
}

TEST_F(ServiceNotesTest, MissingClientLibraryIsNotedNotReported) {
  platform_.library_names.client = "libno_such_piapi32.so";
  Start();
  EXPECT_NE(Note().find("historian client library not loaded ([53] File not "
                        "found: libno_such_piapi32.so)"),
            std::string::npos)
      << Note();
  // The failure is the first refresh's to report.
  EXPECT_TRUE(platform_.service.log.empty());
}

TEST_F(ServiceNotesTest, NobodyListeningMeansNoNoteNoStatusNoEarlyLoad) {
  platform_.status.listening = false;
  platform_.library_names.client = "libno_such_piapi32.so";
  Start();
  frmMain form(platform_);
  form.Timer1_Timer();
  EXPECT_TRUE(platform_.status.notes.empty());
  EXPECT_TRUE(platform_.status.statuses.empty());
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
        StatusCase{{3, 0, 1234},
                   213ms,
                   "Last refresh 2026-01-02 03:04:05: 3 reports written, 0 "
                   "failed, 1234 values, 0.21 s"},
        StatusCase{{1, 2, 1},
                   61999ms,
                   "Last refresh 2026-01-02 03:04:05: 1 report written, 2 "
                   "failed, 1 value, 61.99 s"},
        StatusCase{{0, 3, 0},
                   0ms,
                   "Last refresh 2026-01-02 03:04:05: 0 reports written, 3 "
                   "failed, 0 values, 0.00 s"}));

}  // namespace
}  // namespace tavrolin
