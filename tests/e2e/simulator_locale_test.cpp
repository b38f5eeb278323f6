// The program with the historian simulator under the locales of German,
// French, Japanese and Russian users: the example tag lists give real values
// for summaries and archived values, whose time texts carry the locale's
// month names. The button signal builds out3.xml at once.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/locales.h"
#include "tests/support/service_under_test.h"
#include "tests/support/simulator_env.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::testing {
namespace {

using std::chrono::seconds;

constexpr seconds kTimeout{20};

const std::filesystem::path kExamples = simulator::testing::ExamplesFolder();

// The program and the simulator's libraries in a folder of their own, where
// the reports land; the tag lists in the working folder.
class SimulatorLocaleTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    for (const char* file : {"tavrolin", "libpiapi32.so", "libpilog32.so"}) {
      std::filesystem::copy_file(TestBinDirectory() / file,
                                 program_.path() / file);
    }
  }

  // Runs the program under `locale`, presses the button once and returns
  // out3.xml; `child_` keeps what the program wrote.
  std::string ButtonReport(const std::string& locale) {
    child_ = std::make_unique<ChildProcess>(ChildOptions{
        {(program_.path() / "tavrolin").string(), "-debug"},
        work_.path(),
        {{"LC_ALL", locale},
         {"TAVROLIN_SIMULATOR_DATA", (kExamples / "simulator.dat").string()},
         {"LD_LIBRARY_PATH", std::nullopt},
         {"NOTIFY_SOCKET", notify_.path()},
         {"JOURNAL_STREAM", std::nullopt}}});
    EXPECT_TRUE(notify_.WaitFor("READY=1", kTimeout)) << child_->Stderr();
    child_->Signal(SIGUSR1);
    EXPECT_TRUE(
        WaitUntil([&] { return child_->Stdout() == "done\n"; }, kTimeout))
        << child_->Stdout() << child_->Stderr();
    child_->Signal(SIGTERM);
    const auto status = child_->Wait(kTimeout);
    EXPECT_TRUE(status && *status == Exited(0));
    return ReadFileOrEmpty(program_.path() / "out3.xml");
  }

  TempDir program_;
  TempDir work_;
  NotifySocket notify_;
  std::unique_ptr<ChildProcess> child_;
};

TEST_P(SimulatorLocaleTest, ExamplesGiveRealValues) {
  const std::string locale = GetParam();
  if (locale != "C") {
    ASSERT_TRUE(HasLocale(locale)) << locale << " " << kLocaleSetUp;
  }
  for (const char* list : {"tags.xml", "tags3.xml", "tags2.xml"}) {
    std::filesystem::copy_file(kExamples / list, work_.path() / list);
  }
  const std::string report = ButtonReport(locale);
  EXPECT_EQ(Count(report, "<Value>"), 16u) << report;  // 2 of kind "manual"
  EXPECT_EQ(Count(report, "<Value> 0</Value>"), 0u) << report;
  EXPECT_EQ(child_->Stderr(), "");
}

INSTANTIATE_TEST_SUITE_P(Locales, SimulatorLocaleTest,
                         ::testing::Values("C", "de_DE.UTF-8", "fr_FR.UTF-8",
                                           "ja_JP.UTF-8", "ru_RU.UTF-8"),
                         [](const auto& test) {
                           std::string name = test.param;
                           return name.substr(0, name.find('.'));
                         });

// A time word the template does not know leaves the empty time text; the
// simulator cannot read it and says so once, however many such texts come.
TEST_F(SimulatorLocaleTest, AnUnreadableTimeTextIsReportedOnce) {
  work_.Write("tags.xml",
              "<tags><analog/><analog2/><digital/><breaker/></tags>");
  work_.Write("tags3.xml",
              "<root><system><sel><mode>custom</mode><list>U1,U2</list></sel>"
              "</system><XXX><item><n>Level</n><p>XXX.LI301</p>"
              "<k archdate=\"Now\">ARCHIVE</k></item><item><n>Level</n>"
              "<p>XXX.LI301</p><k archdate=\" now\">ARCHIVE</k></item></XXX>"
              "</root>");
  work_.Write("tags2.xml", "<root/>");
  const std::string report = ButtonReport("C");
  EXPECT_EQ(Count(report, "<Value> 0</Value>"), 4u) << report;
  EXPECT_EQ(child_->Stderr(),
            "tavrolin simulator: cannot read the time text \"\"; "
            "pitm_parsetime returns -2 (later time texts that cannot be read "
            "are not reported)\n");
}

}  // namespace
}  // namespace tavrolin::testing
