// The answers to the service's start and stop events, and the error report
// every trap ends in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "host/frm_main.h"
#include "platform/error.h"
#include "tests/support/fake_platform.h"

namespace tavrolin::testing {
namespace {

TEST(ServiceEventsTest, StartEventAnswersTrueAndLogsNothing) {
  FakePlatform platform;
  frmMain form(platform);
  bool result = false;
  form.NTService1_Start(result);
  EXPECT_TRUE(result);
  EXPECT_TRUE(platform.service.log.empty());
  EXPECT_FALSE(platform.window_.closed);
}

TEST(ServiceEventsTest, StopEventClosesTheWindowAndLogsNothing) {
  FakePlatform platform;
  frmMain form(platform);
  form.NTService1_Stop();
  EXPECT_TRUE(platform.window_.closed);
  EXPECT_TRUE(platform.service.log.empty());
  EXPECT_TRUE(platform.service.calls.empty());
}

struct MessageCase {
  int32_t number;
  std::string description;
  std::string message;
};

class ErrorReportTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(ErrorReportTest, WritesOneEntryWith109And1AndTheMessage) {
  const MessageCase& c = GetParam();
  const Error error(c.number, c.description);
  EXPECT_EQ(ErrorReportMessage(error), c.message);

  FakePlatform platform;
  frmMain form(platform);
  form.ReportError(error);
  ASSERT_EQ(platform.service.log.size(), 1u);
  EXPECT_EQ(platform.service.log[0].event_type, 109);
  EXPECT_EQ(platform.service.log[0].event_id, 1);
  EXPECT_EQ(platform.service.log[0].message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorReportTest,
    ::testing::Values(
        MessageCase{53, "File not found: libpilog32.so",
                    "[53] File not found: libpilog32.so"},
        MessageCase{53, "", "[53] "},
        MessageCase{static_cast<int32_t>(0x80004005u), "Unspecified error",
                    "[-2147467259] Unspecified error"},
        MessageCase{INT32_MIN, "x", "[-2147483648] x"},
        MessageCase{0, "zero", "[0] zero"},
        MessageCase{INT32_MAX, "", "[2147483647] "},
        // The description is passed on as it came, line breaks and all;
        // making it one line is the event log's business.
        MessageCase{75, "Cannot write out.xml:\nNo space left on device",
                    "[75] Cannot write out.xml:\nNo space left on device"}));

TEST(ErrorReportFailureTest, FailingEventLogIsNotReportedAgain) {
  FakePlatform platform;
  platform.service.log_throws = true;
  frmMain form(platform);
  EXPECT_NO_THROW(form.ReportError(Error(6, "Overflow")));
  EXPECT_EQ(std::count(platform.service.calls.begin(),
                       platform.service.calls.end(), "LogEvent"),
            1);
}

}  // namespace
}  // namespace tavrolin::testing
