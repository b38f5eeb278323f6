// The service under the faults an operator's tooling meets: kill -9 in the
// middle of a rewrite, a full disk, a historian library that hangs or
// crashes, and thousands of presses in a row. Run as the reliability stage
// of the test command (ctest label "reliability").
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>

#include "tests/support/service_under_test.h"

namespace tavrolin::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr seconds kTimeout{30};

// A report is either absent or whole: never half written.
void ExpectWholeOrAbsent(const std::filesystem::path& report) {
  if (!std::filesystem::exists(report)) return;
  const std::string text = ReadFile(report);
  EXPECT_EQ(text.rfind("<root>", 0), 0u) << report;
  ASSERT_GE(text.size(), 9u);
  EXPECT_EQ(text.substr(text.size() - 9), "</root>\r\n") << report;
}

std::string Systems(int count) {
  std::string systems;
  for (int i = 0; i < count; ++i) {
    systems += (i == 0 ? "" : ",") + std::string("S") + std::to_string(i);
  }
  return systems;
}

void KillAndReap(ChildProcess& child) {
  child.Signal(SIGKILL);
  ASSERT_TRUE(child.Wait(kTimeout));
}

const ServiceUnderTest::StartOptions kNoCallLog{
    {{"STUB_HISTORIAN_LOG", std::nullopt}}};

TEST(ReliabilityTest, KillDuringRewritesLeavesNoHalfReportAndNoLeftover) {
  ServiceUnderTest service;
  service.WriteTagList("tags3.xml",
                       TemplateList("custom", Systems(300), "P", 40));
  std::mt19937 random(12);
  // At least 25 kills, and more until 5 of them came in the middle of a
  // write: how many do depends on how fast the machine builds the report.
  constexpr int kMidWriteKills = 5;
  int killed_mid_write = 0;
  int round = 0;
  for (; round < 25 || (killed_mid_write < kMidWriteKills && round < 100);
       ++round) {
    auto child = service.Start(kNoCallLog);
    EXPECT_TRUE(service.Leftovers().empty()) << "round " << round;
    child->Signal(SIGUSR1);
    if (round % 2 == 0) {
      // At a random moment of the build or the write.
      std::this_thread::sleep_for(milliseconds(random() % 150));
    } else {
      // As soon as the write has begun.
      WaitUntil([&] { return !service.Leftovers().empty(); }, seconds(5));
    }
    if (!service.Leftovers().empty()) ++killed_mid_write;
    KillAndReap(*child);
    ExpectWholeOrAbsent(service.Report("out3.xml"));
    service.ResetNotify();
  }
  auto child = service.Start(kNoCallLog);
  EXPECT_TRUE(service.Leftovers().empty());
  KillAndReap(*child);
  std::cout << killed_mid_write << " of " << round
            << " kills came in the middle of a write" << std::endl;
  EXPECT_GE(killed_mid_write, kMidWriteKills);
}

TEST(ReliabilityTest, KillInTheMiddleOfA50MBWriteLeavesNothingAfterRestart) {
  ServiceUnderTest service;
  // 5,000 records with 10,000-character point names: a 50 MB report.
  const std::string long_name(10000, 'N');
  std::string list = "<root><system><sel><mode>custom</mode><list>" +
                     Systems(50) + "</list></sel></system><XXX>";
  for (int i = 0; i < 100; ++i) {
    list += "<item><n>F</n><p>XXX" + long_name + std::to_string(i) +
            "</p><k>x</k></item>";
  }
  service.WriteTagList("tags3.xml", list + "</XXX></root>");

  bool caught = false;
  for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
    auto child = service.Start(kNoCallLog);
    child->Signal(SIGUSR1);
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (!caught && child->Stdout().empty() &&
           std::chrono::steady_clock::now() < deadline) {
      caught = !service.Leftovers().empty();
      if (!caught) std::this_thread::sleep_for(milliseconds(1));
    }
    KillAndReap(*child);
    service.ResetNotify();
  }
  ASSERT_TRUE(caught) << "no kill came in the middle of the write";
  ASSERT_FALSE(service.Leftovers().empty());

  auto child = service.Start(kNoCallLog);
  EXPECT_TRUE(service.Leftovers().empty());
  ExpectWholeOrAbsent(service.Report("out3.xml"));
  child->Signal(SIGTERM);
  ASSERT_TRUE(child->Wait(kTimeout));
}

// A tmpfs of its own, mounted where the machine allows it.
class SmallDisk {
 public:
  explicit SmallDisk(std::uintmax_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tavrolin-test", folder_.path().c_str(), "tmpfs", 0,
                       options.c_str()) == 0;
    if (!mounted_) reason_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(folder_.path().c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }
  const std::filesystem::path& path() const { return folder_.path(); }

 private:
  TempDir folder_;
  bool mounted_ = false;
  std::string reason_;
};

TEST(ReliabilityTest, FullDiskKeepsThePreviousReportAndTheServiceRunning) {
  // Room for the program and the previous report, not for the new one.
  const auto program = std::filesystem::file_size(TavrolinPath());
  SmallDisk disk(program + 512 * 1024);
  if (!disk.mounted()) {
    GTEST_SKIP() << "cannot mount a tmpfs here (" << disk.reason()
                 << "): the full-disk check is skipped";
  }
  ServiceUnderTest service(disk.path());
  const std::string previous = "<root>previous</root>\r\n";
  service.WriteReport("out3.xml", previous);
  service.WriteTagList("tags3.xml",
                       TemplateList("custom", Systems(200), "P", 40));
  auto child = service.Start(kNoCallLog);
  for (int press = 1; press <= 2; ++press) {
    child->Signal(SIGUSR1);
    ASSERT_TRUE(WaitUntil(
        [&] {
          return Count(child->Stdout(), "done\n") ==
                 static_cast<std::size_t>(press);
        },
        kTimeout));
  }
  const std::string errors = child->Stderr();
  EXPECT_EQ(Count(errors, "\n"), 2u) << errors;
  EXPECT_NE(errors.find("out3.xml"), std::string::npos) << errors;
  EXPECT_NE(errors.find("No space left"), std::string::npos) << errors;
  EXPECT_EQ(ReadFile(service.Report("out3.xml")), previous);
  EXPECT_TRUE(service.Leftovers().empty());
  ExpectStopsCleanly(*child, kTimeout);
}

// A historian library that hangs: the watchdog starves, systemd's SIGABRT
// ends the service, and the restarted service works once the library does.
TEST(ReliabilityTest, HungHistorianEndsByTheWatchdogAndTheRestartWorks) {
  ServiceUnderTest service;
  service.WriteTagList("tags3.xml", TemplateList("custom", "U1", "H"));
  service.WriteReport("out3.xml", "<root>previous</root>\r\n");
  service.Script("hang_on U1.H0\n");
  ServiceUnderTest::StartOptions watchdog{{{"WATCHDOG_USEC", "1000000"}}};
  auto child = service.Start(watchdog);
  child->Signal(SIGUSR1);
  ASSERT_NO_FATAL_FAILURE(service.ExpectWatchdogStarvesThenAbort(
      *child, milliseconds(1500), kTimeout));
  EXPECT_NE(child->Stderr().find("watchdog"), std::string::npos);
  EXPECT_EQ(ReadFile(service.Report("out3.xml")), "<root>previous</root>\r\n");

  service.Script("# the library answers again\n");
  service.ResetNotify();
  auto restarted = service.Start(watchdog);
  restarted->Signal(SIGUSR1);
  ASSERT_TRUE(
      WaitUntil([&] { return restarted->Stdout() == "done\n"; }, kTimeout));
  ExpectWholeOrAbsent(service.Report("out3.xml"));
  EXPECT_NE(ReadFile(service.Report("out3.xml")).find("U1.H0"),
            std::string::npos);
  restarted->Signal(SIGTERM);
  ASSERT_TRUE(restarted->Wait(kTimeout));
}

// A historian library that crashes takes the process with it (status not
// 0, so systemd's Restart=on-failure starts it again); nothing is lost.
TEST(ReliabilityTest, CrashingHistorianLeavesThePreviousReportAndNoLeftover) {
  ServiceUnderTest service;
  service.WriteTagList("tags3.xml", TemplateList("custom", "U1,U2", "C"));
  service.WriteReport("out3.xml", "<root>previous</root>\r\n");
  service.Script("crash_on U2.C0\n");
  auto child = service.Start();
  child->Signal(SIGUSR1);
  const auto status = child->Wait(kTimeout);
  ASSERT_TRUE(status);
  EXPECT_NE(*status, Exited(0)) << Describe(*status);
  EXPECT_EQ(ReadFile(service.Report("out3.xml")), "<root>previous</root>\r\n");
  EXPECT_TRUE(service.Leftovers().empty());

  service.ResetNotify();
  auto restarted = service.Start();
  EXPECT_FALSE(restarted->Wait(milliseconds(200)));
  restarted->Signal(SIGTERM);
  ASSERT_TRUE(restarted->Wait(kTimeout));
}

struct Usage {
  long rss_kb = 0;
  long descriptors = 0;
};

Usage UsageOf(pid_t pid) {
  Usage usage;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::ifstream status(proc + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) usage.rss_kb = std::stol(line.substr(6));
  }
  for (const auto& entry : std::filesystem::directory_iterator(proc + "/fd")) {
    (void)entry;
    ++usage.descriptors;
  }
  return usage;
}

TEST(ReliabilityTest, ThousandsOfPressesKeepMemoryAndDescriptorsFlat) {
  constexpr int kWarmUp = 300;
  constexpr int kPresses = 3000;
  ServiceUnderTest::StartOptions options = kNoCallLog;
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer keeps freed memory in quarantine (256 MB) before it reuses
  // it; without the quarantine its own bookkeeping still grows a little.
  const char* sanitizer_options = std::getenv("ASAN_OPTIONS");
  options.environment["ASAN_OPTIONS"] =
      std::string(sanitizer_options == nullptr ? "" : sanitizer_options) +
      ":quarantine_size_mb=0";
  constexpr long kAllowedGrowthKb = 8 * 1024;
#else
  constexpr long kAllowedGrowthKb = 512;
#endif
  ServiceUnderTest service;
  service.WriteTagList("tags3.xml", TemplateList("custom", "U1,U2", "P", 5));
  auto child = service.Start(options);
  Usage warm;
  for (int press = 1; press <= kPresses; ++press) {
    child->Signal(SIGUSR1);
    const std::size_t expected = static_cast<std::size_t>(press) * 5;  // done
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (child->Stdout().size() < expected) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline)
          << "press " << press << " not answered";
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (press == kWarmUp) warm = UsageOf(child->pid());
  }
  const Usage end = UsageOf(child->pid());
  EXPECT_EQ(end.descriptors, warm.descriptors);
  EXPECT_LE(end.rss_kb - warm.rss_kb, kAllowedGrowthKb)
      << "RSS " << warm.rss_kb << " kB after " << kWarmUp << " presses, "
      << end.rss_kb << " kB after " << kPresses;
  std::cout << "RSS " << warm.rss_kb << " kB -> " << end.rss_kb << " kB, "
            << end.descriptors << " descriptors" << std::endl;
  ExpectStopsCleanly(*child, kTimeout);
}

}  // namespace
}  // namespace tavrolin::testing
