// The binding calls the historian's functions with the libraries' own calling
// convention (stdcall on 32-bit Windows) and hands every argument to the
// right parameter. The stand-in library stdcall_piapi32.dll declares its
// functions __stdcall itself and checks each call (see
// tests/stdcall_historian). Each function is called many times from one
// place: should the binding declare a function with the wrong convention,
// the stack pointer is off after every call, and the test either sees the
// arguments move or the test program crashes on the binding's return.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "historian/basPI_API.h"
#include "platform/windows/dynamic_library.h"
#include "tests/stdcall_historian/stdcall_protocol.h"

namespace tavrolin::windows {
namespace {

using namespace stdcall_check;

constexpr const char* kStandIn = "stdcall_piapi32.dll";

struct Case {
  const char* function;
  // Makes call number n through the binding and checks what came back.
  std::function<void(basPI_API&, int32_t)> call;
};

const Case kCases[] = {
    {"pilg_registerapp",
     [](basPI_API& api, int32_t) {
       ASSERT_EQ(api.pilg_registerapp("piapi32.dll"), 0);
     }},
    {"pipt_findpoint",
     [](basPI_API& api, int32_t n) {
       std::string name = TagNameOf(n);
       int32_t point = 0;
       ASSERT_EQ(api.pipt_findpoint(name.data(), &point), 0);
       ASSERT_EQ(point, PointOf(n));
     }},
    {"pisn_getsnapshot",
     [](basPI_API& api, int32_t n) {
       float value = 0;
       int32_t status = 0;
       int32_t time = 0;
       ASSERT_EQ(api.pisn_getsnapshot(PointOf(n), &value, &status, &time), 0);
       ASSERT_EQ(value, ValueOf(PointOf(n)));
       ASSERT_EQ(status, StatusOf(PointOf(n)));
       ASSERT_EQ(time, SnapshotTimeOf(PointOf(n)));
     }},
    {"pipt_digstate",
     [](basPI_API& api, int32_t n) {
       char state[kStateLength];
       std::memset(state, ' ', sizeof state);
       ASSERT_EQ(api.pipt_digstate(StateCodeOf(n), state, kStateLength), 0);
       ASSERT_EQ(std::string(state), StateNameOf(StateCodeOf(n)));
     }},
    {"pitm_systime",
     [](basPI_API& api, int32_t n) {
       ASSERT_EQ(api.pitm_systime(), SystemTimeOf(n));
     }},
    {"pitm_parsetime",
     [](basPI_API& api, int32_t n) {
       int32_t time = 0;
       ASSERT_EQ(
           api.pitm_parsetime(TimeTextOf(n).c_str(), BaseTimeOf(n), &time), 0);
       ASSERT_EQ(time, ParsedTimeOf(BaseTimeOf(n)));
     }},
    {"piar_summary",
     [](basPI_API& api, int32_t n) {
       const int32_t point = PointOf(n);
       int32_t start = StartTimeOf(point);
       int32_t end = EndTimeOf(point);
       float value = 0;
       float percent_good = 0;
       ASSERT_EQ(api.piar_summary(point, &start, &end, &value, &percent_good,
                                  SummaryCodeOf(n)),
                 0);
       ASSERT_EQ(value, SummaryOf(point, SummaryCodeOf(n)));
       ASSERT_EQ(percent_good, 100.0f);
     }},
    {"piar_value",
     [](basPI_API& api, int32_t n) {
       const int32_t point = PointOf(n);
       int32_t time = ArchiveTimeOf(point);
       float value = 0;
       int32_t status = 0;
       ASSERT_EQ(api.piar_value(point, &time, kArchiveMode, &value, &status),
                 0);
       ASSERT_EQ(value, ValueOf(point));
       ASSERT_EQ(status, StatusOf(point));
     }},
};

class StdcallBinding : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    stand_in_ = loader_.Load(kStandIn);
    reset_ = reinterpret_cast<void (*)()>(stand_in_->Symbol("stand_in_reset"));
    calls_ =
        reinterpret_cast<int32_t (*)()>(stand_in_->Symbol("stand_in_calls"));
    faults_ = reinterpret_cast<const char* (*)()>(
        stand_in_->Symbol("stand_in_faults"));
    ASSERT_TRUE(reset_ && calls_ && faults_);
    reset_();
  }

  Win32LibraryLoader loader_;
  std::unique_ptr<DynamicLibrary> stand_in_;
  void (*reset_)() = nullptr;
  int32_t (*calls_)() = nullptr;
  const char* (*faults_)() = nullptr;
};

TEST_P(StdcallBinding, ManyCallsFromOnePlaceKeepTheStackAndTheArguments) {
  basPI_API api(loader_, {kStandIn, kStandIn});
  for (int32_t n = 0; n < kCalls; ++n) {
    GetParam().call(api, n);
    if (::testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "at call " << n << "; the stand-in found:\n"
                    << faults_();
      return;
    }
  }
  EXPECT_EQ(std::string(faults_()), "");
  EXPECT_EQ(calls_(), kCalls);
}

INSTANTIATE_TEST_SUITE_P(HistorianFunctions, StdcallBinding,
                         ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& test) {
                           return std::string(test.param.function);
                         });

}  // namespace
}  // namespace tavrolin::windows
