// Exports of the simulator's libraries: plain C functions in the historian
// library's calling convention; everything else stays hidden.
#pragma once

#include <cstdint>

#include "platform/calling_convention.h"

#if defined(_WIN32)
#define SIMULATOR_EXPORT extern "C" __declspec(dllexport)
#else
#define SIMULATOR_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace tavrolin::simulator {

// Status codes the simulator's functions return: 0 for success, a negative
// number for each kind of failure. A failing call writes nothing.
enum Status : int32_t {
  kOk = 0,
  kInternalFailure = -1,  // an unexpected failure inside the simulator
  kBadTime = -2,          // a time text that cannot be read
  kBadArgument = -3,      // a missing cell or a buffer length below 1
  kBadCode = -4,          // an unknown summary code or archive mode
  kUnknownPoint = -5,     // no point of that name or number
  kUnknownState = -7,     // no digital state of that code
  kNoData = -11,          // no value for that time or period
};

}  // namespace tavrolin::simulator
