// The arguments that tests/platform/windows/stdcall_binding_test.cpp hands to
// the checking stand-in library and the answers the stand-in writes back. Every
// argument is derived from the call's number n, so that an argument that
// arrives in the wrong place, shifted, or from a stale stack slot is seen.
#pragma once

#include <cstdint>
#include <string>

namespace tavrolin::stdcall_check {

constexpr int32_t kCalls = 1000;  // calls of each function per test
constexpr int32_t kPointBase = 0x50000000;
constexpr int32_t kStateCodeBase = 0x3C000000;
constexpr int32_t kBaseTimeBase = 0x7000;
constexpr int32_t kArchiveMode = 3;
constexpr int32_t kStateLength = 40;

inline std::string TagNameOf(int32_t n) {
  return "STACK.CHECK." + std::to_string(n);
}
inline int32_t PointOf(int32_t n) { return kPointBase + n; }
inline int32_t CallOf(int32_t point) { return point - kPointBase; }
inline int32_t StateCodeOf(int32_t n) { return kStateCodeBase + n; }
inline std::string StateNameOf(int32_t code) {
  return "S" + std::to_string(code - kStateCodeBase);
}
inline std::string TimeTextOf(int32_t n) { return "T" + std::to_string(n); }
inline int32_t BaseTimeOf(int32_t n) { return kBaseTimeBase + 3 * n; }
inline int32_t ParsedTimeOf(int32_t base_time) { return base_time + 1; }
inline int32_t SystemTimeOf(int32_t n) { return 0x6000 + n; }
// Summary codes run negative: the library gets them unchanged.
inline int32_t SummaryCodeOf(int32_t n) { return -1 - n; }
inline int32_t StartTimeOf(int32_t point) { return point + 1; }
inline int32_t EndTimeOf(int32_t point) { return point + 2; }
inline int32_t ArchiveTimeOf(int32_t point) { return point + 3; }

inline float ValueOf(int32_t point) {
  return static_cast<float>(CallOf(point)) + 0.25f;
}
inline float SummaryOf(int32_t point, int32_t code) {
  return ValueOf(point) + static_cast<float>(code);
}
inline int32_t StatusOf(int32_t point) { return point ^ 0x0F0F; }
inline int32_t SnapshotTimeOf(int32_t point) { return point + 7; }

}  // namespace tavrolin::stdcall_check
