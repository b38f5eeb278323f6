// A report sink that keeps the bytes in memory, for tests that look at what a
// report producer writes without a file.
#pragma once

#include <string>
#include <string_view>

#include "platform/report_file.h"

namespace tavrolin::testing {

class StringSink : public ReportSink {
 public:
  void Write(std::string_view bytes) override { bytes_.append(bytes); }
  std::string bytes_;
};

// The bytes `produce` writes, all of them.
inline std::string Produced(const ReportProducer& produce) {
  StringSink sink;
  produce(sink);
  return std::move(sink.bytes_);
}

}  // namespace tavrolin::testing
