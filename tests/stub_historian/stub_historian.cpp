// A scripted stand-in for the historian's client and login libraries, built
// for the tests. It answers from a small script and records every call.
//
// STUB_HISTORIAN_SCRIPT names the script (read again whenever it changes);
// STUB_HISTORIAN_LOG names a file to which every call is appended as one
// line. Without a script every lookup finds point 1, every value is 1.5, every
// state name is "ON" and the time functions answer 1000.
// STUB_HISTORIAN_UNSCRIPTED, set before the first call, fixes those answers
// for the life of the process: neither variable is read again, so that each
// call costs next to nothing (for the benchmarks).
//
// Script lines (words separated by blanks, "#" starts a comment line):
//   point NAME NUMBER          pipt_findpoint writes NUMBER for NAME
//   rewrite NAME TEXT          pipt_findpoint then overwrites the name buffer
//                              with TEXT (rest of the line, \0 is a NUL), no
//                              further than the name's own length, and ends
//                              it with a NUL when TEXT is shorter
//   rewrite_long NAME TEXT     pipt_findpoint writes TEXT and a NUL into the
//                              name buffer whatever the name's length (a
//                              library that writes back a longer spelling)
//   hang_on NAME               pipt_findpoint for NAME never returns
//   crash_on NAME              pipt_findpoint for NAME crashes the process
//   snapshot NUMBER VALUE STATUS
//   state CODE TEXT            pipt_digstate writes TEXT (rest of the line,
//                              blanks kept; \0 is a NUL) then a NUL
//   state_nonul CODE           pipt_digstate fills the buffer, no NUL
//   systime N                  pitm_systime answers N, N+1, N+2, ...
//   parsetime TEXT = N         pitm_parsetime writes N for TEXT
//   summary NUMBER VALUE       piar_summary writes VALUE
//   archive NUMBER VALUE       piar_value writes VALUE
//   delay_ms N                 every value call sleeps N ms first
//   register_delay_ms N        pilg_registerapp sleeps N ms before it returns
//
// STUB_HISTORIAN_LOADED names a file to which the library's start-up code
// (run when the library is loaded) appends its name, STUB_LIBRARY_NAME.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "platform/calling_convention.h"

#if defined(_WIN32)
#define STUB_EXPORT extern "C" __declspec(dllexport)
#else
#define STUB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

struct Script {
  bool loaded = false;
  std::map<std::string, int32_t> points;
  std::map<std::string, std::string> rewrites;
  std::map<std::string, std::string> long_rewrites;
  std::map<std::string, bool> hangs;
  std::map<std::string, bool> crashes;
  std::map<int32_t, std::pair<float, int32_t>> snapshots;
  std::map<int32_t, std::string> states;
  std::map<int32_t, bool> states_without_nul;
  std::map<std::string, int32_t> parse_times;
  std::map<int32_t, float> summaries;
  std::map<int32_t, float> archives;
  int32_t systime = 1000;
  int delay_ms = 0;
  int register_delay_ms = 0;
};

std::mutex mutex;
Script script;
std::string script_key;
int32_t systime_calls = 0;

// The rest of a script line after one blank, with \0 standing for a NUL.
std::string RestOfLine(std::istream& words) {
  std::string rest;
  std::getline(words, rest);
  if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
  std::string text;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '\\' && i + 1 < rest.size() && rest[i + 1] == '0') {
      text.push_back('\0');
      ++i;
    } else {
      text.push_back(rest[i]);
    }
  }
  return text;
}

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first);
}

// True when the process asked for the unscripted answers once and for all.
bool Unscripted() {
  static const bool unscripted =
      std::getenv("STUB_HISTORIAN_UNSCRIPTED") != nullptr;
  return unscripted;
}

void Reload() {
  if (Unscripted()) {
    if (!script.loaded) {
      script = Script();
      script.loaded = true;
    }
    return;
  }
  const char* path = std::getenv("STUB_HISTORIAN_SCRIPT");
  std::string key;
  if (path != nullptr) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const auto written = std::filesystem::last_write_time(path, error);
    if (!error) {
      key = std::string(path) + ":" + std::to_string(size) + ":" +
            std::to_string(written.time_since_epoch().count());
    }
  }
  if (script.loaded && key == script_key) return;
  script = Script();
  script.loaded = true;
  script_key = key;
  systime_calls = 0;
  if (key.empty()) return;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb.empty() || verb[0] == '#') continue;
    if (verb == "point") {
      std::string name;
      int32_t number = 0;
      words >> name >> number;
      script.points[name] = number;
    } else if (verb == "rewrite") {
      std::string name;
      words >> name;
      script.rewrites[name] = RestOfLine(words);
    } else if (verb == "rewrite_long") {
      std::string name;
      words >> name;
      script.long_rewrites[name] = RestOfLine(words);
    } else if (verb == "hang_on" || verb == "crash_on") {
      std::string name;
      words >> name;
      (verb == "hang_on" ? script.hangs : script.crashes)[name] = true;
    } else if (verb == "snapshot") {
      int32_t number = 0;
      float value = 0;
      int32_t status = 0;
      words >> number >> value >> status;
      script.snapshots[number] = {value, status};
    } else if (verb == "state") {
      int32_t code = 0;
      words >> code;
      script.states[code] = RestOfLine(words);
    } else if (verb == "state_nonul") {
      int32_t code = 0;
      words >> code;
      script.states_without_nul[code] = true;
    } else if (verb == "systime") {
      words >> script.systime;
    } else if (verb == "parsetime") {
      std::string rest;
      std::getline(words, rest);
      const auto equals = rest.rfind(" = ");
      if (equals == std::string::npos) continue;
      script.parse_times[Trimmed(rest.substr(0, equals))] =
          static_cast<int32_t>(std::stol(rest.substr(equals + 3)));
    } else if (verb == "summary" || verb == "archive") {
      int32_t number = 0;
      float value = 0;
      words >> number >> value;
      (verb == "summary" ? script.summaries : script.archives)[number] = value;
    } else if (verb == "delay_ms") {
      words >> script.delay_ms;
    } else if (verb == "register_delay_ms") {
      words >> script.register_delay_ms;
    }
  }
}

// Appends the line that `make_line` makes to the log; without a log the
// line is not even made, so that the stand-in answers at once.
template <typename MakeLine>
void Log(MakeLine make_line) {
  if (Unscripted()) return;
  const char* path = std::getenv("STUB_HISTORIAN_LOG");
  if (path == nullptr) return;
  const std::string line = make_line();
  if (FILE* file = std::fopen(path, "ab")) {
    std::fputs((line + "\n").c_str(), file);
    std::fclose(file);
  }
}

void Delay() {
  if (script.delay_ms > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(script.delay_ms));
  }
}

std::string Number(float value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// Tells, as a real client library's start-up code might connect, when the
// library was loaded.
struct LoadMark {
  LoadMark() {
    const char* path = std::getenv("STUB_HISTORIAN_LOADED");
    if (path == nullptr) return;
    if (FILE* file = std::fopen(path, "ab")) {
      std::fputs(STUB_LIBRARY_NAME "\n", file);
      std::fclose(file);
    }
  }
} load_mark;

}  // namespace

STUB_EXPORT int32_t PIAPI_CALL pilg_registerapp(const char* dll_name) {
  std::lock_guard lock(mutex);
  Reload();
  if (script.register_delay_ms > 0) {
    std::this_thread::sleep_for(
        std::chrono::milliseconds(script.register_delay_ms));
  }
  Log([&] { return std::string(std::string("pilg_registerapp ") + dll_name); });
  return 0;
}

STUB_EXPORT int32_t PIAPI_CALL pipt_findpoint(char* tag_name,
                                              int32_t* point_number) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string(std::string("pipt_findpoint ") + tag_name +
                       " cell=" + std::to_string(*point_number));
  });
  if (script_key.empty()) {
    *point_number = 1;
    return 0;
  }
  const std::string name = tag_name;
  if (script.crashes.count(name) != 0) {
    Log([] { return std::string("crash"); });
    std::abort();
  }
  if (script.hangs.count(name) != 0) {
    Log([] { return std::string("hang"); });
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
  }
  const auto long_rewrite = script.long_rewrites.find(name);
  if (long_rewrite != script.long_rewrites.end()) {
    std::memcpy(tag_name, long_rewrite->second.c_str(),
                long_rewrite->second.size() + 1);
  }
  const auto rewrite = script.rewrites.find(name);
  if (rewrite != script.rewrites.end()) {
    const auto count = std::min(rewrite->second.size(), name.size());
    std::memcpy(tag_name, rewrite->second.data(), count);
    if (count < name.size()) tag_name[count] = '\0';
  }
  const auto found = script.points.find(name);
  if (found == script.points.end()) return -5;
  *point_number = found->second;
  return 0;
}

STUB_EXPORT int32_t PIAPI_CALL pisn_getsnapshot(int32_t point_number,
                                                float* value, int32_t* status,
                                                int32_t* time) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string("pisn_getsnapshot " + std::to_string(point_number) +
                       " cells=" + Number(*value) + "," +
                       std::to_string(*status) + "," + std::to_string(*time));
  });
  Delay();
  if (script_key.empty()) {
    *value = 1.5f;
    *status = 1;
    *time = 1000;
    return 0;
  }
  const auto found = script.snapshots.find(point_number);
  if (found == script.snapshots.end()) return -1;
  *value = found->second.first;
  *status = found->second.second;
  *time = 1000;
  return 0;
}

#if !defined(STUB_OMIT_DIGSTATE)
STUB_EXPORT int32_t PIAPI_CALL pipt_digstate(int32_t state_code, char* state,
                                             int32_t length) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string("pipt_digstate " + std::to_string(state_code) +
                       " length=" + std::to_string(length) + " buffer=[" +
                       std::string(state, length) + "]");
  });
  if (script.states_without_nul.count(state_code) != 0) {
    std::memset(state, 'x', length);
    return 0;
  }
  std::string text = "ON";
  if (!script_key.empty()) {
    const auto found = script.states.find(state_code);
    if (found == script.states.end()) return -1;
    text = found->second;
  }
  const auto count = std::min<std::size_t>(text.size(), length - 1);
  std::memcpy(state, text.data(), count);
  state[count] = '\0';
  return 0;
}
#endif

STUB_EXPORT int32_t PIAPI_CALL pitm_systime() {
  std::lock_guard lock(mutex);
  Reload();
  const int32_t now = script.systime + systime_calls++;
  Log([&] { return std::string("pitm_systime " + std::to_string(now)); });
  return now;
}

STUB_EXPORT int32_t PIAPI_CALL pitm_parsetime(const char* time_text,
                                              int32_t base_time,
                                              int32_t* time) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string(std::string("pitm_parsetime [") + time_text +
                       "] base=" + std::to_string(base_time) +
                       " cell=" + std::to_string(*time));
  });
  const auto found = script.parse_times.find(time_text);
  if (found == script.parse_times.end()) return -1;
  *time = found->second;
  return 0;
}

STUB_EXPORT int32_t PIAPI_CALL piar_summary(int32_t point_number,
                                            int32_t* start_time,
                                            int32_t* end_time, float* value,
                                            float* percent_good, int32_t code) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string(
        "piar_summary " + std::to_string(point_number) +
        " start=" + std::to_string(*start_time) +
        " end=" + std::to_string(*end_time) + " code=" + std::to_string(code) +
        " cells=" + Number(*value) + "," + Number(*percent_good));
  });
  Delay();
  if (script_key.empty()) {
    *value = 1.5f;
    *percent_good = 100;
    return 0;
  }
  const auto found = script.summaries.find(point_number);
  if (found == script.summaries.end()) return -1;
  *value = found->second;
  *percent_good = 100;
  return 0;
}

STUB_EXPORT int32_t PIAPI_CALL piar_value(int32_t point_number, int32_t* time,
                                          int32_t mode, float* value,
                                          int32_t* status) {
  std::lock_guard lock(mutex);
  Reload();
  Log([&] {
    return std::string(
        "piar_value " + std::to_string(point_number) +
        " time=" + std::to_string(*time) + " mode=" + std::to_string(mode) +
        " cells=" + Number(*value) + "," + std::to_string(*status));
  });
  Delay();
  if (script_key.empty()) {
    *value = 1.5f;
    return 0;
  }
  const auto found = script.archives.find(point_number);
  if (found == script.archives.end()) return -1;
  *value = found->second;
  return 0;
}
