// A stand-in for the historian's client and login libraries whose functions
// are declared __stdcall here, as the real 32-bit libraries declare them,
// whatever convention the program's binding uses. Every function checks its
// arguments against stdcall_protocol.h and notes where its arguments lie on
// the stack: calls made one after another from the same place must find them
// at the same address. A caller that expects the caller-removes convention
// of cdecl leaves the stack pointer off by the arguments' size after each
// call (or crashes on return), and the checks report it.
//
// Besides the historian's functions the library exports, as plain C
// functions:
//   stand_in_reset()   forgets the calls and faults noted so far
//   stand_in_calls()   the number of calls since the reset
//   stand_in_faults()  the faults found since the reset, one per line
#include <cstdint>
#include <cstring>
#include <string>

#include "tests/stdcall_historian/stdcall_protocol.h"

#if defined(_WIN32) && !defined(_WIN64)
#define STAND_IN_CALL __stdcall
#else
#define STAND_IN_CALL
#endif

namespace {

using namespace tavrolin::stdcall_check;

constexpr int kFunctions = 8;
constexpr std::size_t kMaxFaults = 20;

int32_t calls = 0;
int32_t systime_calls = 0;
std::size_t fault_count = 0;
std::string faults;
const void* first_frame[kFunctions] = {};

void Fault(const char* function, const std::string& what) {
  ++fault_count;
  if (fault_count > kMaxFaults) return;
  faults += std::string(function) + " (call " + std::to_string(calls) +
            "): " + what + "\n";
}

void Expect(bool condition, const char* function, const std::string& what) {
  if (!condition) Fault(function, what);
}

// Notes the frame of a call; `frame` is the address just below the return
// address, so the arguments lie at a fixed distance above it.
void NoteCall(int index, const char* function, const void* frame) {
  ++calls;
  const void*& first = first_frame[index];
  if (first == nullptr) {
    first = frame;
  } else if (frame != first) {
    Fault(function,
          "the arguments lie " +
              std::to_string(static_cast<const char*>(frame) -
                             static_cast<const char*>(first)) +
              " bytes away from those of the first call from the same place: "
              "the caller and the library disagree on who removes the "
              "arguments from the stack");
  }
}

bool InCallRange(int32_t point) {
  return point >= kPointBase && point < kPointBase + kCalls;
}

// A cell for the library to write: present, distinct from the others and
// holding zero.
template <typename Cell>
void ExpectZeroCell(const Cell* cell, const char* function, const char* name) {
  if (cell == nullptr) {
    Fault(function, std::string("the ") + name + " cell is a null pointer");
  } else if (*cell != 0) {
    Fault(function, std::string("the ") + name + " cell holds " +
                        std::to_string(*cell) + ", not 0");
  }
}

bool Distinct(const void* a, const void* b, const void* c = nullptr,
              const void* d = nullptr) {
  const void* cells[] = {a, b, c, d};
  for (int i = 0; i < 4; ++i) {
    for (int j = i + 1; j < 4; ++j) {
      if (cells[i] != nullptr && cells[i] == cells[j]) return false;
    }
  }
  return true;
}

// The number after `prefix` in `text`, or -1.
int32_t NumberAfter(const char* text, const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  if (text == nullptr || std::strncmp(text, prefix, length) != 0) return -1;
  const std::string rest(text + length);
  if (rest.empty() || rest.size() > 6 ||
      rest.find_first_not_of("0123456789") != std::string::npos) {
    return -1;
  }
  return std::stoi(rest);
}

}  // namespace

extern "C" {

int32_t STAND_IN_CALL pilg_registerapp(const char* dll_name) {
  NoteCall(0, "pilg_registerapp", __builtin_frame_address(0));
  Expect(dll_name != nullptr && std::strcmp(dll_name, "piapi32.dll") == 0,
         "pilg_registerapp", "the library name is not \"piapi32.dll\"");
  return 0;
}

int32_t STAND_IN_CALL pipt_findpoint(char* tag_name, int32_t* point_number) {
  NoteCall(1, "pipt_findpoint", __builtin_frame_address(0));
  const int32_t n = NumberAfter(tag_name, "STACK.CHECK.");
  Expect(n >= 0, "pipt_findpoint",
         std::string("unexpected tag name \"") +
             (tag_name ? tag_name : "(null)") + "\"");
  ExpectZeroCell(point_number, "pipt_findpoint", "point number");
  if (n >= 0 && point_number != nullptr) *point_number = PointOf(n);
  return 0;
}

int32_t STAND_IN_CALL pisn_getsnapshot(int32_t point_number, float* value,
                                       int32_t* status, int32_t* time) {
  NoteCall(2, "pisn_getsnapshot", __builtin_frame_address(0));
  Expect(InCallRange(point_number), "pisn_getsnapshot",
         "unexpected point number " + std::to_string(point_number));
  ExpectZeroCell(value, "pisn_getsnapshot", "value");
  ExpectZeroCell(status, "pisn_getsnapshot", "status");
  ExpectZeroCell(time, "pisn_getsnapshot", "time");
  Expect(Distinct(value, status, time), "pisn_getsnapshot",
         "two cells share one address");
  if (value && status && time && InCallRange(point_number)) {
    *value = ValueOf(point_number);
    *status = StatusOf(point_number);
    *time = SnapshotTimeOf(point_number);
  }
  return 0;
}

int32_t STAND_IN_CALL pipt_digstate(int32_t state_code, char* state,
                                    int32_t length) {
  NoteCall(3, "pipt_digstate", __builtin_frame_address(0));
  const bool code_ok =
      state_code >= kStateCodeBase && state_code < kStateCodeBase + kCalls;
  Expect(code_ok, "pipt_digstate",
         "unexpected state code " + std::to_string(state_code));
  Expect(length == kStateLength, "pipt_digstate",
         "the buffer length is " + std::to_string(length) + ", not 40");
  const bool buffer_ok =
      state != nullptr && length == kStateLength &&
      std::string(state, kStateLength) == std::string(kStateLength, ' ');
  Expect(buffer_ok, "pipt_digstate", "the buffer does not hold 40 blanks");
  if (code_ok && buffer_ok) {
    const std::string name = StateNameOf(state_code);
    std::memcpy(state, name.c_str(), name.size() + 1);
  }
  return 0;
}

int32_t STAND_IN_CALL pitm_systime() {
  NoteCall(4, "pitm_systime", __builtin_frame_address(0));
  return SystemTimeOf(systime_calls++);
}

int32_t STAND_IN_CALL pitm_parsetime(const char* time_text, int32_t base_time,
                                     int32_t* time) {
  NoteCall(5, "pitm_parsetime", __builtin_frame_address(0));
  const int32_t n = NumberAfter(time_text, "T");
  Expect(n >= 0, "pitm_parsetime",
         std::string("unexpected time text \"") +
             (time_text ? time_text : "(null)") + "\"");
  Expect(n < 0 || base_time == BaseTimeOf(n), "pitm_parsetime",
         "the base time is " + std::to_string(base_time) + ", not " +
             std::to_string(BaseTimeOf(n)));
  ExpectZeroCell(time, "pitm_parsetime", "time");
  if (time != nullptr) *time = ParsedTimeOf(base_time);
  return 0;
}

int32_t STAND_IN_CALL piar_summary(int32_t point_number, int32_t* start_time,
                                   int32_t* end_time, float* value,
                                   float* percent_good, int32_t code) {
  NoteCall(6, "piar_summary", __builtin_frame_address(0));
  const bool point_ok = InCallRange(point_number);
  Expect(point_ok, "piar_summary",
         "unexpected point number " + std::to_string(point_number));
  Expect(start_time != nullptr && *start_time == StartTimeOf(point_number),
         "piar_summary", "the start time is wrong");
  Expect(end_time != nullptr && *end_time == EndTimeOf(point_number),
         "piar_summary", "the end time is wrong");
  Expect(!point_ok || code == SummaryCodeOf(CallOf(point_number)),
         "piar_summary", "unexpected summary code " + std::to_string(code));
  ExpectZeroCell(value, "piar_summary", "value");
  ExpectZeroCell(percent_good, "piar_summary", "percent good");
  Expect(Distinct(start_time, end_time, value, percent_good), "piar_summary",
         "two cells share one address");
  if (point_ok && value && percent_good) {
    *value = SummaryOf(point_number, code);
    *percent_good = 100.0f;
  }
  return 0;
}

int32_t STAND_IN_CALL piar_value(int32_t point_number, int32_t* time,
                                 int32_t mode, float* value, int32_t* status) {
  NoteCall(7, "piar_value", __builtin_frame_address(0));
  const bool point_ok = InCallRange(point_number);
  Expect(point_ok, "piar_value",
         "unexpected point number " + std::to_string(point_number));
  Expect(time != nullptr && *time == ArchiveTimeOf(point_number), "piar_value",
         "the time is wrong");
  Expect(mode == kArchiveMode, "piar_value",
         "the mode is " + std::to_string(mode) + ", not 3");
  ExpectZeroCell(value, "piar_value", "value");
  ExpectZeroCell(status, "piar_value", "status");
  Expect(Distinct(time, value, status), "piar_value",
         "two cells share one address");
  if (point_ok && value && status) {
    *value = ValueOf(point_number);
    *status = StatusOf(point_number);
  }
  return 0;
}

void stand_in_reset() {
  calls = 0;
  systime_calls = 0;
  fault_count = 0;
  faults.clear();
  for (const void*& frame : first_frame) frame = nullptr;
}

int32_t stand_in_calls() { return calls; }

const char* stand_in_faults() { return faults.c_str(); }

}  // extern "C"
