// The built simulator libraries, loaded at run time through the program's
// own binding, as the service loads them.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "historian/basPI_API.h"
#include "platform/dynamic_library.h"
#include "simulator/core/data_source.h"
#include "tests/support/simulator_env.h"
#include "tests/support/temp_dir.h"

namespace tavrolin::simulator {
namespace {

using testing::SetEnv;
using testing::SetTimeZone;

constexpr int32_t k2024 = 1704067200;  // 2024-01-01 00:00:00 UTC

constexpr const char* kData =
    R"(states BREAKER OPEN CLOSED TRIPPED_BY_THE_PROTECTION
point FI101 101 analog
event FI101 2024-01-01T00:00:00Z 10
event FI101 2024-01-01T00:01:40Z 20
event FI101 2024-01-01T00:03:20Z 0
point CB1 401 digital BREAKER
event CB1 2024-01-01T00:00:00Z CLOSED
event CB1 2024-01-01T01:00:00Z TRIPPED_BY_THE_PROTECTION
)";

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTimeZone("UTC0");
    Use(kData);
  }
  void TearDown() override { SetEnv(kDataVariable, nullptr); }

  // Points the simulator at a data file of this test with that content.
  void Use(const std::string& content, const char* name = "data.txt") {
    dir_.Write(name, content);
    SetEnv(kDataVariable, dir_.File(name).c_str());
  }

  int32_t Find(const char* name) {
    std::string buffer(name);
    int32_t number = 0;
    EXPECT_EQ(api_->pipt_findpoint(buffer.data(), &number), 0) << name;
    return number;
  }

  tavrolin::testing::TempDir dir_;
  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
  std::unique_ptr<basPI_API> api_ =
      std::make_unique<basPI_API>(*loader_, testing::SimulatorLibraryNames());
};

TEST_F(LibraryTest, RegistrationIsAccepted) {
  EXPECT_EQ(api_->pilg_registerapp("piapi32.dll"), 0);
}

TEST_F(LibraryTest, LooksUpPointsByNameInAnyLetterCase) {
  EXPECT_EQ(Find("FI101"), 101);
  EXPECT_EQ(Find("cb1"), 401);
  char unknown[] = "FI999";
  int32_t number = -7;
  EXPECT_NE(api_->pipt_findpoint(unknown, &number), 0);
  EXPECT_EQ(number, -7);
  EXPECT_STREQ(unknown, "FI999");
}

TEST_F(LibraryTest, SnapshotIsTheNewestEvent) {
  float value = -1;
  int32_t status = -1, time = -1;
  ASSERT_EQ(api_->pisn_getsnapshot(101, &value, &status, &time), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(time, k2024 + 200);

  ASSERT_EQ(api_->pisn_getsnapshot(401, &value, &status, &time), 0);
  EXPECT_EQ(value, 2);
  EXPECT_EQ(status, 3);  // the third state of the file
  EXPECT_EQ(time, k2024 + 3600);

  value = -1, status = -1, time = -1;
  EXPECT_NE(api_->pisn_getsnapshot(999, &value, &status, &time), 0);
  EXPECT_NE(api_->pisn_getsnapshot(0, &value, &status, &time), 0);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(time, -1);
}

TEST_F(LibraryTest, StateNamesFitTheBuffer) {
  char buffer[40];
  std::memset(buffer, ' ', sizeof buffer);
  ASSERT_EQ(api_->pipt_digstate(2, buffer, 40), 0);
  EXPECT_STREQ(buffer, "CLOSED");
  EXPECT_EQ(buffer[7], ' ');  // nothing written after the NUL

  std::memset(buffer, ' ', sizeof buffer);
  ASSERT_EQ(api_->pipt_digstate(3, buffer, 10), 0);
  EXPECT_STREQ(buffer, "TRIPPED_B");  // 9 characters and the NUL
  EXPECT_EQ(buffer[10], ' ');

  std::memset(buffer, ' ', sizeof buffer);
  EXPECT_NE(api_->pipt_digstate(0, buffer, 40), 0);
  EXPECT_NE(api_->pipt_digstate(4, buffer, 40), 0);
  EXPECT_NE(api_->pipt_digstate(1, buffer, 0), 0);
  EXPECT_EQ(std::string(buffer, 40), std::string(40, ' '));
}

TEST_F(LibraryTest, TimeIsNowAndTimeTextsAreRead) {
  const auto before = static_cast<int32_t>(std::time(nullptr));
  const int32_t now = api_->pitm_systime();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);

  int32_t time = 0;
  ASSERT_EQ(api_->pitm_parsetime("01-Jan-24 00:01:40", 0, &time), 0);
  EXPECT_EQ(time, k2024 + 100);
  ASSERT_EQ(api_->pitm_parsetime("*-1h", k2024, &time), 0);
  EXPECT_EQ(time, k2024 - 3600);
  time = 77;
  EXPECT_NE(api_->pitm_parsetime("", now, &time), 0);
  EXPECT_NE(api_->pitm_parsetime("01-Jan-2040 00:00:00", now, &time), 0);
  EXPECT_EQ(time, 77);
}

TEST_F(LibraryTest, ArchiveValuesInEveryMode) {
  struct Case {
    int32_t at;
    int32_t mode;
    float value;
    int32_t time;
  };
  const Case cases[] = {
      {k2024 + 50, 1, 10, k2024},
      {k2024 + 50, 2, 20, k2024 + 100},
      {k2024 + 50, 3, 15, k2024 + 50},
  };
  for (const Case& c : cases) {
    int32_t time = c.at;
    float value = -1;
    int32_t status = -1;
    ASSERT_EQ(api_->piar_value(101, &time, c.mode, &value, &status), 0)
        << c.mode;
    EXPECT_EQ(value, c.value) << c.mode;
    EXPECT_EQ(time, c.time) << c.mode;
    EXPECT_EQ(status, 0);
  }
  // A digital point keeps the state before.
  int32_t time = k2024 + 1800;
  float value = -1;
  int32_t status = -1;
  ASSERT_EQ(api_->piar_value(401, &time, 3, &value, &status), 0);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(status, 2);
  // Nothing before the first event, nothing in an unknown mode.
  time = k2024 - 1;
  value = -1;
  EXPECT_NE(api_->piar_value(101, &time, 3, &value, &status), 0);
  time = k2024 + 50;
  EXPECT_NE(api_->piar_value(101, &time, 4, &value, &status), 0);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(time, k2024 + 50);
}

TEST_F(LibraryTest, SummariesOverAPeriod) {
  // The line goes 10 -> 20 over [0, 100) and 20 -> 0 over [100, 200).
  struct Case {
    int32_t code;
    float value;
  };
  const Case cases[] = {
      {0, 2500.0f / 86400}, {1, 0}, {2, 20}, {4, 20}, {5, 12.5f}, {6, 15},
  };
  for (const Case& c : cases) {
    int32_t start = k2024, end = k2024 + 200;
    float value = -1, percent_good = -1;
    ASSERT_EQ(
        api_->piar_summary(101, &start, &end, &value, &percent_good, c.code), 0)
        << c.code;
    EXPECT_FLOAT_EQ(value, c.value) << c.code;
    EXPECT_EQ(percent_good, 100);
    EXPECT_EQ(start, k2024);
    EXPECT_EQ(end, k2024 + 200);
  }
  // A code beyond the table and a reversed period leave the cells alone.
  for (const auto [code, from, to] :
       {std::array{7, k2024, k2024 + 200}, std::array{5, k2024 + 200, k2024}}) {
    int32_t start = from, end = to;
    float value = -1, percent_good = -1;
    EXPECT_NE(
        api_->piar_summary(101, &start, &end, &value, &percent_good, code), 0);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(percent_good, -1);
  }
}

TEST_F(LibraryTest, ReadsTheFileAgainWhenItChanges) {
  EXPECT_EQ(Find("FI101"), 101);
  Use("point FI101 7 analog\nevent FI101 2024-01-01T00:00:00Z 3.5\n");
  EXPECT_EQ(Find("FI101"), 7);
  float value = 0;
  int32_t status = 0, time = 0;
  ASSERT_EQ(api_->pisn_getsnapshot(7, &value, &status, &time), 0);
  EXPECT_EQ(value, 3.5f);
}

TEST_F(LibraryTest, AFaultyFileIsRejectedOnceWithItsLine) {
  Use("point FI101 101 analog\nevent FI101 soon 1\n", "faulty.txt");
  ::testing::internal::CaptureStderr();
  char name[] = "FI101";
  int32_t number = 0;
  EXPECT_NE(api_->pipt_findpoint(name, &number), 0);
  EXPECT_NE(api_->pipt_findpoint(name, &number), 0);
  const std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(number, 0);
  EXPECT_EQ(messages.find("tavrolin simulator: "), 0u) << messages;
  EXPECT_NE(messages.find(dir_.File("faulty.txt") + ", line 2: bad time"),
            std::string::npos)
      << messages;
  EXPECT_EQ(messages.find('\n'), messages.size() - 1) << "one message only";

  // Mended, the file is taken again.
  Use("point FI101 101 analog\nevent FI101 today 1\n", "faulty.txt");
  EXPECT_EQ(Find("FI101"), 101);
}

TEST_F(LibraryTest, AMissingFileKnowsNoPoints) {
  SetEnv(kDataVariable, dir_.File("absent.txt").c_str());
  ::testing::internal::CaptureStderr();
  char name[] = "FI101";
  int32_t number = 0;
  EXPECT_NE(api_->pipt_findpoint(name, &number), 0);
  const std::string messages = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(messages.find("absent.txt"), std::string::npos) << messages;
}

}  // namespace
}  // namespace tavrolin::simulator
