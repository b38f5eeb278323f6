#include "tests/support/service_under_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <thread>

namespace tavrolin::testing {

bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

void ExpectStopsCleanly(ChildProcess& child,
                        std::chrono::milliseconds timeout) {
  child.Signal(SIGTERM);
  const auto status = child.Wait(timeout);
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, Exited(0)) << Describe(*status) << child.Stderr();
}

std::string TemplateList(const std::string& mode, const std::string& systems,
                         const std::string& suffix, int items) {
  std::string list = "<root><system><sel><mode>" + mode + "</mode><list>" +
                     systems + "</list></sel></system><XXX>";
  for (int i = 0; i < items; ++i) {
    list += "<item><n>Flow</n><p>XXX." + suffix + std::to_string(i) +
            "</p><k>snapshot</k></item>";
  }
  return list + "</XXX></root>";
}

ServiceUnderTest::ServiceUnderTest(std::filesystem::path program_folder)
    : program_folder_(program_folder.empty() ? own_program_folder_.path()
                                             : program_folder) {
  std::filesystem::copy_file(TavrolinPath(), program_folder_ / "tavrolin");
  std::filesystem::copy_file(TestBinDirectory() / "libstub_piapi32.so",
                             library_folder_.path() / "libpiapi32.so");
  std::filesystem::copy_file(TestBinDirectory() / "libstub_pilog32.so",
                             library_folder_.path() / "libpilog32.so");
}

std::unique_ptr<ChildProcess> ServiceUnderTest::Start(
    const StartOptions& options) {
  ChildOptions child_options{
      {(program_folder_ / "tavrolin").string(), "-debug"},
      work_.path(),
      {{"LD_LIBRARY_PATH", library_folder_.path().string()},
       {"STUB_HISTORIAN_LOG", work_.File("calls.log")},
       {"STUB_HISTORIAN_SCRIPT", script_folder_.File("script")},
       {"NOTIFY_SOCKET", notify_->path()},
       {"JOURNAL_STREAM", std::nullopt},
       {"STATE_DIRECTORY", std::nullopt},
       {"WATCHDOG_USEC", std::nullopt},
       {"WATCHDOG_PID", std::nullopt}},
      options.stdout_closed_pipe};
  for (const auto& [name, value] : options.environment) {
    child_options.environment[name] = value;
  }
  auto child = std::make_unique<ChildProcess>(child_options);
  if (options.wait_until_ready &&
      !notify_->WaitFor("READY=1", std::chrono::seconds(20))) {
    throw std::runtime_error("no READY=1 from the service: " + child->Stderr());
  }
  return child;
}

void ServiceUnderTest::WriteReport(const std::string& name,
                                   const std::string& content) const {
  std::ofstream(Report(name), std::ios::binary) << content;
}

void ServiceUnderTest::ExpectWatchdogStarvesThenAbort(
    ChildProcess& child, std::chrono::milliseconds starved,
    std::chrono::milliseconds timeout) {
  ASSERT_TRUE(WaitUntil(
      [&] { return Calls().find("hang") != std::string::npos; }, timeout));
  (void)notify_->Collect("WATCHDOG=1", std::chrono::milliseconds(300));
  EXPECT_TRUE(notify_->Collect("WATCHDOG=1", starved).empty());
  child.Signal(SIGABRT);
  const auto status = child.Wait(timeout);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->signal, SIGABRT) << Describe(*status);
}

void ServiceUnderTest::Script(const std::string& text) {
  script_folder_.Write("script", text);
}

std::vector<std::string> ServiceUnderTest::ProgramFolderContent() const {
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(program_folder_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ServiceUnderTest::Leftovers() const {
  std::vector<std::string> names;
  for (const std::string& name : ProgramFolderContent()) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
      names.push_back(name);
    }
  }
  return names;
}

std::string ServiceUnderTest::Calls() const {
  return ReadFileOrEmpty(work_.File("calls.log"));
}

}  // namespace tavrolin::testing
