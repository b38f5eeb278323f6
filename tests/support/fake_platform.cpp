#include "tests/support/fake_platform.h"

#include "platform/error.h"

namespace tavrolin::testing {

void FakeServiceControl::LogEvent(int16_t /*event_type*/, int32_t /*event_id*/,
                                  const std::string& message) {
  calls.push_back("LogEvent");
  if (on_log) on_log();
  if (log_throws) throw Error(-1, "the event log is full");
  log.push_back({message});
}

HistorianLibraryNames StubLibraryNames() {
  return {StubLibraryFile("stub_piapi32"), StubLibraryFile("stub_pilog32")};
}

std::string StubLibraryFile(const std::string& stem) {
#if defined(_WIN32)
  return stem + ".dll";
#else
  return "lib" + stem + ".so";
#endif
}

}  // namespace tavrolin::testing
