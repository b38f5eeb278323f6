// The answers to the service's start and stop events, and the error report
// every trap ends in.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/frm_main.h"
#include "platform/error.h"
#include "tests/support/fake_platform.h"

namespace tavrolin::testing {
namespace {

TEST(ServiceEventsTest, StopEventClosesTheWindowAndLogsNothing) {
  FakePlatform platform;
  frmMain form(platform);
  form.NTService1_Stop();
  EXPECT_TRUE(platform.window_.closed);
  EXPECT_TRUE(platform.service.log.empty());
  EXPECT_TRUE(platform.service.calls.empty());
}

// One entry: "[number] description", the number
// signed (document-layer failures are negative) and the description as it
// came, line breaks and all; making it one line is the event log's business.
TEST(ErrorReportTest, WritesOneEntryWithNumberAndDescription) {
  struct Case {
    Error error;
    std::string message;
  };
  for (const Case& c :
       {Case{Error(errnum::kXmlFailure, "Unspecified error"),
             "[-2147467259] Unspecified error"},
        Case{Error(75, "Cannot write out.xml:\nNo space left on device"),
             "[75] Cannot write out.xml:\nNo space left on device"}}) {
    FakePlatform platform;
    frmMain form(platform);
    form.ReportError(c.error);
    ASSERT_EQ(platform.service.log.size(), 1u);
    EXPECT_EQ(platform.service.log[0].message, c.message);
  }
}

}  // namespace
}  // namespace tavrolin::testing
