// The program's value readers against the simulator and the example data:
// the time texts that the readers make are the ones that the simulator
// reads, and every value that the example tag lists ask for is defined.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "historian/basPI_API.h"
#include "historian/module1.h"
#include "platform/date_settings.h"
#include "platform/dynamic_library.h"
#include "platform/posix/clock.h"
#include "reports/time_words.h"
#include "simulator/core/data_source.h"
#include "tests/support/simulator_env.h"

namespace tavrolin::simulator {
namespace {

using testing::SetEnv;

class ReadersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEnv(kDataVariable,
           (testing::ExamplesFolder() / "simulator.dat").string().c_str());
  }
  void TearDown() override { SetEnv(kDataVariable, nullptr); }

  std::unique_ptr<LibraryLoader> loader_ = CreateLibraryLoader();
  basPI_API api_{*loader_, testing::SimulatorLibraryNames()};
  DateSettings settings_;
  Utf8CodePage code_page_;
  posix::LocalClock clock_;
  Module1 readers_{api_, settings_, code_page_};
};

TEST_F(ReadersTest, EveryExampleValueIsDefined) {
  const auto readings = testing::ExampleReadings();
  ASSERT_GE(readings.size(), 30u);
  for (const auto& reading : readings) {
    std::string name = reading.point;
    std::string text;
    if (reading.kind == "SNAPSHOT") {
      text = readers_.GetSnapshotText(0, name);
    } else if (reading.kind == "STATE") {
      text = readers_.GetDigitalStateText(0, name);
      EXPECT_FALSE(text.empty()) << reading.point;
      continue;
    } else if (reading.kind == "SUMMARY") {
      text = readers_.GetSummaryText(
          reading.code, ResolveTimeWord(reading.start, clock_.Now(), settings_),
          ResolveTimeWord(reading.end, clock_.Now(), settings_), 0, name);
    } else if (reading.kind == "ARCHIVE") {
      text = readers_.GetArchiveText(
          0, ResolveTimeWord(reading.at, clock_.Now(), settings_), name);
    } else {
      continue;
    }
    EXPECT_NE(text, " 0") << reading.kind << " " << reading.point;
    EXPECT_NE(text.rfind("error: ", 0), 0u) << reading.point << ": " << text;
  }
}

}  // namespace
}  // namespace tavrolin::simulator
